// The headless program on Linux: no display, no toolkit's GUI; the store, one copy per section, a
// wait on the clock and the end signals, and the exit status.
#pragma once
#include <string>

#include "frontend/headless/options.h"

namespace headless {

int LinuxHeadlessMain(const std::string& exe_name, const Options& options);

}  // namespace headless
