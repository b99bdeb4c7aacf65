// Fuzzes the store file's reader: whatever the bytes, the file is either refused whole or read, and
// what was read is written back as text that reads as the very same keys and values.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/file_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const settings::conf::Parsed parsed = settings::conf::Parse(bytes);
  if (!parsed.ok()) {
    if (!parsed.values.empty()) std::abort();  // a refused file is never half-read
    return 0;
  }
  for (const auto& [key, value] : parsed.values) {
    if (key.empty() || key.front() == '#' || key.front() == ';' || key.front() == '\\') std::abort();
    if (key.find_first_of("=\n") != std::string::npos) std::abort();
    if (key.front() == ' ' || key.front() == '\t' || key.back() == ' ' || key.back() == '\t') std::abort();
    if (value.find('\n') != std::string::npos && bytes.find('\\') == std::string_view::npos) std::abort();
  }
  const std::optional<std::string> text = settings::conf::Write(parsed.values);
  if (!text) std::abort();  // everything that was read can be written
  const settings::conf::Parsed again = settings::conf::Parse(*text);
  if (!again.ok() || again.values != parsed.values) std::abort();
  return 0;
}
