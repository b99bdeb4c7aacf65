// The section file's line format on its own: what a hand-typed line means, what the writer puts on
// disk, that every text survives a write and a read, and which files are refused.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>

#include "settings/file_store.h"

namespace {

using settings::conf::Parse;
using settings::conf::Parsed;
using settings::conf::Write;
using Values = std::map<std::string, std::string>;

using namespace std::string_literals;

std::string Body(const std::string& text) {
  // The writer's header is comments; the tests look at what follows it.
  std::string body;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (text[start] != '#') body += text.substr(start, end - start + 1);
    start = end + 1;
  }
  return body;
}

TEST(ConfFormatRead, HandTypedLineReadsExactlyAsTyped) {
  const std::string line = R"(C:\Program Files\node.exe -datadir="D:\x y", -rpcpassword=a;b)";
  const Parsed parsed = Parse("CMD=" + line + "\n");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.values, (Values{{"CMD", line}}));
}

TEST(ConfFormatRead, BackslashSequencesOnAPlainLineAreNotEscapes) {
  const Parsed parsed = Parse(R"(A=C:\new\node.exe
B=\\server\share\0\r\n
C=ends with \
)");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.values.at("A"), R"(C:\new\node.exe)");
  EXPECT_EQ(parsed.values.at("B"), R"(\\server\share\0\r\n)");
  EXPECT_EQ(parsed.values.at("C"), R"(ends with \)");
}

TEST(ConfFormatRead, SpacesAroundValueAreKeptAndAroundKeyIgnored) {
  const Parsed parsed = Parse("  KEY \t=  two leading, two trailing  \nEMPTY=\nEQ==a=b=\n");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.values, (Values{{"KEY", "  two leading, two trailing  "}, {"EMPTY", ""}, {"EQ", "=a=b="}}));
}

TEST(ConfFormatRead, CommentsBlankLinesCrlfAndByteOrderMark) {
  const Parsed parsed = Parse(
      "\xEF\xBB\xBF# comment\r\n; also a comment\r\n\r\n   \r\nA=1\r\nB=#not a comment\r\nC=;x\r\n");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.values, (Values{{"A", "1"}, {"B", "#not a comment"}, {"C", ";x"}}));
}

TEST(ConfFormatRead, OnlyOneCarriageReturnIsDroppedAndOnlyAtTheEnd) {
  const Parsed parsed = Parse("A=x\r\r\nB=mid\rdle\n");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.values.at("A"), "x\r");
  EXPECT_EQ(parsed.values.at("B"), "mid\rdle");
}

TEST(ConfFormatRead, EscapedLineDecodesItsFourEscapesAndKeepsOtherBackslashes) {
  const Parsed parsed = Parse(R"(\K=a\nb\rc\0d\\e\qf\)"
                              "\n");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.values.at("K"), "a\nb\rc\0d\\e\\qf\\"s);
}

TEST(ConfFormatRead, LaterLineWinsForTheSameKey) {
  const Parsed parsed = Parse("A=first\nA=second\n");
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(parsed.values.at("A"), "second");
}

TEST(ConfFormatRead, LastLineWithoutLineEndIsRead) {
  const Parsed parsed = Parse("A=1\nCMD=C:\\Prog");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.values, (Values{{"A", "1"}, {"CMD", "C:\\Prog"}}));
}

TEST(ConfFormatRead, EmptyTextHasNoValues) {
  const Parsed parsed = Parse("");
  EXPECT_TRUE(parsed.ok());
  EXPECT_TRUE(parsed.values.empty());
}

struct Refused {
  std::string name;
  std::string text;
  std::string error_part;
};

void PrintTo(const Refused& refused, std::ostream* out) { *out << refused.name; }

class ConfFormatRefuses : public ::testing::TestWithParam<Refused> {};

TEST_P(ConfFormatRefuses, WholeFileAndSaysWhy) {
  const Parsed parsed = Parse(GetParam().text);
  EXPECT_FALSE(parsed.ok());
  EXPECT_NE(parsed.error.find(GetParam().error_part), std::string::npos) << parsed.error;
  // Never half-read: the keys before the bad line are not returned either.
  EXPECT_TRUE(parsed.values.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, ConfFormatRefuses,
    ::testing::Values(Refused{"LineWithoutEquals", "A=1\nnot a setting\nB=2\n", "line 2 has no '='"},
                      Refused{"CutOffInsideKey", "A=1\nQT_FU", "line 2 has no '='"},
                      Refused{"NulByte", "A=1\nB=x\0y\n"s, "NUL"},
                      Refused{"InvalidUtf8", "A=1\nB=\xFF\xFE\n", "UTF-8"},
                      Refused{"OverlongUtf8", "A=\xC0\xAF\n", "UTF-8"},
                      Refused{"EncodedSurrogate", "A=\xED\xA0\x80\n", "UTF-8"},
                      Refused{"TruncatedUtf8", "A=\xE6\x9D", "UTF-8"},
                      Refused{"EmptyKey", "A=1\n = x\n", "line 2 has no usable key"},
                      Refused{"EscapedCommentKey", "\\#x=1\n", "line 1 has no usable key"},
                      Refused{"IniSectionHeader", "[General]\nA=1\n", "line 1 has no '='"}),
    [](const ::testing::TestParamInfo<Refused>& info) { return info.param.name; });

TEST(ConfFormatWrite, PlainValueGoesOnTheLineUntouched) {
  const std::string value = R"( C:\new\node.exe -datadir="D:\x y", a;b #c =d )";
  const std::optional<std::string> text = Write({{"CMD", value}, {"A", ""}});
  ASSERT_TRUE(text);
  EXPECT_EQ(Body(*text), "A=\nCMD=" + value + "\n");
}

TEST(ConfFormatWrite, ValueWithLineBreaksGoesOnAnEscapedLine) {
  const std::optional<std::string> text = Write({{"K", "a\\n\nb\r\0c"s}});
  ASSERT_TRUE(text);
  EXPECT_EQ(Body(*text), "\\K=a\\\\n\\nb\\r\\0c\n");
}

TEST(ConfFormatWrite, KeysAreSortedAndHeaderIsOnlyComments) {
  const std::optional<std::string> text = Write({{"b", "2"}, {"A", "1"}, {"a", "3"}});
  ASSERT_TRUE(text);
  EXPECT_EQ(Body(*text), "A=1\na=3\nb=2\n");
  EXPECT_EQ(text->front(), '#');
  EXPECT_TRUE(Parse(text->substr(0, text->size() - Body(*text).size())).values.empty());
}

TEST(ConfFormatWrite, RefusesWhatWouldNotReadBack) {
  for (const std::string& key : {""s, "a=b"s, "#a"s, ";a"s, "\\a"s, " a"s, "a\t"s, "a\nb"s, "a\0b"s, "\xFF"s}) {
    EXPECT_FALSE(Write({{key, "v"}})) << "key " << ::testing::PrintToString(key);
  }
  EXPECT_FALSE(Write({{"K", "\xC3"}}));
  EXPECT_TRUE(Write({{"PELLUM-CV-SETTINGS-Top", "1"}, {"QT_FULL_RUN_CMD_TEXTBOX", "x"}}));
}

std::string LongMixedText() {
  std::string text;
  const std::string pieces[] = {"a", "\\", "\n", "\r", "\\n", "\"", ",",
                                ";", "=",  " ",  "Zürich ", "東京", "\0"s, "#"};
  for (int i = 0; i < 10000; ++i) text += pieces[(i * 7 + i / 13) % std::size(pieces)];
  return text;
}

TEST(ConfFormatRoundTrip, EveryTextReadsBackUnchanged) {
  const std::vector<std::string> texts = {
      "", " ", "  lead and trail  ", "\"quoted\"", "'single'", "C:\\Program Files\\x", "\\", "\\\\", "\\n",
      "\\0", "\\r", "trailing backslash\\", "a,b,c", "a;b", "k=v=w", "=start", "#hash", ";semi", "\\start",
      "Zürich 東京", "\xF0\x9F\x9A\x80", "line1\nline2", "\n", "\r\n", "ends with CR\r", "\r", "\n\n\\\n",
      "tab\tinside", "nul\0inside"s, "\0"s, "\x01\x1F\x7F", "\xE2\x80\xA8", "\xEF\xBB\xBF" "bom first",
      "@Variant(\\0\\0)", "[General]", "%U", LongMixedText()};
  Values values;
  for (std::size_t i = 0; i < texts.size(); ++i) values["KEY-" + std::to_string(i)] = texts[i];
  const std::optional<std::string> text = Write(values);
  ASSERT_TRUE(text);
  const Parsed parsed = Parse(*text);
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.values, values);
}

TEST(ConfFormatRoundTrip, KeysFromAHandEditedFileSurviveARewrite) {
  const Parsed first = Parse("odd/key=1\nwith space=2\nx\ry=3\n  \xEF\xBB\xBFk=4\n");
  ASSERT_TRUE(first.ok()) << first.error;
  const std::optional<std::string> text = Write(first.values);
  ASSERT_TRUE(text);
  const Parsed second = Parse(*text);
  ASSERT_TRUE(second.ok()) << second.error;
  EXPECT_EQ(second.values, first.values);
  EXPECT_EQ(first.values.size(), 4u);
}

}  // namespace
