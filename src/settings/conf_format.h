// The text of one settings section file: a tolerant line reader and the writer that puts the same
// keys and values back. Pure functions on bytes, no file access and no toolkit.
#pragma once
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::conf {

// Every line is "key=value"; the value runs from just after the first '=' to the end of the line,
// exactly as typed: spaces, quotes, commas, semicolons, '=' and backslashes all mean themselves, so a
// hand-edited line reads as it was written. The only thing dropped is the '\r' of a CRLF line end.
//
// A value that a line cannot hold (one with a line feed, a carriage return or a NUL) is written on
// a line that starts with a backslash: "\KEY=first\nsecond". On such a line, and only there, \n, \r,
// \0 and \\ stand for line feed, carriage return, NUL and backslash; any other backslash is itself.
// Keeping escapes off ordinary lines is what lets "C:\new\node.exe" be typed as is.
//
// Blank lines and lines whose first non-blank character is '#' or ';' are ignored (keys never begin
// with those), as are spaces and tabs around a key and a UTF-8 byte-order mark at the very start.
// Later lines win over earlier ones with the same key. Comments are not kept when the file is
// rewritten; keys are written sorted.
//
// Bytes are kept as they are: text that is not UTF-8 reads, and is written back, byte for byte.
// A line that cannot be a setting (no '=', no usable key, or a NUL byte, which no text file holds)
// is skipped and named by its number; every other line is still read. A last line cut off without
// its line end is read as it is.

struct SkippedLine {
  std::size_t line = 0;  // counted from 1
  std::string why;
};

struct Parsed {
  std::map<std::string, std::string> values;
  std::vector<SkippedLine> skipped;  // in the order of the file
  std::string error;                 // the skipped lines in words; empty when every line was read
  bool ok() const { return skipped.empty(); }
};

Parsed Parse(std::string_view bytes);

// The file's text, or nothing when a key cannot be written so that it reads back the same (a key
// that is empty, holds '=', a line break or a NUL, begins with '#', ';', '\' or a blank, or ends
// with a blank). Every value can be written.
std::optional<std::string> Write(const std::map<std::string, std::string>& values);

// Well-formed UTF-8, without overlong forms or surrogates.
bool IsUtf8(std::string_view s);

}  // namespace settings::conf
