// One copy a settings section on Windows: a named mutex in the session's own namespace, held for
// the program's life and let go by Windows however the program ends.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "settings/one_copy.h"

namespace settings {

class SessionMutexGuard : public SectionGuard {
 public:
  SessionMutexGuard() = default;
  ~SessionMutexGuard() override;
  SessionMutexGuard(const SessionMutexGuard&) = delete;
  SessionMutexGuard& operator=(const SessionMutexGuard&) = delete;

  // "Local\<application>.<SECTION>": the registry reads a key's name without regard to letter case,
  // so "Night" and "NIGHT" are one section and must be one mutex. A mutex of that name made by a
  // program of another user (who could share the session) keeps nothing out: it is named, not obeyed.
  SectionHold Hold(std::string_view application, std::string_view section) override;

  static std::wstring MutexName(std::string_view application, std::string_view section);

 private:
  std::vector<HANDLE> held_;
};

}  // namespace settings
