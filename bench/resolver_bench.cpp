// Benchmark of Linux command-line resolution on very long unquoted lines: the time grows with the
// line's length, not with its square (a line of 600 KB once froze the window for seconds).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "process/command_line.h"

namespace {

using Clock = std::chrono::steady_clock;

bool IsProgram(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}
bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Milliseconds for one resolution of `line` (best of three), with the real file checks.
double Time(const std::string& line, bool& ok) {
  const process::PathChecks checks{IsProgram, IsFolder};
  double best = 1e300;
  for (int round = 0; round < 3; ++round) {
    const auto start = Clock::now();
    ok = process::ResolveLinuxCommandLine(line, checks, "/usr/bin:/bin", "/root").ok;
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  // The worst shapes: one-letter words after a real program (every run a candidate), and a path of
  // one-letter folders with spaces (every "/" a folder candidate), each 60 KB, 600 KB and 6 MB.
  std::printf("%-44s %10s %10s %12s\n", "line", "bytes", "ms", "ns per byte");
  for (const std::size_t size : {std::size_t{60'000}, std::size_t{600'000}, std::size_t{6'000'000}}) {
    std::string words = "/bin/true";
    while (words.size() < size) words += " a";
    std::string folders = "/tmp/no such";
    while (folders.size() < size) folders += "/a b";
    for (const auto& [name, line] : {std::pair{"/bin/true a a a … (every run tried)", words},
                                     std::pair{"/tmp/no such/a b/a b … (every folder tried)", folders}}) {
      bool ok = false;
      const double ms = Time(line, ok);
      std::printf("%-44s %10zu %10.2f %12.2f%s\n", name, line.size(), ms, ms * 1e6 / double(line.size()),
                  ok ? "" : " (names nothing)");
    }
  }
  return 0;
}
