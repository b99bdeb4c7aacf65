// The Windows process port against real Windows processes: the probe, the launcher's reading of
// unquoted locations with spaces, and the handle that tells a running program from an ended one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

#include "process/windows/win32_process.h"

#include <tlhelp32.h>
#include "win32_test_support.h"

namespace {

using process::Probe;
using win32_test::Utf8;
using win32_test::WaitFor;
using win32_test::fs::path;

std::string Cased(std::string text, int (*to)(int)) {
  std::transform(text.begin(), text.end(), text.begin(), [to](char c) { return static_cast<char>(to(c)); });
  return text;
}

TEST(Win32ProcessProbe, FindsAProgramByImageNameInAnyCaseAndNotOnceItHasEnded) {
  win32_test::TempFolder temp;
  // A name no other test uses, so tests running side by side never see each other's programs.
  const std::string image = "TwProbe" + std::to_string(GetCurrentProcessId()) + ".exe";
  win32_test::fs::copy_file(win32_test::Self().parent_path() / "MF-PELLUM-ON.exe", temp.path() / image);
  process::Win32ProcessControl control;
  ASSERT_EQ(control.IsProcessRunning(image), Probe::NotRunning);
  auto handle = control.RunCommandLine(Utf8(temp.path() / image) + " --forever");
  ASSERT_NE(handle, nullptr);
  EXPECT_TRUE(handle->IsRunning());
  EXPECT_FALSE(handle->EndedWithSuccess());
  EXPECT_TRUE(WaitFor([&] { return control.IsProcessRunning(Cased(image, ::toupper)) == Probe::Running; }));
  EXPECT_EQ(control.IsProcessRunning(Cased(image, ::tolower)), Probe::Running);
  // Never a match: no extension, empty, or a path, even for a program that runs.
  const std::string own = Utf8(win32_test::Self().filename());
  for (const std::string& name :
       {image.substr(0, image.size() - 4), std::string(), Utf8(win32_test::Self()), "bin/" + own, "bin\\" + own})
    EXPECT_EQ(control.IsProcessRunning(name), Probe::NotRunning) << name;

  auto* native = dynamic_cast<process::Win32ProcessHandle*>(handle.get());
  ASSERT_NE(native, nullptr);
  ASSERT_TRUE(TerminateProcess(native->native(), 7));
  EXPECT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
  EXPECT_FALSE(handle->EndedWithSuccess()) << "ended with exit code 7";
  EXPECT_TRUE(WaitFor([&] { return control.IsProcessRunning(image) == Probe::NotRunning; }));
}

TEST(Win32ProcessProbe, AnUnreadableProcessListIsUnknownAndEverySnapshotIsClosed) {
  process::Win32ProcessControl failing([] {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  });
  EXPECT_EQ(failing.IsProcessRunning("explorer.exe"), Probe::Unknown);
  std::vector<HANDLE> taken;
  process::Win32ProcessControl watched(
      [&] { return taken.emplace_back(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)); });
  EXPECT_EQ(watched.IsProcessRunning(Utf8(win32_test::Self().filename())), Probe::Running);  // stops the walk early
  EXPECT_EQ(watched.IsProcessRunning("no-such-program-anywhere.exe"), Probe::NotRunning);    // walks it all
  ASSERT_EQ(taken.size(), 2u);
  for (HANDLE snapshot : taken) {
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(snapshot, &flags)) << "the snapshot handle was left open";
  }
}

TEST(Win32ProcessProbe, OneSnapshotServesATimerPassAndALaunchDuringItTakesAnother) {
  std::vector<HANDLE> taken;
  process::Win32ProcessControl control(
      [&] { return taken.emplace_back(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)); });
  win32_test::TempFolder temp;
  const std::string image = "TwPass" + std::to_string(GetCurrentProcessId()) + ".exe";
  win32_test::fs::copy_file(win32_test::Self().parent_path() / "MF-PELLUM-ON.exe", temp.path() / image);
  const std::string own = Utf8(win32_test::Self().filename());
  std::unique_ptr<process::ProcessHandle> handle;
  {
    const process::TimerPass pass(control);
    EXPECT_EQ(control.IsProcessRunning(own), Probe::Running);
    EXPECT_EQ(control.IsProcessRunning(image), Probe::NotRunning);
    EXPECT_EQ(control.IsProcessRunning(own), Probe::Running);  // the same snapshot, walked again
    EXPECT_EQ(taken.size(), 1u);
    handle = control.RunCommandLine(Utf8(temp.path() / image) + " --forever");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(control.IsProcessRunning(image), Probe::Running) << "a launch during the pass takes a new snapshot";
    EXPECT_EQ(taken.size(), 2u);
  }
  EXPECT_EQ(control.IsProcessRunning(image), Probe::Running);
  EXPECT_EQ(control.IsProcessRunning(own), Probe::Running);
  EXPECT_EQ(taken.size(), 4u) << "outside a pass every probe takes its own";
  for (HANDLE snapshot : taken) {
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(snapshot, &flags)) << "the snapshot handle was left open";
  }
  auto* native = dynamic_cast<process::Win32ProcessHandle*>(handle.get());
  ASSERT_NE(native, nullptr);
  ASSERT_TRUE(TerminateProcess(native->native(), 7));
  EXPECT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
}

// Unquoted locations with spaces, with and without the extension, and a quoted line passed as written.
TEST(Win32Launcher, StartsTheProgramInAFolderWithSpacesWithItsOwnArguments) {
  win32_test::TempFolder temp;
  for (const std::wstring folder : {L"My Tools", L"Ünïcode Tööls 日本"}) {
    const path tools = temp.path() / folder;
    win32_test::fs::create_directories(tools);
    win32_test::fs::copy_file(win32_test::Self().parent_path() / "argv_dump.exe", tools / "x.exe");
    const std::string exe = Utf8(tools / "x.exe");
    const struct {
      std::string line;
      std::vector<std::string> words;
    } cases[] = {
        {Utf8(tools) + "\\x.exe -arg second", {exe, "-arg", "second"}},
        {Utf8(tools) + "\\x -arg second", {exe, "-arg", "second"}},  // a location is often stored without it
        {"\"" + exe + "\" \"two words\" -z", {exe, "two words", "-z"}},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.line);
      std::error_code ignored;
      win32_test::fs::remove(tools / "argv.txt", ignored);
      auto handle = process::Win32ProcessControl().RunCommandLine(c.line);
      ASSERT_NE(handle, nullptr);
      ASSERT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
      EXPECT_TRUE(handle->EndedWithSuccess());
      std::ifstream in(tools / "argv.txt", std::ios::binary);
      std::vector<std::string> words;
      for (std::string line; std::getline(in, line);) words.push_back(line);
      EXPECT_EQ(words, c.words) << "a folder's second word taken as an argument?";
    }
  }
  process::Win32ProcessControl control;  // nothing starts for an empty or missing program, or a folder
  for (const std::string& line :
       {std::string(), Utf8(temp.path() / "Not Here" / "nothing.exe") + " -arg", Utf8(temp.path())})
    EXPECT_EQ(control.RunCommandLine(line), nullptr) << line;
}

// A typo in a location one folder below an existing folder with a space in its name: CreateProcess
// would search "...\Prog.exe" first, so the launch fails instead, with no handle and nothing run.
TEST(Win32Launcher, AMissingProgramNeverBecomesAShorterOne) {
  win32_test::TempFolder temp;
  const path root = temp.path();
  win32_test::fs::copy_file(win32_test::Self().parent_path() / "argv_dump.exe", root / "Prog.exe");
  win32_test::fs::create_directories(root / "Prog Files" / "tw");
  const struct {
    std::string line;
    bool starts;
  } cases[] = {
      {Utf8(root) + "\\Prog Files\\tw\\NODE.exe --x 1", false},
      {Utf8(root) + "\\Prog Files\\nosuch\\NODE.exe --x 1", false},
      {Utf8(root) + "\\Prog Files\\tw\\NODE", false},
      {Utf8(root) + "\\Prog Gone\\NODE.exe", true},  // no such folder: "Prog" and its argument, as typed
  };
  process::Win32ProcessControl control;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::error_code ignored;
    win32_test::fs::remove(root / "argv.txt", ignored);
    auto handle = control.RunCommandLine(c.line);
    EXPECT_EQ(handle != nullptr, c.starts);
    if (handle != nullptr) {
      ASSERT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
    }
    EXPECT_EQ(win32_test::fs::exists(root / "argv.txt"), c.starts);
  }
}

// Windows' 32,767-character limit is said, not applied by cutting: a line at the limit starts
// nothing, while a long line below it runs whole. Counted in UTF-16 units, not bytes. (Wine itself
// cuts the last two characters of a line just below the limit, so the edge is checked only by refusal.)
TEST(Win32Launcher, RefusesACommandLineOverTheSystemsLimitInsteadOfCuttingIt) {
  win32_test::TempFolder temp;
  win32_test::fs::copy_file(win32_test::Self().parent_path() / "argv_dump.exe", temp.path() / "x.exe");
  const std::string exe = Utf8(temp.path() / "x.exe");
  const std::size_t fits = process::kMaxCommandLineChars - 1;
  std::string non_bmp;  // U+20BB7 9,000 times: 36,000 bytes, but 18,000 UTF-16 units
  for (int i = 0; i < 9000; ++i) non_bmp += "\xF0\xA0\xAE\xB7";
  const struct {
    std::string argument;
    bool starts;
  } cases[] = {
      {std::string(fits - exe.size() - 1 - 100, 'a'), true},
      {std::string(fits - exe.size(), 'a'), false},
      {std::string(fits - exe.size() + 5000, 'a'), false},
      {non_bmp, true},
  };
  for (const auto& c : cases) {
    std::error_code ignored;
    win32_test::fs::remove(temp.path() / "argv.txt", ignored);
    auto handle = process::Win32ProcessControl().RunCommandLine(exe + " " + c.argument);
    ASSERT_EQ(handle != nullptr, c.starts) << c.argument.size();
    if (!c.starts) continue;
    ASSERT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
    std::ifstream in(temp.path() / "argv.txt", std::ios::binary);
    std::vector<std::string> words;
    for (std::string line; std::getline(in, line);) words.push_back(line);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[1].size(), c.argument.size()) << "the argument arrived cut";
    EXPECT_TRUE(words[1] == c.argument);
  }
}

}  // namespace
