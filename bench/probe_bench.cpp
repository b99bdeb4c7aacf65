// Benchmark of the process probe on a busy process list: our /proc scan (a long-lived control, a
// timer pass's first probe, a control that has read nothing yet) against `pgrep -x -i`, a psutil
// name-matching loop, and the bare floor of reading every pid's exe link and cmdline.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "process/linux/linux_process.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::string& program, std::vector<std::string> argv, int stdout_fd = -1) {
  std::vector<char*> pointers;
  for (std::string& word : argv) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdout_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, stdout_fd, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, pointers.data(), environ) != 0) { pid = -1; }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

enum Reads { kExe = 1, kCmdline = 2, kBoth = 3 };

// The least any scan must do: every pid's exe link and command line, exact comparison. The
// one-sided variants show what each of the two reads costs on this machine.
bool FloorScan(const char* name, int reads = kBoth) {
  const int proc_fd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = fdopendir(proc_fd);
  bool found = false;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    char path[300];
    std::snprintf(path, sizeof path, "%s/exe", entry->d_name);
    char target[4096];
    const ssize_t n = (reads & kExe) ? readlinkat(proc_fd, path, target, sizeof target - 1) : -1;
    if (n > 0) {
      target[n] = '\0';
      const char* slash = std::strrchr(target, '/');
      if (std::strcmp(slash != nullptr ? slash + 1 : target, name) == 0) found = true;
    }
    std::snprintf(path, sizeof path, "%s/cmdline", entry->d_name);
    char cmdline[4096];
    const int fd = (reads & kCmdline) ? openat(proc_fd, path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd >= 0) {
      const ssize_t m = read(fd, cmdline, sizeof cmdline - 1);
      close(fd);
      if (m > 0) {
        cmdline[m] = '\0';
        const char* slash = std::strrchr(cmdline, '/');
        if (std::strcmp(slash != nullptr ? slash + 1 : cmdline, name) == 0) found = true;
      }
    }
    if (found) break;
  }
  closedir(dir);
  return found;
}

bool Pgrep(const std::string& name) {
  const pid_t pid = Spawn("/usr/bin/pgrep", {"pgrep", "-x", "-i", name});
  return pid > 0 && Wait(pid) == 0;
}

// Milliseconds per probe over `count` probes; checks every answer against `expected`.
double TimePerProbe(int count, bool expected, const std::function<bool()>& probe) {
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    if (probe() != expected) {
      std::fprintf(stderr, "probe_bench: a probe gave the wrong answer\n");
      std::exit(1);
    }
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / count;
}

const char* kPsutilLoop = R"(
import os, sys, time, psutil
name, iterations, expected = sys.argv[1].lower(), int(sys.argv[2]), sys.argv[3] == "1"
def base(p): return os.path.basename(p or "").lower()
def probe():
    for p in psutil.process_iter(["name", "exe", "cmdline"]):
        i = p.info
        if (base(i["exe"]) == name or (i["cmdline"] and base(i["cmdline"][0]) == name)
                or (i["name"] or "").lower() == name):
            return True
    return False
if probe() != expected: sys.exit(1)
start = time.perf_counter()
for _ in range(iterations):
    if probe() != expected: sys.exit(1)
print((time.perf_counter() - start) * 1000.0 / iterations)
)";

// One Python process times its own loop, so interpreter start-up is not counted.
double PsutilPerProbe(const std::string& python, const std::string& name, bool expected, int count) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return -1;
  const pid_t pid =
      Spawn(python, {python, "-c", kPsutilLoop, name, std::to_string(count), expected ? "1" : "0"}, pipe_ends[1]);
  close(pipe_ends[1]);
  std::string output;
  char buffer[256];
  for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) output.append(buffer, n);
  close(pipe_ends[0]);
  if (pid <= 0 || Wait(pid) != 0) return -1;
  return std::atof(output.c_str());
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int CountProcesses() {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    count += name.find_first_not_of("0123456789") == std::string::npos;
  }
  return count;
}

}  // namespace

// Usage: probe_bench [extra-processes=300] [rounds=5]   (PYTHON=... picks the interpreter)
int main(int argc, char** argv) {
  const int extra = argc > 1 ? std::atoi(argv[1]) : 300;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const char* python_env = std::getenv("PYTHON");
  const std::string python = python_env != nullptr ? python_env : "/usr/bin/python3";

  std::vector<pid_t> sleepers;
  for (int i = 0; i < extra; ++i) sleepers.push_back(Spawn("/bin/sleep", {"sleep", "600"}));
  // The hit target: a short name, so pgrep (which matches the 15-character name) finds it too.
  const fs::path folder = fs::temp_directory_path() / ("tnw-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path target = folder / "tnwbenchtarget";
  fs::copy_file("/bin/sleep", target, fs::copy_options::overwrite_existing);
  sleepers.push_back(Spawn(target.string(), {target.string(), "600"}));
  const std::string hit = "TnwBenchTarget";
  // At most 15 characters: pgrep refuses longer names at once, which would time nothing.
  const std::string miss = "tnwnosuchprog";

  process::LinuxProcessControl control;
  struct Method {
    const char* label;
    std::function<double(const std::string&, bool)> per_probe;
    std::vector<double> miss_ms, hit_ms;
  };
  std::vector<Method> methods = {
      {"ours (LinuxProcessControl)",
       [&](const std::string& name, bool expected) {
         return TimePerProbe(300, expected, [&] { return control.IsProcessRunning(name) == process::Probe::Running; });
       },
       {},
       {}},
      {"ours, a pass's first probe",
       [&](const std::string& name, bool expected) {
         // A timer pass of one probe: the list is read and each fact kept, then the pass ends.
         return TimePerProbe(300, expected, [&] {
           const process::TimerPass pass(control);
           return control.IsProcessRunning(name) == process::Probe::Running;
         });
       },
       {},
       {}},
      {"ours, a control's first probe",
       [&](const std::string& name, bool expected) {
         // Nothing read or opened before: every command line is opened and kept. Only the probe
         // is timed; closing what it kept, when the control goes, is not.
         double total_ms = 0;
         for (int i = 0; i < 100; ++i) {
           auto fresh = std::make_unique<process::LinuxProcessControl>();
           const auto start = Clock::now();
           const bool running = fresh->IsProcessRunning(name) == process::Probe::Running;
           total_ms += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
           if (running != expected) {
             std::fprintf(stderr, "probe_bench: a probe gave the wrong answer\n");
             std::exit(1);
           }
         }
         return total_ms / 100;
       },
       {},
       {}},
      {"floor (exe + cmdline per pid)",
       [&](const std::string& name, bool expected) {
         // The floor compares exactly, so it is given the target's exact name.
         const std::string exact = expected ? "tnwbenchtarget" : name;
         return TimePerProbe(300, expected, [&] { return FloorScan(exact.c_str()); });
       },
       {},
       {}},
      {"  exe links only (part)",
       [&](const std::string& name, bool) {
         return TimePerProbe(300, false, [&] { return FloorScan(name.c_str(), kExe) && false; });
       },
       {},
       {}},
      {"  cmdlines only (part)",
       [&](const std::string& name, bool) {
         return TimePerProbe(300, false, [&] { return FloorScan(name.c_str(), kCmdline) && false; });
       },
       {},
       {}},
      {"pgrep -x -i (fork+exec)",
       [&](const std::string& name, bool expected) { return TimePerProbe(20, expected, [&] { return Pgrep(name); }); },
       {},
       {}},
      {"psutil process_iter loop",
       [&](const std::string& name, bool expected) { return PsutilPerProbe(python, name, expected, 20); },
       {},
       {}},
  };

  const int processes = CountProcesses();
  for (int round = 0; round < rounds; ++round) {
    for (Method& method : methods) {
      method.miss_ms.push_back(method.per_probe(miss, false));
      method.hit_ms.push_back(method.per_probe(hit, true));
    }
  }

  for (const pid_t pid : sleepers) {
    if (pid > 0) kill(pid, SIGKILL);
  }
  for (const pid_t pid : sleepers) {
    if (pid > 0) waitpid(pid, nullptr, 0);
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);

  const double ours_miss = Median(methods[0].miss_ms);
  const double ours_hit = Median(methods[0].hit_ms);
  std::printf("processes in /proc: %d (of which %d started by the benchmark); median of %d rounds\n", processes,
              extra + 1, rounds);
  std::printf("%-31s %12s %12s %12s %12s\n", "method", "miss ms", "hit ms", "miss x ours", "hit x ours");
  for (const Method& method : methods) {
    const double miss_ms = Median(method.miss_ms);
    const double hit_ms = Median(method.hit_ms);
    if (miss_ms < 0 || hit_ms < 0) {
      std::printf("%-31s %12s %12s\n", method.label, "failed", "failed");
      continue;
    }
    std::printf("%-31s %12.4f %12.4f %12.2f %12.2f\n", method.label, miss_ms, hit_ms, miss_ms / ours_miss,
                hit_ms / ours_hit);
  }
  return 0;
}
