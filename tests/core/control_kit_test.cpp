// The control kit's rules that every window leans on: tick-box notification, timers driven by a
// time passed in, exact colours, the frame rule, and the desktop's modality and closing order.
#include <gtest/gtest.h>

#include <functional>

#include "harness.h"
#include "ui/desktop.h"
#include "ui/layout.h"

namespace {

class TestForm : public ui::Form {
 public:
  TestForm(ui::Desktop& d, std::string name, std::vector<std::string>* log)
      : ui::Form(d, std::move(name)),
        box(*this, "BOX", "Box", {0, 0, 100, 100}),
        button(*this, "BUTTON", "Button", {0, 0, 100, 100}),
        timer(*this, "T", 1000),
        log_(log) {
    box.OnClick([this] { ++box_clicks; });
    button.OnClick([this] { ++button_clicks; });
  }
  void Load() override { log_->push_back("load " + name()); }
  void Unload() override {
    log_->push_back("unload " + name());
    if (on_unload) on_unload();
  }
  ~TestForm() override {
    if (on_delete) on_delete();
  }
  std::function<void()> on_unload, on_delete;
  ui::TickBox box;
  ui::Button button;
  ui::Timer timer;
  int box_clicks = 0, button_clicks = 0;

 private:
  std::vector<std::string>* log_;
};

TEST(TickBox, SettingFromCodeRunsTheHandlerOnlyWhenTheStateChanges) {
  ui::Desktop d;
  std::vector<std::string> log;
  TestForm f(d, "F", &log);
  f.box.SetState(0);
  EXPECT_EQ(f.box_clicks, 0);
  f.box.SetState(1);
  f.box.SetState(1);
  EXPECT_EQ(f.box_clicks, 1);
  f.box.Click();  // a user's click toggles, then notifies
  EXPECT_EQ(f.box.state(), 0);
  EXPECT_EQ(f.box_clicks, 2);
  f.box.set_enabled(false);
  f.box.Click();
  EXPECT_EQ(f.box.state(), 0) << "a disabled tick box takes no click";
  f.button.set_enabled(false);
  f.button.Click();
  EXPECT_EQ(f.button_clicks, 0);
}

TEST(Timer, ArmingAnArmedTimerNeitherRestartsNorDelaysIt) {
  ui::TimerService s;
  ui::Timer t(s, "T", 1000);
  int ticks = 0;
  t.OnTick([&] { ++ticks; });
  s.SetNow(0);
  t.Arm();
  s.RunDue(600);
  t.Arm();  // re-armed at 600: the tick is still due at 1000
  EXPECT_EQ(s.NextDue(), 1000);
  s.RunDue(1000);
  EXPECT_EQ(ticks, 1);
  t.Disarm();
  s.RunDue(5000);
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(s.NextDue().has_value());
  t.Arm();  // disarmed and armed again: a fresh interval from now
  EXPECT_EQ(s.NextDue(), 6000);
}

TEST(Timer, ALateTimerTicksOnceAndKeepsItsIntervalFromThatTick) {
  ui::TimerService s;
  ui::Timer t(s, "T", 1000);
  int ticks = 0;
  t.OnTick([&] { ++ticks; });
  t.Arm();
  s.RunDue(3'600'000);  // an hour of sleep
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(s.NextDue(), 3'601'000);
  s.RunDue(3'600'999);
  EXPECT_EQ(ticks, 1);
  s.RunDue(3'601'000);
  EXPECT_EQ(ticks, 2);
}

TEST(Timer, TicksDueTogetherRunInCreationOrderOrReversed) {
  for (bool reversed : {false, true}) {
    ui::TimerService s;
    s.set_reverse_ties(reversed);
    ui::Timer a(s, "A", 1000), b(s, "B", 1000);
    std::string order;
    a.OnTick([&] { order += "A"; });
    b.OnTick([&] {
      order += "B";
      b.Disarm();
      a.Disarm();
    });
    a.Arm();
    b.Arm();
    s.RunDue(1000);
    // A tick that disarms a timer due in the same pass keeps that timer from ticking.
    EXPECT_EQ(order, reversed ? "B" : "AB");
  }
}

TEST(Colour, ExactValuesAndTheSystemWindowColourEqualsNoRgb) {
  EXPECT_EQ(ui::Colour::Hex(0xFF4F4F), ui::Colour::Rgb(0xFF, 0x4F, 0x4F));
  EXPECT_FALSE(ui::Colour::Hex(0xFF4F4F) == ui::colours::kRed);
  EXPECT_FALSE(ui::Colour::Hex(0xFEFFFF) == ui::colours::kWhite);
  for (std::uint32_t rgb : {0x000000u, 0xFFFFFFu, 0xF0F0F0u})
    EXPECT_FALSE(ui::colours::kSystemWindow == ui::Colour::Hex(rgb));
  EXPECT_FALSE(ui::colours::kSystemWindow == ui::colours::kDefault);
}

TEST(Desktop, ClosingAnOwnerClosesItsChildrenNewestFirstAndUnloadsOnce) {
  ui::Desktop d;
  fakes::FakeHost host;
  d.set_host(&host);
  std::vector<std::string> log;
  auto& main = d.Open(std::make_unique<TestForm>(d, "MAIN", &log), nullptr);
  auto& hub = d.Open(std::make_unique<TestForm>(d, "HUB", &log), &main);
  d.Open(std::make_unique<TestForm>(d, "CHILD", &log), &hub);
  d.Close(main);
  d.Close(main);
  EXPECT_EQ(log, (std::vector<std::string>{"load MAIN", "load HUB", "load CHILD", "unload CHILD", "unload HUB",
                                           "unload MAIN"}));
  EXPECT_EQ(host.events.back(), "destroy MAIN");
  EXPECT_TRUE(d.empty());
  d.CollectClosed();
}

TEST(Desktop, AnOwnerTakesNoInputWhileAModalChildIsOpenButItsTimersTick) {
  ui::Desktop d;
  std::vector<std::string> log;
  auto& main = static_cast<TestForm&>(d.Open(std::make_unique<TestForm>(d, "MAIN", &log), nullptr));
  int ticks = 0;
  main.timer.OnTick([&] { ++ticks; });
  main.timer.Arm();
  auto& hub = d.Open(std::make_unique<TestForm>(d, "HUB", &log), &main);
  d.UserClick(main.button);
  d.UserClick(main.box);
  EXPECT_EQ(main.button_clicks, 0);
  EXPECT_EQ(main.box.state(), 0);
  d.TimerPass(1000);
  EXPECT_EQ(ticks, 1);
  d.Close(hub);
  d.CollectClosed();
  d.UserClick(main.button);
  EXPECT_EQ(main.button_clicks, 1);
  d.Close(main);
}

// A window is moved the least distance that puts it wholly on the monitor it mostly lies on.
TEST(Placement, AWindowMovesTheLeastDistanceOntoTheMonitorItMostlyLiesOn) {
  using R = ui::ScreenRect;
  const std::vector<R> one{{0, 0, 1280, 770}};
  const std::vector<R> two{{0, 0, 1280, 770}, {1280, 0, 3200, 1050}};
  const struct {
    R window;
    std::vector<R> areas;
    R placed;
  } cases[] = {
      {{100, 100, 740, 300}, one, {100, 100, 740, 300}},              // on screen: stays
      {{133, 133, 1405, 414}, one, {8, 133, 1280, 414}},              // 125 px past the right edge
      {{-50, 700, 590, 900}, one, {0, 570, 640, 770}},                // past the left and the bottom
      {{-900000, 900000, -899360, 900200}, one, {0, 570, 640, 770}},  // off every monitor: the nearest
      {{900, 100, 1540, 300}, two, {640, 100, 1280, 300}},            // mostly on the first
      {{1100, 100, 1740, 300}, two, {1280, 100, 1920, 300}},          // mostly on the second
      {{5000, 2000, 5640, 2200}, two, {2560, 850, 3200, 1050}},       // nearest to the second
      {{-10, -10, 1390, 900}, one, {0, 0, 1400, 910}},                // larger: left and top edges show
      {{5, 5, 100, 100}, {}, {5, 5, 100, 100}},                       // no monitors known
  };
  for (const auto& c : cases) {
    const R got = ui::PlaceOnMonitor(c.window, c.areas);
    EXPECT_EQ(got, c.placed) << c.window.left << "," << c.window.top << " -> " << got.left << "," << got.top;
  }
}

// Captions whose designed rectangle reaches into a sibling end where it begins; nothing else moves.
TEST(Placement, ACaptionEndsWhereASiblingBesideOrBelowItBegins) {
  fakes::Harness h;
  TARNWICK_MAIN& m = h.Open();
  h.Click(m.SETTINGS_BUTTON);
  h.Click(*h.desktop.open_forms().back()->Find("PELLUM_PELLUM_CORVANT_BUTTON"));
  ui::Form& helpers = *h.desktop.open_forms().back();
  ui::Form& hub = *h.desktop.open_forms()[1];
  const struct {
    ui::Control* control;
    ui::Rect drawn;
  } cases[] = {
      {helpers.Find("CV_FILENAME_LABEL"), {240, 3000, 4080 - 240, 240}},  // Save beside it, its box below
      {helpers.Find("PELLUM_ON_TICKBOX"), {240, 600, 6135, 240}},         // its text box below it
      {hub.Find("AUTORUN_QT_TICKBOX"), {600, 2880, 1455, 240}},           // the other tick box below
      {hub.Find("AUTORUN_DAEMON_TICKBOX"), {600, 3120, 1935, 255}},       // nothing in its way
      {&m.PELLUM_ON_LIGHT, {1320, 480, 855, 240}},                        // its RUN button below
      {&m.PELLUM_ON_RUN_BUTTON, {1320, 720, 855, 255}},                   // a button keeps its place
      {helpers.Find("CV_FILENAME_TEXTBOX"), {240, 3240, 3615, 405}},
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.control, nullptr);
    EXPECT_EQ(ui::DrawnRect(*c.control), c.drawn) << c.control->name();
  }
}

// A window that closes takes its timers with it at once: a tick of it due later in the same pass
// does not run, nor does one its Unload re-arms, nor any in a later pass, however late it comes.
TEST(Desktop, AClosedWindowsTimersNeverTickAgain) {
  for (bool reversed : {false, true}) {
    SCOPED_TRACE(reversed ? "reversed tie order" : "creation order");
    ui::Desktop d;
    d.timers().set_reverse_ties(reversed);
    std::vector<std::string> log;
    auto& a = static_cast<TestForm&>(d.Open(std::make_unique<TestForm>(d, "A", &log), nullptr));
    auto& b = static_cast<TestForm&>(d.Open(std::make_unique<TestForm>(d, "B", &log), nullptr));
    int a_ticks = 0, b_ticks = 0;
    // Both due at once: whichever ticks first closes the other.
    a.timer.OnTick([&] {
      ++a_ticks;
      d.Close(b);
    });
    b.timer.OnTick([&] {
      ++b_ticks;
      d.Close(a);
    });
    a.on_unload = [&] { a.timer.Arm(); };
    b.on_unload = [&] { b.timer.Arm(); };
    a.timer.Arm();
    b.timer.Arm();
    ui::Desktop::Settled settled = d.TimerPass(5000);  // a late pass: both are due
    EXPECT_EQ(a_ticks + b_ticks, 1) << "the closed window's tick did not run";
    EXPECT_TRUE(settled.windows_left);
    ui::Form& survivor = *d.open_forms().front();
    d.Deliver(5000, [&] { d.UserClose(survivor); });
    settled = d.TimerPass(60000);
    EXPECT_EQ(a_ticks + b_ticks, 1);
    EXPECT_FALSE(settled.windows_left);
    EXPECT_FALSE(settled.next_due.has_value()) << "no timer of a closed window stays armed";
  }
}

// The routine around an event answers what the front end needs, and an event delivered from inside
// another collects nothing under it.
TEST(Desktop, DeliverAnswersTheNextDueTimeAndCollectsOnlyAtTheOutermostEvent) {
  bool deleted = false, deleted_under_outer = false;
  ui::Desktop d;
  std::vector<std::string> log;
  ui::Desktop::Settled settled = d.Deliver(100, [&] { d.Open(std::make_unique<TestForm>(d, "MAIN", &log), nullptr); });
  auto& main = static_cast<TestForm&>(*d.open_forms().front());
  EXPECT_FALSE(settled.next_due.has_value());
  EXPECT_TRUE(settled.windows_left);
  settled = d.Deliver(200, [&] { main.timer.Arm(); });
  EXPECT_EQ(settled.next_due, 1200) << "armed at the event's time";
  main.on_delete = [&] { deleted = true; };
  main.button.OnClick([&] {
    d.Deliver(300, [&] { d.UserClose(main); });
    deleted_under_outer = deleted;
  });
  settled = d.Deliver(300, [&] { d.UserClick(main.button); });
  EXPECT_FALSE(deleted_under_outer) << "the window whose handler runs is deleted only after the event";
  EXPECT_TRUE(deleted);
  EXPECT_FALSE(settled.windows_left);
  EXPECT_EQ(log.back(), "unload MAIN");
}

}  // namespace
