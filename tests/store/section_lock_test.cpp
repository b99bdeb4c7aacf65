// One copy a section: the store's life-long lock file, held by one store at a time, let go when its
// holder dies however it dies, kept from launched programs, and never made where it is not safe.
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <cerrno>
#include <functional>
#include <iostream>

#include "store_test_support.h"

extern char** environ;

namespace store_test {
namespace {

using settings::SectionHold;
using Kind = SectionHold::Kind;

SectionHold HoldIn(FileStore& store, std::string_view section = "TARNWICK") {
  return store.Hold(kApplication, section);
}

TEST_F(StoreTest, OneStoreHoldsASectionAndOtherSectionsRunBesideIt) {
  EXPECT_EQ(HoldIn(*store_).kind, Kind::kHeld);
  FileStore second(root());
  EXPECT_EQ(HoldIn(second).kind, Kind::kHeldByOther);
  EXPECT_EQ(HoldIn(second, "TARNWICK-NIGHT").kind, Kind::kHeld);
  FileStore third(root());
  EXPECT_EQ(HoldIn(third, "TARNWICK-NIGHT").kind, Kind::kHeldByOther);
  EXPECT_EQ(FileNames(folder()), (std::vector<std::string>{"TARNWICK-NIGHT.lock", "TARNWICK.lock"}));
  for (const char* lock : {"TARNWICK.lock", "TARNWICK-NIGHT.lock"}) EXPECT_EQ(ModeOf(folder() / lock), 0600);
  EXPECT_EQ(ModeOf(folder()), 0700);
  store_.reset();  // a store that goes lets its section go
  EXPECT_EQ(HoldIn(third).kind, Kind::kHeld);
}

// The kernel lets go of a killed holder's lock; a program it started keeps none of it.
TEST_F(StoreTest, AKilledHolderLeavesNoLockAndALaunchedProgramKeepsNone) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    FileStore store(root());
    char held = HoldIn(store).kind == Kind::kHeld ? 'y' : 'n';
    // A program started the plain way, every descriptor not marked close-on-exec handed down.
    pid_t sleeper = -1;
    char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
    if (::posix_spawn(&sleeper, "/bin/sleep", nullptr, nullptr, argv, environ) != 0) held = 'n';
    (void)!::write(ready[1], &held, 1);
    (void)!::write(ready[1], &sleeper, sizeof sleeper);
    for (;;) ::pause();
  }
  char held = 0;
  pid_t sleeper = -1;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ASSERT_EQ(::read(ready[0], &sleeper, sizeof sleeper), static_cast<ssize_t>(sizeof sleeper));
  EXPECT_EQ(held, 'y');
  EXPECT_EQ(HoldIn(*store_).kind, Kind::kHeldByOther);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(HoldIn(*store_).kind, Kind::kHeld) << "the killed holder's lock outlived it, or its program kept it";
  ::kill(sleeper, SIGKILL);  // orphaned, so init collects it
  ::close(ready[0]);
  ::close(ready[1]);
}

// Where the lock cannot be had safely, the program runs unguarded and says why: nothing is made in a
// folder the store refuses, a lock file that is a link or a FIFO is not used (nor waited on), and
// a folder open to others is closed first, since whoever can open the lock file can hold it.
TEST_F(StoreTest, ALockIsTakenOnlyWhereNoOneElseCanReachIt) {
  ::alarm(60);
  const fs::path lock = folder() / "TARNWICK.lock";
  struct Case {
    const char* name;
    std::function<bool()> plant;
    Kind kind;
    std::vector<std::string> said;  // the store's own lines
    std::string why;
  };
  const std::vector<Case> cases = {
      {"folder open to reading by others",
       [&] { return fs::create_directories(folder()) && ::chmod(folder().c_str(), 0755) == 0; },
       Kind::kHeld,
       {},
       ""},
      {"folder of another user",
       [&] {
         return ::geteuid() == 0 && fs::create_directories(folder()) && ::chown(folder().c_str(), 65534, 65534) == 0;
       },
       Kind::kUnguarded,
       {"not using the settings in " + file().native()},
       "its settings are refused"},
      {"file of another user",
       [&] {
         Plant(file(), "MAIN-Left=1\n");
         return ::geteuid() == 0 && ::chown(file().c_str(), 65534, 65534) == 0;
       },
       Kind::kUnguarded,
       {"belongs to another user"},
       "its settings are refused"},
      {"lock file is a link",
       [&] {
         Plant(base() / "victim", "mine\n");
         return fs::create_directories(folder()), fs::create_symlink(base() / "victim", lock), true;
       },
       Kind::kUnguarded,
       {},
       lock.native() + " (a link to " + (base() / "victim").native() + ") is a link"},
      {"lock file is a FIFO",
       [&] { return fs::create_directories(folder()) && ::mkfifo(lock.c_str(), 0600) == 0; },
       Kind::kUnguarded,
       {},
       lock.native() + " is a FIFO, not a regular file"},
      {"lock file left open to others",
       [&] { return Plant(lock, "", 0666), ::chmod(folder().c_str(), 0755) == 0; },
       Kind::kHeld,
       {},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root());
    fs::remove(base() / "victim");
    if (!c.plant()) {
      std::cout << "not run here: " << c.name << "\n";
      continue;
    }
    UseRoot(root());
    const std::string victim = ReadFile(base() / "victim");
    ::testing::internal::CaptureStderr();
    const SectionHold hold = HoldIn(*store_);
    reports_ += ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(hold.kind, c.kind);
    EXPECT_NE(hold.why.find(c.why), std::string::npos) << hold.why;
    ExpectReports(c.said);
    EXPECT_EQ(ReadFile(base() / "victim"), victim);
    if (c.kind == Kind::kHeld) {
      EXPECT_EQ(ModeOf(folder()), 0700);
      EXPECT_EQ(ModeOf(lock), 0600);
    }
    if (c.why == "its settings are refused") {
      EXPECT_FALSE(fs::exists(lock)) << "a lock file was made beside a refused store";
    }
  }
  ::alarm(0);
}

// Nothing of the store is locked but its own lock file: another user holding a lock on anything they
// can open there (the folders) stops no save.
TEST_F(StoreTest, LocksOthersHoldOnTheFoldersStopNoSave) {
  Save("MAIN-Left", "1500");
  std::vector<int> held;
  for (const fs::path& path : {root(), folder()}) {
    held.push_back(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_EQ(::flock(held.back(), LOCK_EX | LOCK_NB), 0) << path;
  }
  Save("MAIN-Top", "300");
  EXPECT_EQ(Parsed(file()), (Values{{"MAIN-Left", "1500"}, {"MAIN-Top", "300"}}));
  for (const int fd : held) ::close(fd);
}

}  // namespace
}  // namespace store_test
