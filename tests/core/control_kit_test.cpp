// The control kit's rules that every window leans on and no scenario reaches alone: a disabled tick
// box, placement on a monitor and captions cut at a sibling, closed windows' timers, event delivery.
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
  int box_clicks = 0;

 private:
  std::vector<std::string>* log_;
};

TEST(TickBox, ADisabledTickBoxTakesNoClick) {
  ui::Desktop d;
  std::vector<std::string> log;
  TestForm f(d, "F", &log);
  f.box.set_enabled(false);
  f.box.Click();
  EXPECT_EQ(f.box.state(), 0);
  EXPECT_EQ(f.box_clicks, 0);
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
