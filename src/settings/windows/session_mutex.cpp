// The session mutex that keeps a second copy of one settings section from running.
#include "settings/windows/session_mutex.h"

#include <aclapi.h>

#include <memory>

#include "process/windows/win32_text.h"

namespace settings {
namespace {

std::string ErrorText(DWORD error) { return "Windows error " + std::to_string(error); }

// The user this program runs as, or empty when it cannot be told.
std::vector<BYTE> OwnUser() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  const bool got = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
  CloseHandle(token);
  return got ? user : std::vector<BYTE>{};
}

// Whether the object was made by a program of another user; false when that cannot be told.
bool MadeByAnotherUser(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const std::vector<BYTE> user = OwnUser();
  const bool other =
      owner != nullptr && !user.empty() && !EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
  LocalFree(descriptor);
  return other;
}

}  // namespace

SessionMutexGuard::~SessionMutexGuard() {
  for (HANDLE mutex : held_) CloseHandle(mutex);
}

std::wstring SessionMutexGuard::MutexName(std::string_view application, std::string_view section) {
  std::wstring name = process::Widen(section);
  if (!name.empty()) {
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(), static_cast<int>(name.size()), name.data(),
                  static_cast<int>(name.size()), nullptr, nullptr, 0);
  }
  return L"Local\\" + process::Widen(application) + L"." + name;
}

SectionHold SessionMutexGuard::Hold(std::string_view application, std::string_view section) {
  using Kind = SectionHold::Kind;
  // Not inherited (no security attributes): a program we start must not keep the section after us.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, MutexName(application, section).c_str());
  const DWORD error = GetLastError();
  if (mutex == nullptr) return {Kind::kUnguarded, "the mutex cannot be made (" + ErrorText(error) + ")"};
  if (error == ERROR_ALREADY_EXISTS) {
    const bool squatted = MadeByAnotherUser(mutex);
    CloseHandle(mutex);
    if (squatted) return {Kind::kUnguarded, "a program of another user holds its mutex"};
    return {Kind::kHeldByOther, {}};
  }
  held_.push_back(mutex);
  return {Kind::kHeld, {}};
}

}  // namespace settings
