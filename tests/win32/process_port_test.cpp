// The Windows process port against real Windows processes: the probe, the launcher's reading of
// unquoted locations with spaces, and the handle that tells a running program from an ended one.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "process/win32_process.h"

#include <tlhelp32.h>
#include "win32_test_support.h"

namespace {

using process::Probe;
using win32_test::fs::path;
using win32_test::Utf8;
using win32_test::WaitFor;

std::vector<std::string> ReadLines(const path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

TEST(Win32ProcessProbe, FindsARunningProgramInAnyLetterCaseAndNotOnceItHasEnded) {
  win32_test::TempFolder temp;
  // A name no other test uses, so tests running side by side never see each other's programs.
  const std::string image = "TwProbe" + std::to_string(GetCurrentProcessId()) + ".exe";
  win32_test::fs::copy_file(win32_test::OwnFolder() / "MF-PELLUM-ON.exe", temp.path() / image);

  process::Win32ProcessControl control;
  ASSERT_EQ(control.IsProcessRunning(image), Probe::NotRunning);
  auto handle = control.RunCommandLine(Utf8(temp.path() / image) + " --forever");
  ASSERT_NE(handle, nullptr);
  EXPECT_TRUE(handle->IsRunning());
  EXPECT_FALSE(handle->EndedWithSuccess());
  EXPECT_TRUE(WaitFor([&] { return control.IsProcessRunning(Upper(image)) == Probe::Running; }));
  EXPECT_EQ(control.IsProcessRunning(Lower(image)), Probe::Running);
  EXPECT_EQ(control.IsProcessRunning(image.substr(0, image.size() - 4)), Probe::NotRunning)
      << "the image name includes its extension";

  auto* native = dynamic_cast<process::Win32ProcessHandle*>(handle.get());
  ASSERT_NE(native, nullptr);
  ASSERT_TRUE(TerminateProcess(native->native(), 7));
  EXPECT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
  EXPECT_FALSE(handle->EndedWithSuccess()) << "ended with exit code 7";
  EXPECT_TRUE(WaitFor([&] { return control.IsProcessRunning(image) == Probe::NotRunning; }));
}

TEST(Win32ProcessProbe, RefusesEmptyNamesAndPathsEvenForARunningProgram) {
  process::Win32ProcessControl control;
  const std::string own = Utf8(win32_test::OwnFileName());
  ASSERT_EQ(control.IsProcessRunning(own), Probe::Running) << "this test program itself runs";
  EXPECT_EQ(control.IsProcessRunning(""), Probe::NotRunning);
  EXPECT_EQ(control.IsProcessRunning(Utf8(win32_test::OwnFolder() / own)), Probe::NotRunning);
  EXPECT_EQ(control.IsProcessRunning("bin/" + own), Probe::NotRunning);
  EXPECT_EQ(control.IsProcessRunning("bin\\" + own), Probe::NotRunning);
}

TEST(Win32ProcessProbe, AnUnreadableProcessListIsUnknownAndEverySnapshotIsClosed) {
  process::Win32ProcessControl failing([] {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  });
  EXPECT_EQ(failing.IsProcessRunning("explorer.exe"), Probe::Unknown);

  std::vector<HANDLE> taken;
  process::Win32ProcessControl watched([&] {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    taken.push_back(snapshot);
    return snapshot;
  });
  const std::string own = Utf8(win32_test::OwnFileName());
  EXPECT_EQ(watched.IsProcessRunning(own), Probe::Running);  // stops the walk early
  EXPECT_EQ(watched.IsProcessRunning("no-such-program-anywhere.exe"), Probe::NotRunning);  // walks it all
  ASSERT_EQ(taken.size(), 2u);
  for (HANDLE snapshot : taken) {
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(snapshot, &flags)) << "the snapshot handle was left open";
  }
}

TEST(Win32Launcher, StartsAProgramInAFolderWithSpacesWithItsOwnArguments) {
  win32_test::TempFolder temp;
  for (const std::wstring folder : {L"My Tools", L"Ünïcode Tööls 日本"}) {
    const path tools = temp.path() / folder;
    win32_test::fs::create_directories(tools);
    win32_test::fs::copy_file(win32_test::OwnFolder() / "argv_dump.exe", tools / "x.exe");
    // With and without the extension: a location is often stored without it.
    for (const std::string written : {"x.exe", "x"}) {
      SCOPED_TRACE(Utf8(tools) + " " + written);
      std::error_code ignored;
      win32_test::fs::remove(tools / "argv.txt", ignored);
      process::Win32ProcessControl control;
      auto handle = control.RunCommandLine(Utf8(tools) + "\\" + written + " -arg second");
      ASSERT_NE(handle, nullptr);
      ASSERT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
      EXPECT_TRUE(handle->EndedWithSuccess());
      const auto words = ReadLines(tools / "argv.txt");
      ASSERT_EQ(words.size(), 3u);
      EXPECT_EQ(words[0], Utf8(tools / "x.exe"));
      EXPECT_EQ(words[1], "-arg") << "the folder's second word was taken as an argument";
      EXPECT_EQ(words[2], "second");
    }
  }
}

TEST(Win32Launcher, AQuotedCommandLineIsPassedAsWritten) {
  win32_test::TempFolder temp;
  const path tools = temp.path() / "My Tools";
  win32_test::fs::create_directories(tools);
  win32_test::fs::copy_file(win32_test::OwnFolder() / "argv_dump.exe", tools / "x.exe");
  process::Win32ProcessControl control;
  auto handle = control.RunCommandLine("\"" + Utf8(tools / "x.exe") + "\" \"two words\" -z");
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !handle->IsRunning(); }));
  const auto words = ReadLines(tools / "argv.txt");
  ASSERT_EQ(words.size(), 3u);
  EXPECT_EQ(words[1], "two words");
  EXPECT_EQ(words[2], "-z");
}

TEST(Win32Launcher, StartsNothingForAnEmptyOrMissingProgram) {
  win32_test::TempFolder temp;
  process::Win32ProcessControl control;
  EXPECT_EQ(control.RunCommandLine(""), nullptr);
  EXPECT_EQ(control.RunCommandLine(Utf8(temp.path() / "Not Here" / "nothing.exe") + " -arg"), nullptr);
  EXPECT_EQ(control.RunCommandLine(Utf8(temp.path())), nullptr) << "a folder is not a program";
}

}  // namespace
