// Test helper: starts its one argument through the launcher and exits at once, so a test can
// check that the started program outlives the process that started it.
#include "process/linux/linux_process.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  process::LinuxProcessControl control;
  return control.RunCommandLine(argv[1]) != nullptr ? 0 : 1;
}
