// The signal state the program inherits from whatever started it, tried on this test process: what
// start-up resets, and which end requests are taken and what is put back.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "process/linux/inherited_signals.h"

namespace {

volatile std::sig_atomic_t g_ours = 0;
volatile std::sig_atomic_t g_theirs = 0;
extern "C" void Ours(int signo) { g_ours = signo; }
extern "C" void Theirs(int signo) { g_theirs = signo; }

struct sigaction Disposition(void (*handler)(int), int flags = 0) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  return action;
}

void (*HandlerOf(int signo))(int) {
  struct sigaction now {};
  ::sigaction(signo, nullptr, &now);
  return now.sa_handler;
}

// Puts back one signal's disposition and this thread's mask when a case ends. A signal still
// pending then is discarded first, so a case that fails does not end the whole test program.
class Keep {
 public:
  explicit Keep(int signo) : signo_(signo) {
    ::sigaction(signo_, nullptr, &action_);
    ::pthread_sigmask(SIG_SETMASK, nullptr, &mask_);
  }
  ~Keep() {
    const struct sigaction ignore = Disposition(SIG_IGN);
    ::sigaction(signo_, &ignore, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &mask_, nullptr);
    ::sigaction(signo_, &action_, nullptr);
  }
  Keep(const Keep&) = delete;
  Keep& operator=(const Keep&) = delete;

 private:
  int signo_;
  struct sigaction action_ {};
  sigset_t mask_{};
};

TEST(StartupSignals, ChildrenAreReapedByUsAndABrokenPipeIsAWriteError) {
  struct Row {
    const char* inherited;
    struct sigaction chld;
  };
  const Row rows[] = {{"SIGCHLD ignored", Disposition(SIG_IGN)}, {"SA_NOCLDWAIT", Disposition(SIG_DFL, SA_NOCLDWAIT)}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.inherited);
    Keep chld(SIGCHLD), pipe(SIGPIPE), xfsz(SIGXFSZ);
    ::sigaction(SIGCHLD, &row.chld, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    process::SetStartupSignals();

    const pid_t child = ::fork();
    if (child == 0) ::_exit(7);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child) << std::strerror(errno);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    EXPECT_EQ(::write(ends[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(ends[1]);
  }
}

TEST(EndRequestSignals, AnIgnoredSignalStaysIgnoredAndWhatWasFoundComesBack) {
  struct Row {
    const char* found;
    void (*disposition)(int);
    bool blocked;
    bool taken;
  };
  const Row rows[] = {
      {"default", SIG_DFL, false, true},
      {"ignored, as under nohup", SIG_IGN, false, false},
      {"another handler", Theirs, false, true},
      {"default but blocked", SIG_DFL, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.found);
    Keep keep(SIGHUP);
    const struct sigaction found = Disposition(row.disposition);
    ::sigaction(SIGHUP, &found, nullptr);
    sigset_t hup;
    sigemptyset(&hup);
    sigaddset(&hup, SIGHUP);
    if (row.blocked) ::pthread_sigmask(SIG_BLOCK, &hup, nullptr);
    g_ours = 0;
    g_theirs = 0;
    {
      process::EndRequestSignals taken({SIGHUP}, Ours);
      EXPECT_EQ(taken.Handles(SIGHUP), row.taken);
      // Under the default disposition the signal would end the test program itself.
      if (taken.Handles(SIGHUP) || row.disposition != SIG_DFL) std::raise(SIGHUP);
      EXPECT_EQ(g_ours, row.taken ? SIGHUP : 0);
      EXPECT_EQ(g_theirs, 0);
    }
    EXPECT_EQ(HandlerOf(SIGHUP), row.disposition);
  }
}

}  // namespace
