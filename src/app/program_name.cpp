// Deriving the program's name from the path it was started under.
#include "app/program_name.h"

namespace app {
namespace {

std::string_view FileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string OrDefault(std::string_view name) { return name.empty() ? "TARNWICK" : std::string(name); }

}  // namespace

std::string ProgramNameFromArgv0(std::string_view argv0) {
  std::string_view name = FileName(argv0);
  if (name.size() > 4) {
    std::string_view ext = name.substr(name.size() - 4);
    bool is_exe = ext[0] == '.' && (ext[1] | 0x20) == 'e' && (ext[2] | 0x20) == 'x' && (ext[3] | 0x20) == 'e';
    if (is_exe) name.remove_suffix(4);
  }
  return OrDefault(name);
}

std::string ProgramNameFromModulePath(std::string_view path) {
  std::string_view name = FileName(path);
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(0, dot);
  return OrDefault(name);
}

}  // namespace app
