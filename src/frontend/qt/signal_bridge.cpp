// The self-pipe: the signal handler only writes the signal's number to a socket (async-signal-safe);
// a socket notifier reads it in the event loop, where closing windows is allowed.
#include "frontend/qt/signal_bridge.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace qt_frontend {

namespace {

volatile std::sig_atomic_t g_write_fd = -1;

extern "C" void OnSignal(int signo) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signo);
  if (g_write_fd >= 0) {
    // A full socket means a signal is already waiting to be handled; losing this one is harmless.
    [[maybe_unused]] ssize_t n = ::write(g_write_fd, &byte, 1);
  }
  errno = saved;
}

}  // namespace

SignalBridge::SignalBridge(std::function<void(int)> on_signal) : on_signal_(std::move(on_signal)) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
    fds_[0] = fds_[1] = -1;
    return;
  }
  g_write_fd = fds_[1];
  notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { Drain(); });
  handlers_ =
      std::make_unique<process::EndRequestSignals>(std::initializer_list<int>{SIGTERM, SIGINT, SIGHUP}, OnSignal);
}

SignalBridge::~SignalBridge() {
  handlers_.reset();
  g_write_fd = -1;
  notifier_.reset();
  for (int& fd : fds_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void SignalBridge::Drain() {
  unsigned char buf[16];
  for (;;) {
    const ssize_t n = ::read(fds_[0], buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i)
      if (on_signal_) on_signal_(buf[i]);
  }
}

}  // namespace qt_frontend
