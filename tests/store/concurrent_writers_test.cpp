// Two copies of the program under two sections of one folder, each holding its own section, save
// side by side, taking strict turns or at once: no key is lost or lands in the other's file, and
// the folder holds the two files and the two lock files, nothing else.
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>

#include "store_test_support.h"

namespace store_test {
namespace {

constexpr int kKeys = 200;

std::string SectionOf(int writer) { return "TARNWICK-" + std::to_string(writer); }
std::string KeyOf(int writer, int n) { return "WRITER" + std::to_string(writer) + "-KEY-" + std::to_string(n); }
std::string ValueOf(int writer, int n) { return std::to_string(writer) + "/" + std::to_string(n) + R"( "C:\x", a;b)"; }

void ReadByte(int fd) {
  for (char byte = 0; ::read(fd, &byte, 1) < 0 && errno == EINTR;) continue;
}

void WriteByte(int fd) {
  while (::write(fd, "", 1) < 0 && errno == EINTR) continue;
}

class ConcurrentWriters : public StoreTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ConcurrentWriters, LoseNoKey) {
  const bool take_turns = GetParam();
  int turn[2][2];  // turn[i] wakes writer i; with take_turns each hands the turn on after every save
  ASSERT_EQ(::pipe(turn[0]), 0);
  ASSERT_EQ(::pipe(turn[1]), 0);
  pid_t children[2];
  for (int writer = 0; writer < 2; ++writer) {
    children[writer] = ::fork();
    ASSERT_GE(children[writer], 0);
    if (children[writer] > 0) continue;
    // The child: standard error goes to a file the parent checks is empty.
    if (std::freopen((base() / ("stderr-" + std::to_string(writer))).c_str(), "w", stderr) == nullptr) ::_exit(3);
    ReadByte(turn[writer][0]);
    FileStore store(root());
    if (store.Hold(kApplication, SectionOf(writer)).kind != settings::SectionHold::Kind::kHeld) ::_exit(4);
    for (int n = 0; n < kKeys; ++n) {
      if (take_turns && n > 0) ReadByte(turn[writer][0]);
      store.SaveSetting(kApplication, SectionOf(writer), KeyOf(writer, n), ValueOf(writer, n));
      if (take_turns) WriteByte(turn[1 - writer][1]);
    }
    std::fflush(stderr);
    ::_exit(0);
  }
  WriteByte(turn[0][1]);
  if (!take_turns) WriteByte(turn[1][1]);
  for (int writer = 0; writer < 2; ++writer) {
    int status = 0;
    ASSERT_EQ(::waitpid(children[writer], &status, 0), children[writer]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << writer << " status " << status;
    EXPECT_EQ(ReadFile(base() / ("stderr-" + std::to_string(writer))), "") << "writer " << writer;
  }
  for (auto& ends : turn) ::close(ends[0]), ::close(ends[1]);

  for (int writer = 0; writer < 2; ++writer) {
    Values expected;
    for (int n = 0; n < kKeys; ++n) expected[KeyOf(writer, n)] = ValueOf(writer, n);
    EXPECT_EQ(Parsed(file(SectionOf(writer))), expected);
    EXPECT_EQ(ModeOf(file(SectionOf(writer))), 0600);
  }
  EXPECT_EQ(FileNames(folder()),
            (std::vector<std::string>{"TARNWICK-0.conf", "TARNWICK-0.lock", "TARNWICK-1.conf", "TARNWICK-1.lock"}))
      << "a temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(Writers, ConcurrentWriters, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param_info) {
                           return param_info.param ? "TakingTurns" : "AtOnce";
                         });

}  // namespace
}  // namespace store_test
