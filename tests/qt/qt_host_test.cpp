// The Qt front end against the real core: every window's widgets are where, and as, the model says;
// input reaches the core and its answer comes back; modality, closing order, keys, moves and timers.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <memory>

#include "app/main_window.h"
#include "fake_processes.h"
#include "frontend/qt/form_window.h"
#include "frontend/qt/qt_host.h"
#include "frontend/qt/x11_window_manager.h"
#include "harness.h"
#include "settings/pellum_corvant_settings.h"
#include "settings/settings_hub.h"
#include "settings/store.h"

namespace {

// Runs the event loop until `done` holds; false when the generous deadline passes first.
bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

void DeleteClosedWidgets() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// The port the main window is given: the recording fake, or the real Linux one when a test asks.
class SwitchableWindowManager : public ui::WindowManager {
 public:
  explicit SwitchableWindowManager(ui::WindowManager* target) : target(target) {}
  ui::NativeWindow WindowOf(const ui::Form& form) override { return target->WindowOf(form); }
  ui::NativeWindow ForegroundWindow() override { return target->ForegroundWindow(); }
  void SetTopmost(ui::NativeWindow w, bool on) override { target->SetTopmost(w, on); }
  ui::WindowManager* target;
};

void SendKey(QWidget* to, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, mods);
  QApplication::sendEvent(to, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods);
  QApplication::sendEvent(to, &release);
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

class QtFrontend : public ::testing::Test {
 protected:
  QtFrontend() : switchable(&wm), platform{processes, store, switchable, "TARNWICK"}, host(desktop), x11(host) {
    host.set_on_empty([this] { ++empty_calls; });
  }
  ~QtFrontend() override {
    host.CloseTopLevels();
    DeleteClosedWidgets();
  }

  TARNWICK_MAIN& OpenMain() {
    main = &static_cast<TARNWICK_MAIN&>(host.OpenTopLevel(std::make_unique<TARNWICK_MAIN>(desktop, platform)));
    return *main;
  }
  void Seed(const std::string& key, const std::string& value) { store.Seed("TARNWICK", key, value); }
  std::string Stored(const std::string& key) const { return store.Value("TARNWICK", key).value_or("<absent>"); }

  QWidget* WindowOf(const ui::Form& form) const { return host.WidgetOf(form); }
  template <class T = QWidget>
  T* Widget(const ui::Form& form, const std::string& control) const {
    QWidget* window = WindowOf(form);
    if (!window) return nullptr;
    return window->findChild<T*>(QString::fromStdString(control), Qt::FindDirectChildrenOnly);
  }
  template <class T = QWidget>
  T* Widget(const ui::Control& control) const {
    return Widget<T>(control.form(), control.name());
  }
  TARNWICK_SETTINGS& OpenHub() {
    Widget<QPushButton>(main->SETTINGS_BUTTON)->click();
    return static_cast<TARNWICK_SETTINGS&>(*desktop.open_forms().back());
  }
  int WritesOf(const std::string& key) const {
    return static_cast<int>(std::count_if(store.writes().begin(), store.writes().end(),
                                          [&](const std::string& w) { return w.rfind(key + "=", 0) == 0; }));
  }
  std::ptrdiff_t FirstWriteOf(const std::string& key) const {
    auto it = std::find_if(store.writes().begin(), store.writes().end(),
                           [&](const std::string& w) { return w.rfind(key + "=", 0) == 0; });
    return it - store.writes().begin();
  }

  settings::MemoryStore store;
  fakes::FakeProcesses processes;
  fakes::FakeWindowManager wm;
  SwitchableWindowManager switchable;
  app::Platform platform;
  ui::Desktop desktop;
  qtfe::QtHost host;
  qtfe::X11WindowManager x11;
  TARNWICK_MAIN* main = nullptr;
  int empty_calls = 0;
};

// ---- Geometry and looks ----------------------------------------------------------------------

TEST_F(QtFrontend, MainWindowHasTheDesignedClientSizeTitleAndFrameFlags) {
  OpenMain();
  QWidget* w = WindowOf(*main);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isWindow());
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->size(), QSize(633, 119));  // (9585 - 90) / 15 by (2160 - 375) / 15
  EXPECT_EQ(w->minimumSize(), w->maximumSize()) << "the window must not be resizable";
  EXPECT_EQ(w->windowTitle(), "TARNWICK - TARNWICK");
  const Qt::WindowFlags f = w->windowFlags();
  EXPECT_TRUE(f & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(w->parentWidget(), nullptr) << "the main window stands alone in the taskbar";
}

TEST_F(QtFrontend, StoredSizeAndPositionShapeTheWindow) {
  Seed("MAIN-Width", "10035");
  Seed("MAIN-Height", "2475");
  Seed("MAIN-Left", "1500");
  Seed("MAIN-Top", "3000");
  OpenMain();
  QWidget* w = WindowOf(*main);
  EXPECT_EQ(w->size(), QSize(663, 140));
  EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(100, 200));
}

TEST_F(QtFrontend, EveryRenderedControlIsOneWidgetOfItsKindAtItsDesignedPlace) {
  OpenMain();
  int rendered = 0;
  for (ui::Control* c : main->controls()) {
    const QList<QWidget*> found =
        WindowOf(*main)->findChildren<QWidget*>(QString::fromStdString(c->name()), Qt::FindDirectChildrenOnly);
    if (!c->rendered()) {
      EXPECT_TRUE(found.isEmpty()) << c->name() << " is model-only and must have no widget";
      continue;
    }
    ++rendered;
    ASSERT_EQ(found.size(), 1) << c->name();
    QWidget* w = found.front();
    switch (c->kind()) {
      case ui::ControlKind::Label: EXPECT_NE(qobject_cast<QLabel*>(w), nullptr) << c->name(); break;
      case ui::ControlKind::Button: EXPECT_NE(qobject_cast<QPushButton*>(w), nullptr) << c->name(); break;
      case ui::ControlKind::TickBox: EXPECT_NE(qobject_cast<QCheckBox*>(w), nullptr) << c->name(); break;
      case ui::ControlKind::TextBox: EXPECT_NE(qobject_cast<QLineEdit*>(w), nullptr) << c->name(); break;
      case ui::ControlKind::Line: break;
    }
    if (c->kind() != ui::ControlKind::Line) {
      const ui::Rect r = c->rect();
      EXPECT_EQ(w->geometry(), QRect(r.left / 15, r.top / 15, r.width / 15, r.height / 15)) << c->name();
    }
  }
  EXPECT_EQ(rendered, 28);  // title band 3, lights 9, RUN buttons 6, schedule row 8, lines 2
  EXPECT_EQ(Widget(main->AUTORUN_QT_TICKBOX), nullptr);
  EXPECT_EQ(Widget(main->CLI_FULL_RUN_CMD_TEXTBOX), nullptr);
}

TEST_F(QtFrontend, LightsAndBoxesAreDrawnInTheModelsColours) {
  OpenMain();
  // Switched off: black on red. Not chosen: red on black. Ready: the platform's window background.
  for (ui::Label* light : {&main->PELLUM_ON_LIGHT, &main->PELLUM_OFF_LIGHT, &main->DAEMON_START_LIGHT,
                           &main->CORVANT_LIGHT, &main->AUTOPILOT_STARTED_LIGHT}) {
    auto* w = Widget<QLabel>(*light);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(light->back_colour().IsRgb()) << light->name();
    const QImage img = w->grab().toImage();
    EXPECT_EQ(img.pixelColor(1, 1).rgb(), Rgb(light->back_colour()).rgb()) << light->name();
    if (light->fore_colour().IsRgb()) {
      EXPECT_TRUE(ImageHasColour(img, Rgb(light->fore_colour()))) << light->name() << " shows no text in its colour";
    }
  }
  EXPECT_EQ(main->PELLUM_ON_LIGHT.back_colour(), ui::colours::kRed);
  EXPECT_EQ(main->DAEMON_START_LIGHT.fore_colour(), ui::colours::kRed);

  auto* countdown = Widget<QLineEdit>(main->AUTOSTART_TIME_TEXTBOX);
  EXPECT_EQ(countdown->text(), "00");
  EXPECT_TRUE(countdown->isReadOnly());
  EXPECT_EQ(countdown->palette().color(QPalette::Base), Rgb(ui::colours::kCountdownPink));
  EXPECT_TRUE(countdown->alignment() & Qt::AlignHCenter);

  auto* last_run = Widget<QLineEdit>(main->LAST_RUN_TEXTBOX);
  EXPECT_EQ(last_run->text(), "!!! LAST RUN !!!");
  EXPECT_EQ(last_run->palette().color(QPalette::Base), QColor(Qt::red));
  EXPECT_EQ(last_run->palette().color(QPalette::Text), QColor(Qt::black));

  QWidget* line = Widget(main->Line5);
  ASSERT_NE(line, nullptr);
  const QImage img = line->grab().toImage();
  EXPECT_EQ(img.pixelColor(img.width() / 2, img.height() / 2), QColor(Qt::green));
  EXPECT_EQ(line->mapTo(WindowOf(*main), line->rect().center()).y(), 1080 / 15);
}

TEST_F(QtFrontend, SystemWindowColourIsThePlatformsTextEntryBackground) {
  Seed("PELLUM_ON_TICKBOX", "1");  // a ready light is painted with the system window colour
  OpenMain();
  ASSERT_EQ(main->PELLUM_ON_LIGHT.back_colour(), ui::colours::kSystemWindow);
  auto* w = Widget<QLabel>(main->PELLUM_ON_LIGHT);
  EXPECT_EQ(w->grab().toImage().pixelColor(1, 1), QGuiApplication::palette().color(QPalette::Base));
}

TEST_F(QtFrontend, FontsFollowTheModel) {
  OpenMain();
  const QFont light = Widget(main->PELLUM_ON_LIGHT)->font();
  EXPECT_TRUE(light.bold());
  EXPECT_EQ(light.pixelSize(), 11);  // 8.25 pt at 96 dots per inch
  EXPECT_EQ(QFontInfo(light).family(), "Liberation Sans") << "Arial's metric twin";
  const QFont countdown = Widget(main->AUTOSTART_TIME_TEXTBOX)->font();
  EXPECT_EQ(countdown.pixelSize(), 18);
  EXPECT_TRUE(countdown.bold());
  EXPECT_EQ(QFontInfo(countdown).family(), "Liberation Sans") << "MS Sans Serif's nearest sans-serif";
  const QFont plain = Widget(main->SETTINGS_BUTTON)->font();
  EXPECT_FALSE(plain.bold());
  EXPECT_EQ(plain.pixelSize(), 11);
}

// ---- Input and the answer ---------------------------------------------------------------------

TEST_F(QtFrontend, ButtonClickReachesTheCoreAndItsAnswerReachesTheWidgets) {
  OpenMain();
  auto* start = Widget<QPushButton>(main->AUTOSTART_START_BUTTON);
  start->click();
  EXPECT_EQ(main->AUTOSTART_START_BUTTON.caption(), "STOP");
  EXPECT_EQ(start->text(), "STOP");
  EXPECT_EQ(main->LAST_RUN_TEXTBOX.text(), "!!! MANUAL START !!!");
  EXPECT_EQ(Widget<QLineEdit>(main->LAST_RUN_TEXTBOX)->text(), "!!! MANUAL START !!!");
  EXPECT_EQ(Widget<QLineEdit>(main->LAST_RUN_TEXTBOX)->palette().color(QPalette::Base), QColor(Qt::green));
  EXPECT_FALSE(Widget(main->SETTINGS_BUTTON)->isEnabled());

  start->click();
  EXPECT_EQ(start->text(), "START");
  EXPECT_EQ(Widget<QLineEdit>(main->LAST_RUN_TEXTBOX)->text(), "!!! MANUAL STOP !!!");
  EXPECT_TRUE(Widget(main->SETTINGS_BUTTON)->isEnabled());
}

TEST_F(QtFrontend, StepLightsSayTheirStepAndWhatTheirColourMeansNow) {
  OpenMain();
  auto* light = Widget<QLabel>(main->PELLUM_ON_LIGHT);
  EXPECT_EQ(light->accessibleName(), "PELLUM-ON light");
  EXPECT_TRUE(light->accessibleDescription().contains("PELLUM-ON helper tool"));
  EXPECT_TRUE(light->toolTip().contains("switched off")) << light->toolTip().toStdString();
  Widget<QPushButton>(main->AUTOSTART_START_BUTTON)->click();  // START paints the sequence lights white
  EXPECT_TRUE(light->toolTip().contains("not reached yet")) << light->toolTip().toStdString();
  EXPECT_EQ(light->toolTip(), light->accessibleDescription());
  EXPECT_TRUE(Widget<QLabel>(main->DAEMON_START_LIGHT)->toolTip().contains("not selected"));
  EXPECT_TRUE(Widget<QLabel>(main->MF_SE_UI_TITLE)->toolTip().isEmpty()) << "only the lights describe a state";
}

TEST_F(QtFrontend, DisabledButtonDoesNothing) {
  OpenMain();
  auto* close_start = Widget<QPushButton>(main->AUTOCLOSE_START_BUTTON);
  EXPECT_FALSE(close_start->isEnabled());
  close_start->click();
  EXPECT_EQ(main->AUTOCLOSE_START_BUTTON.caption(), "START");
  EXPECT_FALSE(main->AUTOCLOSE_TIMER.armed());
}

TEST_F(QtFrontend, TickBoxStateBelongsToTheModel) {
  OpenMain();
  auto* tick = Widget<QCheckBox>(main->AUTOCLOSE_TIME_TICKBOX);
  EXPECT_FALSE(tick->isChecked());
  tick->click();
  EXPECT_TRUE(main->AUTOCLOSE_TIME_TICKBOX.ticked());
  EXPECT_TRUE(tick->isChecked());
  EXPECT_TRUE(Widget(main->AUTOCLOSE_START_BUTTON)->isEnabled());
  tick->click();
  EXPECT_FALSE(main->AUTOCLOSE_TIME_TICKBOX.ticked());
  EXPECT_FALSE(tick->isChecked());
  EXPECT_FALSE(Widget(main->AUTOCLOSE_START_BUTTON)->isEnabled());

  // When the core refuses the click (a modal window is open), Qt must not have toggled on its own.
  OpenHub();
  auto* on_top = Widget<QCheckBox>(main->AlwaysOnTopTimer_TICKBOX);
  ASSERT_TRUE(on_top->isChecked());
  int shown_states = 0;
  QObject::connect(on_top, &QCheckBox::stateChanged, on_top, [&] { ++shown_states; });
  on_top->click();
  EXPECT_EQ(shown_states, 0) << "the widget flickered through a state the model never had";
  EXPECT_TRUE(main->AlwaysOnTopTimer_TICKBOX.ticked());
  EXPECT_TRUE(on_top->isChecked());
}

TEST_F(QtFrontend, ClickableLabelForwardsAMousePress) {
  OpenMain();
  TARNWICK_SETTINGS& hub = OpenHub();
  auto* credit = Widget<QLabel>(hub.TARNWICK_CREATOR);
  ASSERT_NE(credit, nullptr);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), credit->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(credit, &press);
  EXPECT_EQ(hub.TARNWICK_CREATOR.caption(), TARNWICK_SETTINGS::kContact);
  EXPECT_EQ(credit->text(), TARNWICK_SETTINGS::kContact);
}

TEST_F(QtFrontend, TypingReachesTheModelAndSyncLeavesTheCursorAlone) {
  OpenMain();
  TARNWICK_SETTINGS& hub = OpenHub();
  Widget<QPushButton>(hub.PELLUM_PELLUM_CORVANT_BUTTON)->click();
  auto& pc = static_cast<TARNWICK_PELLUM_CORVANT_SETTINGS&>(*desktop.open_forms().back());
  ASSERT_EQ(pc.name(), "TARNWICK_PELLUM_CORVANT_SETTINGS");
  auto* box = Widget<QLineEdit>(pc.CV_FILENAME_TEXTBOX);
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(box->isEnabled() && !box->isReadOnly());
  box->setFocus();
  Type(box, "corvant");
  EXPECT_EQ(pc.CV_FILENAME_TEXTBOX.text(), box->text().toStdString());
  EXPECT_EQ(pc.CV_FILENAME_TEXTBOX.text().substr(pc.CV_FILENAME_TEXTBOX.text().size() - 7), "corvant");

  box->setCursorPosition(2);
  host.Sync();
  EXPECT_EQ(box->cursorPosition(), 2);

  pc.CV_FILENAME_TEXTBOX.set_text("changed by the core");
  host.Sync();
  EXPECT_EQ(box->text(), "changed by the core");
}

// ---- Modality, closing, keys ------------------------------------------------------------------

TEST_F(QtFrontend, SettingsHubIsModalToTheMainWindowWhoseTimersKeepTicking) {
  Seed("AUTOSTART_TIME_TICKBOX", "1");  // the Auto Start countdown runs from the moment the window opens
  OpenMain();
  TARNWICK_SETTINGS& hub = OpenHub();
  QWidget* h = WindowOf(hub);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(h->isWindow());
  EXPECT_TRUE(h->isVisible());
  EXPECT_EQ(h->parentWidget(), WindowOf(*main)) << "transient for its owner";
  EXPECT_EQ(h->windowModality(), Qt::WindowModal);
  EXPECT_EQ(h->windowTitle(), "TARNWICK - SETTINGS");
  EXPECT_EQ(h->size(), QSize((4575 - 90) / 15, (3900 - 375) / 15));
  EXPECT_FALSE(h->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(h->focusWidget(), Widget(hub.CLOSE_BUTTON)) << "the focus starts at the first of the tab order";

  const std::string caption = main->AUTOSTART_START_BUTTON.caption();
  Widget<QPushButton>(main->AUTOSTART_START_BUTTON)->click();
  EXPECT_EQ(main->AUTOSTART_START_BUTTON.caption(), caption) << "the main window takes no input under the hub";

  auto* countdown = Widget<QLineEdit>(main->AUTOSTART_TIME_TEXTBOX);
  EXPECT_TRUE(WaitFor([&] { return countdown->text() == "10"; })) << countdown->text().toStdString();
  EXPECT_EQ(main->AUTOSTART_TIME_TEXTBOX.text(), "10");
  EXPECT_GT(wm.foreground_questions, 0) << "the always-on-top timer ticked too";
}

TEST_F(QtFrontend, ClosingTheMainWindowClosesTheHubFirstAndUnloadsOnce) {
  OpenMain();
  TARNWICK_SETTINGS& hub = OpenHub();
  QPointer<QWidget> main_widget = WindowOf(*main);
  QPointer<QWidget> hub_widget = WindowOf(hub);
  main_widget->close();  // the close box
  EXPECT_TRUE(desktop.empty());
  EXPECT_EQ(WritesOf("MAIN-Left"), 1);
  EXPECT_LT(FirstWriteOf("SETTINGS-Left"), FirstWriteOf("MAIN-Left"));
  EXPECT_EQ(Stored("MAIN-Left"), "1000");
  EXPECT_EQ(Stored("LAST_RUN_TEXTBOX"), "!!! LAST RUN !!!");
  EXPECT_EQ(empty_calls, 1);
  DeleteClosedWidgets();
  EXPECT_TRUE(main_widget.isNull());
  EXPECT_TRUE(hub_widget.isNull());
  host.CloseTopLevels();
  EXPECT_EQ(empty_calls, 1);
  EXPECT_EQ(WritesOf("MAIN-Left"), 1);
}

TEST_F(QtFrontend, CloseBoxOfTheHubClosesOnlyTheHub) {
  OpenMain();
  TARNWICK_SETTINGS& hub = OpenHub();
  QPointer<QWidget> hub_widget = WindowOf(hub);
  hub_widget->close();
  EXPECT_EQ(desktop.open_forms().size(), 1u);
  EXPECT_FALSE(hub_widget->isVisible());
  EXPECT_EQ(empty_calls, 0);
  DeleteClosedWidgets();
  EXPECT_TRUE(hub_widget.isNull());
  // With the hub gone, the main window takes input again.
  Widget<QPushButton>(main->AUTOSTART_START_BUTTON)->click();
  EXPECT_EQ(main->AUTOSTART_START_BUTTON.caption(), "STOP");
}

TEST_F(QtFrontend, EscapePressesTheCancelButton) {
  OpenMain();
  TARNWICK_SETTINGS& hub = OpenHub();
  SendKey(Widget(hub.AUTORUN_QT_TICKBOX), Qt::Key_Escape);
  EXPECT_EQ(desktop.open_forms().size(), 1u) << "Close closed the hub";
  EXPECT_EQ(Stored("AUTORUN_QT_TICKBOX"), "1") << "through the Close button's handler, which stores";
}

TEST_F(QtFrontend, EnterPressesTheDefaultButtonUnlessAnotherButtonHasTheFocus) {
  OpenMain();
  SendKey(Widget(main->SETTINGS_BUTTON), Qt::Key_Return);
  EXPECT_EQ(desktop.open_forms().size(), 2u) << "Enter on a focused button presses that button";
  EXPECT_EQ(main->AUTOSTART_START_BUTTON.caption(), "START");
  desktop.UserClose(*desktop.open_forms().back());
  host.Sync();

  SendKey(Widget(main->AUTOSTART_TIME_TICKBOX), Qt::Key_Return);
  EXPECT_EQ(main->AUTOSTART_START_BUTTON.caption(), "STOP");
  EXPECT_FALSE(main->AUTOSTART_TIME_TICKBOX.ticked()) << "Enter is not a click on the tick box";
  SendKey(Widget(main->LAST_RUN_TEXTBOX), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(main->AUTOSTART_START_BUTTON.caption(), "START");
}

TEST_F(QtFrontend, TabOrderFollowsTheForm) {
  OpenMain();
  const std::vector<ui::Control*>& order = main->tab_order();
  ASSERT_GT(order.size(), 2u);
  EXPECT_EQ(WindowOf(*main)->focusWidget(), Widget(*main->FirstFocus()));
  for (std::size_t i = 1; i < order.size(); ++i)
    EXPECT_EQ(Widget(*order[i - 1])->nextInFocusChain(), Widget(*order[i])) << order[i - 1]->name();
  EXPECT_EQ(Widget(main->LAST_RUN_TEXTBOX)->focusPolicy(), Qt::ClickFocus) << "Tab never stops outside the order";
}

// ---- Moves and positions ----------------------------------------------------------------------

TEST_F(QtFrontend, AMovedWindowTellsTheCoreWhereItIs) {
  OpenMain();
  QWidget* w = WindowOf(*main);
  w->move(200, 150);
  ASSERT_TRUE(WaitFor([&] { return main->left() == 3000.0f; })) << main->left();
  EXPECT_EQ(main->top(), 2250.0f);
  host.CloseTopLevels();
  EXPECT_EQ(Stored("MAIN-Left"), "3000");
  EXPECT_EQ(Stored("MAIN-Top"), "2250");
}

TEST_F(QtFrontend, APositionOffEveryScreenOpensOnThePrimaryScreen) {
  Seed("MAIN-Left", "-32000");
  Seed("MAIN-Top", "-32000");
  OpenMain();
  QWidget* w = WindowOf(*main);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(screen.contains(w->frameGeometry().topLeft())) << w->frameGeometry().x();
  EXPECT_EQ(main->left(), static_cast<float>(w->frameGeometry().x() * 15)) << "the core learns the real place";
  host.CloseTopLevels();
  EXPECT_NE(Stored("MAIN-Left"), "-32000");
}

// ---- Always on top without a window manager that supports it ----------------------------------

TEST_F(QtFrontend, WithoutEwmhTheMainWindowStaysOnTopForGood) {
  switchable.target = &x11;
  OpenMain();
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
}

TEST_F(QtFrontend, WithoutEwmhAModalWindowIsPinnedWithItsOwnerSoItNeverHidesUnderIt) {
  switchable.target = &x11;
  OpenMain();
  TARNWICK_SETTINGS& hub = OpenHub();
  QWidget* h = WindowOf(hub);
  ASSERT_TRUE(WaitFor([&] { return bool(h->windowFlags() & Qt::WindowStaysOnTopHint); }))
      << "the main window was raised above its own modal child";
  EXPECT_TRUE(WindowOf(*main)->windowFlags() & Qt::WindowStaysOnTopHint);
  x11.SetTopmost(x11.WindowOf(hub), false);
  EXPECT_TRUE(h->windowFlags() & Qt::WindowStaysOnTopHint) << "an owned window stays above its topmost owner";
}

}  // namespace
