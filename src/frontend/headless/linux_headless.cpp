// The headless program on Linux. The end signals (TERM, INT, HUP; one ignored at start-up stays
// ignored) reach the wait through a self-pipe, so the run closes as the graphical program closes on
// them. The start-up dispositions (SIGCHLD, SIGPIPE) are main()'s, for both modes.
#include "frontend/headless/linux_headless.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <iostream>

#include "frontend/headless/headless_run.h"
#include "process/linux/inherited_signals.h"
#include "process/linux/linux_process.h"
#include "settings/linux/file_store.h"
#include "settings/linux/journal_file.h"

namespace headless {

namespace {

volatile std::sig_atomic_t g_end_fd = -1;

extern "C" void OnEndSignal(int) {
  const int saved = errno;
  const unsigned char byte = 1;
  if (g_end_fd >= 0) [[maybe_unused]]
    ssize_t n = ::write(g_end_fd, &byte, 1);
  errno = saved;
}

class LinuxWaiter : public Waiter {
 public:
  LinuxWaiter() = default;
  ~LinuxWaiter() override {
    g_end_fd = -1;
    for (int fd : fds_)
      if (fd >= 0) ::close(fd);
  }
  LinuxWaiter(const LinuxWaiter&) = delete;
  LinuxWaiter& operator=(const LinuxWaiter&) = delete;

  ui::Millis Now() override {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<ui::Millis>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
  }

  bool Wait(std::optional<ui::Millis> due) override {
    for (;;) {
      int timeout = -1;
      if (due) {
        const ui::Millis left = *due - Now();
        if (left <= 0) return Drain();
        timeout = static_cast<int>(std::min<ui::Millis>(left, 60'000));
      }
      pollfd p{fds_[0], POLLIN, 0};
      const int ready = ::poll(&p, fds_[0] >= 0 ? 1 : 0, timeout);
      if (ready > 0) return Drain();
      if (ready < 0 && errno != EINTR) return Drain();
    }
  }

 private:
  bool Drain() {
    unsigned char buf[16];
    bool any = false;
    while (fds_[0] >= 0 && ::read(fds_[0], buf, sizeof buf) > 0) any = true;
    return any;
  }
  static std::array<int, 2> MakePipe() {
    std::array<int, 2> fds{-1, -1};
    if (::pipe2(fds.data(), O_CLOEXEC | O_NONBLOCK) != 0) fds = {-1, -1};
    g_end_fd = fds[1];
    return fds;
  }
  // The pipe first: a signal taken from the first moment on has somewhere to go.
  std::array<int, 2> fds_ = MakePipe();
  // A signal ignored at start-up (nohup) stays ignored.
  process::EndRequestSignals signals_{{SIGTERM, SIGINT, SIGHUP}, OnEndSignal};
};

}  // namespace

int LinuxHeadlessMain(const std::string& exe_name, const Options& options, settings::FileStore& store) {
  // A refused store would read every setting as its default and keep nothing: no run begins on it
  // (the store has said why on standard error).
  if (!store.Usable(settings::kApplication, exe_name)) return kCouldNotBegin;
  process::LinuxProcessControl processes;
  LinuxWaiter waiter;
  settings::JournalFile journal(settings::JournalFile::StateRootFromEnvironment(), exe_name);
  journal.Line(VersionLine() + " opens: headless");
  HeadlessPorts ports{processes, store, exe_name, std::cout, std::cerr, &journal};
  RunOptions run;
  run.max_run = options.max_run;
  run.settings_written = [&store] { return store.AllWritten(); };
  const int status = RunHeadless(ports, waiter, run);
  journal.Line(VersionLine() + " closes");
  return status;
}

}  // namespace headless
