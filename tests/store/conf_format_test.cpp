// The section file's line format on its own: what a hand-typed line means, what the writer puts on
// disk, that every text survives a write and a read, and that a bad line costs only that line.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "hostile_texts.h"
#include "settings/conf_format.h"

namespace store_test {
namespace {

using settings::conf::Parse;
using Values = std::map<std::string, std::string>;
using settings::conf::Write;

// The writer's output without its comment header.
std::string Body(const std::string& text) {
  std::istringstream lines(text);
  std::string body;
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("#")) body += line + "\n";
  }
  return body;
}

TEST(ConfFormat, ReadsLinesAsTyped) {
  const std::string cmd = R"(C:\Program Files\node.exe -datadir="D:\x y", -rpcpassword=a;b)";
  const std::pair<std::string, Values> cases[] = {
      {"CMD=" + cmd + "\n", {{"CMD", cmd}}},
      {"A=C:\\new\\node.exe\nB=\\\\server\\0\\r\\n\nC=ends with \\\n",  // no escapes on a plain line
       {{"A", "C:\\new\\node.exe"}, {"B", "\\\\server\\0\\r\\n"}, {"C", "ends with \\"}}},
      {"  KEY \t=  two, two  \nEMPTY=\nEQ==a=b=\n", {{"KEY", "  two, two  "}, {"EMPTY", ""}, {"EQ", "=a=b="}}},
      {"\xEF\xBB\xBF# comment\r\n; comment\r\n\r\n   \r\nA=1\r\nB=#not a comment\r\nC=;x\r\n",
       {{"A", "1"}, {"B", "#not a comment"}, {"C", ";x"}}},
      {"A=x\r\r\nB=mid\rdle\n", {{"A", "x\r"}, {"B", "mid\rdle"}}},  // one CR, and only at the end
      {"\\K=a\\nb\\rc\\0d\\\\e\\qf\\\n", {{"K", "a\nb\rc\0d\\e\\qf\\"s}}},
      {"A=first\nA=second\n", {{"A", "second"}}},
      {"A=1\nCMD=C:\\Prog", {{"A", "1"}, {"CMD", "C:\\Prog"}}},  // a last line cut off in its value
      {"", {}},
  };
  for (const auto& [text, values] : cases) {
    const settings::conf::Parsed parsed = Parse(text);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.values, values) << ::testing::PrintToString(text);
  }
}

TEST(ConfFormat, SkipsOnlyTheLinesItCannotReadAndNamesThem) {
  struct Case {
    std::string text;
    Values values;
    std::vector<std::size_t> skipped;
    std::string why;
  };
  const Case cases[] = {
      {"A=1\nnot a setting\nB=2\n", {{"A", "1"}, {"B", "2"}}, {2}, "line 2 has no '='"},
      {"A=1\nQT_FU", {{"A", "1"}}, {2}, "line 2 has no '='"},
      {"[General]\nA=1\n", {{"A", "1"}}, {1}, "line 1 has no '='"},
      {"A=1\nB=x\0y\nC=3\n"s, {{"A", "1"}, {"C", "3"}}, {2}, "line 2 holds a NUL byte"},
      {"A=1\n = x\n\\#x=1\nB=2",
       {{"A", "1"}, {"B", "2"}},
       {2, 3},
       "line 2 has no usable key; line 3 has no usable key"},
      // Bytes that are not UTF-8 are a value like any other, kept as they are.
      {"A=1\nB=\xFF\xFE\nC=\xC0\xAF\nD=\xED\xA0\x80\nE=\xE6\x9D",
       {{"A", "1"}, {"B", "\xFF\xFE"}, {"C", "\xC0\xAF"}, {"D", "\xED\xA0\x80"}, {"E", "\xE6\x9D"}},
       {},
       ""},
      {"caf\xE9=latin-1 key\n", {{"caf\xE9", "latin-1 key"}}, {}, ""},
  };
  for (const Case& c : cases) {
    const settings::conf::Parsed parsed = Parse(c.text);
    EXPECT_EQ(parsed.values, c.values) << ::testing::PrintToString(c.text);
    std::vector<std::size_t> lines;
    for (const auto& skipped : parsed.skipped) lines.push_back(skipped.line);
    EXPECT_EQ(lines, c.skipped) << ::testing::PrintToString(c.text);
    EXPECT_EQ(parsed.error, c.why) << ::testing::PrintToString(c.text);
    const std::optional<std::string> written = Write(parsed.values);
    ASSERT_TRUE(written) << ::testing::PrintToString(c.text);
    EXPECT_EQ(Parse(*written).values, c.values) << "what was read is written back as it was read";
  }
}

TEST(ConfFormat, WritesPlainValuesAsTheyAreAndLineBreaksEscapedKeysSorted) {
  const std::string value = R"( C:\new\node.exe -datadir="D:\x y", a;b #c =d )";
  EXPECT_EQ(Body(Write({{"CMD", value}, {"A", ""}, {"b", "2"}, {"a", "3"}}).value_or("")),
            "A=\nCMD=" + value + "\na=3\nb=2\n");
  EXPECT_EQ(Body(Write({{"K", "a\\n\nb\r\0c"s}}).value_or("")), "\\K=a\\\\n\\nb\\r\\0c\n");
  for (const std::string& key : {""s, "a=b"s, "#a"s, ";a"s, "\\a"s, " a"s, "a\t"s, "a\nb"s, "a\0b"s}) {
    EXPECT_FALSE(Write({{key, "v"}})) << "key " << ::testing::PrintToString(key);
  }
  EXPECT_EQ(Body(Write({{"K", "\xC3("}}).value_or("")), "K=\xC3(\n") << "bytes are written as they are";
}

TEST(ConfFormat, EveryTextAndHandTypedKeyReadsBackUnchanged) {
  Values values;
  for (const std::string& text : HostileTexts()) values["KEY-" + std::to_string(values.size())] = text;
  values["BOM"] =
      "\xEF\xBB\xBF"
      "bom first";  // the format keeps it; Qt drops it from a stored value
  std::optional<std::string> text = Write(values);
  ASSERT_TRUE(text);
  EXPECT_EQ(Parse(*text).values, values);

  const settings::conf::Parsed typed = Parse("odd/key=1\nwith space=2\nx\ry=3\n  \xEF\xBB\xBFk=4\n");
  ASSERT_EQ(typed.values.size(), 4u) << typed.error;
  text = Write(typed.values);
  ASSERT_TRUE(text);
  EXPECT_EQ(Parse(*text).values, typed.values);
}

}  // namespace
}  // namespace store_test
