// The real core with fakes at its edges: a virtual clock, a scripted process table, an in-memory
// store, a recording window host and window manager.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "fake_processes.h"
#include "settings/store.h"
#include "ui/desktop.h"
#include "ui/window_manager.h"

namespace fakes {

class FakeHost : public ui::WindowHost {
 public:
  void Open(ui::Form& form) override { events.push_back("open " + form.name()); }
  void Destroy(ui::Form& form) override { events.push_back("destroy " + form.name()); }
  std::vector<std::string> events;
};

class FakeWindowManager : public ui::WindowManager {
 public:
  // The main window is kMain; every other window gets a handle of its own, by name.
  ui::NativeWindow WindowOf(const ui::Form& form) override {
    if (form.name() == "TARNWICK_MAIN") return kMain;
    return others.try_emplace(form.name(), kMain + 1 + others.size()).first->second;
  }
  ui::NativeWindow ForegroundWindow() override {
    ++foreground_questions;
    return foreground;
  }
  void SetTopmost(ui::NativeWindow w, bool topmost) override {
    calls.push_back({w, topmost});
    if (w == ui::kNoWindow) return;
    topmost ? (void)top.insert_or_assign(w, true) : (void)top.erase(w);
  }
  static constexpr ui::NativeWindow kMain = 100;
  ui::NativeWindow foreground = ui::kNoWindow;
  int foreground_questions = 0;
  std::vector<std::pair<ui::NativeWindow, bool>> calls;
  std::map<ui::NativeWindow, bool> top;
  std::map<std::string, ui::NativeWindow> others;
};

struct Harness {
  explicit Harness(std::string exe = "TARNWICK") : Harness(processes, std::move(exe)) {}
  // The same core on another process port, such as the real one.
  Harness(process::ProcessControl& port, std::string exe) : platform{port, store, wm, std::move(exe)} {
    desktop.set_host(&host);
  }
  ~Harness() { desktop.CloseAll(now); }

  TARNWICK_MAIN& Open() {
    auto form = std::make_unique<TARNWICK_MAIN>(desktop, platform);
    main = form.get();
    desktop.Deliver(now, [&] { desktop.Open(std::move(form), nullptr); });
    return *main;
  }
  bool main_open() const { return main && desktop.IsOpen(*main); }
  std::string Stored(const std::string& key) const { return store.Value(platform.exe_name, key).value_or("<absent>"); }
  void Seed(const std::string& key, const std::string& value) { store.Seed(platform.exe_name, key, value); }

  // Virtual time goes on by `ms`, in steps of `step` milliseconds, running what falls due.
  void Advance(ui::Millis ms, ui::Millis step = 100) {
    for (ui::Millis end = now + ms; now < end;) {
      now = std::min(end, now + step);
      desktop.TimerPass(now);
    }
  }
  void Seconds(int s) { Advance(ui::Millis{s} * 1000); }
  // Virtual time jumps by `ms` with no timer pass in between, as when the event loop stalls or the
  // machine sleeps; then one late pass runs.
  void Stall(ui::Millis ms) {
    now += ms;
    desktop.TimerPass(now);
  }
  void Click(ui::Control& c) {
    desktop.Deliver(now, [&] { desktop.UserClick(c); });
  }

  ui::Desktop desktop;
  FakeHost host;
  FakeProcesses processes;
  settings::MemoryStore store;
  FakeWindowManager wm;
  app::Platform platform;
  TARNWICK_MAIN* main = nullptr;
  ui::Millis now = 0;
};

}  // namespace fakes
