// Problem reports of the Linux process port.
#include "process/linux/report.h"

#include <unistd.h>

namespace process {

void Report(const std::string& message) {
  const std::string line = "TARNWICK: " + message + "\n";
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace process
