// A scripted process table for core tests: which command line starts which image name, which
// processes run now, and every launch in order.
#pragma once
#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "process/process.h"

namespace fakes {

class FakeProcesses : public process::ProcessControl {
 public:
  // How a launched program behaves: it runs until ended, or it is gone before any probe can see it,
  // having crashed (a signal) or having done its work (exit status 0). A single-instance program
  // runs unless a process of its image name runs already; then it fails at once (exit status 3).
  enum class Ending { Runs, CrashesAtOnce, FinishesAtOnce, SingleInstance };
  struct Program {
    Program(std::string image_name, Ending how = Ending::Runs, std::string program_file = "", std::string leaves = "")
        : image(std::move(image_name)), ending(how), file(std::move(program_file)), leaves_running(std::move(leaves)) {}
    std::string image;
    Ending ending;
    // The program file the launcher resolves, as its handle reports it; the image name when empty.
    std::string file;
    // A process of this image name that the program leaves running, as a wrapper leaves its tool.
    std::string leaves_running;
  };

  // Running `command_line` starts `program`.
  void Define(const std::string& command_line, Program program) {
    programs_.insert_or_assign(command_line, std::move(program));
  }
  // A process that runs without having been launched by the program.
  void Start(const std::string& image) { processes_.push_back(std::make_shared<State>(State{image, true})); }
  // Every process of this name ends, by default having done its work; a handle tells `how` (none:
  // its status was lost, as when someone else collected it).
  void End(const std::string& image, std::optional<process::Exit> how = process::Exit{}) {
    for (auto& p : processes_)
      if (p->alive && Same(p->image, image)) *p = State{p->image, false, how};
    std::erase_if(processes_, [](const auto& p) { return !p->alive; });
  }
  bool Running(const std::string& image) const {
    return std::ranges::any_of(processes_, [&](const auto& p) { return Same(p->image, image); });
  }
  // While set, every probe answers "unknown", as when the process list cannot be read.
  void set_scan_fails(bool f) { scan_fails_ = f; }

  const std::vector<std::string>& launches() const { return launches_; }
  // What the core reported, one line each.
  const std::vector<std::string>& reports() const { return reports_; }
  void Report(std::string_view message) override { reports_.emplace_back(message); }
  int LaunchCount(const std::string& command_line) const {
    return static_cast<int>(std::count(launches_.begin(), launches_.end(), command_line));
  }
  // Probes made while no timer pass was open (a click's probe, or a pass the core forgot to open).
  int probes_outside_pass() const { return probes_outside_pass_; }
  void BeginPass() override { in_pass_ = true; }
  void EndPass() override { in_pass_ = false; }

  process::Probe IsProcessRunning(std::string_view image_name) override {
    if (!in_pass_) ++probes_outside_pass_;
    if (scan_fails_) return process::Probe::Unknown;
    return Running(std::string(image_name)) ? process::Probe::Running : process::Probe::NotRunning;
  }

  std::unique_ptr<process::ProcessHandle> RunCommandLine(std::string_view command_line) override {
    std::string cmd(command_line);
    launches_.push_back(cmd);
    auto it = programs_.find(cmd);
    if (it == programs_.end()) return nullptr;  // nothing to start: the launcher reports and returns
    const Program& program = it->second;
    const bool runs =
        program.ending == Ending::Runs || (program.ending == Ending::SingleInstance && !Running(program.image));
    using Kind = process::Exit::Kind;
    const process::Exit failed = program.ending == Ending::CrashesAtOnce    ? process::Exit{Kind::Signal, 11}
                                 : program.ending == Ending::SingleInstance ? process::Exit{Kind::Status, 3}
                                                                            : process::Exit{};
    auto state = std::make_shared<State>(State{program.image, runs, runs ? std::nullopt : std::optional(failed)});
    if (runs) processes_.push_back(state);
    if (!program.leaves_running.empty()) Start(program.leaves_running);
    auto handle = std::make_unique<Handle>(state);
    handle->SetProgram(program.file.empty() ? program.image : program.file);
    handle->SetId(static_cast<long long>(1000 + launches_.size()));
    return handle;
  }

  std::string ProgramOf(std::string_view command_line) override {
    const auto it = programs_.find(std::string(command_line));
    return it == programs_.end() ? std::string() : it->second.file.empty() ? it->second.image : it->second.file;
  }

  bool SameImageName(std::string_view a, std::string_view b) const override {
    return Same(std::string(a), std::string(b));
  }

 private:
  // A process: running while alive, then ended as `how` says.
  struct State {
    std::string image;
    bool alive;
    std::optional<process::Exit> how{};
  };
  struct Handle : process::ProcessHandle {
    explicit Handle(std::shared_ptr<State> s) : state(std::move(s)) {}
    bool IsRunning() override { return state->alive; }
    std::optional<process::Exit> HowItEnded() override { return state->alive ? std::nullopt : state->how; }
    std::shared_ptr<State> state;
  };
  static bool Same(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char c) { return std::tolower(c); };
    return std::ranges::equal(a, b, {}, lower, lower);
  }

  std::map<std::string, Program> programs_;
  std::vector<std::shared_ptr<State>> processes_;  // the processes that run now
  std::vector<std::string> launches_;
  std::vector<std::string> reports_;
  bool scan_fails_ = false;
  int probes_outside_pass_ = 0;
  bool in_pass_ = false;
};

}  // namespace fakes
