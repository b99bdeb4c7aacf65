// Stand-in for the node, built both as the graphical wallet and as the daemon: it runs until a
// stop request appears in its state folder, like a node told to stop by its command-line client.
#include <cstdio>

#include "standin_common.h"

// Usage: <node> --state DIR [--shutdown-delay-ms N] [--dump-fds FILE]
int main(int argc, char** argv) {
  const standin::Arguments arguments(argc, argv);
  const std::string program = standin::ProgramName(argc > 0 ? argv[0] : nullptr);
  const auto state_text = arguments.Value("--state");
  if (!state_text) {
    std::fprintf(stderr, "usage: %s --state DIR [--shutdown-delay-ms N]\n", program.c_str());
    return 2;
  }
  const standin::fs::path state(*state_text);
  if (const auto dump = arguments.Value("--dump-fds")) standin::DumpOpenDescriptors(*dump);
  const standin::fs::path stop_request = state / "stop-request";
  const standin::fs::path started = state / "node.started";
  std::error_code ignored;
  standin::Log(state, program, "started");
  standin::WriteFileAtomically(started, std::to_string(standin::MillisecondsSinceEpoch()) + "\n");

  while (!standin::Exists(stop_request)) standin::SleepMs(50);
  standin::Log(state, program, "stop request seen");
  standin::SleepMs(arguments.Number("--shutdown-delay-ms", 0));
  standin::fs::remove(started, ignored);
  // Consumed, so the next run of the node is not stopped at once by this one's request.
  standin::fs::remove(stop_request, ignored);
  standin::Log(state, program, "stopped by stop command");
  return 0;
}
