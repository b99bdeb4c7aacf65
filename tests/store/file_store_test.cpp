// The file store on disk: where files go and who may read them, values and hand edits surviving the
// file, damaged files kept aside, and saves that fail being reported without stopping the program.
#include <fcntl.h>
#include <pwd.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <tuple>

#include "store_test_support.h"

namespace store_test {
namespace {

TEST_F(StoreTest, ConfigRootComesFromXdgThenHomeThenTheUserDatabase) {
  const auto saved = [](const char* name) { return std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt; };
  const auto restore = [](const char* name, const std::optional<std::string>& value) {
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  };
  const std::optional<std::string> old_home = saved("HOME"), old_xdg = saved("XDG_CONFIG_HOME");
  const passwd* entry = ::getpwuid(::getuid());
  const fs::path from_database =
      entry && entry->pw_dir && entry->pw_dir[0] == '/' ? fs::path(entry->pw_dir) / ".config" : fs::path();
  using Case = std::tuple<const char*, const char*, fs::path>;  // XDG_CONFIG_HOME, HOME, config root
  for (const auto& [xdg, home, root] : {Case{"/somewhere/cfg", "/home/someone", "/somewhere/cfg"},
                                        Case{nullptr, "/home/someone", "/home/someone/.config"},
                                        Case{"", "/home/someone", "/home/someone/.config"},
                                        Case{"relative/cfg", "/home/someone", "/home/someone/.config"},
                                        Case{"~/cfg", "/home/someone", "/home/someone/.config"},
                                        Case{nullptr, "not/absolute", from_database}}) {
    xdg ? ::setenv("XDG_CONFIG_HOME", xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", home, 1);
    EXPECT_EQ(FileStore::ConfigRootFromEnvironment(), root) << (xdg ? xdg : "(unset)") << " " << home;
    EXPECT_EQ(FileStore().SectionFile(kApplication, "TARNWICK-DEMO"), root / "TARNWICK" / "TARNWICK-DEMO.conf");
  }
  restore("HOME", old_home);
  restore("XDG_CONFIG_HOME", old_xdg);
}

TEST_F(StoreTest, SavesAreWrittenThroughPrivatelyOneFileASection) {
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1200");
  EXPECT_FALSE(fs::exists(root())) << "a read created the config root";
  Save("MAIN-Left", "1500");
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Left", "1500"}})) << "a save is on disk before it returns";
  Save("MAIN-Left", "1600");
  Save("main-left", "lower");
  EXPECT_EQ(Get("MAIN-Left"), "1600");
  EXPECT_EQ(Get("main-left"), "lower");
  EXPECT_EQ(Get("MAIN-Top", "77"), "77");
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Left", "1600"}, {"main-left", "lower"}}));
  for (const fs::path& made : {root(), folder()}) EXPECT_EQ(ModeOf(made), 0700) << made;
  EXPECT_EQ(ModeOf(file()), 0600);
  EXPECT_EQ(FileNames(folder()), std::vector<std::string>{"TARNWICK.conf"}) << "a lock or temporary file was left";

  Save("MAIN-Left", "2", "TARNWICK-DEMO");
  Save("MAIN-Left", "3", "TARNWICK Zürich");
  Save("MAIN-Left", "4", "TARNWICK", "OTHER-APP");
  EXPECT_EQ(Get("MAIN-Left", "", "TARNWICK-DEMO"), "2");
  EXPECT_EQ(Get("MAIN-Left", "", "TARNWICK Zürich"), "3");
  EXPECT_EQ(Get("MAIN-Left", "", "TARNWICK", "OTHER-APP"), "4");
  EXPECT_EQ(FileNames(folder()), (std::vector<std::string>{"TARNWICK Zürich.conf", "TARNWICK-DEMO.conf", "TARNWICK.conf"}));
  EXPECT_EQ(Parsed(root() / "OTHER-APP" / "TARNWICK.conf"), (Values{{"MAIN-Left", "4"}}));
  EXPECT_EQ(ModeOf(root() / "OTHER-APP"), 0700);
}

TEST_F(StoreTest, HostileTextsSurviveTheFile) {
  const std::vector<std::string> texts = HostileTexts();
  for (std::size_t i = 0; i < texts.size(); ++i) Save("V" + std::to_string(i), texts[i]);
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(Get("V" + std::to_string(i)), texts[i]) << i;
  // QSettings shares what it has read within a process; a copy under another root is read from disk.
  WriteBytes(base() / "copy" / "TARNWICK" / "TARNWICK.conf", ReadBytes(file()), 0600);
  UseRoot(base() / "copy");
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(Get("V" + std::to_string(i)), texts[i]) << i;
}

TEST_F(StoreTest, HandEditsReadAsTypedSurviveARewriteAndAreSeenWhileRunning) {
  const std::string cmd = R"(C:\Program Files\node.exe -datadir="D:\x y", -rpcpassword=a;b)";
  WriteBytes(file(), "\xEF\xBB\xBF# edited by hand\r\n\r\nCMD=" + cmd +
                         "\r\n  MAIN-Left = 1200 \r\nPATH=C:\\new\\node.exe\r\nPLACE=Zürich 東京", 0644);
  fs::permissions(folder(), fs::perms(0755));
  EXPECT_EQ(Get("CMD"), cmd);
  EXPECT_EQ(Get("MAIN-Left"), " 1200 ");
  EXPECT_EQ(Get("PATH"), "C:\\new\\node.exe");
  EXPECT_EQ(Get("PLACE"), "Zürich 東京");

  Save("MAIN-Top", "5");
  const std::string rewritten = ReadBytes(file());
  EXPECT_NE(rewritten.find("\nCMD=" + cmd + "\n"), std::string::npos) << rewritten;
  EXPECT_NE(rewritten.find("\nPATH=C:\\new\\node.exe\n"), std::string::npos) << rewritten;
  EXPECT_EQ(ModeOf(folder()), 0700) << "a folder open to others is closed on save";
  EXPECT_EQ(ModeOf(file()), 0600);

  WriteBytes(folder() / "edit.tmp", "CMD=changed by hand\nADDED=1\n", 0600);
  fs::rename(folder() / "edit.tmp", file());
  EXPECT_EQ(Get("CMD"), "changed by hand");
  EXPECT_EQ(Get("ADDED"), "1");
}

TEST_F(StoreTest, UnusableKeysNamesAndRootsAreReportedAndNothingIsWritten) {
  struct Case {
    std::string application, section, key;
  };
  for (const Case& c : std::vector<Case>{{"TARNWICK", "TARNWICK", ""}, {"TARNWICK", "TARNWICK", "a=b"},
                                         {"TARNWICK", "TARNWICK", "group/key"}, {"TARNWICK", "TARNWICK", "#key"},
                                         {"TARNWICK", "TARNWICK", "line\nbreak"}, {"TARNWICK", "TARNWICK", "back\\slash"},
                                         {"TARNWICK", "", "K"}, {"TARNWICK", "..", "K"}, {"TARNWICK", "a/b", "K"},
                                         {"", "TARNWICK", "K"}, {"..", "TARNWICK", "K"}}) {
    Save(c.key, "value", c.section, c.application);
    EXPECT_EQ(Get(c.key, "dflt", c.section, c.application), "dflt");
    ExpectReports({"sav", "read"});
  }
  EXPECT_FALSE(fs::exists(root()));
  UseRoot({});
  Save("MAIN-Left", "1500");
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1200");
  ExpectReports({"settings are not kept"});
}

TEST_F(StoreTest, DamagedFileIsKeptAsideOnceReadAsDefaultsAndReplacedOnSave) {
  std::mt19937 generator(20240611);
  std::string damage(4096, '\0');
  for (char& c : damage) c = static_cast<char>(generator());
  damage[100] = '\xFF';  // not UTF-8, whatever the generator gives
  WriteBytes(file(), damage, 0644);
  SetModifiedTime(file(), 1'000'000'000);
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1200");
  EXPECT_EQ(Get("MAIN-Top", "300"), "300");
  const std::vector<std::string> copies = FileNames(folder(), "TARNWICK.conf.bad-");
  ASSERT_EQ(copies.size(), 1u);
  ExpectReports({"kept a copy as " + (folder() / copies[0]).native()});
  EXPECT_EQ(ReadBytes(folder() / copies[0]), damage);
  EXPECT_EQ(ModeOf(folder() / copies[0]), 0600);

  WriteBytes(file(), damage, 0644);  // the same bytes read afresh, as by a second start
  SetModifiedTime(file(), 1'000'000'100);
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1200");
  ExpectReports({"a copy is already kept as " + (folder() / copies[0]).native()});
  EXPECT_EQ(FileNames(folder(), "TARNWICK.conf.bad-"), copies);

  Save("MAIN-Left", "1500");
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Left", "1500"}}));
  EXPECT_EQ(ModeOf(file()), 0600);
  EXPECT_EQ(ReadBytes(folder() / copies[0]), damage) << "the copy outlives the rewrite";

  // New damage while running: copied too, and the next save starts from an empty section.
  WriteBytes(file(), "MAIN-Left=1500\nsomeone wrote this\n", 0600);
  SetModifiedTime(file(), 1'000'000'200);
  Save("MAIN-Top", "300");
  ExpectReports({"(line 2 has no '='); kept a copy as"});
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Top", "300"}}));
  EXPECT_EQ(FileNames(folder(), "TARNWICK.conf.bad-").size(), 2u);
}

TEST_F(StoreTest, FolderWhereTheFileShouldBeFailsEachSaveButTheValuesAreKeptForTheRun) {
  fs::create_directories(file());
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1200");
  EXPECT_EQ(Get("MAIN-Top", "300"), "300");
  ExpectReports({"a folder stands where the file should be"});
  Save("MAIN-Left", "1500");
  Save("MAIN-Width", "900");
  ExpectReports({"could not save MAIN-Left", "could not save MAIN-Width"});
  EXPECT_TRUE(fs::is_empty(file()));
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1500");  // not reported again

  fs::remove(file());
  Save("MAIN-Height", "700");
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Height", "700"}, {"MAIN-Left", "1500"}, {"MAIN-Width", "900"}}));
}

TEST_F(StoreTest, ReadOnlyFolderFailsSavesUntilItIsWritableAgain) {
  Save("MAIN-Left", "1500");
  const std::string before = ReadBytes(file());
  ASSERT_TRUE(MakePermissionBitsBind());
  ASSERT_EQ(::chmod(folder().c_str(), 0500), 0);
  ASSERT_LT(::open((folder() / "probe").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600), 0) << "still writable";

  Save("MAIN-Top", "300");
  ExpectReports({"could not save MAIN-Top"});
  EXPECT_EQ(ReadBytes(file()), before);
  EXPECT_EQ(Get("MAIN-Left"), "1500");
  ASSERT_EQ(::chmod(folder().c_str(), 0700), 0);
  Save("MAIN-Width", "900");
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Left", "1500"}, {"MAIN-Top", "300"}, {"MAIN-Width", "900"}}));

  // A damaged file there cannot be copied aside either: both are said, and the file is left alone.
  WriteBytes(file(), "MAIN-Left=1500\ngarbage\n", 0600);
  ASSERT_EQ(::chmod(folder().c_str(), 0500), 0);
  Save("MAIN-Height", "700");
  ExpectReports({"no copy could be kept", "could not save MAIN-Height"});
  EXPECT_EQ(ReadBytes(file()), "MAIN-Left=1500\ngarbage\n");
}

TEST_F(StoreTest, UnreadableFileReadsAsDefaults) {
  WriteBytes(file(), "MAIN-Left=1500\n", 0000);
  ASSERT_TRUE(MakePermissionBitsBind());
  ASSERT_LT(::open(file().c_str(), O_RDONLY), 0) << "the file can still be opened";
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1200");
  ExpectReports({"the file cannot be read"});
}

TEST_F(StoreTest, PendingSaveWrittenByALaterReadIsPrivateToo) {
  const fs::path blocker = base() / "blocker";
  WriteBytes(blocker, "a file where a folder should be");
  UseRoot(blocker / "config");
  Save("MAIN-Left", "1500");
  ExpectReports({"could not save MAIN-Left"});

  fs::remove(blocker);
  EXPECT_EQ(Get("MAIN-Left"), "1500");
  const fs::path written = blocker / "config" / "TARNWICK" / "TARNWICK.conf";
  EXPECT_EQ(Parsed(written), (Values{{"MAIN-Left", "1500"}}));
  for (const fs::path& made : {blocker, blocker / "config", written.parent_path()}) EXPECT_EQ(ModeOf(made), 0700) << made;
  EXPECT_EQ(ModeOf(written), 0600);
}

}  // namespace
}  // namespace store_test
