// Bad stored values, end to end: each value is written into a real store file for every geometry and
// tick-box key of the catalogue, read back by the real windows, and every window must still open on screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "fake_processes.h"
#include "frontend/qt/qt_host.h"
#include "harness.h"
#include "settings/key_catalogue.h"
#include "settings/linux/file_store.h"
#include "settings/pellum_corvant_settings.h"
#include "settings/qt_daemon_cli_settings.h"
#include "settings/settings_hub.h"
#include "settings/store.h"
#include "test_helpers.h"

namespace {

namespace fs = std::filesystem;
using settings::GeometryKind;

// One bad (or borderline) stored text and what the decoding rule makes of it, worked out by hand:
// a finite C decimal (sign, digits, "." fraction; spaces around ignored) within a million twips,
// sizes above 0; a tick is "0" or "1" with spaces around. Nothing means "the key's default".
struct Row {
  std::string label;
  std::string text;
  std::optional<float> position;
  std::optional<float> size;
  std::optional<int> tick;
};

std::vector<Row> Rows() {
  const std::string fullwidth_one = "\xEF\xBC\x91";  // U+FF11, a digit to Unicode but not to C
  return {
      {"empty", "", {}, {}, {}},
      {"words", "left of centre", {}, {}, {}},
      {"huge exponent", "1e40", {}, {}, {}},
      {"huge negative exponent", "-1e40", {}, {}, {}},
      {"nan", "nan", {}, {}, {}},
      {"inf", "inf", {}, {}, {}},
      {"decimal comma", "1,5", {}, {}, {}},
      {"leading space", " 1", 1.f, 1.f, 1},
      {"trailing space", "1 ", 1.f, 1.f, 1},
      {"hexadecimal", "0x1", {}, {}, {}},
      {"two", "2", 2.f, 2.f, {}},
      {"minus one", "-1", -1.f, {}, {}},
      {"zero", "0", 0.f, {}, 0},
      {"sixteen bits and one", "65536", 65536.f, 65536.f, {}},
      {"fraction", "1.5", 1.5f, 1.5f, {}},
      {"a million", "1000000", 1'000'000.f, 1'000'000.f, {}},
      {"minus a million", "-1000000", -1'000'000.f, {}, {}},
      {"just over a million", "1000000.5", {}, {}, {}},
      {"full-width digit", fullwidth_one, {}, {}, {}},
      {"100000 nines", std::string(100'000, '9'), {}, {}, {}},
      {"99999 spaces then one", std::string(99'999, ' ') + "1", 1.f, 1.f, 1},
  };
}

// What the windows must read for a catalogued key holding `row`'s text: the decoded value, or the
// key's default from the catalogue.
const settings::StoredKey& Key(const std::string& key) {
  const settings::StoredKey* k = settings::FindKey(key);
  if (k == nullptr) throw std::logic_error("not in the key catalogue: " + key);
  return *k;
}

int ExpectedTick(const Row& row, const std::string& key) {
  return row.tick.value_or(settings::DecodeTick(Key(key).default_text).value_or(-1));
}

float ExpectedGeometry(const Row& row, const std::string& key) {
  const settings::StoredKey& k = Key(key);
  const GeometryKind kind = k.kind == settings::KeyKind::Size ? GeometryKind::Size : GeometryKind::Position;
  const std::optional<float>& decoded = kind == GeometryKind::Size ? row.size : row.position;
  return decoded.value_or(settings::DecodeGeometry(k.default_text, kind).value_or(-1));
}

using test_support::PrivateConfigHome;
using test_support::ReadFile;

bool OnSomeScreen(const QRect& frame) {
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->availableGeometry().intersects(frame)) return true;
  return false;
}

QSize LargestScreen() {
  QSize largest;
  for (QScreen* screen : QGuiApplication::screens()) largest = largest.expandedTo(screen->availableGeometry().size());
  return largest;
}

// The window of `form` is shown, lies on a screen, and has a size between one pixel and the
// stored outer size, never beyond the largest screen; when the stored position is well inside a screen it is exactly there.
void ExpectOnScreen(qt_frontend::QtHost& host, const ui::Form& form, float left, float top, float width, float height) {
  SCOPED_TRACE(form.name());
  QWidget* w = host.WidgetOf(form);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  const QRect frame = w->frameGeometry();
  EXPECT_TRUE(OnSomeScreen(frame)) << "frame at " << frame.x() << "," << frame.y() << " size " << frame.width() << "x"
                                   << frame.height();
  EXPECT_GE(w->width(), 1);
  EXPECT_GE(w->height(), 1);
  EXPECT_LE(w->width(), static_cast<int>(std::ceil(width / 15.f)));
  EXPECT_LE(w->height(), static_cast<int>(std::ceil(height / 15.f)));
  // A window larger than every screen cannot be used, and its pixels alone may take gigabytes.
  const QSize largest = LargestScreen();
  EXPECT_LE(w->width(), largest.width());
  EXPECT_LE(w->height(), largest.height());
  EXPECT_FLOAT_EQ(form.geometry().width, width);
  EXPECT_FLOAT_EQ(form.geometry().height, height);
  const QPoint wanted(static_cast<int>(std::lround(left / 15.f)), static_cast<int>(std::lround(top / 15.f)));
  bool well_inside = false;
  for (QScreen* screen : QGuiApplication::screens())
    well_inside = well_inside || screen->geometry().contains(QRect(wanted, QSize(60, 30)));
  if (well_inside) {
    EXPECT_EQ(w->pos(), wanted);
    EXPECT_FLOAT_EQ(form.left(), left);
    EXPECT_FLOAT_EQ(form.top(), top);
  }
}

TEST(BadStoredValues, ReadAsTheRuleSaysAndEveryWindowOpensOnScreen) {
  const std::string section = "TARNWICK-BADVALUES";
  for (const Row& row : Rows()) {
    SCOPED_TRACE("value: " + row.label);
    PrivateConfigHome home("tarnwick-bad-values");
    const fs::path file = home.root() / "TARNWICK" / (section + ".conf");
    fs::create_directories(file.parent_path());
    {
      std::ofstream out(file, std::ios::binary);
      for (const settings::StoredKey& k : settings::KeyCatalogue())
        if (k.kind != settings::KeyKind::Text) out << k.key << '=' << row.text << '\n';
    }
    // The file really holds the text as written: otherwise the rest would test something else.
    const settings::conf::Parsed parsed = settings::conf::Parse(ReadFile(file));
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_EQ(parsed.values.at("MAIN-Left"), row.text);

    settings::FileStore store;
    ASSERT_EQ(store.config_root(), home.root());

    // The same file through the real windows and the real Qt front end.
    fakes::FakeProcesses processes;
    fakes::FakeWindowManager wm;
    app::Platform platform{processes, store, wm, section};
    ui::Desktop desktop;
    {
      qt_frontend::QtHost host(desktop);
      host.set_on_empty([] {});
      auto& main = static_cast<TARNWICK_MAIN&>(host.OpenTopLevel(std::make_unique<TARNWICK_MAIN>(desktop, platform)));
      QCoreApplication::processEvents();
      ExpectOnScreen(host, main, ExpectedGeometry(row, "MAIN-Left"), ExpectedGeometry(row, "MAIN-Top"),
                     ExpectedGeometry(row, "MAIN-Width"), ExpectedGeometry(row, "MAIN-Height"));

      // Both stored node choices ticked load as the wallet; the hub reads them the same way.
      int qt = ExpectedTick(row, "AUTORUN_QT_TICKBOX"), daemon = ExpectedTick(row, "AUTORUN_DAEMON_TICKBOX");
      if (qt == 1) daemon = 0;
      EXPECT_EQ(main.AUTOSTART_TIME_TICKBOX.state(), ExpectedTick(row, "AUTOSTART_TIME_TICKBOX"));
      EXPECT_EQ(main.AUTOCLOSE_TIME_TICKBOX.state(), ExpectedTick(row, "AUTOCLOSE_TIME_TICKBOX"));
      EXPECT_EQ(main.AlwaysOnTopTimer_TICKBOX.state(), ExpectedTick(row, "AlwaysOnTopTimer_TICKBOX"));
      EXPECT_EQ(main.PELLUM_ON_TICKBOX.state(), ExpectedTick(row, "PELLUM_ON_TICKBOX"));
      EXPECT_EQ(main.PELLUM_OFF_TICKBOX.state(), ExpectedTick(row, "PELLUM_OFF_TICKBOX"));
      EXPECT_EQ(main.AUTORUN_QT_TICKBOX.state(), qt);
      EXPECT_EQ(main.AUTORUN_DAEMON_TICKBOX.state(), daemon);

      ASSERT_TRUE(main.SETTINGS_BUTTON.enabled());
      host.Click(main.SETTINGS_BUTTON);
      ASSERT_EQ(desktop.open_forms().size(), 2u);
      auto& hub = static_cast<TARNWICK_SETTINGS&>(*desktop.open_forms().back());
      ExpectOnScreen(host, hub, ExpectedGeometry(row, "SETTINGS-Left"), ExpectedGeometry(row, "SETTINGS-Top"),
                     ExpectedGeometry(row, "SETTINGS-Width"), ExpectedGeometry(row, "SETTINGS-Height"));
      EXPECT_EQ(hub.AUTORUN_QT_TICKBOX.state(), qt);
      EXPECT_EQ(hub.AUTORUN_DAEMON_TICKBOX.state(), daemon);

      host.Click(hub.PELLUM_PELLUM_CORVANT_BUTTON);
      ASSERT_EQ(desktop.open_forms().size(), 3u);
      auto& helpers = static_cast<TARNWICK_PELLUM_CORVANT_SETTINGS&>(*desktop.open_forms().back());
      ExpectOnScreen(host, helpers, ExpectedGeometry(row, "PELLUM-CV-SETTINGS-Left"),
                     ExpectedGeometry(row, "PELLUM-CV-SETTINGS-Top"), ExpectedGeometry(row, "PELLUM-CV-SETTINGS-Width"),
                     ExpectedGeometry(row, "PELLUM-CV-SETTINGS-Height"));
      EXPECT_EQ(helpers.PELLUM_ON_TICKBOX.state(), ExpectedTick(row, "PELLUM_ON_TICKBOX"));
      EXPECT_EQ(helpers.PELLUM_OFF_TICKBOX.state(), ExpectedTick(row, "PELLUM_OFF_TICKBOX"));
      host.Close(helpers);
      ASSERT_EQ(desktop.open_forms().size(), 2u);

      host.Click(hub.QT_DAEMON_CLI_BUTTON);
      ASSERT_EQ(desktop.open_forms().size(), 3u);
      const ui::Form& programs = *desktop.open_forms().back();
      ExpectOnScreen(host, programs, ExpectedGeometry(row, "QT-D-CLI-SETTINGS-Left"),
                     ExpectedGeometry(row, "QT-D-CLI-SETTINGS-Top"), ExpectedGeometry(row, "QT-D-CLI-SETTINGS-Width"),
                     ExpectedGeometry(row, "QT-D-CLI-SETTINGS-Height"));

      host.CloseTopLevels();
      EXPECT_TRUE(desktop.empty());
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    desktop.CollectClosed();

    // What the windows wrote back on closing is readable again, and holds no bad value of its own.
    const settings::conf::Parsed after = settings::conf::Parse(ReadFile(file));
    ASSERT_TRUE(after.ok()) << after.error;
    for (const char* key :
         {"MAIN-Left", "MAIN-Top", "SETTINGS-Left", "SETTINGS-Top", "PELLUM-CV-SETTINGS-Left", "QT-D-CLI-SETTINGS-Top"})
      EXPECT_TRUE(settings::DecodeGeometry(after.values.at(key), GeometryKind::Position))
          << key << "=" << after.values.at(key);
    for (const char* key : {"AlwaysOnTopTimer_TICKBOX", "AUTOSTART_TIME_TICKBOX", "AUTOCLOSE_TIME_TICKBOX"})
      EXPECT_TRUE(settings::DecodeTick(after.values.at(key))) << key << "=" << after.values.at(key);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // No display needed, but a display set on purpose is respected.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
