// The section file's line format on its own: what a hand-typed line means, what the writer puts on
// disk, that every text survives a write and a read, and which files are refused whole.
#include "store_test_support.h"

namespace store_test {
namespace {

using settings::conf::Parse;
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

TEST(ConfFormat, RefusesADamagedFileWholeAndSaysWhy) {
  const std::pair<std::string, std::string> cases[] = {
      {"A=1\nnot a setting\nB=2\n", "line 2 has no '='"}, {"A=1\nQT_FU", "line 2 has no '='"},
      {"[General]\nA=1\n", "line 1 has no '='"},          {"A=1\nB=x\0y\n"s, "NUL"},
      {"A=1\nB=\xFF\xFE\n", "UTF-8"},                      {"A=\xC0\xAF\n", "UTF-8"},
      {"A=\xED\xA0\x80\n", "UTF-8"},                       {"A=\xE6\x9D", "UTF-8"},
      {"A=1\n = x\n", "line 2 has no usable key"},         {"\\#x=1\n", "line 1 has no usable key"},
  };
  for (const auto& [text, why] : cases) {
    const settings::conf::Parsed parsed = Parse(text);
    EXPECT_NE(parsed.error.find(why), std::string::npos) << ::testing::PrintToString(text) << ": " << parsed.error;
    EXPECT_TRUE(parsed.values.empty()) << ::testing::PrintToString(text);  // never half-read
  }
}

TEST(ConfFormat, WritesPlainValuesAsTheyAreAndLineBreaksEscapedKeysSorted) {
  const std::string value = R"( C:\new\node.exe -datadir="D:\x y", a;b #c =d )";
  EXPECT_EQ(Body(Write({{"CMD", value}, {"A", ""}, {"b", "2"}, {"a", "3"}}).value_or("")),
            "A=\nCMD=" + value + "\na=3\nb=2\n");
  EXPECT_EQ(Body(Write({{"K", "a\\n\nb\r\0c"s}}).value_or("")), "\\K=a\\\\n\\nb\\r\\0c\n");
  for (const std::string& key : {""s, "a=b"s, "#a"s, ";a"s, "\\a"s, " a"s, "a\t"s, "a\nb"s, "a\0b"s, "\xFF"s}) {
    EXPECT_FALSE(Write({{key, "v"}})) << "key " << ::testing::PrintToString(key);
  }
  EXPECT_FALSE(Write({{"K", "\xC3"}}));
}

TEST(ConfFormat, EveryTextAndHandTypedKeyReadsBackUnchanged) {
  Values values;
  for (const std::string& text : HostileTexts()) values["KEY-" + std::to_string(values.size())] = text;
  values["BOM"] = "\xEF\xBB\xBF" "bom first";  // the format keeps it; Qt drops it from a stored value
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
