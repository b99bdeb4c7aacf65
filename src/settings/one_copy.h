// One copy of the program per settings section: the port that holds a section for the program's
// life, and the start-up rule every front end applies to what it answers.
#pragma once
#include <string>
#include <string_view>

namespace settings {

// What holding a section came to.
struct SectionHold {
  enum class Kind {
    kHeld,         // this copy holds the section until it ends
    kHeldByOther,  // another live copy holds it
    kUnguarded,    // it could not be held, for the reason in `why`
  };
  Kind kind = Kind::kUnguarded;
  std::string why;
};

// The port. Linux: a lock on "<section>.lock" in the store's own folder; Windows: a named mutex in
// the session's namespace. Either is released by the system when the program ends however it ends.
class SectionGuard {
 public:
  virtual ~SectionGuard() = default;
  // Held until the guard is destroyed; asked once, before anything is shown or stored.
  virtual SectionHold Hold(std::string_view application, std::string_view section) = 0;
};

// What start-up does about it.
struct StartUp {
  bool run = true;
  int exit_status = 0;  // when !run
  std::string say;      // one line for standard error (the front end adds "TARNWICK: "), or empty
};

// A second copy of one section would drive the same run twice (the node started twice, its stop
// command sent twice), so it ends at once with status 2, before any window or store write, and with
// no dialog an unattended copy would wait on. A section that cannot be held runs as before, saying
// that nothing keeps a second copy out.
inline constexpr int kAnotherCopyRuns = 2;
StartUp OneCopyPerSection(SectionGuard& guard, std::string_view application, std::string_view section);

}  // namespace settings
