// The Linux process port's one way to tell of a problem it carries on after: a line on standard error.
#pragma once
#include <string>

namespace process {

// Writes "TARNWICK: <message>" as one line in one write, so lines from several threads or
// processes do not interleave.
void Report(const std::string& message);

}  // namespace process
