// Texts that a store file must keep exactly: quotes, backslashes, line breaks, NULs, non-ASCII and
// a long mix of all of them. Shared by the format's tests and the file store's.
#pragma once
#include <iterator>
#include <string>
#include <vector>

namespace store_test {

using namespace std::string_literals;

// Texts a value must survive: separators, quotes, backslashes, line breaks, NUL, non-ASCII, bytes
// that are not UTF-8, length.
inline std::vector<std::string> HostileTexts() {
  std::string long_text;
  const std::string pieces[] = {"a", "\\", "\n", "\r", "\\n", "\"", ",", ";", "=", " ", "Zürich ", "東京", "\0"s, "#"};
  for (int i = 0; i < 10000; ++i) long_text += pieces[(i * 7 + i / 13) % std::size(pieces)];
  std::vector<std::string> texts = {"", " ", "  lead and trail  ", "\"quoted\" and 'single'", "\\", "k=v=w", "=start"};
  texts.insert(texts.end(), {R"(C:\Program Files\x -d="D:\x y", a;b)", R"(\n\r\0\\ are not escapes here)", "#hash"});
  texts.insert(texts.end(), {"trailing backslash\\", ";semi", "\\start", "Zürich 東京", "\xF0\x9F\x9A\x80", "\r\n"});
  texts.insert(texts.end(), {"line1\nline2\n", "ends with CR\r", "tab\tinside", "nul\0inside"s, "\0"s, "\x01\x1F\x7F"});
  texts.insert(texts.end(), {"\xE2\x80\xA8", "caf\xE9 latin-1", "\xFF\xFE", "cut \xE6\x9D", "\n\n\\\n"});
  texts.insert(texts.end(), {"@Variant(\\0\\0)", "[General]", long_text});
  return texts;
}

}  // namespace store_test
