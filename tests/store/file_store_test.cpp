// The file store on disk: where files go and who may read them, values and hand edits surviving the
// file, stores that are not the user's own or not a regular file refused, bad lines skipped one by
// one, and saves that fail being reported without stopping the program.
#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <optional>
#include <tuple>

#include "store_test_support.h"

namespace store_test {
namespace {

// True, so that a refused store's planting reads as one expression.
bool Chmod(const fs::path& path, mode_t mode) {
  EXPECT_EQ(::chmod(path.c_str(), mode), 0) << path;
  return true;
}
bool Chown(const fs::path& path) {
  if (::geteuid() != 0) return false;  // only root can give a file away
  EXPECT_EQ(::chown(path.c_str(), 65534, 65534), 0) << path;
  return true;
}

TEST_F(StoreTest, ConfigRootComesFromXdgThenHomeThenTheUserDatabase) {
  test_support::PrivateConfigHome keep_xdg;  // XDG_CONFIG_HOME comes back at the end, HOME below
  const char* home_was = std::getenv("HOME");
  const std::optional<std::string> old_home = home_was ? std::optional<std::string>(home_was) : std::nullopt;
  const passwd* entry = ::getpwuid(::getuid());
  const fs::path from_database =
      entry && entry->pw_dir && entry->pw_dir[0] == '/' ? fs::path(entry->pw_dir) / ".config" : fs::path();
  using Case = std::tuple<const char*, const char*, fs::path>;  // XDG_CONFIG_HOME, HOME, config root
  for (const auto& [xdg, home, root] :
       {Case{"/somewhere/cfg", "/home/someone", "/somewhere/cfg"},
        Case{nullptr, "/home/someone", "/home/someone/.config"}, Case{"", "/home/someone", "/home/someone/.config"},
        Case{"relative/cfg", "/home/someone", "/home/someone/.config"},
        Case{"~/cfg", "/home/someone", "/home/someone/.config"}, Case{nullptr, "not/absolute", from_database}}) {
    xdg ? ::setenv("XDG_CONFIG_HOME", xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", home, 1);
    EXPECT_EQ(FileStore::ConfigRootFromEnvironment(), root) << (xdg ? xdg : "(unset)") << " " << home;
    EXPECT_EQ(FileStore().SectionFile(kApplication, "TARNWICK-DEMO"), root / "TARNWICK" / "TARNWICK-DEMO.conf");
  }
  old_home ? ::setenv("HOME", old_home->c_str(), 1) : ::unsetenv("HOME");
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
  EXPECT_EQ(FileNames(folder()),
            (std::vector<std::string>{"TARNWICK Zürich.conf", "TARNWICK-DEMO.conf", "TARNWICK.conf"}));
  EXPECT_EQ(Parsed(root() / "OTHER-APP" / "TARNWICK.conf"), (Values{{"MAIN-Left", "4"}}));
  EXPECT_EQ(ModeOf(root() / "OTHER-APP"), 0700);
}

TEST_F(StoreTest, HostileTextsSurviveTheFile) {
  const std::vector<std::string> texts = HostileTexts();
  for (std::size_t i = 0; i < texts.size(); ++i) Save("V" + std::to_string(i), texts[i]);
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(Get("V" + std::to_string(i)), texts[i]) << i;
  // QSettings shares what it has read within a process; a copy under another root is read from disk.
  Plant(base() / "copy" / "TARNWICK" / "TARNWICK.conf", ReadFile(file()));
  UseRoot(base() / "copy");
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(Get("V" + std::to_string(i)), texts[i]) << i;
}

TEST_F(StoreTest, HandEditsReadAsTypedSurviveARewriteAndAreSeenWhileRunning) {
  const std::string cmd = R"(C:\Program Files\node.exe -datadir="D:\x y", -rpcpassword=a;b)";
  Plant(file(), "\xEF\xBB\xBF# edited by hand\r\n\r\nCMD=" + cmd + "\r\n  MAIN-Left = 1200 \r\n", 0644);
  fs::permissions(folder(), fs::perms(0755));
  EXPECT_EQ(Get("CMD"), cmd);
  EXPECT_EQ(Get("MAIN-Left"), " 1200 ");
  Save("MAIN-Top", "5");
  EXPECT_EQ(Parsed(file()), (Values{{"CMD", cmd}, {"MAIN-Left", " 1200 "}, {"MAIN-Top", "5"}}));
  EXPECT_NE(ReadFile(file()).find("\nCMD=" + cmd + "\n"), std::string::npos) << "a plain line is written as typed";
  EXPECT_EQ(ModeOf(folder()), 0700) << "a folder open to reading by others is closed on save";
  EXPECT_EQ(ModeOf(file()), 0600);

  Plant(folder() / "edit.tmp", "CMD=changed by hand\nADDED=1\n");
  fs::rename(folder() / "edit.tmp", file());
  EXPECT_EQ(Get("CMD"), "changed by hand");
  EXPECT_EQ(Get("ADDED"), "1");
}

TEST_F(StoreTest, UnusableKeysNamesAndRootsAreReportedAndNothingIsWritten) {
  using Case = std::tuple<std::string, std::string, std::string>;  // application, section, key
  std::vector<Case> cases = {{"", "TARNWICK", "K"}, {"..", "TARNWICK", "K"}};
  for (const char* section : {"", "..", "a/b"}) cases.emplace_back("TARNWICK", section, "K");
  for (const char* key : {"", "a=b", "group/key", "#key", "line\nbreak", "back\\slash"})
    cases.emplace_back("TARNWICK", "TARNWICK", key);
  for (const auto& [application, section, key] : cases) {
    Save(key, "value", section, application);
    EXPECT_EQ(Get(key, "dflt", section, application), "dflt");
    ExpectReports({"sav", "read"});
  }
  EXPECT_FALSE(fs::exists(root()));
  UseRoot({});
  Save("MAIN-Left", "1500");
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1200");
  ExpectReports({"settings are not kept"});
}

// Everything under a folder as lstat and the bytes see it: a change of content, kind, mode or owner
// shows. Large files are compared by size and time, FIFOs and devices never opened.
std::map<std::string, std::string> Snapshot(const fs::path& top) {
  std::map<std::string, std::string> seen;
  for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
    struct stat info {};
    EXPECT_EQ(::lstat(it->path().c_str(), &info), 0) << it->path();
    std::string what = std::to_string(info.st_mode) + " uid " + std::to_string(info.st_uid);
    if (S_ISLNK(info.st_mode)) what += " -> " + fs::read_symlink(it->path()).native();
    if (S_ISREG(info.st_mode)) {
      what += info.st_size < (1 << 20)
                  ? " " + ReadFile(it->path())
                  : " size " + std::to_string(info.st_size) + " at " + std::to_string(info.st_mtim.tv_sec) + "." +
                        std::to_string(info.st_mtim.tv_nsec);
    }
    seen[it->path().native()] = what;
  }
  return seen;
}

// A way the store can be found that is not the user's own, or not a regular file: PLANT makes it
// (false when this machine cannot, say no mknod or no root), SAID is what the one report must hold.
struct Refused {
  std::string name;
  std::function<bool()> plant;
  std::vector<std::string> said;
};

class RefusedStore : public StoreTest {
 protected:
  // A store with Auto Start ticked and a command line, as a planter would leave it; then PLANT.
  // Nothing of it is read or written, its modes stay, and one line says where, why and how to fix.
  void ExpectRefused(const std::vector<Refused>& cases) {
    for (const Refused& c : cases) {
      SCOPED_TRACE(c.name);
      for (const fs::path& old : {root(), elsewhere()}) fs::remove_all(old);
      Plant(file(), "AUTOSTART_TIME_TICKBOX=1\nCLI_FULL_RUN_CMD_TEXTBOX=/tmp/planted\n");
      fs::create_directories(elsewhere());
      if (!c.plant()) {
        std::cout << "not run here: " << c.name << "\n";
        continue;
      }
      UseRoot(root());
      const auto before = Snapshot(base());
      ::testing::internal::CaptureStderr();
      EXPECT_EQ(store_->Hold(kApplication, "TARNWICK").kind, settings::SectionHold::Kind::kUnguarded);
      reports_ += ::testing::internal::GetCapturedStderr();
      EXPECT_EQ(Get("AUTOSTART_TIME_TICKBOX", "0"), "0");
      EXPECT_EQ(Get("CLI_FULL_RUN_CMD_TEXTBOX", ""), "");
      Save("AUTOSTART_TIME_TICKBOX", "0");
      Save("MAIN-Left", "1500");
      EXPECT_EQ(Get("MAIN-Left", "1000"), "1500") << "a value saved is kept for the run";
      std::vector<std::string> parts = {"not using the settings in " + file().native() + ": "};
      parts.insert(parts.end(), c.said.begin(), c.said.end());
      parts.push_back("read as their defaults and nothing is written there");
      const std::string line = std::exchange(reports_, {});
      EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
      for (const std::string& part : parts) EXPECT_NE(line.find(part), std::string::npos) << line << " lacks " << part;
      EXPECT_EQ(Snapshot(base()), before) << "the refused store was written, or its modes changed";
    }
  }
  fs::path elsewhere() const { return base() / "elsewhere"; }
};

TEST_F(RefusedStore, AnotherUsersOrAWritableFolderOrFile) {
  const std::string dir = folder().native(), top = root().native(), conf = file().native();
  const fs::path moved = elsewhere() / "t.conf";
  const auto move_file = [&] { return fs::rename(file(), moved), fs::create_symlink(moved, file()), true; };
  // A link in another user's folder leads wherever they like: through it a save would rewrite, or
  // a store be made in, any of the user's files or folders (here a dotfile and its folder).
  const fs::path victim = base() / "dotfiles", hop = elsewhere() / "hop";
  const auto through_foreign = [&](const fs::path& link, const fs::path& leads_to) {
    Plant(victim / "profile", "export PATH=/usr/bin\n", 0644);
    fs::remove_all(link);
    fs::create_symlink(hop, link);
    fs::create_symlink(leads_to, hop);
    return Chmod(victim, 0755) && Chown(elsewhere());
  };
  const std::string chain = "the link " + hop.native() +
                            " lies where someone else can change it: " + elsewhere().native() +
                            " belongs to another user (uid 65534)";
  ExpectRefused({
      {"file is a link through another user's folder",
       [&] { return through_foreign(file(), victim / "profile"); },
       {chain}},
      {"folder is a link through another user's folder", [&] { return through_foreign(folder(), victim); }, {chain}},
      {"config root is a link through another user's folder", [&] { return through_foreign(root(), victim); }, {chain}},
      {"folder of another user", [&] { return Chown(folder()); }, {dir + " belongs to another user (uid 65534)"}},
      {"folder writable by all",
       [&] { return Chmod(folder(), 0777); },
       {dir + " is writable by group and others", "chmod go-w " + dir}},
      {"folder writable by its group",
       [&] { return Chmod(folder(), 0770); },
       {dir + " is writable by group;", "chmod go-w " + dir}},
      {"sticky folder writable by all", [&] { return Chmod(folder(), 01777); }, {"chmod go-w " + dir}},
      {"config root writable by others",
       [&] { return Chmod(root(), 0757); },
       {top + " is writable by others", "chmod go-w " + top}},
      {"config root of another user", [&] { return Chown(root()); }, {top + " belongs to another user"}},
      {"file writable by all",
       [&] { return Chmod(file(), 0666); },
       {conf + " is writable by group and others", "chmod go-w " + conf}},
      {"file of another user", [&] { return Chown(file()); }, {conf + " belongs to another user"}},
      {"folder is a link to a folder writable by all",
       [&] {
         fs::remove_all(elsewhere());
         fs::rename(folder(), elsewhere());
         fs::create_directory_symlink(elsewhere(), folder());
         return Chmod(elsewhere(), 0777);
       },
       {dir + " (a link to " + elsewhere().native() + ") is writable by group and others"}},
      {"file is a link into a folder writable by all",
       [&] { return move_file() && Chmod(elsewhere(), 0777); },
       {elsewhere().native() + " is writable by group and others"}},
      {"file is a link to another user's file",
       [&] { return move_file() && Chown(moved); },
       {conf + " (a link to " + moved.native() + ") belongs to another user"}},
  });
}

// A FIFO would block the open for good: the whole test is killed rather than left hanging.
TEST_F(RefusedStore, AnythingButARegularFileOfReasonableSize) {
  ::alarm(60);
  const auto fifo = [](const fs::path& path) { return ::mkfifo(path.c_str(), 0600) == 0; };
  const auto device = [](const fs::path& path) { return ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; };
  const auto socket_at = [](const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.native().copy(address.sun_path, sizeof address.sun_path - 1);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
  };
  const auto instead = [&](auto make) { return [&, make] { return fs::remove(file()) && make(file()); }; };
  const auto link_to = [&](auto make) {
    return [&, make] {
      return fs::remove(file()) && make(elsewhere() / "t") && (fs::create_symlink(elsewhere() / "t", file()), true);
    };
  };
  const std::string regular = ", not a regular file";
  const std::string linked = file().native() + " (a link to " + (elsewhere() / "t").native() + ") is ";
  ExpectRefused({
      {"FIFO", instead(fifo), {file().native() + " is a FIFO" + regular}},
      {"socket", instead(socket_at), {file().native() + " is a socket" + regular}},
      {"device", instead(device), {file().native() + " is a character device" + regular}},
      {"link to a FIFO", link_to(fifo), {linked + "a FIFO" + regular}},
      {"link to a device", link_to(device), {linked + "a character device" + regular}},
      {"folder", instead([](const fs::path& p) { return fs::create_directory(p); }), {"is a folder" + regular}},
      {"link to nothing",
       [&] { return fs::remove(file()) && (fs::create_symlink(elsewhere() / "none", file()), true); },
       {"is a link that leads nowhere"}},
      // One link more than a walk follows, though every one lies in a folder of the user's own.
      {"a chain of 41 links",
       [&] {
         Plant(elsewhere() / "t", "MAIN-Left=1200\n");
         fs::path last = elsewhere() / "t";
         for (int i = 1; i <= 40; ++i) {
           fs::create_symlink(last, elsewhere() / std::to_string(i));
           last = elsewhere() / std::to_string(i);
         }
         return fs::remove(file()) && (fs::create_symlink(last, file()), true);
       },
       {"leads through more than 40 links"}},
      // Not read, not copied aside, not overwritten: 1 GiB of holes costs nothing to make.
      {"1 GiB file",
       [&] { return ::truncate(file().c_str(), off_t{1} << 30) == 0; },
       {file().native() + " is larger than a settings file can be (16 MiB)"}},
  });
  ::alarm(0);
}

TEST_F(StoreTest, ALinkToARegularFileOfTheUsersIsFollowedAndStaysALink) {
  const fs::path dots = base() / "dotfiles", target = dots / "tarnwick.conf";
  Plant(target, "MAIN-Left=1200\n");
  fs::create_directories(folder());
  fs::create_symlink(target, file());
  EXPECT_EQ(Get("MAIN-Left"), "1200");
  Save("MAIN-Top", "300");
  EXPECT_TRUE(fs::is_symlink(file()));
  EXPECT_EQ(fs::read_symlink(file()), target);
  EXPECT_EQ(Parsed(target), (Values{{"MAIN-Left", "1200"}, {"MAIN-Top", "300"}}));
  EXPECT_EQ(ModeOf(target), 0600);
  EXPECT_EQ(FileNames(dots), std::vector<std::string>{"tarnwick.conf"}) << "a temporary file was left";
  EXPECT_EQ(FileNames(folder()), std::vector<std::string>{"TARNWICK.conf"});
}

TEST_F(StoreTest, WhatTheStoreMakesIsPrivateWhateverTheUmask) {
  for (const mode_t mask : {0022, 0000, 0277, 0777}) {
    SCOPED_TRACE(mask);
    const fs::path made = base() / ("umask-" + std::to_string(mask));
    UseRoot(made / "config");
    const mode_t old = ::umask(mask);
    Save("MAIN-Left", "1500");
    ::umask(old);
    for (const fs::path& folder : {made, made / "config", made / "config" / "TARNWICK"})
      EXPECT_EQ(ModeOf(folder), 0700) << folder;
    EXPECT_EQ(ModeOf(made / "config" / "TARNWICK" / "TARNWICK.conf"), 0600);
    EXPECT_EQ(Get("MAIN-Left"), "1500");
  }
}

TEST_F(StoreTest, ABadLineCostsOnlyThatLineAndTheFileIsCopiedBeforeItIsFirstSavedOver) {
  const std::string cli = "/opt/n\xE9ud/cli -x \xFF";  // Latin-1 and a stray byte, not UTF-8
  const std::string damaged = "MAIN-Left=1500\nsomeone wrote this\nCLI=" + cli + "\n\1\0\2garbage\nMAIN-Top=300\n"s;
  Plant(file(), damaged);
  EXPECT_EQ(Get("MAIN-Left"), "1500");
  EXPECT_EQ(Get("CLI"), cli);
  EXPECT_EQ(Get("MAIN-Top"), "300");
  EXPECT_EQ(Get("MAIN-Width", "9585"), "9585");
  ExpectReports(
      {file().native() + ": skipped lines 2 (has no '='), 4 (holds a NUL byte); the other settings are used"});
  const fs::path copy = file().native() + ".bad";
  EXPECT_FALSE(fs::exists(copy)) << "reading alone copies nothing";

  Save("MAIN-Width", "900");
  EXPECT_EQ(ReadFile(copy), damaged);
  EXPECT_EQ(ModeOf(copy), 0600);
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Left", "1500"}, {"CLI", cli}, {"MAIN-Top", "300"}, {"MAIN-Width", "900"}}));
  Save("MAIN-Width", "901");
  EXPECT_EQ(ReadFile(copy), damaged) << "a file without skipped lines is not copied";

  // New damage by hand: its copy replaces the older one, and that is the only copy there is.
  Plant(file(), "MAIN-Left=1\nnew damage\n");
  fs::last_write_time(file(), fs::last_write_time(file()) - std::chrono::hours(1));  // seen as changed
  Save("MAIN-Top", "5");
  ExpectReports({"skipped line 2 (has no '=')"});
  EXPECT_EQ(ReadFile(copy), "MAIN-Left=1\nnew damage\n");
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Left", "1"}, {"MAIN-Top", "5"}}));
  EXPECT_EQ(FileNames(folder()), (std::vector<std::string>{"TARNWICK.conf", "TARNWICK.conf.bad"}));
}

TEST_F(StoreTest, FolderWhereTheFileShouldBeIsRefusedButTheValuesAreKeptForTheRun) {
  fs::create_directories(file());
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1200");
  Save("MAIN-Left", "1500");
  Save("MAIN-Width", "900");
  ExpectReports({"is a folder, not a regular file"});
  EXPECT_TRUE(fs::is_empty(file()));
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1500");

  fs::remove(file());
  Save("MAIN-Height", "700");
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Height", "700"}, {"MAIN-Left", "1500"}, {"MAIN-Width", "900"}}));
}

TEST_F(StoreTest, ReadOnlyFolderOrFileFailsSavesUntilItIsWritableAgain) {
  Save("MAIN-Left", "1500");
  const std::string before = ReadFile(file());
  ASSERT_TRUE(MakePermissionBitsBind());
  Chmod(folder(), 0500);
  ASSERT_LT(::open((folder() / "probe").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600), 0) << "still writable";

  Save("MAIN-Top", "300");
  ExpectReports({"could not save MAIN-Top"});
  EXPECT_EQ(ReadFile(file()), before);
  EXPECT_EQ(Get("MAIN-Left"), "1500");
  Chmod(folder(), 0700);
  Save("MAIN-Width", "900");
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Left", "1500"}, {"MAIN-Top", "300"}, {"MAIN-Width", "900"}}));

  // A file with a skipped line there cannot be copied first, so it is not saved over either.
  Plant(file(), "MAIN-Left=1500\ngarbage\n");
  Chmod(folder(), 0500);
  Save("MAIN-Height", "700");
  ExpectReports({"skipped line 2 (has no '=')", "could not save MAIN-Height"});
  EXPECT_EQ(ReadFile(file()), "MAIN-Left=1500\ngarbage\n");

  // A file made read-only by hand is kept so, though its folder would let it be replaced.
  Chmod(folder(), 0700);
  Plant(file(), "MAIN-Left=1500\n", 0400);
  Save("MAIN-Height", "700");
  ExpectReports({"the file is read-only; chmod u+w"});
  EXPECT_EQ(ReadFile(file()), "MAIN-Left=1500\n");
}

TEST_F(StoreTest, UnreadableFileReadsAsDefaults) {
  Plant(file(), "MAIN-Left=1500\n", 0000);
  ASSERT_TRUE(MakePermissionBitsBind());
  ASSERT_LT(::open(file().c_str(), O_RDONLY), 0) << "the file can still be opened";
  EXPECT_EQ(Get("MAIN-Left", "1200"), "1200");
  ExpectReports({"the file cannot be read"});
}

TEST_F(StoreTest, PendingSaveWrittenByALaterReadIsPrivateToo) {
  const fs::path blocker = base() / "blocker";
  Plant(blocker, "a file where a folder should be");
  UseRoot(blocker / "config");
  Save("MAIN-Left", "1500");
  ExpectReports({"could not save MAIN-Left"});

  fs::remove(blocker);
  EXPECT_EQ(Get("MAIN-Left"), "1500");
  const fs::path written = blocker / "config" / "TARNWICK" / "TARNWICK.conf";
  EXPECT_EQ(Parsed(written), (Values{{"MAIN-Left", "1500"}}));
  for (const fs::path& made : {blocker, blocker / "config", written.parent_path()})
    EXPECT_EQ(ModeOf(made), 0700) << made;
  EXPECT_EQ(ModeOf(written), 0600);
}

}  // namespace
}  // namespace store_test
