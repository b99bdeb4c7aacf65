// What the core needs from the machine it runs on, gathered in one place: the process port, the
// settings store, the window manager, and the name the program was started under.
#pragma once
#include <string>

#include "app/run_report.h"
#include "process/process.h"
#include "settings/store.h"
#include "ui/window_manager.h"

namespace app {

struct Platform {
  process::ProcessControl& processes;
  settings::SettingsStore& store;
  ui::WindowManager& window_manager;
  // The executable's file name as started, without ".exe": the store's section and the title.
  std::string exe_name;
  // Where the run's events go; none when nobody reads them.
  RunReport* report = nullptr;
  // No window is shown: the run behaves as if Auto Start and Auto Close were ticked, and the stored
  // ticks are neither used nor changed.
  bool headless = false;
};

}  // namespace app
