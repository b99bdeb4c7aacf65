// The start-up rule for one copy per settings section.
#include "settings/one_copy.h"
#include "settings/store.h"

namespace settings {
StartUp OneCopyPerSection(SectionGuard& guard, std::string_view application, std::string_view section) {
  const SectionHold hold = guard.Hold(application, section);
  const std::string named = "the settings section \"" + std::string(section) + "\"";
  switch (hold.kind) {
    case SectionHold::Kind::kHeld: return {};
    case SectionHold::Kind::kHeldByOther:
      return {false, kAnotherCopyRuns,
              OneLine("another copy of the program runs under " + named + "; this one ends without doing anything")};
    case SectionHold::Kind::kUnguarded: break;
  }
  return {true, 0, OneLine("cannot guard " + named + " against a second copy (" + hold.why + "); running anyway")};
}

}  // namespace settings
