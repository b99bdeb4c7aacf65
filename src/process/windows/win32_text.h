// Text at the Windows boundary: the core speaks UTF-8 and Windows UTF-16, and a problem the
// program carries on after goes to the debugger and standard error.
#pragma once
#include <string>
#include <string_view>

namespace process {

// Text that is not valid UTF-8 gets U+FFFD, never lost.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// A problem the program carries on after: to the debugger (OutputDebugStringW) and standard error.
void ReportProblem(std::string_view text);

}  // namespace process
