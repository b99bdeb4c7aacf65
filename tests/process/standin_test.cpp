// Tests of the stand-in programs themselves: the chain node, progress tool and client play by
// hand, and the failure options behave as the run's tests expect them to.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

using process_test::fs::path;

class StandIns : public ::testing::Test {
 protected:
  void SetUp() override { process_test::fs::create_directories(state_); }
  void TearDown() override {
    if (node_ > 0) process_test::KillAndReap(node_);
  }
  int Run(const char* program, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const pid_t pid = process_test::SpawnDirect(program, argv);
    return pid > 0 ? process_test::WaitForExit(pid) : -1;
  }
  std::string Log() const { return process_test::ReadText(state_ / "log.txt"); }

  process_test::TempDir temp_;
  path state_ = temp_.path() / "state";
  pid_t node_ = 0;
};

TEST_F(StandIns, PlayTheChainFromNodeStartToStopCommand) {
  node_ = process_test::SpawnDirect(TARNWICK_NODE_STANDIN,
                                    {"NODE-QT-STANDIN", "--state", state_.string()});
  ASSERT_GT(node_, 0);
  EXPECT_EQ(Run(TARNWICK_CORVANT_STANDIN, {"--state", state_.string(), "--catch-up-ms", "200"}),
            0);
  EXPECT_TRUE(process_test::fs::exists(state_ / "node.started"));
  const char node_state = process_test::StateOf(node_);
  EXPECT_TRUE(node_state != '\0' && node_state != 'Z') << "the node must still run after catching up";
  EXPECT_EQ(Run(TARNWICK_CLI_STANDIN, {"--state", state_.string(), "stop"}), 0);
  EXPECT_EQ(process_test::WaitForExit(node_), 0);
  node_ = 0;

  const std::string log = Log();
  const auto node_started = log.find(" NODE-QT-STANDIN started\n");
  const auto caught_up = log.find(" MF-CORVANT-STANDIN caught up\n");
  const auto stop_sent = log.find(" NODE-CLI-STANDIN stop command sent\n");
  const auto stopped = log.find(" NODE-QT-STANDIN stopped by stop command\n");
  ASSERT_NE(node_started, std::string::npos) << log;
  ASSERT_NE(caught_up, std::string::npos) << log;
  ASSERT_NE(stop_sent, std::string::npos) << log;
  ASSERT_NE(stopped, std::string::npos) << log;
  EXPECT_LT(node_started, caught_up);
  EXPECT_LT(stop_sent, stopped);
  EXPECT_FALSE(process_test::fs::exists(state_ / "node.started"));
  EXPECT_FALSE(process_test::fs::exists(state_ / "stop-request"));
}

TEST_F(StandIns, FailureOptionsEndWithTheirOwnCodesAndDoNothing) {
  EXPECT_EQ(Run(TARNWICK_CORVANT_STANDIN, {"--state", state_.string(), "--crash"}), 3);
  EXPECT_EQ(Run(TARNWICK_CLI_STANDIN, {"--state", state_.string(), "stop", "--fail"}), 1);
  EXPECT_FALSE(process_test::fs::exists(state_ / "stop-request"));
  EXPECT_NE(Log().find(" MF-CORVANT-STANDIN crashed\n"), std::string::npos) << Log();
  EXPECT_NE(Log().find(" NODE-CLI-STANDIN stop command failed\n"), std::string::npos) << Log();
}

TEST_F(StandIns, LogLinesCarryAnIsoUtcTimestampWithMilliseconds) {
  ASSERT_EQ(Run(TARNWICK_CLI_STANDIN, {"--state", state_.string(), "stop"}), 0);
  std::istringstream lines(Log());
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  // 2024-05-01T12:34:56.789Z NODE-CLI-STANDIN started
  ASSERT_GT(line.size(), 25u) << line;
  for (const std::size_t digit : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22}) {
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(line[digit]))) << line;
  }
  EXPECT_EQ(line.substr(4, 1) + line.substr(7, 1) + line.substr(10, 1) + line.substr(13, 1) +
                line.substr(16, 1) + line.substr(19, 1) + line.substr(23, 2),
            "--T::.Z ");
  EXPECT_EQ(line.substr(25), "NODE-CLI-STANDIN started");
}

TEST_F(StandIns, HelpersFindTheirStateFolderBesideThemselves) {
  const path folder = temp_.path() / "helpers";
  const path helper = process_test::CopyExecutable(TARNWICK_PELLUM_ON, folder, "MF-PELLUM-ON");
  process_test::WriteText(folder / "standin-state.txt", state_.string() + "\n");
  EXPECT_EQ(Run(helper.c_str(), {"--work-ms", "10"}), 0);
  EXPECT_NE(Log().find(" MF-PELLUM-ON started\n"), std::string::npos) << Log();
  EXPECT_NE(Log().find(" MF-PELLUM-ON done\n"), std::string::npos) << Log();
}

}  // namespace
