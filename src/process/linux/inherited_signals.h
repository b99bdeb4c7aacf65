// The signal dispositions the Linux program inherits from whatever started it: those its own work
// depends on are set once at start-up, and those that ask it to end are taken only where allowed.
#pragma once
#include <csignal>
#include <initializer_list>
#include <vector>

namespace process {

// Call first thing in main(), before any thread or child exists. SIGCHLD goes back to its default
// (ignored, the kernel reaps our children itself and no exit status is ever seen); SIGPIPE and
// SIGXFSZ are ignored, so a report to a reader that went away, or a store write past a file-size
// limit, fails as a write instead of ending the program before it has stored anything.
void SetStartupSignals();

// Installs `handler` for each signal of `which` that is not ignored when this is made: a parent that
// ignores one (nohup; a shell's & for SIGINT) has said the program must not end on it. Each installed
// signal is unblocked in the calling thread, since an inherited mask would hold it back for ever.
// The destructor puts back exactly the disposition it found.
class EndRequestSignals {
 public:
  EndRequestSignals(std::initializer_list<int> which, void (*handler)(int));
  ~EndRequestSignals();
  EndRequestSignals(const EndRequestSignals&) = delete;
  EndRequestSignals& operator=(const EndRequestSignals&) = delete;

  bool Handles(int signo) const;

 private:
  struct Found {
    int signo;
    struct sigaction action;
  };
  std::vector<Found> taken_;
};

}  // namespace process
