// Stand-in for the chain-progress tool: it ends once the node stand-in has been running for the
// configured time, which is how the real tool's end tells that the node has caught up.
#include <cstdio>

#include "standin_common.h"

// Usage: <corvant> --state DIR --catch-up-ms N [--crash]
int main(int argc, char** argv) {
  const standin::Arguments arguments(argc, argv);
  const std::string program = standin::ProgramName(argc > 0 ? argv[0] : nullptr);
  const auto state_text = arguments.Value("--state");
  if (!state_text) {
    std::fprintf(stderr, "usage: %s --state DIR --catch-up-ms N [--crash]\n", program.c_str());
    return 2;
  }
  const standin::fs::path state(*state_text);
  standin::Log(state, program, "started");
  if (arguments.Flag("--crash")) {
    standin::Log(state, program, "crashed");
    return 3;
  }
  const std::int64_t catch_up_ms = arguments.Number("--catch-up-ms", 0);
  const standin::fs::path started = state / "node.started";
  for (;;) {
    // Timed from the node's own start, so starting this tool late does not lengthen the wait.
    if (const auto text = standin::ReadFirstLine(started); text && !text->empty()) {
      try {
        if (standin::MillisecondsSinceEpoch() >= std::stoll(*text) + catch_up_ms) break;
      } catch (const std::exception&) {
        // A malformed time is treated as "not started yet".
      }
    }
    standin::SleepMs(50);
  }
  standin::Log(state, program, "caught up");
  return 0;
}
