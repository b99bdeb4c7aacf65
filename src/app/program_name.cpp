// Deriving the program's name from the path it was started under.
#include "app/program_name.h"

namespace app {

std::string ProgramNameFromArgv0(std::string_view argv0) {
  std::size_t slash = argv0.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? argv0 : argv0.substr(slash + 1);
  if (name.size() > 4) {
    std::string_view ext = name.substr(name.size() - 4);
    bool is_exe = ext[0] == '.' && (ext[1] | 0x20) == 'e' && (ext[2] | 0x20) == 'x' && (ext[3] | 0x20) == 'e';
    if (is_exe) name.remove_suffix(4);
  }
  if (name.empty()) return "TARNWICK";
  return std::string(name);
}

}  // namespace app
