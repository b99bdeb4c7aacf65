// The Linux probe: whether a process runs under an image name, judged from /proc. It reads our own
// children first, and lets every probe of one timer pass share a single reading of the list.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "process/process.h"

namespace process {

// True when two file names are the same ignoring letter case: ASCII, and the two-byte UTF-8
// letters of Latin-1, Latin Extended-A, Greek and Cyrillic. Other bytes must match exactly.
bool SameImageName(std::string_view a, std::string_view b);

class HeldCommandLines;

class ProcProbe {
 public:
  // `proc_root` is where the process list is read; tests point it elsewhere.
  explicit ProcProbe(std::string proc_root);
  ~ProcProbe();
  ProcProbe(const ProcProbe&) = delete;
  ProcProbe& operator=(const ProcProbe&) = delete;

  // `own_children` are processes this program started and has not reaped: their ids cannot name
  // anyone else, so one of them that matches answers "running" without a scan. `launches` counts
  // every launch so far; a launch made during a pass makes the pass read the list afresh.
  Probe IsRunning(std::string_view image_name, const std::vector<pid_t>& own_children, std::uint64_t launches);

  // Between these, every probe walks one list of processes and reads each fact of a process at
  // most once; outside a pass every probe makes its own scan.
  void BeginPass();
  void EndPass();

 private:
  struct Pass;
  std::string proc_root_;
  std::unique_ptr<HeldCommandLines> held_;
  std::unique_ptr<Pass> pass_;
};

}  // namespace process
