// The settings section file's line format: the tolerant reader and the writer (see conf_format.h).
#include "settings/conf_format.h"

#include <cstdint>

namespace settings::conf {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kHeader =
    "# TARNWICK settings: one key=value a line, the value exactly as typed.\n"
    "# A line that starts with \\ holds a value with a line break or NUL; there, and only there,\n"
    "# \\n, \\r, \\0 and \\\\ stand for line feed, carriage return, NUL and backslash.\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A key as a line can carry it: the reader has already split at the first '=' and trimmed blanks.
bool IsLineKey(std::string_view key) {
  return !key.empty() && key.front() != '#' && key.front() != ';' && key.front() != '\\';
}

std::optional<char> EscapedChar(char letter) {
  switch (letter) {
    case 'n': return '\n';
    case 'r': return '\r';
    case '0': return '\0';
    case '\\': return '\\';
    default: return std::nullopt;
  }
}

// Any other backslash stays, so an escaped line edited by hand still reads close to as typed.
std::string Unescape(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const std::optional<char> decoded = raw[i] == '\\' && i + 1 < raw.size() ? EscapedChar(raw[i + 1]) : std::nullopt;
    if (decoded) {
      out += *decoded;
      ++i;
    } else {
      out += raw[i];
    }
  }
  return out;
}

void AppendEscaped(std::string& out, std::string_view value) {
  for (char c : value) {
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\0': out += "\\0"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
}

// Why a line cannot be a setting, or nothing when it is one (KEY and VALUE are then set).
std::optional<std::string> ReadLine(std::string_view line, std::string& key, std::string& value) {
  if (line.find('\0') != std::string_view::npos) return "holds a NUL byte";
  const bool escaped = line.front() == '\\';
  if (escaped) line.remove_prefix(1);
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return "has no '='";
  const std::string_view trimmed = TrimBlanks(line.substr(0, equals));
  if (!IsLineKey(trimmed)) return "has no usable key";
  const std::string_view raw = line.substr(equals + 1);
  key.assign(trimmed);
  value = escaped ? Unescape(raw) : std::string(raw);
  return std::nullopt;
}

}  // namespace

bool IsUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07u;
    } else {
      return false;
    }
    if (s.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0u) != 0x80u) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return false;
    if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return false;
    i += length;
  }
  return true;
}

Parsed Parse(std::string_view bytes) {
  Parsed out;
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  std::size_t line_number = 0;
  std::string key, value;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    ++line_number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (std::optional<std::string> why = ReadLine(line, key, value)) {
      if (!out.error.empty()) out.error += "; ";
      out.error += "line " + std::to_string(line_number) + " " + *why;
      out.skipped.push_back({line_number, std::move(*why)});
      continue;
    }
    out.values[key] = std::move(value);
  }
  return out;
}

std::optional<std::string> Write(const std::map<std::string, std::string>& values) {
  std::string out(kHeader);
  for (const auto& [key, value] : values) {
    const bool key_fits = IsLineKey(key) && TrimBlanks(key) == key &&
                          key.find_first_of(std::string_view("=\n\0", 3)) == std::string::npos;
    if (!key_fits) return std::nullopt;
    if (value.find_first_of(std::string_view("\n\r\0", 3)) == std::string::npos) {
      out.append(key).append(1, '=').append(value);
    } else {
      out.append(1, '\\').append(key).append(1, '=');
      AppendEscaped(out, value);
    }
    out += '\n';
  }
  return out;
}

}  // namespace settings::conf
