// Stand-in for the two helper tools, built as MF-PELLUM-ON and MF-PELLUM-OFF, which do a short
// piece of visible work and end (or, with --forever, never end).
#include <cstdlib>

#include "standin_common.h"

namespace {

standin::fs::path FindStateFolder(const char* argv0) {
  if (const char* from_environment = std::getenv("TARNWICK_STANDIN_STATE");
      from_environment != nullptr && *from_environment != '\0') {
    return from_environment;
  }
  std::vector<standin::fs::path> own_locations;
  std::error_code error;
  if (argv0 != nullptr) own_locations.push_back(standin::fs::absolute(argv0, error));
  // argv[0] may be a bare name; where the OS exposes the running executable, use that too.
  if (const auto self = standin::fs::read_symlink("/proc/self/exe", error); !error) { own_locations.push_back(self); }
  for (const auto& location : own_locations) {
    const auto line = standin::ReadFirstLine(location.parent_path() / "standin-state.txt");
    if (line && !line->empty()) return *line;
  }
  return {};
}

}  // namespace

// Usage: MF-PELLUM-ON [--work-ms N] [--forever]
// The program runs the helpers by their bare location with no arguments, so the state folder
// comes from the environment (TARNWICK_STANDIN_STATE) or from standin-state.txt beside the
// executable; without either they only do their work.
int main(int argc, char** argv) {
  const standin::Arguments arguments(argc, argv);
  const char* argv0 = argc > 0 ? argv[0] : nullptr;
  const std::string program = standin::ProgramName(argv0);
  const standin::fs::path state = FindStateFolder(argv0);
  standin::Log(state, program, "started");
  if (arguments.Flag("--forever")) {
    for (;;) standin::SleepMs(1000);
  }
  standin::SleepMs(arguments.Number("--work-ms", 1000));
  standin::Log(state, program, "done");
  return 0;
}
