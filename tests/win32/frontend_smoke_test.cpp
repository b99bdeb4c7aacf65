// The Win32 front end drawing the real main window and settings hub (in-memory store, scripted
// processes): native geometry and colours, clicks reaching the core, modality and the core's timers.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "frontend/win32/win32_host.h"
#include "frontend/win32/window_manager.h"
#include "harness.h"
#include "process/windows/win32_process.h"
#include "settings/settings_hub.h"
#include "test_helpers.h"
#include "ui/layout.h"

namespace {

std::wstring Text(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

// The core harness's store and processes, with the Win32 host drawing its desktop and the real
// Windows window manager.
class Win32FrontEnd : public ::testing::Test, protected fakes::Harness {
 protected:
  Win32FrontEnd() { desktop.set_host(&win_host); }
  // Closes what is open; the quit message is posted once the last window went.
  ~Win32FrontEnd() override {
    win_host.Deliver([this] {
      while (!desktop.empty()) desktop.Close(*desktop.open_forms().front());
    });
    DropQuit();
  }
  static void DropQuit() {
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }

  TARNWICK_MAIN& OpenMain() {
    win_host.Deliver([this] {
      auto form = std::make_unique<TARNWICK_MAIN>(desktop, on_win32);
      main = form.get();
      desktop.Open(std::move(form), nullptr);
    });
    win_host.PumpPending();
    return *main;
  }
  HWND MainWindow() const { return win_host.WindowOf(*main); }
  HWND Native(const ui::Control& control) const { return win_host.ControlWindow(control); }
  // Clicks a native control the way a user's click arrives: through the window's own messages.
  void Click(HWND control) {
    SendMessageW(control, BM_CLICK, 0, 0);
    win_host.PumpPending();
  }
  bool PumpUntil(const std::function<bool()>& done) {
    return test_support::WaitFor([&] {
      win_host.PumpPending();
      return done();
    });
  }

  win32::Win32Host win_host{desktop};
  win32::Win32WindowManager window_manager{win_host};
  app::Platform on_win32{processes, store, window_manager, "TARNWICK"};
};

TEST_F(Win32FrontEnd, TheWindowAndAStepLightHaveTheirDesignedPlaceSizeAndColour) {
  TARNWICK_MAIN& m = OpenMain();
  const HWND window = MainWindow();
  ASSERT_NE(window, nullptr);
  const UINT dpi = win_host.DpiOf(m);
  // Client rectangle size, then outer (or, for a child, in-parent) top left: {right, bottom, left, top}.
  auto place = [window](HWND w) {
    RECT client{}, outer{};
    GetClientRect(w, &client);
    GetWindowRect(w, &outer);
    if (w != window) MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&outer), 2);
    return std::vector<int>{client.right, client.bottom, outer.left, outer.top};
  };
  auto px = [dpi](std::vector<int> twips) {
    for (int& t : twips) t = win32::TwipsToPixels(t, dpi);
    return twips;
  };
  EXPECT_EQ(place(window), px({9585 - 90, 2160 - 375, 1000, 1000})) << "the client area inside the real frame";
  EXPECT_EQ(Text(window), L"TARNWICK - TARNWICK");
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);

  // Found among the native children by class and caption, not through the renderer's records.
  const HWND light = FindWindowExW(window, nullptr, L"Static", L"PELLUM-ON");
  ASSERT_EQ(light, Native(m.PELLUM_ON_LIGHT));
  const ui::Rect drawn = ui::DrawnRect(m.PELLUM_ON_LIGHT);  // where the core's layout draws it
  EXPECT_EQ(place(light), px({drawn.width, drawn.height, drawn.left, drawn.top}));
  // Switched off with an empty store: black on red, in the brush the window hands the label and on
  // screen; not reached yet: white.
  for (const auto& [label, back] :
       {std::pair{light, RGB(255, 0, 0)}, std::pair{Native(m.AUTOPILOT_STARTED_LIGHT), RGB(255, 255, 255)}}) {
    HDC dc = GetDC(label);
    LOGBRUSH described{};
    ASSERT_NE(GetObjectW(reinterpret_cast<HBRUSH>(SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                               reinterpret_cast<LPARAM>(label))),
                         sizeof described, &described),
              0);
    EXPECT_EQ(described.lbColor, back);
    if (label == light) { EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0)); }
    ReleaseDC(label, dc);
  }
  UpdateWindow(window);
  HDC screen = GetDC(light);
  EXPECT_EQ(GetPixel(screen, 1, place(light)[1] - 2), RGB(255, 0, 0));
  ReleaseDC(light, screen);
}

TEST_F(Win32FrontEnd, APlaceOffEveryMonitorOpensOnTheNearestWithTheFormsFocusAndTabOrder) {
  Seed("MAIN-Left", "-900000");
  Seed("MAIN-Top", "900000");
  TARNWICK_MAIN& m = OpenMain();
  RECT outer{};
  GetWindowRect(MainWindow(), &outer);
  EXPECT_NE(MonitorFromRect(&outer, MONITOR_DEFAULTTONULL), nullptr) << outer.left << "," << outer.top;
  std::vector<HWND> stops, wanted;
  for (HWND child = GetWindow(MainWindow(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    if (GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) stops.push_back(child);
  for (ui::Control* c : m.tab_order()) wanted.push_back(Native(*c));
  EXPECT_EQ(stops, wanted);
  EXPECT_EQ(GetFocus(), Native(m.AUTOSTART_START_BUTTON));
  EXPECT_TRUE(GetWindowLongW(Native(m.AUTOSTART_START_BUTTON), GWL_STYLE) & BS_DEFPUSHBUTTON);
}

// Closed unmoved, a window stores where it opened: the place it was brought to when the stored one
// lies off every monitor, else the stored place itself, never its rounding to whole pixels.
TEST_F(Win32FrontEnd, AWindowClosedUnmovedStoresWhereItOpened) {
  for (const auto& [left, top] : {std::pair{"-900000", "900000"}, {"1000", "1000"}}) {
    Seed("MAIN-Left", left);
    Seed("MAIN-Top", top);
    OpenMain();
    RECT outer{};
    GetWindowRect(MainWindow(), &outer);
    const float dpi = static_cast<float>(win_host.DpiOf(*main));
    const bool placed = std::string(left) != "1000";
    SendMessageW(MainWindow(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(desktop.empty());
    EXPECT_EQ(Stored("MAIN-Left"),
              placed ? settings::EncodeGeometry(static_cast<float>(outer.left) * 1440 / dpi) : left);
    EXPECT_EQ(Stored("MAIN-Top"), placed ? settings::EncodeGeometry(static_cast<float>(outer.top) * 1440 / dpi) : top);
    DropQuit();
  }
}

TEST_F(Win32FrontEnd, ClicksReachTheCoreAndTheWindowShowsItsNewState) {
  TARNWICK_MAIN& m = OpenMain();
  const HWND start = FindWindowExW(MainWindow(), nullptr, L"Button", L"START");
  ASSERT_EQ(start, Native(m.AUTOSTART_START_BUTTON));
  Click(start);
  EXPECT_EQ(Text(start), L"STOP");
  EXPECT_EQ(Text(Native(m.LAST_RUN_TEXTBOX)), L"!!! MANUAL START !!!");
  EXPECT_FALSE(IsWindowEnabled(Native(m.SETTINGS_BUTTON)));
  // The core's countdown runs on the one native timer: 11 becomes 10 a second after START.
  const HWND countdown = Native(m.AUTOSTART_TIME_TEXTBOX);
  EXPECT_TRUE(PumpUntil([&] { return Text(countdown) == L"10"; })) << process::Narrow(Text(countdown));

  // A tick box shows the model's state after each click, and its handler enables a button.
  const HWND auto_close = Native(m.AUTOCLOSE_TIME_TICKBOX);
  for (const bool on : {true, false}) {
    Click(auto_close);
    EXPECT_EQ(m.AUTOCLOSE_TIME_TICKBOX.ticked(), on);
    EXPECT_EQ(SendMessageW(auto_close, BM_GETCHECK, 0, 0), on ? BST_CHECKED : BST_UNCHECKED);
    EXPECT_EQ(IsWindowEnabled(Native(m.AUTOCLOSE_START_BUTTON)) != FALSE, on);
  }
  // A clickable light forwards its click: PELLUM-ON's disarms its watcher.
  const HWND light = Native(m.PELLUM_ON_LIGHT);
  EXPECT_TRUE(GetWindowLongW(light, GWL_STYLE) & SS_NOTIFY);
  m.PELLUM_ON_WATCHER_TIMER.Arm();
  SendMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(light), STN_CLICKED), reinterpret_cast<LPARAM>(light));
  EXPECT_FALSE(m.PELLUM_ON_WATCHER_TIMER.armed());
}

TEST_F(Win32FrontEnd, ASettingsWindowIsModalToItsOwnerWithoutStoppingTime) {
  TARNWICK_MAIN& m = OpenMain();
  Click(Native(m.SETTINGS_BUTTON));
  ASSERT_EQ(desktop.open_forms().size(), 2u);
  ui::Form& hub = *desktop.open_forms().back();
  const HWND hub_window = win_host.WindowOf(hub);
  ASSERT_NE(hub_window, nullptr);
  EXPECT_EQ(GetWindow(hub_window, GW_OWNER), MainWindow());
  EXPECT_FALSE(IsWindowEnabled(MainWindow()));
  EXPECT_FALSE(GetWindowLongW(hub_window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_EQ(Text(hub_window), L"TARNWICK - SETTINGS");

  // The always-on-top timer keeps ticking while the hub is open.
  const ui::Millis due = m.AlwaysOnTopTimer.due();
  EXPECT_TRUE(PumpUntil([&] { return m.AlwaysOnTopTimer.due() != due; }));

  // Escape presses the hub's cancel button (Close), through the keyboard path of the loop.
  PostMessageW(Native(*hub.Find("CLOSE_BUTTON")), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(PumpUntil([&] { return desktop.open_forms().size() == 1; }));
  EXPECT_FALSE(IsWindow(hub_window));
  EXPECT_TRUE(IsWindowEnabled(MainWindow()));
}

TEST_F(Win32FrontEnd, ClosingTheMainWindowOrEndingTheSessionUnloadsEverythingThroughTheCore) {
  auto wrote = [this](const std::string& key) {
    return std::ranges::any_of(store.writes(), [&](const std::string& w) { return w.rfind(key + "=", 0) == 0; });
  };
  // How the window is closed: the user's close box, or a session end that is asked, then confirmed.
  const std::vector<std::vector<std::pair<UINT, WPARAM>>> ends = {
      {{WM_CLOSE, 0}},
      {{WM_QUERYENDSESSION, 0}, {WM_ENDSESSION, TRUE}},
  };
  for (const auto& messages : ends) {
    const bool session = messages.size() > 1;
    store.ClearWrites();
    OpenMain();
    const HWND window = MainWindow();
    SetWindowPos(window, nullptr, 150, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    win_host.PumpPending();
    const float dpi = static_cast<float>(win_host.DpiOf(*main));
    if (session) Click(Native(main->SETTINGS_BUTTON));
    ASSERT_EQ(desktop.open_forms().size(), session ? 2u : 1u);
    for (const auto& [message, wparam] : messages) {
      const LRESULT answer = SendMessageW(window, message, wparam, 0);
      if (message == WM_QUERYENDSESSION) {
        EXPECT_TRUE(answer) << "the session may end";
        EXPECT_EQ(desktop.open_forms().size(), 2u) << "nothing closes before the end is confirmed";
        EXPECT_TRUE(wrote("MAIN-Left") && wrote("SETTINGS-Left")) << "but everything is stored at the question";
      }
    }
    EXPECT_TRUE(desktop.empty());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Stored("MAIN-Left"), settings::EncodeGeometry(150.0f * 1440 / dpi));
    EXPECT_EQ(Stored("MAIN-Top"), settings::EncodeGeometry(120.0f * 1440 / dpi));
    EXPECT_EQ(Stored("LAST_RUN_TEXTBOX"), "!!! LAST RUN !!!");
    EXPECT_TRUE(wrote("MAIN-Left")) << "the main window unloaded";
    EXPECT_EQ(wrote("SETTINGS-Left"), session) << "the hub unloaded";
    DropQuit();
  }
}

// A shutdown that another program calls off leaves the program running mid-run, its timers ticking.
TEST_F(Win32FrontEnd, ACancelledSessionEndLeavesTheProgramRunning) {
  TARNWICK_MAIN& m = OpenMain();
  Click(Native(m.AUTOSTART_START_BUTTON));  // a run counting down
  store.ClearWrites();
  EXPECT_TRUE(SendMessageW(MainWindow(), WM_QUERYENDSESSION, 0, 0));
  EXPECT_EQ(Stored("LAST_RUN_TEXTBOX"), "!!! MANUAL START !!!") << "stored at the question";
  SendMessageW(MainWindow(), WM_ENDSESSION, FALSE, 0);
  win_host.PumpPending();
  ASSERT_FALSE(desktop.empty());
  EXPECT_TRUE(IsWindow(MainWindow()));
  const HWND countdown = Native(m.AUTOSTART_TIME_TEXTBOX);
  EXPECT_TRUE(PumpUntil([&] { return Text(countdown) == L"09"; })) << "the countdown goes on";
}

// At whatever DPI the system runs (scripts/test-windows.sh runs this at 96, 144 and 192): in every
// window no two shown controls overlap, and every caption shows all its words in its label.
TEST_F(Win32FrontEnd, NoControlsOverlapAndNoCaptionLosesAWordInAnyWindow) {
  TARNWICK_MAIN& m = OpenMain();
  auto check = [this](ui::Form& form) {
    const HWND window = win_host.WindowOf(form);
    SCOPED_TRACE(form.name() + " at " + std::to_string(win_host.DpiOf(form)) + " dpi");
    std::vector<std::pair<HWND, RECT>> shown;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      if (!IsWindowVisible(child)) continue;
      RECT r{};
      GetWindowRect(child, &r);
      for (const auto& [other, o] : shown) {
        RECT both{};
        EXPECT_FALSE(IntersectRect(&both, &r, &o))
            << process::Narrow(Text(child)) << " / " << process::Narrow(Text(other));
      }
      shown.emplace_back(child, r);
      wchar_t cls[32] = {};
      GetClassNameW(child, cls, 32);
      const std::wstring caption = Text(child);
      const bool label = lstrcmpiW(cls, L"Static") == 0, pressable = lstrcmpiW(cls, L"Button") == 0;
      const bool tick_box = pressable && (GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_CHECKBOX;
      const bool button = pressable && !tick_box;
      if (!(label || tick_box || button) || caption.empty()) continue;
      RECT client{};
      GetClientRect(child, &client);
      // A tick box's caption has the box and a gap beside it; a button's text its 2-pixel edge all
      // round and the focus rectangle's pixel at the sides.
      if (tick_box) client.right -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
      if (button) InflateRect(&client, -3, -2);
      HDC dc = GetDC(child);
      HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(child, WM_GETFONT, 0, 0)));
      RECT needed{0, 0, client.right - client.left, 0};
      DrawTextW(dc, caption.c_str(), -1, &needed,
                DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (button ? DT_SINGLELINE : DT_WORDBREAK));
      SelectObject(dc, old);
      ReleaseDC(child, dc);
      // A one-word label may be drawn narrowed; its width is the renderer's to squeeze.
      if (!label || caption.find(L' ') != std::wstring::npos) {
        EXPECT_LE(needed.right, client.right - client.left) << process::Narrow(caption);
      }
      EXPECT_LE(needed.bottom, client.bottom - client.top) << "words lost from \"" << process::Narrow(caption) << "\"";
    }
  };
  check(m);
  Click(Native(m.SETTINGS_BUTTON));
  ui::Form& hub = *desktop.open_forms().back();
  check(hub);
  for (const char* button : {"PELLUM_PELLUM_CORVANT_BUTTON", "QT_DAEMON_CLI_BUTTON"}) {
    Click(Native(*hub.Find(button)));
    ASSERT_EQ(desktop.open_forms().size(), 3u);
    check(*desktop.open_forms().back());
    win_host.Deliver([this] { desktop.Close(*desktop.open_forms().back()); });
  }
}

}  // namespace
