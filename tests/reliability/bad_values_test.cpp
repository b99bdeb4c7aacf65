// Bad stored values, end to end: each text is written into a real store file for every geometry and
// tick-box key of the catalogue, read back by the real windows, and every window must still open on screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
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
using namespace std::string_literals;
using settings::GeometryKind;
using settings::KeyKind;

// What a window must hold for catalogued `key` stored as `text`: the text as the one decoding rule
// reads it (that rule has its own table in store_codec_test), else the key's default.
const settings::StoredKey& Key(const std::string& key) {
  if (const settings::StoredKey* k = settings::FindKey(key)) return *k;
  throw std::logic_error("not in the key catalogue: " + key);
}
float Geometry(const std::string& key, const std::string& text) {
  const GeometryKind kind = Key(key).kind == KeyKind::Size ? GeometryKind::Size : GeometryKind::Position;
  return settings::DecodeGeometry(text, kind)
      .value_or(settings::DecodeGeometry(Key(key).default_text, kind).value_or(-1));
}
int Tick(const std::string& key, const std::string& text) {
  return settings::DecodeTick(text).value_or(settings::DecodeTick(Key(key).default_text).value_or(-1));
}

// The window of `form` is shown, lies on a screen, and has a size between one pixel and the stored
// outer size, never beyond the largest screen; when the stored position is well inside a screen it is exactly there.
void ExpectOnScreen(qt_frontend::QtHost& host, const ui::Form& form, std::string_view keys, const std::string& text) {
  SCOPED_TRACE(form.name());
  const std::string prefix(keys);
  const float left = Geometry(prefix + "-Left", text), top = Geometry(prefix + "-Top", text);
  const float width = Geometry(prefix + "-Width", text), height = Geometry(prefix + "-Height", text);
  QWidget* w = host.WidgetOf(form);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  const QRect frame = w->frameGeometry();
  const QPoint wanted(static_cast<int>(std::lround(left / 15.f)), static_cast<int>(std::lround(top / 15.f)));
  QSize largest;
  bool on_screen = false, well_inside = false;
  for (QScreen* screen : QGuiApplication::screens()) {
    largest = largest.expandedTo(screen->availableGeometry().size());
    on_screen = on_screen || screen->availableGeometry().intersects(frame);
    well_inside = well_inside || screen->geometry().contains(QRect(wanted, QSize(60, 30)));
  }
  EXPECT_TRUE(on_screen) << "frame at " << frame.x() << "," << frame.y() << " size " << frame.width() << "x"
                         << frame.height();
  // A window larger than every screen cannot be used, and its pixels alone may take gigabytes.
  EXPECT_TRUE(w->width() >= 1 && w->width() <= std::min(static_cast<int>(std::ceil(width / 15.f)), largest.width()))
      << w->width();
  EXPECT_TRUE(w->height() >= 1 && w->height() <= std::min(static_cast<int>(std::ceil(height / 15.f)), largest.height()))
      << w->height();
  EXPECT_FLOAT_EQ(form.geometry().width, width);
  EXPECT_FLOAT_EQ(form.geometry().height, height);
  if (well_inside) {
    EXPECT_EQ(w->pos(), wanted);
    EXPECT_FLOAT_EQ(form.left(), left);
    EXPECT_FLOAT_EQ(form.top(), top);
  }
}

void ExpectTicks(std::initializer_list<const ui::TickBox*> boxes, const std::string& text) {
  for (const ui::TickBox* box : boxes) EXPECT_EQ(box->state(), Tick(box->name(), text)) << box->name();
}

TEST(BadStoredValues, ReadByTheOneRuleAndEveryWindowOpensOnScreen) {
  const std::string section = "TARNWICK-BADVALUES";
  const std::string fullwidth_one = "\xEF\xBC\x91";  // U+FF11, a digit to Unicode but not to C
  for (const std::string& text : {""s,
                                  "left of centre"s,
                                  "1e40"s,
                                  "-1e40"s,
                                  "nan"s,
                                  "inf"s,
                                  "1,5"s,
                                  " 1"s,
                                  "1 "s,
                                  "0x1"s,
                                  "2"s,
                                  "-1"s,
                                  "0"s,
                                  "65536"s,
                                  "1.5"s,
                                  "1000000"s,
                                  "-1000000"s,
                                  "1000000.5"s,
                                  fullwidth_one,
                                  std::string(100'000, '9'),
                                  std::string(99'999, ' ') + "1"}) {
    SCOPED_TRACE("value: " + text.substr(text.size() > 20 ? text.size() - 20 : 0));
    test_support::PrivateConfigHome home("tarnwick-bad-values");
    const fs::path file = home.root() / "TARNWICK" / (section + ".conf");
    fs::create_directories(file.parent_path());
    std::string lines;
    for (const settings::StoredKey& k : settings::KeyCatalogue())
      if (k.kind != KeyKind::Text) lines += std::string(k.key) + '=' + text + '\n';
    test_support::WriteFile(file, lines);
    // The file really holds the text as written: otherwise the rest would test something else.
    ASSERT_EQ(settings::conf::Parse(test_support::ReadFile(file)).values.at("MAIN-Left"), text);
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
      ExpectOnScreen(host, main, settings::kMainWindowKeys, text);
      ExpectTicks({&main.AUTOSTART_TIME_TICKBOX, &main.AUTOCLOSE_TIME_TICKBOX, &main.AlwaysOnTopTimer_TICKBOX,
                   &main.PELLUM_ON_TICKBOX, &main.PELLUM_OFF_TICKBOX},
                  text);
      // Both stored node choices ticked load as the wallet; the hub reads them the same way.
      const int qt = Tick("AUTORUN_QT_TICKBOX", text), daemon = qt == 1 ? 0 : Tick("AUTORUN_DAEMON_TICKBOX", text);
      EXPECT_EQ(main.AUTORUN_QT_TICKBOX.state(), qt);
      EXPECT_EQ(main.AUTORUN_DAEMON_TICKBOX.state(), daemon);

      ASSERT_TRUE(main.SETTINGS_BUTTON.enabled());
      host.Click(main.SETTINGS_BUTTON);
      auto& hub = static_cast<TARNWICK_SETTINGS&>(*desktop.open_forms().back());
      ExpectOnScreen(host, hub, settings::kSettingsHubKeys, text);
      EXPECT_EQ(hub.AUTORUN_QT_TICKBOX.state(), qt);
      EXPECT_EQ(hub.AUTORUN_DAEMON_TICKBOX.state(), daemon);

      host.Click(hub.PELLUM_PELLUM_CORVANT_BUTTON);
      auto& helpers = static_cast<TARNWICK_PELLUM_CORVANT_SETTINGS&>(*desktop.open_forms().back());
      ExpectOnScreen(host, helpers, settings::kPellumCorvantKeys, text);
      ExpectTicks({&helpers.PELLUM_ON_TICKBOX, &helpers.PELLUM_OFF_TICKBOX}, text);
      host.Close(helpers);

      host.Click(hub.QT_DAEMON_CLI_BUTTON);
      ASSERT_EQ(desktop.open_forms().size(), 3u);
      ExpectOnScreen(host, *desktop.open_forms().back(), settings::kQtDaemonCliKeys, text);
      host.CloseTopLevels();
      EXPECT_TRUE(desktop.empty());
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    desktop.CollectClosed();
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
