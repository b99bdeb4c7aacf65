// The Win32 front end drawing the real main window and settings hub (in-memory store, scripted
// processes): native geometry and colours, clicks reaching the core, modality and the core's timers.
#include <gtest/gtest.h>

#include <memory>

#include "app/main_window.h"
#include "fake_processes.h"
#include "frontend/win32/win32_host.h"
#include "process/win32_process.h"
#include "settings/settings_hub.h"
#include "settings/store.h"
#include "win32_test_support.h"

namespace {

std::wstring Text(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

class Win32FrontEnd : public ::testing::Test {
 protected:
  Win32FrontEnd() : platform{processes, store, window_manager, "TARNWICK"} { desktop.set_host(&host); }
  ~Win32FrontEnd() override {
    host.Deliver([this] {
      while (!desktop.empty()) desktop.Close(*desktop.open_forms().front());
    });
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // posted once the last window went
  }

  TARNWICK_MAIN& OpenMain() {
    host.Deliver([this] {
      auto form = std::make_unique<TARNWICK_MAIN>(desktop, platform);
      main = form.get();
      desktop.Open(std::move(form), nullptr);
    });
    host.PumpPending();
    return *main;
  }
  HWND MainWindow() const { return host.WindowOf(*main); }
  // Clicks a native control the way a user's click arrives: through the window's own messages.
  void Click(HWND control) {
    SendMessageW(control, BM_CLICK, 0, 0);
    host.PumpPending();
  }
  bool PumpUntil(const std::function<bool()>& done) {
    return win32_test::WaitFor([&] {
      host.PumpPending();
      return done();
    });
  }

  fakes::FakeProcesses processes;
  settings::MemoryStore store;
  ui::Desktop desktop;
  win32::Win32Host host{desktop};
  win32::Win32WindowManager window_manager{host};
  app::Platform platform;
  TARNWICK_MAIN* main = nullptr;
};

TEST_F(Win32FrontEnd, AStepLightIsANativeLabelAtItsDesignedPlaceSizeAndColour) {
  TARNWICK_MAIN& m = OpenMain();
  const HWND window = MainWindow();
  ASSERT_NE(window, nullptr);
  const UINT dpi = host.DpiOf(m);
  // Found among the native children by class and caption, not through the renderer's records.
  const HWND light = FindWindowExW(window, nullptr, L"Static", L"PELLUM-ON");
  ASSERT_NE(light, nullptr);
  EXPECT_EQ(light, host.ControlWindow(m.PELLUM_ON_LIGHT));

  RECT client{};
  GetClientRect(light, &client);
  EXPECT_EQ(client.right, win32::TwipsToPixels(855, dpi));
  EXPECT_EQ(client.bottom, win32::TwipsToPixels(255, dpi));
  RECT placed{};
  GetWindowRect(light, &placed);
  MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, win32::TwipsToPixels(1320, dpi));
  EXPECT_EQ(placed.top, win32::TwipsToPixels(480, dpi));

  // Switched off with an empty store: red, in the brush the window hands the label and on screen.
  ASSERT_EQ(m.PELLUM_ON_LIGHT.back_colour(), ui::colours::kRed);
  HDC dc = GetDC(light);
  auto brush = reinterpret_cast<HBRUSH>(SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(light)));
  LOGBRUSH described{};
  ASSERT_NE(GetObjectW(brush, sizeof described, &described), 0);
  EXPECT_EQ(described.lbColor, RGB(255, 0, 0));
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
  ReleaseDC(light, dc);
  UpdateWindow(window);
  HDC screen = GetDC(light);
  EXPECT_EQ(GetPixel(screen, 1, client.bottom - 2), RGB(255, 0, 0));
  ReleaseDC(light, screen);

  // A light painted "ready" takes the system's window colour.
  ASSERT_EQ(m.AUTOPILOT_STARTED_LIGHT.back_colour(), ui::colours::kWhite);
  const HWND started = host.ControlWindow(m.AUTOPILOT_STARTED_LIGHT);
  dc = GetDC(started);
  brush = reinterpret_cast<HBRUSH>(SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                reinterpret_cast<LPARAM>(started)));
  ASSERT_NE(GetObjectW(brush, sizeof described, &described), 0);
  EXPECT_EQ(described.lbColor, RGB(255, 255, 255));
  ReleaseDC(started, dc);
}

TEST_F(Win32FrontEnd, TheWindowKeepsItsDesignedClientAreaInsideTheRealFrame) {
  TARNWICK_MAIN& m = OpenMain();
  const UINT dpi = host.DpiOf(m);
  RECT client{};
  GetClientRect(MainWindow(), &client);
  EXPECT_EQ(client.right, win32::TwipsToPixels(9585 - 90, dpi));
  EXPECT_EQ(client.bottom, win32::TwipsToPixels(2160 - 375, dpi));
  RECT outer{};
  GetWindowRect(MainWindow(), &outer);
  EXPECT_EQ(outer.left, win32::TwipsToPixels(1000, dpi));
  EXPECT_EQ(outer.top, win32::TwipsToPixels(1000, dpi));
  EXPECT_EQ(Text(MainWindow()), L"TARNWICK - TARNWICK");
  const LONG style = GetWindowLongW(MainWindow(), GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_TRUE(GetWindowLongW(MainWindow(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

TEST_F(Win32FrontEnd, AStoredPositionOffEveryMonitorOpensOnTheNearestOne) {
  store.Seed("TARNWICK", "MAIN-Left", "-900000");
  store.Seed("TARNWICK", "MAIN-Top", "900000");
  OpenMain();
  RECT outer{};
  GetWindowRect(MainWindow(), &outer);
  EXPECT_NE(MonitorFromRect(&outer, MONITOR_DEFAULTTONULL), nullptr) << outer.left << "," << outer.top;
}

TEST_F(Win32FrontEnd, ClicksReachTheCoreAndTheWindowShowsItsNewState) {
  TARNWICK_MAIN& m = OpenMain();
  const HWND start = FindWindowExW(MainWindow(), nullptr, L"Button", L"START");
  ASSERT_EQ(start, host.ControlWindow(m.AUTOSTART_START_BUTTON));
  Click(start);
  EXPECT_EQ(m.AUTOSTART_START_BUTTON.caption(), "STOP");
  EXPECT_EQ(Text(start), L"STOP");
  EXPECT_EQ(Text(host.ControlWindow(m.LAST_RUN_TEXTBOX)), L"!!! MANUAL START !!!");
  EXPECT_FALSE(IsWindowEnabled(host.ControlWindow(m.SETTINGS_BUTTON)));

  // The core's countdown runs on the one native timer: 11 becomes 10 a second after START.
  const HWND countdown = host.ControlWindow(m.AUTOSTART_TIME_TEXTBOX);
  EXPECT_TRUE(PumpUntil([&] { return Text(countdown) == L"10"; })) << process::Narrow(Text(countdown));

  // A tick box shows the model's state after the click, and its handler enabled a button.
  const HWND auto_close = host.ControlWindow(m.AUTOCLOSE_TIME_TICKBOX);
  ASSERT_FALSE(IsWindowEnabled(host.ControlWindow(m.AUTOCLOSE_START_BUTTON)));
  Click(auto_close);
  EXPECT_TRUE(m.AUTOCLOSE_TIME_TICKBOX.ticked());
  EXPECT_EQ(SendMessageW(auto_close, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(IsWindowEnabled(host.ControlWindow(m.AUTOCLOSE_START_BUTTON)));
  Click(auto_close);
  EXPECT_EQ(SendMessageW(auto_close, BM_GETCHECK, 0, 0), BST_UNCHECKED);

  // A clickable light forwards its click: PELLUM-ON's disarms its watcher.
  m.PELLUM_ON_WATCHER_TIMER.Arm();
  SendMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(host.ControlWindow(m.PELLUM_ON_LIGHT)), STN_CLICKED),
               reinterpret_cast<LPARAM>(host.ControlWindow(m.PELLUM_ON_LIGHT)));
  EXPECT_FALSE(m.PELLUM_ON_WATCHER_TIMER.armed());
  EXPECT_TRUE(GetWindowLongW(host.ControlWindow(m.PELLUM_ON_LIGHT), GWL_STYLE) & SS_NOTIFY);
}

TEST_F(Win32FrontEnd, TabOrderFollowsTheFormsTabOrder) {
  TARNWICK_MAIN& m = OpenMain();
  std::vector<HWND> stops;
  for (HWND child = GetWindow(MainWindow(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    if (GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) stops.push_back(child);
  std::vector<HWND> wanted;
  for (ui::Control* c : m.tab_order()) wanted.push_back(host.ControlWindow(*c));
  EXPECT_EQ(stops, wanted);
  EXPECT_EQ(GetFocus(), host.ControlWindow(m.AUTOSTART_START_BUTTON));
  EXPECT_TRUE(GetWindowLongW(host.ControlWindow(m.AUTOSTART_START_BUTTON), GWL_STYLE) & BS_DEFPUSHBUTTON);
}

TEST_F(Win32FrontEnd, ASettingsWindowIsModalToItsOwnerWithoutStoppingTime) {
  TARNWICK_MAIN& m = OpenMain();
  Click(host.ControlWindow(m.SETTINGS_BUTTON));
  ASSERT_EQ(desktop.open_forms().size(), 2u);
  ui::Form& hub = *desktop.open_forms().back();
  const HWND hub_window = host.WindowOf(hub);
  ASSERT_NE(hub_window, nullptr);
  EXPECT_EQ(GetWindow(hub_window, GW_OWNER), MainWindow());
  EXPECT_FALSE(IsWindowEnabled(MainWindow()));
  EXPECT_FALSE(GetWindowLongW(hub_window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_EQ(Text(hub_window), L"TARNWICK - SETTINGS");

  // The always-on-top timer keeps ticking while the hub is open.
  const ui::Millis due = m.AlwaysOnTopTimer.due();
  EXPECT_TRUE(PumpUntil([&] { return m.AlwaysOnTopTimer.due() != due; }));

  // Escape presses the hub's cancel button (Close), through the keyboard path of the loop.
  const HWND close_button = host.ControlWindow(*hub.Find("CLOSE_BUTTON"));
  ASSERT_NE(close_button, nullptr);
  PostMessageW(close_button, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(PumpUntil([&] { return desktop.open_forms().size() == 1; }));
  EXPECT_FALSE(IsWindow(hub_window));
  EXPECT_TRUE(IsWindowEnabled(MainWindow()));
}

TEST_F(Win32FrontEnd, ClosingTheMainWindowUnloadsItAndStoresWhereItWas) {
  OpenMain();
  const HWND window = MainWindow();
  SetWindowPos(window, nullptr, 150, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  host.PumpPending();
  const UINT dpi = host.DpiOf(*main);
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(desktop.empty());
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(store.Value("TARNWICK", "MAIN-Left"), settings::EncodeGeometry(150.0f * 1440 / static_cast<float>(dpi)));
  EXPECT_EQ(store.Value("TARNWICK", "MAIN-Top"), settings::EncodeGeometry(120.0f * 1440 / static_cast<float>(dpi)));
  EXPECT_EQ(store.Value("TARNWICK", "LAST_RUN_TEXTBOX"), "!!! LAST RUN !!!");
}

TEST_F(Win32FrontEnd, TheEndOfTheSessionClosesEverythingThroughTheCore) {
  OpenMain();
  Click(host.ControlWindow(main->SETTINGS_BUTTON));
  ASSERT_EQ(desktop.open_forms().size(), 2u);
  EXPECT_TRUE(SendMessageW(MainWindow(), WM_QUERYENDSESSION, 0, 0));
  EXPECT_TRUE(desktop.empty());
  EXPECT_TRUE(store.Value("TARNWICK", "AUTOSTART_TIME_TICKBOX").has_value()) << "the main window unloaded";
  EXPECT_TRUE(store.Value("TARNWICK", "SETTINGS-Left").has_value()) << "the hub unloaded";
}

}  // namespace
