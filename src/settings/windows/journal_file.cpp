// The Windows journal file: no reparse point on the way, append, rotation at 1 MiB.
#include "settings/windows/journal_file.h"

#include <cstdio>
#include <utility>

#include "process/windows/win32_text.h"
#include "settings/store.h"

namespace settings {

namespace {

bool IsLink(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::string ErrorText(DWORD error) { return "error " + std::to_string(error); }

}  // namespace

JournalFile::JournalFile(std::wstring folder, std::string section, std::function<std::string()> now_text)
    : now_text_(std::move(now_text)) {
  if (!folder.empty()) {
    folder_ = folder + L"\\TARNWICK";
    path_ = folder_ + L"\\" + process::Widen(section) + L".log";
    old_path_ = path_ + L".1";
  }
}

std::wstring JournalFile::LocalAppData() {
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, static_cast<DWORD>(std::size(buffer)));
  if (length == 0 || length >= std::size(buffer)) return {};
  return std::wstring(buffer, length);
}

std::string JournalFile::LocalTimeNow() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  TIME_ZONE_INFORMATION zone{};
  const DWORD kind = GetTimeZoneInformation(&zone);
  LONG bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                           : kind == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                           : 0);
  const char sign = bias > 0 ? '-' : '+';  // the bias is UTC minus local time
  if (bias < 0) bias = -bias;
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u %c%02ld%02ld", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, sign, bias / 60, bias % 60);
  return text;
}

void JournalFile::Line(std::string_view text) {
  std::string problem;
  if (path_.empty()) {
    problem = "no journal is kept: LOCALAPPDATA names no folder";
  } else {
    const std::string line = OneLine(now_text_() + " " + std::string(text)) + "\r\n";
    problem = Append(line);
    if (!problem.empty()) problem = "the journal " + process::Narrow(path_) + " is not written: " + problem;
  }
  if (problem == last_said_) return;
  last_said_ = problem;
  if (!problem.empty()) process::ReportProblem(problem);
}

std::string JournalFile::Append(const std::string& line) {
  if (IsLink(folder_)) return "its folder is a link";
  if (!CreateDirectoryW(folder_.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return "its folder cannot be made (" + ErrorText(GetLastError()) + ")";
  if (IsLink(path_)) return "it is a link";
  const auto open = [&](DWORD disposition) {
    return CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  };
  HANDLE file = open(OPEN_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return ErrorText(GetLastError());
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return "it is not a regular file";
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart >= kRotateBytes) {
    // One old journal is kept; the line goes to a new one.
    CloseHandle(file);
    if (!MoveFileExW(path_.c_str(), old_path_.c_str(), MOVEFILE_REPLACE_EXISTING))
      return "it cannot be moved aside (" + ErrorText(GetLastError()) + ")";
    file = open(CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE) return ErrorText(GetLastError());
  }
  DWORD written = 0;
  const bool ok =
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
  const DWORD error = GetLastError();
  CloseHandle(file);
  return ok ? std::string() : ErrorText(error);
}

}  // namespace settings
