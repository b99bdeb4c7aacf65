// The signal bridge: a signal becomes a call in the event loop, never inside the handler, and the
// default handlers come back when the bridge goes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <csignal>
#include <vector>

#include "frontend/qt/signal_bridge.h"

namespace {

TEST(SignalBridge, TermIntAndHupArriveInTheEventLoopInOrder) {
  std::vector<int> seen;
  {
    qtfe::SignalBridge bridge([&](int signo) { seen.push_back(signo); });
    ASSERT_TRUE(bridge.installed());
    std::raise(SIGTERM);
    EXPECT_TRUE(seen.empty()) << "the handler itself must do nothing but note the signal";
    std::raise(SIGINT);
    std::raise(SIGHUP);
    QDeadlineTimer deadline(5000);
    while (seen.size() < 3 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));

  struct sigaction now {};
  for (int s : {SIGTERM, SIGINT, SIGHUP}) {
    ASSERT_EQ(sigaction(s, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << s;
  }
}

}  // namespace
