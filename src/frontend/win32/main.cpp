// TARNWICK.exe's entry point: the Windows ports, the generic renderer and the one main window.
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/platform.h"
#include "app/program_name.h"
#include "frontend/win32/win32_host.h"
#include "frontend/win32/window_manager.h"
#include "process/windows/win32_process.h"
#include "settings/one_copy.h"
#include "settings/windows/registry_store.h"
#include "settings/windows/session_mutex.h"

namespace {

// The file name the program was started under, as the core's naming rule expects it.
std::string ModuleFileName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  return process::Narrow(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const std::string exe_name = app::ProgramNameFromModulePath(ModuleFileName());
  // Before any window: a second copy of this section ends here, having touched nothing.
  settings::SessionMutexGuard guard;
  const settings::StartUp start = settings::OneCopyPerSection(guard, settings::kApplication, exe_name);
  if (!start.say.empty()) process::ReportProblem(start.say);
  if (!start.run) return start.exit_status;

  process::Win32ProcessControl processes;
  settings::RegistryStore store;
  ui::Desktop desktop;
  win32::Win32Host host(desktop, instance);
  win32::Win32WindowManager window_manager(host);
  app::Platform platform{processes, store, window_manager, exe_name};
  desktop.set_host(&host);

  host.Deliver([&] { desktop.Open(std::make_unique<TARNWICK_MAIN>(desktop, platform), nullptr); });
  const int code = host.RunMessageLoop();
  // Normally every window has closed (and stored its settings) before the loop ends.
  host.Deliver([&] {
    while (!desktop.empty()) desktop.Close(*desktop.open_forms().front());
  });
  desktop.set_host(nullptr);
  return code;
}
