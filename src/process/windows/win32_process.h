// The process port on Windows: a Toolhelp walk of the process list, and CreateProcessW for the
// command lines a run starts.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "process/process.h"
#include "process/windows/win32_text.h"

namespace process {

// Windows' limit on a command line, in UTF-16 units with its terminating null: longer is refused.
inline constexpr std::size_t kMaxCommandLineChars = 32767;

class Win32ProcessHandle : public ProcessHandle {
 public:
  explicit Win32ProcessHandle(HANDLE process) : process_(process) {}
  ~Win32ProcessHandle() override;
  Win32ProcessHandle(const Win32ProcessHandle&) = delete;
  Win32ProcessHandle& operator=(const Win32ProcessHandle&) = delete;
  bool IsRunning() override;
  std::optional<Exit> HowItEnded() override;
  HANDLE native() const { return process_; }

 private:
  HANDLE process_;
};

class Win32ProcessControl : public ProcessControl {
 public:
  // Takes the process-list snapshot; replaceable so tests can play a failing or watched snapshot.
  using SnapshotFunction = std::function<HANDLE()>;
  Win32ProcessControl();
  explicit Win32ProcessControl(SnapshotFunction snapshot) : snapshot_(std::move(snapshot)) {}
  ~Win32ProcessControl() override;
  Win32ProcessControl(const Win32ProcessControl&) = delete;
  Win32ProcessControl& operator=(const Win32ProcessControl&) = delete;

  Probe IsProcessRunning(std::string_view image_name) override;
  std::unique_ptr<ProcessHandle> RunCommandLine(std::string_view command_line) override;
  void Report(std::string_view message) override;
  bool SameImageName(std::string_view a, std::string_view b) const override;
  // One snapshot serves every probe of a timer pass; a launch during the pass drops it.
  void BeginPass() override;
  void EndPass() override;

 private:
  void DropPassSnapshot();

  SnapshotFunction snapshot_;
  bool in_pass_ = false;
  HANDLE pass_snapshot_ = nullptr;
};

}  // namespace process
