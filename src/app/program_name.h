// The program's own name: the file name it was started under, which is also its store section.
#pragma once
#include <string>
#include <string_view>

namespace app {

// Linux: the file name of argv[0] (never the target of a symbolic link) with a trailing ".exe"
// removed, in any letter case, and nothing else, so "my.tool" keeps its settings section. An empty
// or unusable argv[0] gives "TARNWICK".
std::string ProgramNameFromArgv0(std::string_view argv0);

// Windows: the file name of the program's own executable without its extension, whatever that is
// ("Copy2.com" gives "Copy2", "my.tool.exe" gives "my.tool"). A name that is all extension gives
// "TARNWICK".
std::string ProgramNameFromModulePath(std::string_view path);

}  // namespace app
