// The start-up rule for one copy a settings section, on every answer the guard can give.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "settings/one_copy.h"

namespace {

using settings::SectionHold;
using Kind = SectionHold::Kind;

class ScriptedGuard : public settings::SectionGuard {
 public:
  explicit ScriptedGuard(SectionHold answer) : answer_(std::move(answer)) {}
  SectionHold Hold(std::string_view application, std::string_view section) override {
    asked_ += std::string(application) + "/" + std::string(section) + ";";
    return answer_;
  }
  std::string asked_;

 private:
  SectionHold answer_;
};

TEST(OneCopyPerSection, ASecondCopyEndsWithStatusTwoAndAnUnguardedOneRunsSayingSo) {
  struct Case {
    SectionHold hold;
    bool run;
    int status;
    std::vector<std::string> said;  // all in one line; none when empty
  };
  const std::vector<Case> cases = {
      {{Kind::kHeld, {}}, true, 0, {}},
      {{Kind::kHeldByOther, {}},
       false,
       2,
       {"another copy of the program runs under the settings section \"NIGHT\nRUN\"", "ends without doing anything"}},
      {{Kind::kUnguarded, "the folder /x\ny is read-only"},
       true,
       0,
       {"cannot guard the settings section \"NIGHT\nRUN\" against a second copy", "(the folder /x\ny is read-only)",
        "running anyway"}},
  };
  for (const Case& c : cases) {
    ScriptedGuard guard(c.hold);
    const settings::StartUp start = settings::OneCopyPerSection(guard, "TARNWICK", "NIGHT\nRUN");
    EXPECT_EQ(guard.asked_, "TARNWICK/NIGHT\nRUN;");
    EXPECT_EQ(start.run, c.run);
    EXPECT_EQ(start.run ? 0 : start.exit_status, c.status);
    EXPECT_EQ(start.say.empty(), c.said.empty()) << start.say;
    EXPECT_EQ(start.say.find('\n'), std::string::npos) << "more than one line: " << start.say;
    for (std::string part : c.said) {
      std::replace(part.begin(), part.end(), '\n', ' ');
      EXPECT_NE(start.say.find(part), std::string::npos) << start.say << " lacks " << part;
    }
  }
}

}  // namespace
