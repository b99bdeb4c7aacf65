// Windows process port: Toolhelp snapshot probe and CreateProcessW launcher.
#include "process/windows/win32_process.h"

#include <tlhelp32.h>

#include <vector>

#include "process/command_line.h"
#include "process/windows/win32_text.h"

namespace process {

Win32ProcessHandle::~Win32ProcessHandle() {
  if (process_ != nullptr) CloseHandle(process_);
}

bool Win32ProcessHandle::IsRunning() { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

std::optional<Exit> Win32ProcessHandle::HowItEnded() {
  DWORD code = STILL_ACTIVE;
  if (IsRunning() || GetExitCodeProcess(process_, &code) == FALSE) return std::nullopt;
  // Exit codes are unsigned; a crash's NTSTATUS (0xC0000005) keeps its bits in the int.
  return Exit{Exit::Kind::Status, static_cast<int>(code)};
}

void Win32ProcessControl::Report(std::string_view message) { ReportProblem(message); }

Win32ProcessControl::Win32ProcessControl()
    : snapshot_([] { return CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0); }) {}

bool Win32ProcessControl::SameImageName(std::string_view a, std::string_view b) const {
  // The probe's own comparison: ordinal, ignoring case.
  const std::wstring wa = Widen(a), wb = Widen(b);
  return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()), TRUE) ==
         CSTR_EQUAL;
}

Win32ProcessControl::~Win32ProcessControl() { DropPassSnapshot(); }

void Win32ProcessControl::BeginPass() {
  DropPassSnapshot();
  in_pass_ = true;
}

void Win32ProcessControl::EndPass() {
  DropPassSnapshot();
  in_pass_ = false;
}

void Win32ProcessControl::DropPassSnapshot() {
  if (pass_snapshot_ != nullptr) CloseHandle(pass_snapshot_);
  pass_snapshot_ = nullptr;
}

Probe Win32ProcessControl::IsProcessRunning(std::string_view image_name) {
  // A path is never an image name; answering "not running" keeps a stray value from matching.
  if (image_name.empty() || image_name.find_first_of("\\/") != std::string_view::npos) return Probe::NotRunning;
  const std::wstring wanted = Widen(image_name);

  // Walking a snapshot again (Process32FirstW starts over) reads the same list, taken once a pass.
  const HANDLE snapshot = pass_snapshot_ != nullptr ? pass_snapshot_ : snapshot_();
  if (snapshot == INVALID_HANDLE_VALUE || snapshot == nullptr) {
    ReportProblem("cannot read the process list (error " + std::to_string(GetLastError()) + ")");
    return Probe::Unknown;
  }
  if (in_pass_) pass_snapshot_ = snapshot;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  Probe answer = Probe::NotRunning;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    // A process that has ended stays listed, without threads, while anyone holds it open, as the
    // CORVANT loader holds its copy until it has judged that copy's end: it no longer runs.
    if (entry.cntThreads != 0 && CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(),
                                                      static_cast<int>(wanted.size()), TRUE) == CSTR_EQUAL) {
      answer = Probe::Running;
      break;
    }
  }
  if (snapshot != pass_snapshot_) CloseHandle(snapshot);
  return answer;
}

std::unique_ptr<ProcessHandle> Win32ProcessControl::RunCommandLine(std::string_view command_line) {
  // What this launch starts may be missing from a snapshot taken earlier in the pass.
  DropPassSnapshot();
  if (command_line.empty()) {
    ReportProblem("nothing to start: the command line is empty");
    return nullptr;
  }
  // Windows refuses a command line of 32,767 characters or more (its terminating null included);
  // one that long is refused here, in the open, rather than cut short by whatever runs it.
  if (const std::size_t length = Widen(command_line).size(); length >= kMaxCommandLineChars) {
    ReportProblem("cannot start a command line of " + std::to_string(length) + " characters (the limit is " +
                  std::to_string(kMaxCommandLineChars - 1) + ")");
    return nullptr;
  }
  // Locations are composed unquoted, so "C:\My Tools\x.exe -arg" must start x.exe, not "C:\My".
  const auto attributes_of = [](const std::string& path) { return GetFileAttributesW(Widen(path).c_str()); };
  const PathChecks checks{
      [&](const std::string& path) {
        const DWORD attributes = attributes_of(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
      },
      [&](const std::string& path) {
        const DWORD attributes = attributes_of(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      }};
  const WindowsCommand resolved = ResolveWindowsCommandLine(command_line, checks);
  if (!resolved.ok) {
    // Never handed on without an application name: CreateProcess's own search would try the
    // shorter prefixes ("C:\Program.exe") this very check has ruled out.
    ReportProblem("cannot start \"" + std::string(command_line) + "\": " + resolved.error);
    return nullptr;
  }
  const std::wstring application = Widen(resolved.application_name);
  // CreateProcessW may write into its command line, so it gets a copy of its own.
  const std::wstring text = Widen(resolved.command_line);
  std::vector<wchar_t> writable(text.begin(), text.end());
  writable.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), writable.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &started)) {
    ReportProblem("cannot start \"" + std::string(command_line) + "\" (error " + std::to_string(GetLastError()) + ")");
    return nullptr;
  }
  CloseHandle(started.hThread);
  auto handle = std::make_unique<Win32ProcessHandle>(started.hProcess);
  handle->SetId(static_cast<long long>(started.dwProcessId));
  // The image the system actually started, whichever way CreateProcess found it.
  std::vector<wchar_t> image(32768);
  DWORD size = static_cast<DWORD>(image.size());
  if (QueryFullProcessImageNameW(started.hProcess, 0, image.data(), &size)) {
    handle->SetProgram(Narrow(std::wstring(image.data(), size)));
  } else {
    handle->SetProgram(resolved.application_name);
  }
  return handle;
}

}  // namespace process
