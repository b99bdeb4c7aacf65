// What a run did, told as it happens: each step light's change of colour, each launch, STOP and the
// outcome. The headless front end prints these lines; every front end may keep them.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace app {

// How the main window ended, told once as it closes.
struct RunEnd {
  // The Auto Close countdown ran out, which stores "!!! SUCCESS !!!": the run ended by itself
  // rather than being closed or stopped.
  bool auto_close_ran_out = false;
  // Steps of the run whose launch started nothing, in order ("PELLUM-ON", "CLI", "PELLUM-OFF"):
  // the sequence does not wait for these programs, so such a run can still reach its end.
  std::vector<std::string> missed_launches;
};

class RunReport {
 public:
  virtual ~RunReport() = default;
  // One event, as one line of text without a line break.
  virtual void Line(std::string_view text) = 0;
  virtual void Finished(const RunEnd& end) = 0;
};

}  // namespace app
