// Opens one of the program's four windows through the Win32 front end (in-memory store, scripted
// processes) and keeps it open for a screenshot; prints the window's screen rectangle.
//   screenshot_driver.exe main|hub|helpers|node
#include <cstdio>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "fake_processes.h"
#include "frontend/win32/win32_host.h"
#include "frontend/win32/window_manager.h"
#include "settings/settings_hub.h"

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "main";
  fakes::FakeProcesses processes;
  settings::MemoryStore store;
  // What a configured installation shows in its settings windows.
  store.Seed("TARNWICK", "PELLUM_ON_TICKBOX", "1");
  store.Seed("TARNWICK", "PELLUM_ON_LOCATION_TEXTBOX", "C:\\Program Files\\PELLUM");
  store.Seed("TARNWICK", "PELLUM_OFF_LOCATION_TEXTBOX", "C:\\Program Files\\PELLUM");
  store.Seed("TARNWICK", "CORVANT_LOCATION_TEXTBOX", "C:\\Tools\\CORVANT");
  store.Seed("TARNWICK", "CV_FILENAME_TEXTBOX", "CORVANT.exe");
  store.Seed("TARNWICK", "QT_RUN_CMD_TEXTBOX", "C:\\Node\\node-qt.exe -min");
  store.Seed("TARNWICK", "QT_FILENAME_TEXTBOX", "node-qt.exe");
  store.Seed("TARNWICK", "DAEMOND_RUN_CMD_TEXTBOX", "C:\\Node\\noded.exe");
  store.Seed("TARNWICK", "DAEMOND_FILENAME_TEXTBOX", "noded.exe");
  store.Seed("TARNWICK", "CLI_RUN_CMD_TEXTBOX", "C:\\Node\\node-cli.exe stop");
  store.Seed("TARNWICK", "CLI_FILENAME_TEXTBOX", "node-cli.exe");
  store.Seed("TARNWICK", "SETTINGS-Left", "3000");
  store.Seed("TARNWICK", "SETTINGS-Top", "3600");
  store.Seed("TARNWICK", "PELLUM-CV-SETTINGS-Left", "3000");
  store.Seed("TARNWICK", "PELLUM-CV-SETTINGS-Top", "3600");
  store.Seed("TARNWICK", "QT-D-CLI-SETTINGS-Left", "3000");
  store.Seed("TARNWICK", "QT-D-CLI-SETTINGS-Top", "3600");

  ui::Desktop desktop;
  win32::Win32Host host(desktop);
  win32::Win32WindowManager window_manager(host);
  app::Platform platform{processes, store, window_manager, "TARNWICK"};
  desktop.set_host(&host);
  TARNWICK_MAIN* main_window = nullptr;
  host.Deliver([&] {
    auto form = std::make_unique<TARNWICK_MAIN>(desktop, platform);
    main_window = form.get();
    desktop.Open(std::move(form), nullptr);
  });
  // The user's way there: Settings, then one of the hub's two buttons.
  auto click = [&](ui::Form& form, const char* control) {
    host.Deliver([&] { desktop.UserClick(*form.Find(control)); });
  };
  if (which != "main") click(*main_window, "SETTINGS_BUTTON");
  if (which == "helpers") click(*desktop.open_forms().back(), "PELLUM_PELLUM_CORVANT_BUTTON");
  if (which == "node") click(*desktop.open_forms().back(), "QT_DAEMON_CLI_BUTTON");

  host.PumpPending();
  RECT rect{};
  GetWindowRect(host.WindowOf(*desktop.open_forms().back()), &rect);
  std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  std::fflush(stdout);
  return host.RunMessageLoop();
}
