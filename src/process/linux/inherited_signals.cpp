// Start-up signal dispositions and the end-request handlers; see inherited_signals.h.
#include "process/linux/inherited_signals.h"

#include <pthread.h>

#include <algorithm>

namespace process {

namespace {

void SetDisposition(int signo, void (*disposition)(int)) {
  // sigaction rather than signal(): flags are cleared too, SA_NOCLDWAIT among them.
  struct sigaction action {};
  action.sa_handler = disposition;
  sigemptyset(&action.sa_mask);
  ::sigaction(signo, &action, nullptr);
}

}  // namespace

void SetStartupSignals() {
  SetDisposition(SIGCHLD, SIG_DFL);
  SetDisposition(SIGPIPE, SIG_IGN);
  SetDisposition(SIGXFSZ, SIG_IGN);
}

EndRequestSignals::EndRequestSignals(std::initializer_list<int> which, void (*handler)(int)) {
  struct sigaction ours {};
  ours.sa_handler = handler;
  sigemptyset(&ours.sa_mask);
  ours.sa_flags = SA_RESTART;
  sigset_t unblock;
  sigemptyset(&unblock);
  for (const int signo : which) {
    Found found{signo, {}};
    if (::sigaction(signo, nullptr, &found.action) != 0 || found.action.sa_handler == SIG_IGN) continue;
    if (::sigaction(signo, &ours, nullptr) != 0) continue;
    taken_.push_back(found);
    sigaddset(&unblock, signo);
  }
  ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
}

EndRequestSignals::~EndRequestSignals() {
  for (const Found& found : taken_) ::sigaction(found.signo, &found.action, nullptr);
}

bool EndRequestSignals::Handles(int signo) const {
  return std::any_of(taken_.begin(), taken_.end(), [signo](const Found& f) { return f.signo == signo; });
}

}  // namespace process
