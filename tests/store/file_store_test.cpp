// The file store working normally: where its files go, who may read them, that texts survive the
// disk, that hand edits read as typed, and that other programs' changes are seen.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "settings/file_store.h"
#include "store_test_support.h"

namespace store_test {
namespace {

using namespace std::string_literals;
using settings::FileStore;
using settings::kApplication;

constexpr std::string_view kSection = "TARNWICK";

TEST(FileStoreConfigRoot, TakesAbsoluteXdgConfigHome) {
  ScopedEnv xdg("XDG_CONFIG_HOME", "/somewhere/cfg");
  ScopedEnv home("HOME", "/home/someone");
  EXPECT_EQ(FileStore::ConfigRootFromEnvironment(), "/somewhere/cfg");
  EXPECT_EQ(FileStore().SectionFile(kApplication, "TARNWICK-DEMO"), "/somewhere/cfg/TARNWICK/TARNWICK-DEMO.conf");
}

TEST(FileStoreConfigRoot, FallsBackToHomeConfigWhenXdgIsUnsetEmptyOrRelative) {
  ScopedEnv home("HOME", "/home/someone");
  for (const char* xdg_value : {static_cast<const char*>(nullptr), "", "relative/cfg", "~/cfg"}) {
    ScopedEnv xdg("XDG_CONFIG_HOME", xdg_value);
    EXPECT_EQ(FileStore::ConfigRootFromEnvironment(), "/home/someone/.config")
        << "XDG_CONFIG_HOME=" << (xdg_value ? xdg_value : "(unset)");
  }
}

TEST(FileStoreConfigRoot, UsesTheUserDatabaseWhenHomeIsNotAbsolute) {
  ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
  ScopedEnv home("HOME", "not/absolute");
  const passwd* entry = ::getpwuid(::getuid());
  const bool has_home = entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/';
  EXPECT_EQ(FileStore::ConfigRootFromEnvironment(),
            has_home ? std::filesystem::path(entry->pw_dir) / ".config" : std::filesystem::path());
}

class FileStoreBasics : public StoreTest {};

TEST_F(FileStoreBasics, AbsentKeysReadAsDefaultsAndNothingIsWritten) {
  FileStore store;
  CapturedStderr capture;
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", "1200"), "1200");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "QT_FULL_RUN_CMD_TEXTBOX", ""), "");
  EXPECT_EQ(capture.Take(), "");
  EXPECT_FALSE(std::filesystem::exists(root())) << "a read created " << root();

  WriteBytes(file(), "OTHER=1\n");
  const std::string before = ReadBytes(file());
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Top", "77"), "77");
  EXPECT_EQ(ReadBytes(file()), before);
}

TEST_F(FileStoreBasics, SavedValueReadsBackAndSavingReportsNothing) {
  FileStore store;
  CapturedStderr capture;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1500");
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1600");
  store.SaveSetting(kApplication, kSection, "PELLUM-CV-SETTINGS-Top", "300");
  const std::string left = store.GetSetting(kApplication, kSection, "MAIN-Left", "0");
  EXPECT_EQ(capture.Take(), "");
  EXPECT_EQ(left, "1600");
  EXPECT_EQ(ParsedFile(),
            (std::map<std::string, std::string>{{"MAIN-Left", "1600"}, {"PELLUM-CV-SETTINGS-Top", "300"}}));
}

TEST_F(FileStoreBasics, EachSaveIsOnDiskBeforeItReturns) {
  FileStore store;
  store.SaveSetting(kApplication, kSection, "A", "1");
  EXPECT_EQ(ParsedFile().at("A"), "1");
  store.SaveSetting(kApplication, kSection, "B", "2");
  EXPECT_EQ(ParsedFile().at("B"), "2");
}

TEST_F(FileStoreBasics, FolderAndFileAreReadableByTheUserAlone) {
  FileStore store;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "1");
  EXPECT_EQ(ModeOf(root()), 0700) << "a config root the store creates is private too";
  EXPECT_EQ(ModeOf(folder()), 0700);
  EXPECT_EQ(ModeOf(file()), 0600);
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "2");
  EXPECT_EQ(ModeOf(file()), 0600) << "a rewrite keeps the file private";
  // Only the section file is left behind: no lock or temporary files.
  EXPECT_EQ(FileNames(folder()), std::vector<std::string>{"TARNWICK.conf"});
}

TEST_F(FileStoreBasics, OpenFolderAndFileFromElsewhereAreMadePrivateOnSave) {
  WriteBytes(file(), "KEPT=yes\n", 0644);
  std::filesystem::permissions(folder(), std::filesystem::perms(0755));
  FileStore store;
  store.SaveSetting(kApplication, kSection, "NEW", "1");
  EXPECT_EQ(ModeOf(folder()), 0700);
  EXPECT_EQ(ModeOf(file()), 0600);
  EXPECT_EQ(ParsedFile(), (std::map<std::string, std::string>{{"KEPT", "yes"}, {"NEW", "1"}}));
}

TEST_F(FileStoreBasics, SectionsAreSeparateFilesAndApplicationNamesTheFolder) {
  FileStore store;
  store.SaveSetting(kApplication, "TARNWICK", "MAIN-Left", "1");
  store.SaveSetting(kApplication, "TARNWICK-DEMO", "MAIN-Left", "2");
  store.SaveSetting(kApplication, "TARNWICK Zürich", "MAIN-Left", "3");
  store.SaveSetting("OTHER-APP", "TARNWICK", "MAIN-Left", "4");
  EXPECT_EQ(store.GetSetting(kApplication, "TARNWICK", "MAIN-Left", ""), "1");
  EXPECT_EQ(store.GetSetting(kApplication, "TARNWICK-DEMO", "MAIN-Left", ""), "2");
  EXPECT_EQ(store.GetSetting(kApplication, "TARNWICK Zürich", "MAIN-Left", ""), "3");
  EXPECT_EQ(store.GetSetting("OTHER-APP", "TARNWICK", "MAIN-Left", ""), "4");
  EXPECT_EQ(FileNames(folder()),
            (std::vector<std::string>{"TARNWICK Zürich.conf", "TARNWICK-DEMO.conf", "TARNWICK.conf"}));
  EXPECT_EQ(ParsedFile("TARNWICK-DEMO").at("MAIN-Left"), "2");
  EXPECT_EQ(ModeOf(root() / "OTHER-APP"), 0700);
  EXPECT_EQ(settings::conf::Parse(ReadBytes(root() / "OTHER-APP" / "TARNWICK.conf")).values,
            (std::map<std::string, std::string>{{"MAIN-Left", "4"}}));
}

TEST_F(FileStoreBasics, KeysAreCaseSensitiveAndDashesAreKept) {
  FileStore store;
  store.SaveSetting(kApplication, kSection, "MAIN-Left", "upper");
  store.SaveSetting(kApplication, kSection, "main-left", "lower");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", ""), "upper");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "main-left", ""), "lower");
  EXPECT_EQ(ParsedFile().size(), 2u);
}

std::vector<std::string> HostileTexts() {
  std::string long_text;
  for (int i = 0; long_text.size() < 10000; ++i) long_text += (i % 97 == 0) ? "\n" : (i % 5 == 0) ? "\\" : "x,\" ";
  long_text.resize(10000);
  return {"",
          " ",
          "  leading and trailing  ",
          "\"quoted\" and 'single'",
          R"(C:\Program Files\node.exe -datadir="D:\x y", -rpcpassword=a;b)",
          R"(\n\r\0\\ are not escapes here)",
          "\\",
          "ends with a backslash\\",
          "a,b,c",
          "k=v=w",
          "=starts with equals",
          "#starts with a hash",
          ";starts with a semicolon",
          "\\starts with a backslash",
          "Zürich 東京",
          "first line\nsecond line\n",
          "\r\n",
          "ends with CR\r",
          "tab\there",
          "nul\0inside"s,
          "@Variant(\\0\\0\\0)",
          long_text};
}

TEST_F(FileStoreBasics, HostileTextsRoundTripThroughTheFile) {
  const std::vector<std::string> texts = HostileTexts();
  {
    FileStore store;
    CapturedStderr capture;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      store.SaveSetting(kApplication, kSection, "V" + std::to_string(i), texts[i]);
    }
    EXPECT_EQ(capture.Take(), "");
    for (std::size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(store.GetSetting(kApplication, kSection, "V" + std::to_string(i), "(default)"), texts[i]) << i;
    }
  }
  // QSettings shares what it has read between objects in one process; a copy of the file under
  // another name makes the second store read the bytes on disk.
  const std::filesystem::path other_root = root().parent_path() / "copy";
  WriteBytes(other_root / "TARNWICK" / "TARNWICK.conf", ReadBytes(file()), 0600);
  FileStore reader(other_root);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(reader.GetSetting(kApplication, kSection, "V" + std::to_string(i), "(default)"), texts[i]) << i;
  }
}

TEST_F(FileStoreBasics, HandEditedFileReadsAsTyped) {
  const std::string cmd = R"(C:\Program Files\node.exe -datadir="D:\x y", -rpcpassword=a;b)";
  const std::string text = "\xEF\xBB\xBF# edited by hand\r\n"
                           "\r\n"
                           "QT_FULL_RUN_CMD_TEXTBOX=" + cmd + "\r\n"
                           "  MAIN-Left = 1200 \r\n"
                           "PATH=C:\\new\\node.exe\r\n"
                           "QUOTED=\"a, b\"; 'c'\r\n"
                           "PLACE=Zürich 東京";
  WriteBytes(file(), text);
  FileStore store;
  CapturedStderr capture;
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "QT_FULL_RUN_CMD_TEXTBOX", ""), cmd);
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "MAIN-Left", ""), " 1200 ");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "PATH", ""), "C:\\new\\node.exe");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "QUOTED", ""), "\"a, b\"; 'c'");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "PLACE", ""), "Zürich 東京");
  EXPECT_EQ(capture.Take(), "");

  // Saving something else keeps the typed line character for character.
  store.SaveSetting(kApplication, kSection, "MAIN-Top", "5");
  const std::string rewritten = ReadBytes(file());
  EXPECT_NE(rewritten.find("\nQT_FULL_RUN_CMD_TEXTBOX=" + cmd + "\n"), std::string::npos) << rewritten;
  EXPECT_NE(rewritten.find("\nPATH=C:\\new\\node.exe\n"), std::string::npos) << rewritten;
}

TEST_F(FileStoreBasics, ChangesByAnotherProgramAreSeenOnTheNextRead) {
  FileStore store;
  store.SaveSetting(kApplication, kSection, "CMD", "old");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "CMD", ""), "old");
  const std::filesystem::path edited = folder() / "edit.tmp";
  WriteBytes(edited, "CMD=changed by hand\nADDED=1\n", 0600);
  std::filesystem::rename(edited, file());
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "CMD", ""), "changed by hand");
  EXPECT_EQ(store.GetSetting(kApplication, kSection, "ADDED", ""), "1");
}

TEST_F(FileStoreBasics, UnusableKeysAndNamesAreReportedAndNothingIsWritten) {
  FileStore store;
  struct Case {
    std::string application, section, key;
  };
  const std::vector<Case> cases = {{"TARNWICK", "TARNWICK", ""},          {"TARNWICK", "TARNWICK", "a=b"},
                                   {"TARNWICK", "TARNWICK", "group/key"}, {"TARNWICK", "TARNWICK", "#key"},
                                   {"TARNWICK", "TARNWICK", "line\nbreak"}, {"TARNWICK", "TARNWICK", "back\\slash"},
                                   {"TARNWICK", "", "K"},                  {"TARNWICK", "..", "K"},
                                   {"TARNWICK", "a/b", "K"},               {"", "TARNWICK", "K"},
                                   {"..", "TARNWICK", "K"}};
  for (const Case& c : cases) {
    CapturedStderr capture;
    store.SaveSetting(c.application, c.section, c.key, "value");
    const std::string saved = capture.Take();
    EXPECT_TRUE(saved.starts_with("TARNWICK: ")) << saved;
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 1) << saved;
    CapturedStderr capture2;
    EXPECT_EQ(store.GetSetting(c.application, c.section, c.key, "dflt"), "dflt");
    EXPECT_TRUE(capture2.Take().starts_with("TARNWICK: "));
  }
  EXPECT_FALSE(std::filesystem::exists(root()));
}

}  // namespace
}  // namespace store_test
