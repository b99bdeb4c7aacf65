// Stand-in for the node's command-line client: "stop" leaves the stop request the node stand-in
// waits for. --fail plays a stop command that fails; --linger-ms keeps it running a while.
#include <cstdio>

#include "standin_common.h"

// Usage: <cli> --state DIR stop [--fail] [--linger-ms N] [--dump-fds FILE]
int main(int argc, char** argv) {
  const standin::Arguments arguments(argc, argv);
  const std::string program = standin::ProgramName(argc > 0 ? argv[0] : nullptr);
  const standin::fs::path state(arguments.Value("--state").value_or(""));
  if (const auto dump = arguments.Value("--dump-fds")) standin::DumpOpenDescriptors(*dump);
  standin::Log(state, program, "started");

  int exit_code = 0;
  if (arguments.Flag("--fail")) {
    standin::Log(state, program, "stop command failed");
    exit_code = 1;
  } else if (arguments.Flag("stop")) {
    if (state.empty() || !standin::WriteFileAtomically(state / "stop-request", "stop\n")) {
      std::fprintf(stderr, "%s: cannot write the stop request\n", program.c_str());
      standin::Log(state, program, "stop command failed");
      exit_code = 1;
    } else {
      standin::Log(state, program, "stop command sent");
    }
  } else if (!arguments.Value("--dump-fds")) {
    std::fprintf(stderr, "usage: %s --state DIR stop [--fail] [--linger-ms N]\n", program.c_str());
    exit_code = 2;
  }
  standin::SleepMs(arguments.Number("--linger-ms", 0));
  standin::Log(state, program, "ended");
  return exit_code;
}
