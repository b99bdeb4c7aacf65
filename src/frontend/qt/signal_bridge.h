// SignalBridge: SIGTERM, SIGINT and SIGHUP become calls in the Qt event loop, so the program closes
// through the core (unloading and storing everything) instead of dying where it stands.
#pragma once
#include <functional>
#include <memory>

class QSocketNotifier;

namespace qt_frontend {

class SignalBridge {
 public:
  // One bridge at a time. `on_signal` runs in the event loop with the signal's number.
  explicit SignalBridge(std::function<void(int)> on_signal);
  ~SignalBridge();
  SignalBridge(const SignalBridge&) = delete;
  SignalBridge& operator=(const SignalBridge&) = delete;

  bool installed() const { return notifier_ != nullptr; }

 private:
  void Drain();
  std::function<void(int)> on_signal_;
  int fds_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace qt_frontend
