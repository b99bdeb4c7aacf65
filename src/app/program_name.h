// The program's own name: the file name it was started under, which is also its store section.
#pragma once
#include <string>
#include <string_view>

namespace app {

// The file name of argv[0] (never the target of a symbolic link) with a trailing ".exe" removed,
// in any letter case, and nothing else. An empty or unusable argv[0] gives "TARNWICK".
std::string ProgramNameFromArgv0(std::string_view argv0);

}  // namespace app
