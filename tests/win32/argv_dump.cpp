// A test program for the launcher: writes the arguments it received, one a line in UTF-8, to
// argv.txt beside itself, so a test can see how its command line was split.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(length > 0 ? static_cast<std::size_t>(length - 1) : 0, '\0');
  if (length > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), length, nullptr, nullptr);
  return result;
}

}  // namespace

int main() {
  wchar_t self[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  std::wstring out(self, length);
  out = out.substr(0, out.find_last_of(L'\\') + 1) + L"argv.txt";

  int count = 0;
  // The process's own command line, split by the rules every C runtime on Windows applies.
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::string text;
  for (int i = 0; words != nullptr && i < count; ++i) text += Utf8(words[i]) + "\n";
  LocalFree(words);

  const HANDLE file = CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
