// The Linux process port: probing /proc for a program by its image name, and starting command
// lines detached in their own session while reaping only the children it started.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "process/linux/linux_probe.h"
#include "process/process.h"

namespace process {

class ReapList;

class LinuxProcessControl final : public ProcessControl {
 public:
  // `proc_root` is where the process list is read; tests point it elsewhere.
  explicit LinuxProcessControl(std::string proc_root = "/proc");
  ~LinuxProcessControl() override;
  LinuxProcessControl(const LinuxProcessControl&) = delete;
  LinuxProcessControl& operator=(const LinuxProcessControl&) = delete;

  Probe IsProcessRunning(std::string_view image_name) override;
  std::unique_ptr<ProcessHandle> RunCommandLine(std::string_view command_line) override;
  std::string ProgramOf(std::string_view command_line) override;
  void Report(std::string_view message) override;
  bool SameImageName(std::string_view a, std::string_view b) const override { return process::SameImageName(a, b); }
  void BeginPass() override;
  void EndPass() override;

 private:
  ProcProbe probe_;
  // Shared with the handles, which may outlive this object and still reap their own child.
  std::shared_ptr<ReapList> reap_list_;
};

}  // namespace process
