// The Windows process port against real Windows processes: the probe, the launcher's reading of
// unquoted locations with spaces, and the handle that tells a running program from an ended one.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "process/windows/win32_process.h"

#include <tlhelp32.h>
#include "win32_test_support.h"

namespace {

using process::Probe;
using win32_test::Utf8;
using win32_test::WaitFor;
using win32_test::fs::path;

// Copies one of the programs built beside this test to `to`; its path in UTF-8.
std::string CopyOf(const char* program, const path& to) {
  win32_test::fs::copy_file(win32_test::Self().parent_path() / program, to);
  return Utf8(to);
}

// The arguments argv_dump received, from the argv.txt it wrote in `folder`, which goes: the next
// run writes afresh, and a run that wrote nothing reads as none.
std::vector<std::string> TakeWords(const path& folder) {
  std::istringstream in(test_support::ReadFile(folder / "argv.txt"));
  std::error_code ignored;
  win32_test::fs::remove(folder / "argv.txt", ignored);
  std::vector<std::string> words;
  for (std::string line; std::getline(in, line);) words.push_back(line);
  return words;
}

void EndWithCode7(process::ProcessHandle& handle) {
  auto* native = dynamic_cast<process::Win32ProcessHandle*>(&handle);
  ASSERT_NE(native, nullptr);
  ASSERT_TRUE(TerminateProcess(native->native(), 7));
  EXPECT_TRUE(WaitFor([&] { return !handle.IsRunning(); }));
}

TEST(Win32ProcessProbe, FindsAProgramByImageNameInAnyCaseAndNotOnceItHasEnded) {
  win32_test::TempFolder temp;
  // A name no other test uses, so tests running side by side never see each other's programs.
  const std::string pid = std::to_string(GetCurrentProcessId()), image = "TwProbe" + pid + ".exe";
  const std::string exe = CopyOf("MF-PELLUM-ON.exe", temp.path() / image);
  process::Win32ProcessControl control;
  ASSERT_EQ(control.IsProcessRunning(image), Probe::NotRunning);
  auto handle = control.RunCommandLine(exe + " --forever");
  ASSERT_NE(handle, nullptr);
  EXPECT_TRUE(handle->IsRunning());
  EXPECT_FALSE(handle->EndedWithSuccess());
  EXPECT_TRUE(WaitFor([&] { return control.IsProcessRunning("TWPROBE" + pid + ".EXE") == Probe::Running; }));
  EXPECT_EQ(control.IsProcessRunning("twprobe" + pid + ".exe"), Probe::Running);
  // Never a match: no extension, empty, or a path, even for a program that runs.
  const std::string own = Utf8(win32_test::Self().filename());
  for (const std::string& name :
       {"TwProbe" + pid, std::string(), Utf8(win32_test::Self()), "bin/" + own, "bin\\" + own})
    EXPECT_EQ(control.IsProcessRunning(name), Probe::NotRunning) << name;
  EndWithCode7(*handle);
  EXPECT_EQ(handle->HowItEnded(), (process::Exit{process::Exit::Kind::Status, 7}));
  // Still held open here, the ended program is listed without threads: it does not run.
  EXPECT_TRUE(WaitFor([&] { return control.IsProcessRunning(image) == Probe::NotRunning; }));
}

TEST(Win32ProcessProbe, AnUnreadableProcessListIsUnknown) {
  process::Win32ProcessControl failing([] {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  });
  EXPECT_EQ(failing.IsProcessRunning("explorer.exe"), Probe::Unknown);
}

// Every snapshot is closed: a pass's at its end, a probe's whether its walk stopped early or not.
TEST(Win32ProcessProbe, OneSnapshotServesATimerPassAndALaunchDuringItTakesAnother) {
  std::vector<HANDLE> taken;
  process::Win32ProcessControl control(
      [&] { return taken.emplace_back(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)); });
  win32_test::TempFolder temp;
  const std::string image = "TwPass" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string exe = CopyOf("MF-PELLUM-ON.exe", temp.path() / image);
  const std::string own = Utf8(win32_test::Self().filename());
  std::unique_ptr<process::ProcessHandle> handle;
  {
    const process::TimerPass pass(control);
    EXPECT_EQ(control.IsProcessRunning(own), Probe::Running);
    EXPECT_EQ(control.IsProcessRunning(image), Probe::NotRunning);
    EXPECT_EQ(control.IsProcessRunning(own), Probe::Running);  // the same snapshot, walked again
    EXPECT_EQ(taken.size(), 1u);
    handle = control.RunCommandLine(exe + " --forever");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(control.IsProcessRunning(image), Probe::Running) << "a launch during the pass takes a new snapshot";
    EXPECT_EQ(taken.size(), 2u);
  }
  EXPECT_EQ(control.IsProcessRunning(image), Probe::Running);
  EXPECT_EQ(control.IsProcessRunning(own), Probe::Running);                                // stops the walk early
  EXPECT_EQ(control.IsProcessRunning("no-such-program-anywhere.exe"), Probe::NotRunning);  // walks it all
  EXPECT_EQ(taken.size(), 5u) << "outside a pass every probe takes its own";
  for (HANDLE snapshot : taken) {
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(snapshot, &flags)) << "the snapshot handle was left open";
  }
  EndWithCode7(*handle);
}

// Unquoted locations with spaces, with and without the extension, and a quoted line passed as written.
TEST(Win32Launcher, StartsTheProgramInAFolderWithSpacesWithItsOwnArguments) {
  win32_test::TempFolder temp;
  for (const std::wstring folder : {L"My Tools", L"Ünïcode Tööls 日本"}) {
    const path tools = temp.path() / folder;
    win32_test::fs::create_directories(tools);
    const std::string exe = CopyOf("argv_dump.exe", tools / "x.exe");
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
      auto handle = process::Win32ProcessControl().RunCommandLine(c.line);
      ASSERT_NE(handle, nullptr);
      ASSERT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
      EXPECT_TRUE(handle->EndedWithSuccess());
      EXPECT_EQ(TakeWords(tools), c.words) << "a folder's second word taken as an argument?";
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
  CopyOf("argv_dump.exe", root / "Prog.exe");
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
    auto handle = control.RunCommandLine(c.line);
    ASSERT_EQ(handle != nullptr, c.starts);
    if (handle != nullptr) {
      ASSERT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
    }
    EXPECT_EQ(TakeWords(root).empty(), !c.starts) << "what ran";
  }
}

// Windows' 32,767-character limit is said, not applied by cutting: a line at the limit starts
// nothing, while a long line below it runs whole. Counted in UTF-16 units, not bytes. (Wine itself
// cuts the last two characters of a line just below the limit, so the edge is checked only by refusal.)
TEST(Win32Launcher, RefusesACommandLineOverTheSystemsLimitInsteadOfCuttingIt) {
  win32_test::TempFolder temp;
  const std::string exe = CopyOf("argv_dump.exe", temp.path() / "x.exe");
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
    auto handle = process::Win32ProcessControl().RunCommandLine(exe + " " + c.argument);
    ASSERT_EQ(handle != nullptr, c.starts) << c.argument.size();
    if (!c.starts) continue;
    ASSERT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
    const std::vector<std::string> words = TakeWords(temp.path());
    ASSERT_EQ(words.size(), 2u);
    EXPECT_TRUE(words[1] == c.argument) << words[1].size() << " of " << c.argument.size() << " characters arrived";
  }
}

}  // namespace
