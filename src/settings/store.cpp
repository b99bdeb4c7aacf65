// The in-memory store and the value encodings shared by every backend.
#include "settings/store.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace settings {

std::string MemoryStore::GetSetting(std::string_view application, std::string_view section, std::string_view key,
                                    std::string_view default_value) {
  auto it = values_.find({std::string(application), std::string(section), std::string(key)});
  return it == values_.end() ? std::string(default_value) : it->second;
}

void MemoryStore::SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                              std::string_view value) {
  values_[{std::string(application), std::string(section), std::string(key)}] = std::string(value);
  writes_.push_back(std::string(key) + "=" + std::string(value));
}

std::optional<std::string> MemoryStore::Value(std::string_view section, std::string_view key) const {
  auto it = values_.find({std::string(kApplication), std::string(section), std::string(key)});
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void MemoryStore::Seed(std::string_view section, std::string_view key, std::string_view value) {
  values_[{std::string(kApplication), std::string(section), std::string(key)}] = std::string(value);
}

namespace {

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<float> DecodeGeometry(std::string_view text, GeometryKind kind) {
  std::string_view s = TrimSpaces(text);
  if (s.size() > 64) return std::nullopt;  // no sane number of twips is written this long
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t int_digits = 0, frac_digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++int_digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++frac_digits;
  }
  if (i != s.size() || int_digits + frac_digits == 0) return std::nullopt;
  // from_chars takes no leading '+'; the grammar above has already been checked.
  std::string_view number = s.front() == '+' ? s.substr(1) : s;
  double value = 0;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc() || end != number.data() + number.size() || !std::isfinite(value)) return std::nullopt;
  if (std::fabs(value) > 1'000'000.0) return std::nullopt;
  // Below the smallest normal float a value loses its digits (and a tiny size would become 0 in
  // the float): it is 0 twips, which a size may not be.
  float twips = static_cast<float>(value);
  if (std::fabs(twips) < std::numeric_limits<float>::min()) twips = 0;
  if (kind == GeometryKind::Size && !(twips > 0)) return std::nullopt;
  return twips;
}

std::optional<int> DecodeTick(std::string_view text) {
  std::string_view s = TrimSpaces(text);
  if (s == "0") return 0;
  if (s == "1") return 1;
  return std::nullopt;
}

std::string EncodeGeometry(float twips) {
  char buf[64];
  // Fixed notation: shortest form would write a million twips as "1e+06", which reads back as a word.
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, twips, std::chars_format::fixed);
  if (ec != std::errc()) return "0";
  return std::string(buf, end);
}

std::string EncodeTick(int state) { return std::to_string(state); }

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

std::string Section::Text(std::string_view key, std::string_view default_value) const {
  return store_.GetSetting(kApplication, name_, key, default_value);
}

float Section::Geometry(std::string_view key, float default_value, GeometryKind kind) const {
  std::string text = store_.GetSetting(kApplication, name_, key, EncodeGeometry(default_value));
  return DecodeGeometry(text, kind).value_or(default_value);
}

int Section::Tick(std::string_view key, int default_value) const {
  std::string text = store_.GetSetting(kApplication, name_, key, EncodeTick(default_value));
  return DecodeTick(text).value_or(default_value);
}

void Section::SaveText(std::string_view key, std::string_view value) const {
  store_.SaveSetting(kApplication, name_, key, value);
}

void Section::SaveGeometry(std::string_view key, float twips) const { SaveText(key, EncodeGeometry(twips)); }

void Section::SaveTick(std::string_view key, int state) const { SaveText(key, EncodeTick(state)); }

}  // namespace settings
