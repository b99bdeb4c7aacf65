// The process port: asking whether a process with a given image name runs, and starting a
// command line without waiting for it. One implementation per platform, a fake for tests.
#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace process {

// "Unknown" is the answer when the process list itself could not be read: callers change nothing
// on it, since reading it as "not running" would end a pause or send a stop command wrongly.
enum class Probe { NotRunning, Running, Unknown };

// How a program ended: with an exit status, or ended by a signal (Linux only; on Windows a killed
// program has an exit code like any other).
struct Exit {
  enum class Kind { Status, Signal };
  Kind kind = Kind::Status;
  int value = 0;
  bool success() const { return kind == Kind::Status && value == 0; }
  bool operator==(const Exit&) const = default;
};

// Tells whether the very program a launch started is still running, unfooled by reused ids.
class ProcessHandle {
 public:
  virtual ~ProcessHandle() = default;
  virtual bool IsRunning() = 0;
  // How the program ended; none while it runs and where the platform cannot tell (its status was
  // collected by someone else).
  virtual std::optional<Exit> HowItEnded() { return std::nullopt; }
  // True once the program has ended with exit status 0.
  bool EndedWithSuccess() {
    const std::optional<Exit> exit = HowItEnded();
    return exit && exit->success();
  }
  // The program file the launch resolved and started (its path as the launcher found it), so a
  // caller can tell which name it runs under; empty where the platform could not say.
  const std::string& Program() const { return program_; }
  void SetProgram(std::string program) { program_ = std::move(program); }
  // The system's id of the started process (a pid, a Windows process id); 0 where not known.
  long long Id() const { return id_; }
  void SetId(long long id) { id_ = id; }

 private:
  std::string program_;
  long long id_ = 0;
};

class ProcessControl {
 public:
  virtual ~ProcessControl() = default;
  // True when at least one running process has this image name (file name only, any letter case).
  virtual Probe IsProcessRunning(std::string_view image_name) = 0;
  // Starts the command line detached and returns at once. Returns no handle when nothing could be
  // started (that is reported on standard error; the step's next probe simply finds nothing).
  virtual std::unique_ptr<ProcessHandle> RunCommandLine(std::string_view command_line) = 0;
  // The program file a launch of this command line would start now, found as the launch finds it;
  // empty when it would start nothing or the platform cannot say. Starts nothing, says nothing.
  virtual std::string ProgramOf(std::string_view /*command_line*/) { return {}; }
  // Tells the user of a problem the program carries on after, as the port reports its own.
  virtual void Report(std::string_view message) = 0;
  // Whether two file names are one image name, compared exactly as IsProcessRunning compares them.
  // By default ASCII letters match in either case; the platforms fold case as their probes do.
  virtual bool SameImageName(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
      if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
  }

  // A timer pass: the ticks due at one moment, run one after the other. Between these two calls
  // every probe may be answered from one reading of the process list, taken at the pass's first
  // probe; a launch made during the pass makes the next probe read the list afresh. Outside a pass
  // every probe reads its own. The front end's timer routine brackets each pass with them.
  virtual void BeginPass() {}
  virtual void EndPass() {}
};

// Brackets one timer pass of a port (see ProcessControl::BeginPass).
class TimerPass {
 public:
  explicit TimerPass(ProcessControl& control) : control_(control) { control_.BeginPass(); }
  ~TimerPass() { control_.EndPass(); }
  TimerPass(const TimerPass&) = delete;
  TimerPass& operator=(const TimerPass&) = delete;

 private:
  ProcessControl& control_;
};

}  // namespace process
