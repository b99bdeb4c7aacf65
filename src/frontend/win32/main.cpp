// TARNWICK.exe's entry point: the Windows ports, the generic renderer and the one main window.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/platform.h"
#include "app/program_name.h"
#include "frontend/headless/options.h"
#include "frontend/headless/win32_headless.h"
#include "frontend/win32/win32_host.h"
#include "frontend/win32/window_manager.h"
#include "process/windows/win32_process.h"
#include "settings/one_copy.h"
#include "settings/windows/journal_file.h"
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

// The arguments after the program's name, as UTF-8.
std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; words != nullptr && i < count; ++i) args.push_back(process::Narrow(words[i]));
  if (words != nullptr) LocalFree(words);
  return args;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const std::string exe_name = app::ProgramNameFromModulePath(ModuleFileName());
  const headless::Options options = headless::ParseOptions(Arguments());
  if (!options.error.empty() || options.help || options.version || options.headless) headless::ConnectToParentConsole();
  if (!options.error.empty()) {
    std::cerr << "TARNWICK: " << options.error << std::endl;
    return headless::kCouldNotBegin;
  }
  if (options.help) {
    std::cout << headless::Usage(exe_name, "HKEY_CURRENT_USER\\Software\\TARNWICK\\" + exe_name) << std::flush;
    return 0;
  }
  if (options.version) {
    std::cout << headless::VersionLine() << std::endl;
    return 0;
  }

  // Before any window: a second copy of this section ends here, having touched nothing.
  settings::SessionMutexGuard guard;
  const settings::StartUp start = settings::OneCopyPerSection(guard, settings::kApplication, exe_name);
  if (!start.say.empty()) process::ReportProblem(start.say);
  if (!start.run) return start.exit_status;
  if (options.headless) return headless::Win32HeadlessMain(instance, exe_name, options);

  process::Win32ProcessControl processes;
  settings::RegistryStore store;
  ui::Desktop desktop;
  win32::Win32Host host(desktop, instance);
  win32::Win32WindowManager window_manager(host);
  settings::JournalFile journal(settings::JournalFile::LocalAppData(), exe_name);
  journal.Line(headless::VersionLine() + " opens: graphical");
  app::Platform platform{processes, store, window_manager, exe_name, &journal};
  desktop.set_host(&host);

  host.Deliver([&] { desktop.Open(std::make_unique<TARNWICK_MAIN>(desktop, platform), nullptr); });
  const int code = host.RunMessageLoop();
  // Normally every window has closed (and stored its settings) before the loop ends.
  host.Deliver([&] {
    while (!desktop.empty()) desktop.Close(*desktop.open_forms().front());
  });
  desktop.set_host(nullptr);
  journal.Line(headless::VersionLine() + " closes");
  return code;
}
