// The one decoding rule for stored geometry and tick-box values, the encodings, and the program's
// name as its store section.
#include <gtest/gtest.h>

#include <utility>

#include "app/program_name.h"
#include "settings/store.h"

namespace {

using namespace std::string_literals;
using settings::DecodeGeometry;
using settings::DecodeTick;
using settings::GeometryKind;

TEST(Decoding, GeometryAcceptsOnlyFiniteCDecimalsWithinAMillionTwips) {
  struct Case {
    std::string text;
    std::optional<float> position, size;
  };
  const Case cases[] = {{"1000", 1000.f, 1000.f}, {" 1000 ", 1000.f, 1000.f}, {"-1", -1.f, std::nullopt},
                        {"+15.5", 15.5f, 15.5f},  {"1000000", 1e6f, 1e6f},    {"-1000000", -1e6f, std::nullopt},
                        {"0", 0.f, std::nullopt}, {".5", 0.5f, 0.5f},         {"65536", 65536.f, 65536.f}};
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeGeometry(c.text, GeometryKind::Position), c.position) << c.text;
    EXPECT_EQ(DecodeGeometry(c.text, GeometryKind::Size), c.size) << c.text;
  }
  for (const std::string& bad : {"1000000.5"s, ""s, "  "s, "words"s, "1e40"s, "-1e40"s, "nan"s, "inf"s, "1,5"s, "0x1"s,
                                 "1 2"s, "\t1"s, "\xEF\xBC\x91"s, std::string(100'000, '7'), "."s, "-"s, "1e3"s}) {
    EXPECT_EQ(DecodeGeometry(bad, GeometryKind::Position), std::nullopt) << bad.substr(0, 20);
    EXPECT_EQ(DecodeGeometry(bad, GeometryKind::Size), std::nullopt) << bad.substr(0, 20);
  }
}

TEST(Decoding, TickBoxValuesAreZeroOrOne) {
  EXPECT_EQ(DecodeTick("0"), 0);
  EXPECT_EQ(DecodeTick(" 1 "), 1);
  for (const char* bad : {"", "2", "-1", "01", "1.0", "true", "0x1", "65536", "1,5", "\xEF\xBC\x91"})
    EXPECT_EQ(DecodeTick(bad), std::nullopt) << bad;
}

TEST(Encoding, GeometryIsWrittenAsPlainDecimalThatReadsBack) {
  EXPECT_EQ(settings::EncodeGeometry(1000), "1000");
  EXPECT_EQ(settings::EncodeGeometry(-32000), "-32000");
  EXPECT_EQ(settings::EncodeGeometry(1e6f), "1000000");
  for (float v : {0.f, 12.5f, 9585.f, -999999.f, 1e6f})
    EXPECT_EQ(DecodeGeometry(settings::EncodeGeometry(v), GeometryKind::Position), v);
}

TEST(Section, BadOrMissingValuesReadAsDefaultsAndNothingIsWritten) {
  settings::MemoryStore store;
  settings::Section s(store, "TARNWICK");
  store.Seed("TARNWICK", "MAIN-Width", "0");
  store.Seed("TARNWICK", "MAIN-Left", "1e40");
  store.Seed("TARNWICK", "AUTOSTART_TIME_TICKBOX", "2");
  store.Seed("OTHER", "MAIN-Top", "5");
  EXPECT_EQ(s.Geometry("MAIN-Width", 9585, GeometryKind::Size), 9585);
  EXPECT_EQ(s.Geometry("MAIN-Left", 1000, GeometryKind::Position), 1000);
  EXPECT_EQ(s.Geometry("MAIN-Top", 1000, GeometryKind::Position), 1000) << "sections are separate";
  EXPECT_EQ(s.Tick("AUTOSTART_TIME_TICKBOX", 0), 0);
  EXPECT_EQ(s.Text("LAST_RUN_TEXTBOX", "!!! LAST RUN !!!"), "!!! LAST RUN !!!");
  EXPECT_TRUE(store.writes().empty());
}

TEST(ProgramName, IsTheFileNameAsStartedWithoutATrailingExe) {
  const std::pair<const char*, const char*> cases[] = {{"/usr/bin/TARNWICK", "TARNWICK"},
                                                       {"./TARNWICK-DEMO", "TARNWICK-DEMO"},
                                                       {"C:\\Apps\\TARNWICK.EXE", "TARNWICK"},
                                                       {"node.exe.exe", "node.exe"},
                                                       {"my.tool", "my.tool"},
                                                       {"", "TARNWICK"},
                                                       {"/usr/bin/", "TARNWICK"}};
  for (const auto& [argv0, name] : cases) EXPECT_EQ(app::ProgramNameFromArgv0(argv0), name) << argv0;
}

TEST(ProgramName, OnWindowsIsTheExecutablesFileNameWithoutItsExtensionWhateverItIs) {
  const std::pair<const char*, const char*> cases[] = {{"C:\\Apps\\TARNWICK.exe", "TARNWICK"},
                                                       {"C:\\Apps\\Copy2.com", "Copy2"},
                                                       {"D:\\x\\TARNWICK.EXE", "TARNWICK"},
                                                       {"C:\\my.tool.exe", "my.tool"},
                                                       {"C:\\dots.in.dir\\plain", "plain"},
                                                       {"C:\\x\\.exe", "TARNWICK"},
                                                       {"", "TARNWICK"}};
  for (const auto& [path, name] : cases) EXPECT_EQ(app::ProgramNameFromModulePath(path), name) << path;
}

}  // namespace
