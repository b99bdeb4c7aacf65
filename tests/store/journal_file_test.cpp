// The journal on real files: private folder and file, rotation at 1 MiB, and every journal the
// store's trust rules would refuse left unwritten (and whatever it points at untouched).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "settings/linux/journal_file.h"
#include "test_helpers.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::TempFolder;
using test_support::WriteFile;

struct Journal {
  Journal() { fs::create_directory(root); }
  TempFolder temp;
  fs::path root = temp.path() / "state";
  fs::path folder = root / "TARNWICK";
  fs::path log = folder / "NIGHT.log";
  settings::JournalFile journal{root, "NIGHT", [] { return std::string("T"); }};
};

mode_t ModeOf(const fs::path& p) {
  struct stat info {};
  return ::lstat(p.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(JournalFile, PrivateWhateverTheUmaskAndMovedAsideAtOneMebibyte) {
  Journal j;
  const mode_t old_umask = ::umask(0);
  j.journal.Line("first");
  ::umask(old_umask);
  EXPECT_EQ(ReadFile(j.log), "T first\n");
  EXPECT_EQ(ModeOf(j.folder), 0700u);
  EXPECT_EQ(ModeOf(j.log), 0600u);
  ::chmod(j.log.c_str(), 0644);  // opened to others by hand: private again at the next line
  j.journal.Line("second");
  EXPECT_EQ(ModeOf(j.log), 0600u);

  WriteFile(j.folder / "NIGHT.log.1", "older still\n");
  const std::string full(settings::JournalFile::kRotateBytes, 'x');
  WriteFile(j.log, full);
  j.journal.Line("next");
  EXPECT_EQ(ReadFile(j.log), "T next\n");
  EXPECT_EQ(ReadFile(j.folder / "NIGHT.log.1"), full);  // one old journal is kept
  j.journal.Line("again");
  EXPECT_EQ(ReadFile(j.log), "T next\nT again\n");
}

TEST(JournalFile, AJournalTheStoreWouldRefuseIsNotWritten) {
  struct Case {
    const char* name;
    std::function<void(Journal&, const fs::path& victim)> plant;
  };
  const Case cases[] = {
      {"a link to another file",
       [](Journal& j, const fs::path& victim) { fs::create_directories(j.folder), fs::create_symlink(victim, j.log); }},
      {"the folder a link",
       [](Journal& j, const fs::path& victim) { fs::create_directory_symlink(victim.parent_path(), j.folder); }},
      {"a FIFO", [](Journal& j, const fs::path&) { fs::create_directories(j.folder), ::mkfifo(j.log.c_str(), 0600); }},
      {"another user's file",
       [](Journal& j, const fs::path&) {
         fs::create_directories(j.folder);
         WriteFile(j.log, "theirs\n");
         ASSERT_EQ(::chown(j.log.c_str(), 65534, 65534), 0);
       }},
      {"a state root others may write to", [](Journal& j, const fs::path&) { ::chmod(j.root.c_str(), 0777); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Journal j;
    const fs::path victim = j.temp.path() / "elsewhere" / "victim";
    fs::create_directories(victim.parent_path());
    WriteFile(victim, "untouched\n");
    c.plant(j, victim);
    j.journal.Line("secret");
    EXPECT_EQ(ReadFile(victim), "untouched\n");
    EXPECT_FALSE(fs::exists(victim.parent_path() / "NIGHT.log"));
    if (fs::is_regular_file(fs::symlink_status(j.log))) {
      EXPECT_EQ(ReadFile(j.log).find("secret"), std::string::npos);
    }
  }
}

}  // namespace
