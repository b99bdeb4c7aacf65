// Fuzzes the store file's tolerant reader: whatever the bytes, every line is either read or skipped
// and named, and what was read is written back as text that reads as the very same keys and values
// with nothing skipped.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/conf_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const settings::conf::Parsed parsed = settings::conf::Parse(bytes);
  std::size_t lines = 0;
  for (char c : bytes) lines += c == '\n';
  if (!bytes.empty() && bytes.back() != '\n') ++lines;
  std::size_t previous = 0;
  for (const settings::conf::SkippedLine& skipped : parsed.skipped) {
    // Each skipped line is a real line of the file, named once, in order, and said in the summary.
    if (skipped.line <= previous || skipped.line > lines || skipped.why.empty()) std::abort();
    previous = skipped.line;
    if (parsed.error.find("line " + std::to_string(skipped.line) + " ") == std::string::npos) std::abort();
  }
  if (parsed.ok() != parsed.error.empty()) std::abort();
  if (parsed.values.size() + parsed.skipped.size() > lines) std::abort();
  for (const auto& [key, value] : parsed.values) {
    if (key.empty() || key.front() == '#' || key.front() == ';' || key.front() == '\\') std::abort();
    if (key.find_first_of(std::string_view("=\n\0", 3)) != std::string::npos) std::abort();
    if (key.front() == ' ' || key.front() == '\t' || key.back() == ' ' || key.back() == '\t') std::abort();
    if (value.find('\n') != std::string::npos && bytes.find('\\') == std::string_view::npos) std::abort();
    // A value is the bytes of its line: nothing is converted, so bytes that are not UTF-8 stay.
    if (value.find('\0') != std::string::npos && bytes.find("\\0") == std::string_view::npos) std::abort();
  }
  const std::optional<std::string> text = settings::conf::Write(parsed.values);
  if (!text) std::abort();  // everything that was read can be written
  const settings::conf::Parsed again = settings::conf::Parse(*text);
  if (!again.ok() || again.values != parsed.values) std::abort();
  return 0;
}
