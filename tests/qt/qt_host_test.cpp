// The Qt front end against the real core: every window's widgets are where, and as, the model says;
// input reaches the core and its answer comes back; modality, closing order, keys, moves, timers, signals.
#include <gtest/gtest.h>

#include <QtWidgets>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <tuple>

#include "app/main_window.h"
#include "frontend/qt/form_window.h"
#include "frontend/qt/qt_host.h"
#include "frontend/qt/signal_bridge.h"
#include "frontend/qt/x11_window_manager.h"
#include "harness.h"
#include "settings/linux/file_store.h"
#include "settings/qt_daemon_cli_settings.h"
#include "settings/settings_hub.h"
#include "test_helpers.h"
#include "ui/layout.h"

namespace {

// Runs the event loop until `done` holds; false when the generous deadline passes first.
bool WaitFor(const std::function<bool()>& done) {
  return test_support::WaitFor(done, std::chrono::seconds(5), [] {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  });
}

void DeleteClosedWidgets() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void SendKey(QWidget* to, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
    QKeyEvent event(type, key, mods);
    QApplication::sendEvent(to, &event);
  }
}

void Type(QWidget* to, const QString& text) {
  for (QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(to, &press);
  }
}

QColor Rgb(ui::Colour c) { return QColor(c.red(), c.green(), c.blue()); }

bool ImageHasColour(const QImage& img, QColor colour) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelColor(x, y).rgb() == colour.rgb()) return true;
  return false;
}

// The core harness's store, processes and window manager, with the Qt host drawing its desktop.
class QtFrontend : public ::testing::Test, protected fakes::Harness {
 protected:
  QtFrontend() {
    qt.set_on_empty([this] { ++empty_calls; });
  }
  ~QtFrontend() override {
    qt.CloseTopLevels();
    DeleteClosedWidgets();
  }

  TARNWICK_MAIN& OpenMain(app::Platform* on = nullptr) {
    auto form = std::make_unique<TARNWICK_MAIN>(desktop, on ? *on : platform);
    main = &static_cast<TARNWICK_MAIN&>(qt.OpenTopLevel(std::move(form)));
    return *main;
  }
  QWidget* WindowOf(const ui::Form& form) const { return qt.WidgetOf(form); }
  template <class T = QWidget>
  T* Widget(const ui::Control& control) const {
    QWidget* window = WindowOf(control.form());
    return window ? window->findChild<T*>(QString::fromStdString(control.name()), Qt::FindDirectChildrenOnly) : nullptr;
  }
  void Press(const ui::Control& button) { Widget<QPushButton>(button)->click(); }
  ui::Form& Newest() const { return *desktop.open_forms().back(); }
  TARNWICK_SETTINGS& OpenHub() {
    Press(main->SETTINGS_BUTTON);
    return static_cast<TARNWICK_SETTINGS&>(Newest());
  }
  // Where in the store's write log `key` was written.
  std::vector<std::size_t> WritesOf(const std::string& key) const {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < store.writes().size(); ++i)
      if (store.writes()[i].rfind(key + "=", 0) == 0) at.push_back(i);
    return at;
  }

  qt_frontend::QtHost qt{desktop};
  // The real Linux port, for the test that asks for it.
  qt_frontend::X11WindowManager x11{qt};
  app::Platform on_x11{processes, store, x11, "TARNWICK"};
  int empty_calls = 0;
};

// ---- Layout and looks ---------------------------------------------------------------------------

TEST_F(QtFrontend, MainWindowAndEveryControlAreWhereAndAsTheModelSays) {
  OpenMain();
  QWidget* w = WindowOf(*main);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isWindow() && w->isVisible());
  EXPECT_EQ(w->minimumSize(), w->maximumSize()) << "the window must not be resizable";
  EXPECT_EQ(w->windowTitle(), "TARNWICK - TARNWICK");
  const Qt::WindowFlags flags = w->windowFlags();
  EXPECT_TRUE((flags & Qt::WindowMinimizeButtonHint) && (flags & Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(w->parentWidget(), nullptr) << "the main window stands alone in the taskbar";

  for (ui::Control* c : main->controls()) {
    const QList<QWidget*> found =
        w->findChildren<QWidget*>(QString::fromStdString(c->name()), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(found.size(), c->rendered() ? 1 : 0) << c->name() << ": one widget, none if model-only";
    if (!c->rendered() || c->kind() == ui::ControlKind::Line) continue;
    static const char* const kClass[] = {"QLabel", "QPushButton", "QCheckBox", "QLineEdit"};
    EXPECT_TRUE(found.front()->inherits(kClass[static_cast<int>(c->kind())])) << c->name();
    const ui::Rect r = ui::DrawnRect(*c);  // where the core's layout draws it
    EXPECT_EQ(found.front()->geometry(), QRect(r.left / 15, r.top / 15, r.width / 15, r.height / 15)) << c->name();
  }
  // Drawn: title band 3, lights 9, RUN buttons 6, schedule row 8, lines 2; the rest hold values only.
  EXPECT_EQ(std::ranges::count_if(main->controls(), &ui::Control::rendered), 28);

  for (ui::Label* light : {&main->PELLUM_ON_LIGHT, &main->PELLUM_OFF_LIGHT, &main->DAEMON_START_LIGHT,
                           &main->CORVANT_LIGHT, &main->AUTOPILOT_STARTED_LIGHT}) {
    ASSERT_TRUE(light->back_colour().IsRgb()) << light->name();
    const QImage img = Widget<QLabel>(*light)->grab().toImage();
    EXPECT_EQ(img.pixelColor(1, 1).rgb(), Rgb(light->back_colour()).rgb()) << light->name();
    if (light->fore_colour().IsRgb()) {
      EXPECT_TRUE(ImageHasColour(img, Rgb(light->fore_colour()))) << light->name() << " shows no text in its colour";
    }
  }
  auto* countdown = Widget<QLineEdit>(main->AUTOSTART_TIME_TEXTBOX);
  EXPECT_EQ(countdown->text(), "00");
  EXPECT_TRUE(countdown->isReadOnly() && (countdown->alignment() & Qt::AlignHCenter));
  EXPECT_EQ(countdown->palette().color(QPalette::Base), Rgb(ui::colours::kCountdownPink));
  const QPalette last_run = Widget<QLineEdit>(main->LAST_RUN_TEXTBOX)->palette();
  EXPECT_EQ(last_run.color(QPalette::Base), QColor(Qt::red));
  EXPECT_EQ(last_run.color(QPalette::Text), QColor(Qt::black));
  QWidget* line = Widget(main->Line5);
  ASSERT_NE(line, nullptr);
  const QImage img = line->grab().toImage();
  EXPECT_EQ(img.pixelColor(img.width() / 2, img.height() / 2), QColor(Qt::green));
  EXPECT_EQ(line->mapTo(w, line->rect().center()).y(), 1080 / 15);

  // Fonts: 8.25 pt is 11 px at 96 dots per inch; Liberation Sans stands in for Arial and MS Sans Serif.
  for (const auto& [control, bold, pixels, family] :
       {std::tuple<ui::Control*, bool, int, const char*>{&main->PELLUM_ON_LIGHT, true, 11, "Liberation Sans"},
        {&main->AUTOSTART_TIME_TEXTBOX, true, 18, "Liberation Sans"},
        {&main->SETTINGS_BUTTON, false, 11, nullptr}}) {
    const QFont font = Widget(*control)->font();
    EXPECT_EQ(font.bold(), bold) << control->name();
    EXPECT_EQ(font.pixelSize(), pixels) << control->name();
    if (family) { EXPECT_EQ(QFontInfo(font).family(), family) << control->name(); }
  }
}

TEST_F(QtFrontend, StoredSettingsShapeTheWindowAPlaceOffScreenIsCorrectedAndMovesAreStored) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  for (const std::string left : {"1500", "-32000"}) {
    SCOPED_TRACE(left);
    Seed("MAIN-Width", "10035");
    Seed("MAIN-Height", "2475");
    Seed("MAIN-Left", left);
    Seed("MAIN-Top", left == "1500" ? "3000" : "-32000");
    Seed("PELLUM_ON_TICKBOX", "1");  // a ready light is painted with the system window colour
    OpenMain();
    QWidget* w = WindowOf(*main);
    EXPECT_EQ(w->size(), QSize(663, 140));
    if (left == "1500") { EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(100, 200)); }
    EXPECT_TRUE(screen.contains(w->frameGeometry().topLeft())) << w->frameGeometry().x();
    EXPECT_EQ(main->left(), static_cast<float>(w->frameGeometry().x() * 15)) << "the core learns the real place";
    ASSERT_EQ(main->PELLUM_ON_LIGHT.back_colour(), ui::colours::kSystemWindow);
    EXPECT_EQ(Widget<QLabel>(main->PELLUM_ON_LIGHT)->grab().toImage().pixelColor(1, 1),
              QGuiApplication::palette().color(QPalette::Base));
    w->move(200, 150);  // a moved window tells the core where it is, and that is stored
    ASSERT_TRUE(WaitFor([&] { return main->left() == 3000.0f; })) << main->left();
    EXPECT_EQ(main->top(), 2250.0f);
    qt.CloseTopLevels();
    DeleteClosedWidgets();
    EXPECT_EQ(Stored("MAIN-Left"), "3000");
    EXPECT_EQ(Stored("MAIN-Top"), "2250");
  }
}

// A window partly past a screen edge comes wholly onto that screen, moved no further than that.
TEST_F(QtFrontend, AWindowPartlyOffTheScreenMovesTheLeastDistanceOntoIt) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  Seed("MAIN-Left", std::to_string((screen.right() - 100) * 15));
  Seed("MAIN-Top", "1500");
  OpenMain();
  EXPECT_EQ(WindowOf(*main)->frameGeometry().topLeft(), QPoint(screen.x() + screen.width() - 9585 / 15, 100));
}

// Every caption of every window shows all its words within its label, in one font or a smaller one.
TEST_F(QtFrontend, NoCaptionLosesAWordInAnyWindow) {
  OpenMain();
  TARNWICK_SETTINGS& hub = OpenHub();
  auto check = [](QWidget* window) {
    for (QLabel* label : window->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (!label->isVisible() || label->text().isEmpty()) continue;
      const qt_frontend::CaptionFit fit = qt_frontend::FitCaption(label->font(), label->text(), label->contentsRect());
      SCOPED_TRACE(label->objectName().toStdString());
      EXPECT_EQ(fit.lines.join(QLatin1Char(' ')), label->text().simplified());
      EXPECT_LE(QFontMetrics(fit.font).height() * fit.lines.size(), label->contentsRect().height());
    }
  };
  check(WindowOf(*main));
  check(WindowOf(hub));
  // Captions squeezed into labels far too small for them (as a wider fallback font would make
  // them) still show every word, in a smaller font.
  QFont bold = WindowOf(*main)->font();
  bold.setPixelSize(13);
  bold.setBold(true);
  for (const auto& [caption, area] :
       {std::pair{"DAEMON-CLI.exe or MF-QUAYLINE - COMPLETE Run Command", QRect(0, 0, 200, 17)},
        std::pair{"Unattended node runs", QRect(0, 0, 60, 23)}}) {
    const qt_frontend::CaptionFit fit = qt_frontend::FitCaption(bold, QString::fromUtf8(caption), area);
    EXPECT_EQ(fit.lines.join(QLatin1Char(' ')), QString::fromUtf8(caption));
    EXPECT_LE(QFontMetrics(fit.font).height() * fit.lines.size(), area.height()) << caption;
  }
  for (const char* button : {"PELLUM_PELLUM_CORVANT_BUTTON", "QT_DAEMON_CLI_BUTTON"}) {
    Press(*hub.Find(button));
    ASSERT_EQ(desktop.open_forms().size(), 3u);
    check(WindowOf(Newest()));
    Press(*Newest().Find("CANCEL_BUTTON"));
    DeleteClosedWidgets();
    ASSERT_EQ(desktop.open_forms().size(), 2u);
  }
}

// ---- Input and the answer ---------------------------------------------------------------------

TEST_F(QtFrontend, ClicksReachTheCoreAndItsAnswerReachesTheWidgets) {
  OpenMain();
  auto* light = Widget<QLabel>(main->PELLUM_ON_LIGHT);
  EXPECT_EQ(light->accessibleName(), "PELLUM-ON light");

  auto* close_start = Widget<QPushButton>(main->AUTOCLOSE_START_BUTTON);
  close_start->click();  // disabled: does nothing
  EXPECT_EQ(main->AUTOCLOSE_START_BUTTON.caption(), "START");
  auto* tick = Widget<QCheckBox>(main->AUTOCLOSE_TIME_TICKBOX);
  for (bool want : {true, false}) {
    tick->click();
    EXPECT_EQ(main->AUTOCLOSE_TIME_TICKBOX.ticked(), want);
    EXPECT_EQ(tick->isChecked(), want);
    EXPECT_EQ(close_start->isEnabled(), want);
  }

  auto* start = Widget<QPushButton>(main->AUTOSTART_START_BUTTON);
  auto* last_run = Widget<QLineEdit>(main->LAST_RUN_TEXTBOX);
  start->click();
  EXPECT_EQ(start->text(), "STOP");
  EXPECT_EQ(last_run->text(), "!!! MANUAL START !!!");
  EXPECT_EQ(last_run->palette().color(QPalette::Base), QColor(Qt::green));
  EXPECT_FALSE(Widget(main->SETTINGS_BUTTON)->isEnabled());
  for (const QString& said : {light->toolTip(), light->accessibleDescription()})
    EXPECT_EQ(said.toStdString(), main->PELLUM_ON_LIGHT.Description()) << "what it says follows the light's colour";
  start->click();
  EXPECT_EQ(start->text(), "START");
  EXPECT_EQ(last_run->text(), "!!! MANUAL STOP !!!");
  EXPECT_TRUE(Widget(main->SETTINGS_BUTTON)->isEnabled());
}

// A stored command line longer than a line edit holds by default (32,767 characters), edited at its
// end and saved: every character of it reaches the store and the main window. Syncing the model
// back leaves the cursor where the user put it, and a change by the core shows.
TEST_F(QtFrontend, ALongCommandLineIsEditedAndSavedWholeAndSyncLeavesTheCursorAlone) {
  std::string stored;
  for (int i = 0; stored.size() < 40000; ++i) stored += " -arg" + std::to_string(i);
  stored.resize(40000);
  Seed("QT_RUN_CMD_TEXTBOX", stored);
  OpenMain();
  Press(OpenHub().QT_DAEMON_CLI_BUTTON);
  auto& nodes = dynamic_cast<TARNWICK_QT_DAEMON_CLI_SETTINGS&>(Newest());
  auto* box = Widget<QLineEdit>(nodes.QT_RUN_CMD_TEXTBOX);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text().size(), 40000);
  box->setFocus();
  SendKey(box, Qt::Key_End);
  Type(box, "!");
  Press(nodes.SAVE_BUTTON);
  for (const std::string& saved :
       {Stored("QT_RUN_CMD_TEXTBOX"), Stored("QT_FULL_RUN_CMD_TEXTBOX"), main->QT_FULL_RUN_CMD_TEXTBOX.text()})
    EXPECT_TRUE(saved == stored + "!") << saved.size() << " characters";
  box->setCursorPosition(2);
  qt.Sync();
  EXPECT_EQ(box->cursorPosition(), 2);
  nodes.QT_RUN_CMD_TEXTBOX.set_text("changed by the core");
  qt.Sync();
  EXPECT_EQ(box->text(), "changed by the core");
}

// ---- Modality, closing, keys ------------------------------------------------------------------

TEST_F(QtFrontend, TheModalHubBlocksItsOwnerWhoseTimersKeepTickingAndClosesAlone) {
  Seed("AUTOSTART_TIME_TICKBOX", "1");  // the Auto Start countdown runs from the moment the window opens
  OpenMain();
  TARNWICK_SETTINGS& hub = OpenHub();
  QPointer<QWidget> h = WindowOf(hub);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(h->isWindow() && h->isVisible());
  EXPECT_EQ(h->parentWidget(), WindowOf(*main)) << "transient for its owner";
  EXPECT_EQ(h->windowModality(), Qt::WindowModal);
  EXPECT_FALSE(h->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(h->focusWidget(), Widget(hub.CLOSE_BUTTON)) << "the focus starts at the first of the tab order";

  const std::string caption = main->AUTOSTART_START_BUTTON.caption();
  Press(main->AUTOSTART_START_BUTTON);
  EXPECT_EQ(main->AUTOSTART_START_BUTTON.caption(), caption) << "the main window takes no input under the hub";
  // A refused click on a tick box: Qt must not toggle it on its own, not even for a moment.
  auto* on_top = Widget<QCheckBox>(main->AlwaysOnTopTimer_TICKBOX);
  ASSERT_TRUE(on_top->isChecked());
  int shown_states = 0;
  QObject::connect(on_top, &QCheckBox::stateChanged, on_top, [&] { ++shown_states; });
  on_top->click();
  EXPECT_EQ(shown_states, 0) << "the widget flickered through a state the model never had";
  EXPECT_TRUE(main->AlwaysOnTopTimer_TICKBOX.ticked() && on_top->isChecked());

  auto* countdown = Widget<QLineEdit>(main->AUTOSTART_TIME_TEXTBOX);
  EXPECT_TRUE(WaitFor([&] { return countdown->text() == "10"; })) << countdown->text().toStdString();
  EXPECT_EQ(main->AUTOSTART_TIME_TEXTBOX.text(), "10");
  EXPECT_GT(wm.foreground_questions, 0) << "the always-on-top timer ticked too";

  // The credit label is clickable.
  auto* credit = Widget<QLabel>(hub.TARNWICK_CREATOR);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), credit->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(credit, &press);
  EXPECT_EQ(credit->text(), TARNWICK_SETTINGS::kContact);

  h->close();  // the close box closes only the hub
  EXPECT_EQ(desktop.open_forms().size(), 1u);
  EXPECT_EQ(empty_calls, 0);
  DeleteClosedWidgets();
  EXPECT_TRUE(h.isNull());
  Press(main->AUTOSTART_START_BUTTON);
  EXPECT_NE(main->AUTOSTART_START_BUTTON.caption(), caption) << "with the hub gone the main window takes input";
}

TEST_F(QtFrontend, ClosingTheMainWindowClosesTheHubFirstAndUnloadsOnce) {
  OpenMain();
  QPointer<QWidget> hub_widget = WindowOf(OpenHub());
  QPointer<QWidget> main_widget = WindowOf(*main);
  main_widget->close();  // the close box
  EXPECT_TRUE(desktop.empty());
  ASSERT_EQ(WritesOf("MAIN-Left").size(), 1u);
  ASSERT_EQ(WritesOf("SETTINGS-Left").size(), 1u);
  EXPECT_LT(WritesOf("SETTINGS-Left")[0], WritesOf("MAIN-Left")[0]) << "the hub unloads first";
  EXPECT_EQ(Stored("MAIN-Left"), "1000");
  EXPECT_EQ(Stored("LAST_RUN_TEXTBOX"), "!!! LAST RUN !!!");
  EXPECT_EQ(empty_calls, 1);
  DeleteClosedWidgets();
  EXPECT_TRUE(main_widget.isNull() && hub_widget.isNull());
  qt.CloseTopLevels();
  EXPECT_EQ(empty_calls, 1);
  EXPECT_EQ(WritesOf("MAIN-Left").size(), 1u);
}

// A signal handled while an event is in progress (a nested event loop) is not lost: every window
// closes, and stores what it stores, once that event has ended.
TEST_F(QtFrontend, ASignalArrivingInsideAnEventClosesEverythingWhenItEnds) {
  OpenMain();
  qt.set_before_show([this](QWidget*) { qt.CloseTopLevels(); });
  Press(main->SETTINGS_BUTTON);  // the hub opens inside the click's event
  EXPECT_TRUE(desktop.empty());
  EXPECT_EQ(empty_calls, 1);
  EXPECT_EQ(WritesOf("MAIN-Left").size(), 1u);
  EXPECT_EQ(WritesOf("SETTINGS-Left").size(), 1u);
}

// A logout that begins asks the program to save (the host's answer to commitDataRequest): every
// window stores what it stores as it closes, none closes, and when the logout is then cancelled the
// run goes on. Asked while an event is in progress, it is done as that event ends.
TEST_F(QtFrontend, ASaveRequestStoresEverythingAndACancelledLogoutLeavesTheRunGoing) {
  Seed("AUTOSTART_TIME_TICKBOX", "1");  // the run's countdown begins as the window opens
  OpenMain();
  qt.set_before_show([this](QWidget*) { qt.StoreForSessionEnd(); });
  ui::Form& hub = OpenHub();  // the request comes as the hub opens, inside the click's event
  qt.set_before_show(nullptr);
  EXPECT_EQ(Stored("MAIN-Left"), "1000");
  EXPECT_EQ(Stored("SETTINGS-Left"), "1000");
  EXPECT_EQ(desktop.open_forms().size(), 2u);
  EXPECT_EQ(empty_calls, 0);
  EXPECT_TRUE(WindowOf(*main)->isVisible() && WindowOf(hub)->isVisible());
  auto* countdown = Widget<QLineEdit>(main->AUTOSTART_TIME_TEXTBOX);
  EXPECT_TRUE(WaitFor([&] { return countdown->text() == "10"; })) << countdown->text().toStdString();
  EXPECT_EQ(desktop.open_forms().size(), 2u);
}

TEST_F(QtFrontend, KeysFollowTheFormEnterEscapeAndTab) {
  OpenMain();
  const std::vector<ui::Control*>& order = main->tab_order();
  ASSERT_GT(order.size(), 2u);
  EXPECT_EQ(WindowOf(*main)->focusWidget(), Widget(*main->FirstFocus()));
  for (std::size_t i = 1; i < order.size(); ++i)
    EXPECT_EQ(Widget(*order[i - 1])->nextInFocusChain(), Widget(*order[i])) << order[i - 1]->name();
  EXPECT_EQ(Widget(main->LAST_RUN_TEXTBOX)->focusPolicy(), Qt::ClickFocus) << "Tab never stops outside the order";

  SendKey(Widget(main->SETTINGS_BUTTON), Qt::Key_Return);
  ASSERT_EQ(desktop.open_forms().size(), 2u) << "Enter on a focused button presses that button";
  EXPECT_EQ(main->AUTOSTART_START_BUTTON.caption(), "START");
  SendKey(Widget(static_cast<TARNWICK_SETTINGS&>(Newest()).AUTORUN_QT_TICKBOX), Qt::Key_Escape);
  EXPECT_EQ(desktop.open_forms().size(), 1u) << "Escape pressed the cancel button";
  EXPECT_EQ(Stored("AUTORUN_QT_TICKBOX"), "1") << "through the Close button's handler, which stores";
  qt.Sync();

  SendKey(Widget(main->AUTOSTART_TIME_TICKBOX), Qt::Key_Return);
  EXPECT_EQ(main->AUTOSTART_START_BUTTON.caption(), "STOP");
  EXPECT_FALSE(main->AUTOSTART_TIME_TICKBOX.ticked()) << "Enter is not a click on the tick box";
  SendKey(Widget(main->LAST_RUN_TEXTBOX), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(main->AUTOSTART_START_BUTTON.caption(), "START");
}

// ---- Always on top without a window manager that supports it ----------------------------------

TEST_F(QtFrontend, WithoutEwmhTheWindowsStayOnTopForGoodAndTheModalHubWithItsOwner) {
  OpenMain(&on_x11);
  QWidget* w = WindowOf(*main);
  const QRect before = w->geometry();
  ASSERT_FALSE(x11.UsesEwmh()) << "the offscreen platform has no window manager";
  EXPECT_EQ(x11.ForegroundWindow(), ui::kNoWindow);
  EXPECT_EQ(x11.WindowOf(*main), static_cast<ui::NativeWindow>(w->winId()));
  EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
  ASSERT_TRUE(WaitFor([&] { return bool(w->windowFlags() & Qt::WindowStaysOnTopHint); }))
      << "the always-on-top timer never raised the window";
  EXPECT_TRUE(w->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->geometry(), before);
  x11.SetTopmost(x11.WindowOf(*main), false);
  EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint) << "the hint stays until the window closes";
  x11.SetTopmost(ui::kNoWindow, true);  // naming no window has no effect

  TARNWICK_SETTINGS& hub = OpenHub();
  QWidget* h = WindowOf(hub);
  ASSERT_TRUE(WaitFor([&] { return bool(h->windowFlags() & Qt::WindowStaysOnTopHint); }))
      << "the main window was raised above its own modal child";
  x11.SetTopmost(x11.WindowOf(hub), false);
  EXPECT_TRUE(h->windowFlags() & Qt::WindowStaysOnTopHint) << "an owned window stays above its topmost owner";
}

// ---- A whole setting-up through the real widgets, and the signal bridge ------------------------

// Settings, the node-programs window, a typed command line, Save, Close, Close: the store file and
// the main window's holder both hold exactly what was typed.
TEST(SettingsClickThrough, ACommandLineTypedAndSavedReachesTheStoreFileAndTheMainWindow) {
  const test_support::TempFolder folder("tarnwick-click");
  const auto root = folder.path() / "config";
  const QString typed = QString::fromUtf8("/opt/My Node/bin/node-qt -datadir=\"/srv/blöcke, alt\" -x\\y");
  {
    fakes::Harness edges;
    settings::FileStore store(root);
    app::Platform platform{edges.processes, store, edges.wm, "TARNWICK-CLICK"};
    qt_frontend::QtHost host(edges.desktop);
    auto& main =
        static_cast<TARNWICK_MAIN&>(host.OpenTopLevel(std::make_unique<TARNWICK_MAIN>(edges.desktop, platform)));
    auto find = [&](const char* name) {
      return host.WidgetOf(*edges.desktop.open_forms().back())->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    };
    auto press = [&](const char* name) {
      auto* button = qobject_cast<QPushButton*>(find(name));
      ASSERT_NE(button, nullptr) << name;
      button->click();
    };
    press("SETTINGS_BUTTON");
    press("QT_DAEMON_CLI_BUTTON");
    find("QT_RUN_CMD_TEXTBOX")->setFocus();
    Type(find("QT_RUN_CMD_TEXTBOX"), typed);
    press("SAVE_BUTTON");
    EXPECT_EQ(static_cast<QPushButton*>(find("CANCEL_BUTTON"))->text(), "Close");
    press("CANCEL_BUTTON");
    press("CLOSE_BUTTON");
    EXPECT_EQ(edges.desktop.open_forms().size(), 1u);

    EXPECT_EQ(main.QT_FULL_RUN_CMD_TEXTBOX.text(), typed.toStdString());
    const std::string file = test_support::ReadFile(root / "TARNWICK" / "TARNWICK-CLICK.conf");
    for (const char* key : {"QT_FULL_RUN_CMD_TEXTBOX", "QT_RUN_CMD_TEXTBOX"})
      EXPECT_NE(file.find("\n" + std::string(key) + "=" + typed.toStdString() + "\n"), std::string::npos) << file;
    host.CloseTopLevels();
    DeleteClosedWidgets();
  }
  EXPECT_EQ(settings::FileStore(root).GetSetting("TARNWICK", "TARNWICK-CLICK", "QT_FULL_RUN_CMD_TEXTBOX", ""),
            typed.toStdString());
}

// A signal becomes a call in the event loop, never inside the handler. One ignored when the bridge
// is made (SIGINT, as a shell starts a background program) stays ignored; what was found comes back.
TEST(SignalBridge, TermAndHupArriveInTheEventLoopInOrderAndAnIgnoredIntStaysIgnored) {
  std::vector<int> seen;
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGHUP, SIG_DFL);
  const auto previous_int = std::signal(SIGINT, SIG_IGN);
  {
    qt_frontend::SignalBridge bridge([&](int signo) { seen.push_back(signo); });
    ASSERT_TRUE(bridge.installed());
    std::raise(SIGTERM);
    EXPECT_TRUE(seen.empty()) << "the handler itself must do nothing but note the signal";
    std::raise(SIGINT);
    std::raise(SIGHUP);
    WaitFor([&] { return seen.size() >= 2; });
  }
  EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGHUP}));
  struct sigaction now {};
  for (const auto& [s, found] : {std::pair{SIGTERM, SIG_DFL}, std::pair{SIGINT, SIG_IGN}, std::pair{SIGHUP, SIG_DFL}}) {
    ASSERT_EQ(sigaction(s, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, found) << s;
  }
  std::signal(SIGINT, previous_int);
}

}  // namespace
