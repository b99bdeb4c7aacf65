// Two copies of the program saving into one section: every key from both must be in the file
// afterwards, and the file must still parse. One test takes turns strictly, so that every save has
// to merge the other's last one; the other lets both run at once, so that they fight for the lock.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "settings/file_store.h"
#include "store_test_support.h"

namespace store_test {
namespace {

using settings::FileStore;
using settings::kApplication;

constexpr int kKeysPerWriter = 200;

std::string KeyOf(int writer, int n) { return "WRITER" + std::to_string(writer) + "-KEY-" + std::to_string(n); }
std::string ValueOf(int writer, int n) {
  return "value " + std::to_string(writer) + "/" + std::to_string(n) + R"( "C:\x", a;b)";
}

void ReadByte(int fd) {
  char byte = 0;
  while (::read(fd, &byte, 1) < 0 && errno == EINTR) {
  }
}

void WriteByte(int fd) {
  const char byte = 1;
  while (::write(fd, &byte, 1) < 0 && errno == EINTR) {
  }
}

class ConcurrentWriters : public StoreTest {
 protected:
  std::filesystem::path ErrorFile(int writer) const {
    return root().parent_path() / ("stderr-" + std::to_string(writer));
  }

  // Forks a copy of this program that runs `body` with its standard error in a file, so that the
  // parent can check that no save was reported as failed.
  pid_t Spawn(int writer, const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (std::freopen(ErrorFile(writer).c_str(), "w", stderr) == nullptr) ::_exit(3);
    body();
    std::fflush(stderr);
    ::_exit(0);
  }

  void ExpectCleanExit(int writer, pid_t pid) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "writer " << writer << " died, status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "writer " << writer;
    EXPECT_EQ(ReadBytes(ErrorFile(writer)), "") << "writer " << writer;
  }

  void ExpectEveryKey() {
    const std::map<std::string, std::string> values = ParsedFile();
    EXPECT_EQ(values.size(), 2u * kKeysPerWriter);
    for (int writer = 0; writer < 2; ++writer) {
      for (int n = 0; n < kKeysPerWriter; ++n) {
        const auto it = values.find(KeyOf(writer, n));
        ASSERT_NE(it, values.end()) << KeyOf(writer, n) << " was lost";
        EXPECT_EQ(it->second, ValueOf(writer, n));
      }
    }
    EXPECT_EQ(ModeOf(file()), 0600);
    EXPECT_EQ(FileNames(folder()), std::vector<std::string>{"TARNWICK.conf"}) << "a lock or temporary file was left";
  }
};

TEST_F(ConcurrentWriters, TakingTurnsEverySaveKeepsTheOthersKeys) {
  // turn[i] wakes writer i; each passes the turn to the other after every save.
  int turn[2][2];
  ASSERT_EQ(::pipe(turn[0]), 0) << std::strerror(errno);
  ASSERT_EQ(::pipe(turn[1]), 0) << std::strerror(errno);
  pid_t children[2];
  for (int writer = 0; writer < 2; ++writer) {
    children[writer] = Spawn(writer, [&, writer] {
      FileStore store(root());
      for (int n = 0; n < kKeysPerWriter; ++n) {
        ReadByte(turn[writer][0]);
        store.SaveSetting(kApplication, "TARNWICK", KeyOf(writer, n), ValueOf(writer, n));
        WriteByte(turn[1 - writer][1]);
      }
    });
    ASSERT_GE(children[writer], 0) << std::strerror(errno);
  }
  WriteByte(turn[0][1]);
  for (int writer = 0; writer < 2; ++writer) ExpectCleanExit(writer, children[writer]);
  // Held open until now: the last turn is passed to a writer that has already finished.
  for (auto& pipe_fds : turn) ::close(pipe_fds[0]), ::close(pipe_fds[1]);
  ExpectEveryKey();
}

TEST_F(ConcurrentWriters, BothAtOnceLoseNoKey) {
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0) << std::strerror(errno);
  pid_t children[2];
  for (int writer = 0; writer < 2; ++writer) {
    children[writer] = Spawn(writer, [&, writer] {
      ::close(gate[1]);
      ReadByte(gate[0]);  // returns at end-of-file, which both see when the parent closes its end
      FileStore store(root());
      for (int n = 0; n < kKeysPerWriter; ++n) {
        store.SaveSetting(kApplication, "TARNWICK", KeyOf(writer, n), ValueOf(writer, n));
      }
    });
    ASSERT_GE(children[writer], 0) << std::strerror(errno);
  }
  ::close(gate[0]);
  ::close(gate[1]);
  for (int writer = 0; writer < 2; ++writer) ExpectCleanExit(writer, children[writer]);
  ExpectEveryKey();
}

}  // namespace
}  // namespace store_test
