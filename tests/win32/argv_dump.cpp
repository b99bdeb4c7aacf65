// A test program for the launcher: writes the arguments it received, one a line in UTF-8, to
// argv.txt beside itself, so a test can see how its command line was split.
#include <windows.h>
#include <shellapi.h>

#include <filesystem>
#include <fstream>

int main() {
  wchar_t self[MAX_PATH * 4];
  const std::filesystem::path out =
      std::filesystem::path(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH * 4))).parent_path() /
      L"argv.txt";
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  int count = 0;
  // The process's own command line, split by the rules every C runtime on Windows applies.
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 0; words != nullptr && i < count; ++i) {
    const std::u8string text = std::filesystem::path(words[i]).u8string();
    file << std::string(text.begin(), text.end()) << '\n';
  }
  LocalFree(words);
  return file.good() ? 0 : 1;
}
