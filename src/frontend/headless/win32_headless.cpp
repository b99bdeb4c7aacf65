// The headless program on Windows. A GUI program without a window hears nothing of a logoff or a
// shutdown, so it keeps a hidden top-level window for WM_QUERYENDSESSION and WM_ENDSESSION; console
// control events (Ctrl+C, the console closing) arrive on a thread of their own and wake the wait.
#include "frontend/headless/win32_headless.h"

#include <cstdio>
#include <iostream>

#include "frontend/headless/headless_run.h"
#include "process/windows/win32_process.h"
#include "settings/windows/journal_file.h"
#include "settings/windows/registry_store.h"

namespace headless {

namespace {

HANDLE g_end_event = nullptr;   // set by a console control event
HANDLE g_done_event = nullptr;  // set once everything is stored, for a handler that must not return before

BOOL WINAPI OnConsoleEvent(DWORD type) {
  SetEvent(g_end_event);
  // The console closing, a logoff or a shutdown end the process when this returns: give the run the
  // time to store everything first.
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
    WaitForSingleObject(g_done_event, 4000);
  return TRUE;
}

class Win32Waiter : public Waiter {
 public:
  explicit Win32Waiter(HINSTANCE instance) {
    g_end_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_done_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    WNDCLASSW cls{};
    cls.lpfnWndProc = WindowProc;
    cls.hInstance = instance;
    cls.lpszClassName = L"TARNWICK_HEADLESS";
    RegisterClassW(&cls);
    // Top-level, never shown: a message-only window would not be told of the session's end.
    window_ = CreateWindowExW(0, cls.lpszClassName, L"TARNWICK headless", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                              nullptr, instance, nullptr);
    if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~Win32Waiter() override {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    if (window_) DestroyWindow(window_);
  }
  Win32Waiter(const Win32Waiter&) = delete;
  Win32Waiter& operator=(const Win32Waiter&) = delete;

  ui::Millis Now() override { return static_cast<ui::Millis>(GetTickCount64()); }

  bool Wait(std::optional<ui::Millis> due) override {
    for (;;) {
      if (end_asked_ || WaitForSingleObject(g_end_event, 0) == WAIT_OBJECT_0) return true;
      DWORD timeout = INFINITE;
      if (due) {
        const ui::Millis left = *due - Now();
        if (left <= 0) return false;
        timeout = static_cast<DWORD>(left < 60'000 ? left : 60'000);
      }
      const DWORD woken = MsgWaitForMultipleObjects(1, &g_end_event, FALSE, timeout, QS_ALLINPUT);
      if (woken == WAIT_OBJECT_0) return true;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) end_asked_ = true;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Win32Waiter*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
      case WM_QUERYENDSESSION: return TRUE;
      case WM_ENDSESSION:
        // The process may end as soon as this returns: everything is stored now.
        if (wparam && self) self->EndNow();
        return 0;
      case WM_CLOSE:  // taskkill without /F asks every top-level window to close
        if (self) self->end_asked_ = true;
        return 0;
      default: return DefWindowProcW(window, message, wparam, lparam);
    }
  }
  void EndNow() {
    end_asked_ = true;
    if (close_now) close_now();
  }

  HWND window_ = nullptr;
  bool end_asked_ = false;
};

}  // namespace

void ConnectToParentConsole() {
  const auto usable = [](DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE;
  };
  if (usable(STD_OUTPUT_HANDLE) && usable(STD_ERROR_HANDLE)) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!usable(STD_OUTPUT_HANDLE)) std::freopen("CONOUT$", "w", stdout);
  if (!usable(STD_ERROR_HANDLE)) std::freopen("CONOUT$", "w", stderr);
  std::ios::sync_with_stdio(true);
}

int Win32HeadlessMain(HINSTANCE instance, const std::string& exe_name, const Options& options) {
  settings::RegistryStore store;
  bool all_written = true;
  store.set_problem_listener([&all_written](const std::string&) { all_written = false; });
  process::Win32ProcessControl processes;
  settings::JournalFile journal(settings::JournalFile::LocalAppData(), exe_name);
  journal.Line(VersionLine() + " opens: headless");
  Win32Waiter waiter(instance);
  HeadlessPorts ports{processes, store, exe_name, std::cout, std::cerr, &journal};
  RunOptions run;
  run.max_run = options.max_run;
  run.settings_written = [&all_written] { return all_written; };
  const int status = RunHeadless(ports, waiter, run);
  journal.Line(VersionLine() + " closes");
  std::cout.flush();
  SetEvent(g_done_event);
  return status;
}

}  // namespace headless
