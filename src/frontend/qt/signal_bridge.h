// SignalBridge: SIGTERM, SIGINT and SIGHUP become calls in the Qt event loop, so the program closes
// through the core (unloading and storing everything) instead of dying where it stands. A signal
// ignored when the bridge is made stays ignored (nohup).
#pragma once
#include <functional>
#include <memory>

#include "process/linux/inherited_signals.h"

class QSocketNotifier;

namespace qt_frontend {

class SignalBridge {
 public:
  // One bridge at a time. `on_signal` runs in the event loop with the signal's number. Taking the
  // bridge down puts back each signal's disposition as it was found.
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
  std::unique_ptr<process::EndRequestSignals> handlers_;
};

}  // namespace qt_frontend
