// The headless program on Linux: no display, no toolkit's GUI; the store, one copy per section, a
// wait on the clock and the end signals, and the exit status.
#pragma once
#include <string>

#include "frontend/headless/options.h"

namespace settings {
class FileStore;
}

namespace headless {

// `store` is the one start-up opened, which holds this section for the program's life.
int LinuxHeadlessMain(const std::string& exe_name, const Options& options, settings::FileStore& store);

}  // namespace headless
