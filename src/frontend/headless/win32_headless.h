// The headless program on Windows: no window shown, the registry store, the end of the session and
// console control events, lines to the console it was started from, and the exit status.
#pragma once
#include <windows.h>

#include <string>

#include "frontend/headless/options.h"

namespace headless {

// Lines go to the standard handles the program was given, or else to the console of the program
// that started it, when there is one: a GUI program has none of its own.
void ConnectToParentConsole();
int Win32HeadlessMain(HINSTANCE instance, const std::string& exe_name, const Options& options);

}  // namespace headless
