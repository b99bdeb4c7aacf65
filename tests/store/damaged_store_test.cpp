// The file store when things go wrong: damaged files are copied aside and read as defaults, and
// saves that cannot reach the disk are reported on standard error without stopping the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "settings/file_store.h"
#include "store_test_support.h"

namespace store_test {
namespace {

using settings::FileStore;
using settings::kApplication;
using Values = std::map<std::string, std::string>;

constexpr std::string_view kSection = "TARNWICK";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void ExpectOneReportLine(const std::string& err, std::string_view must_contain) {
  const std::vector<std::string> lines = Lines(err);
  ASSERT_EQ(lines.size(), 1u) << err;
  EXPECT_TRUE(lines[0].starts_with("TARNWICK: ")) << err;
  EXPECT_NE(lines[0].find(must_contain), std::string::npos) << err;
  EXPECT_TRUE(err.ends_with("\n")) << err;
}

std::string RandomBytes() {
  std::mt19937 generator(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(4096, '\0');
  for (char& c : bytes) c = static_cast<char>(byte(generator));
  // Certain to be unreadable whatever the generator gives.
  bytes[100] = '\xFF';
  bytes[200] = '\0';
  return bytes;
}

std::vector<std::string> Copies(const std::filesystem::path& folder) {
  std::vector<std::string> copies;
  for (const std::string& name : FileNames(folder)) {
    if (name.starts_with("TARNWICK.conf.bad-")) copies.push_back(name);
  }
  return copies;
}

class DamagedFile : public StoreTest {};

TEST_F(DamagedFile, RandomBytesReadAsDefaultsAreKeptAsideAndReplacedOnSave) {
  const std::string damage = RandomBytes();
  WriteBytes(file(), damage, 0644);
  FileStore store;

  CapturedStderr capture;
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", "1200"), "1200");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Top", "300"), "300");
  const std::string err = capture.Take();
  ExpectOneReportLine(err, "kept a copy as");

  const std::vector<std::string> copies = Copies(folder());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadBytes(folder() / copies[0]), damage);
  EXPECT_EQ(ModeOf(folder() / copies[0]), 0600);
  EXPECT_NE(err.find(copies[0]), std::string::npos) << "the report names the copy: " << err;

  CapturedStderr capture2;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1500");
  EXPECT_EQ(capture2.Take(), "");
  EXPECT_EQ(ParsedFile(), (Values{{"MAIN-Left", "1500"}}));
  EXPECT_EQ(ModeOf(file()), 0600);
  EXPECT_EQ(ReadBytes(folder() / copies[0]), damage) << "the copy outlives the rewrite";
}

TEST_F(DamagedFile, TheSameDamageIsCopiedOnceAndNewDamageAgain) {
  WriteBytes(file(), "A=1\ngarbage\n");
  SetModifiedTime(file(), 1'000'000'000);
  FileStore store;
  CapturedStderr capture;
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "A", "d"), "d");
  ASSERT_EQ(Copies(folder()).size(), 1u);

  // The same bytes written again (a second start of the program reads them afresh).
  WriteBytes(file(), "A=1\ngarbage\n");
  SetModifiedTime(file(), 1'000'000'100);
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "A", "d"), "d");
  EXPECT_EQ(Copies(folder()).size(), 1u);

  WriteBytes(file(), "A=1\nother garbage\n");
  SetModifiedTime(file(), 1'000'000'200);
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "A", "d"), "d");
  const std::string err = capture.Take();
  EXPECT_EQ(Copies(folder()).size(), 2u);
  EXPECT_EQ(Lines(err).size(), 3u) << "each damaged read is reported: " << err;
  EXPECT_NE(err.find("already kept"), std::string::npos) << err;
}

TEST_F(DamagedFile, DamageAppearingWhileRunningIsKeptAsideAndTheNextSaveSucceeds) {
  FileStore store;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1500");
  WriteBytes(file(), "MAIN-Left=1500\nsomeone wrote this\n", 0600);

  CapturedStderr capture;
  store.SaveSetting(kApplication, kSection, "MAIN-Top", "300");
  ExpectOneReportLine(capture.Take(), "kept a copy as");
  // The damaged file counts as empty: only what was saved after it is in the new file.
  EXPECT_EQ(ParsedFile(), (Values{{"MAIN-Top", "300"}}));
  ASSERT_EQ(Copies(folder()).size(), 1u);
  EXPECT_EQ(ReadBytes(folder() / Copies(folder())[0]), "MAIN-Left=1500\nsomeone wrote this\n");
}

TEST_F(DamagedFile, CutOffInsideAValueReadsWhatIsThere) {
  WriteBytes(file(), "MAIN-Left=1200\nQT_FULL_RUN_CMD_TEXTBOX=C:\\Program Fi");
  FileStore store;
  CapturedStderr capture;
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", ""), "1200");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "QT_FULL_RUN_CMD_TEXTBOX", ""), "C:\\Program Fi");
  EXPECT_EQ(capture.Take(), "");
  EXPECT_TRUE(Copies(folder()).empty());
}

TEST_F(DamagedFile, CutOffInsideAKeyIsRefusedAsAWhole) {
  WriteBytes(file(), "MAIN-Left=1200\nQT_FULL_RU");
  FileStore store;
  CapturedStderr capture;
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", "0"), "0");
  ExpectOneReportLine(capture.Take(), "line 2 has no '='");
  EXPECT_EQ(Copies(folder()).size(), 1u);
}

class FailingWrite : public StoreTest {};

TEST_F(FailingWrite, FolderWhereTheFileShouldBe) {
  std::filesystem::create_directories(file());
  FileStore store;

  CapturedStderr capture;
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", "1200"), "1200");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Top", "300"), "300");
  ExpectOneReportLine(capture.Take(), "a folder stands where the file should be");

  CapturedStderr capture2;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1500");
  ExpectOneReportLine(capture2.Take(), "could not save MAIN-Left");
  CapturedStderr capture3;
  store.SaveSetting(kApplication, kSection, "MAIN-Width", "900");
  ExpectOneReportLine(capture3.Take(), "could not save MAIN-Width");

  EXPECT_TRUE(std::filesystem::is_directory(file()));
  EXPECT_TRUE(std::filesystem::is_empty(file()));
  CapturedStderr capture4;
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Top", "300"), "300");
  // Held in memory for the rest of the run, as QSettings does, and not reported again on read.
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", "1200"), "1500");
  EXPECT_EQ(capture4.Take(), "");

  // Once the way is clear, the next save writes what was pending as well.
  std::filesystem::remove(file());
  store.SaveSetting(kApplication, kSection, "MAIN-Height", "700");
  EXPECT_EQ(ParsedFile(),
            (Values{{"MAIN-Height", "700"}, {"MAIN-Left", "1500"}, {"MAIN-Width", "900"}}));
}

TEST_F(FailingWrite, ReadOnlyFolder) {
  FileStore store;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1500");
  const std::string before = ReadBytes(file());

  PermissionBitsBind bind;
  ASSERT_TRUE(bind.ok()) << "cannot make permission bits bind for this user";
  ASSERT_EQ(::chmod(folder().c_str(), 0500), 0);
  {
    // The premise: nothing can be created in the folder now.
    const std::filesystem::path probe = folder() / "probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_LT(fd, 0) << "the folder is still writable";
    ASSERT_EQ(errno, EACCES) << std::strerror(errno);
  }

  CapturedStderr capture;
  store.SaveSetting(kApplication, kSection, "MAIN-Top", "300");
  ExpectOneReportLine(capture.Take(), "could not save MAIN-Top");
  EXPECT_EQ(ReadBytes(file()), before);
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", ""), "1500");

  ASSERT_EQ(::chmod(folder().c_str(), 0700), 0);
  CapturedStderr capture2;
  store.SaveSetting(kApplication, kSection, "MAIN-Width", "900");
  EXPECT_EQ(capture2.Take(), "");
  EXPECT_EQ(ParsedFile(), (Values{{"MAIN-Left", "1500"}, {"MAIN-Top", "300"}, {"MAIN-Width", "900"}}));
}

TEST_F(FailingWrite, DamagedFileInAReadOnlyFolderIsLeftAloneAndBothProblemsAreReported) {
  FileStore store;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1500");
  WriteBytes(file(), "MAIN-Left=1500\ngarbage\n", 0600);

  PermissionBitsBind bind;
  ASSERT_TRUE(bind.ok()) << "cannot make permission bits bind for this user";
  ASSERT_EQ(::chmod(folder().c_str(), 0500), 0);
  CapturedStderr capture;
  store.SaveSetting(kApplication, kSection, "MAIN-Top", "300");
  const std::vector<std::string> lines = Lines(capture.Take());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("no copy could be kept"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("could not save MAIN-Top"), std::string::npos) << lines[1];
  EXPECT_EQ(ReadBytes(file()), "MAIN-Left=1500\ngarbage\n");
  ASSERT_EQ(::chmod(folder().c_str(), 0700), 0);
}

TEST_F(FailingWrite, PendingSaveWrittenByALaterReadIsPrivateToo) {
  const std::filesystem::path blocker = root().parent_path() / "blocker";
  WriteBytes(blocker, "a file where a folder should be");
  FileStore store(blocker / "config");
  CapturedStderr capture;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1500");
  ExpectOneReportLine(capture.Take(), "could not save MAIN-Left");

  std::filesystem::remove(blocker);
  CapturedStderr capture2;
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", ""), "1500");
  EXPECT_EQ(capture2.Take(), "");
  const std::filesystem::path written = blocker / "config" / "TARNWICK" / "TARNWICK.conf";
  EXPECT_EQ(settings::conf::Parse(ReadBytes(written)).values, (Values{{"MAIN-Left", "1500"}}));
  EXPECT_EQ(ModeOf(blocker), 0700);
  EXPECT_EQ(ModeOf(blocker / "config"), 0700);
  EXPECT_EQ(ModeOf(written.parent_path()), 0700);
  EXPECT_EQ(ModeOf(written), 0600);
}

TEST_F(FailingWrite, UnreadableFileReadsAsDefaults) {
  WriteBytes(file(), "MAIN-Left=1500\n", 0000);
  PermissionBitsBind bind;
  ASSERT_TRUE(bind.ok()) << "cannot make permission bits bind for this user";
  ASSERT_LT(::open(file().c_str(), O_RDONLY), 0) << "the premise: the file cannot be opened";

  FileStore store;
  CapturedStderr capture;
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", "1200"), "1200");
  ExpectOneReportLine(capture.Take(), "the file cannot be read");
}

TEST_F(FailingWrite, ConfigRootUnderARegularFile) {
  WriteBytes(root().parent_path() / "plain-file", "not a folder");
  FileStore store(root().parent_path() / "plain-file" / "config");
  CapturedStderr capture;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1500");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Top", "300"), "300");
  const std::string err = capture.Take();
  ExpectOneReportLine(err, "could not save MAIN-Left");
  EXPECT_NE(err.find("cannot be"), std::string::npos) << err;
}

TEST_F(FailingWrite, NoConfigRootAtAll) {
  FileStore store{std::filesystem::path()};
  CapturedStderr capture;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1500");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", "1200"), "1200");
  ExpectOneReportLine(capture.Take(), "settings are not kept");
}

}  // namespace
}  // namespace store_test
