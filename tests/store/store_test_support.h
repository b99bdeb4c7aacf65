// Helpers for the file store's tests: a private XDG_CONFIG_HOME per test, raw file access, and a
// way to make permission bits bind when the tests run as root.
#pragma once
#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/file_store.h"

namespace store_test {

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes, mode_t mode = 0644);
// Permission bits only (st_mode & 07777), or -1 when the path cannot be stat'ed.
int ModeOf(const std::filesystem::path& path);
std::vector<std::string> FileNames(const std::filesystem::path& folder);
// Sets the modification time explicitly so that a rewrite within the same millisecond is still
// seen as a change, as it would be between two real edits.
void SetModifiedTime(const std::filesystem::path& path, long seconds_since_epoch);

// Sets or unsets one environment variable and puts it back when it ends.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Root passes every permission check through CAP_DAC_OVERRIDE, which would make a read-only folder
// writable for the test. This lowers that capability (and CAP_DAC_READ_SEARCH) from the effective
// set of the calling thread and raises it again at the end; for other users it does nothing.
class PermissionBitsBind {
 public:
  PermissionBitsBind();
  ~PermissionBitsBind();
  PermissionBitsBind(const PermissionBitsBind&) = delete;
  PermissionBitsBind& operator=(const PermissionBitsBind&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
  bool lowered_ = false;
  unsigned saved_effective_[2] = {0, 0};
};

// Captures standard error until Take(); ends the capture on its own if an assertion leaves the
// scope first, since gtest aborts when a second capture starts while one is open.
class CapturedStderr {
 public:
  CapturedStderr() { ::testing::internal::CaptureStderr(); }
  ~CapturedStderr() {
    if (!taken_) (void)::testing::internal::GetCapturedStderr();
  }
  CapturedStderr(const CapturedStderr&) = delete;
  CapturedStderr& operator=(const CapturedStderr&) = delete;
  std::string Take() {
    taken_ = true;
    return ::testing::internal::GetCapturedStderr();
  }

 private:
  bool taken_ = false;
};

// Each test gets its own XDG_CONFIG_HOME (a fresh temporary folder), removed afterwards.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path folder() const { return root_ / "TARNWICK"; }
  std::filesystem::path file(std::string_view section = "TARNWICK") const {
    return folder() / (std::string(section) + ".conf");
  }
  // The file as the format reads it, failing the test when it does not parse.
  std::map<std::string, std::string> ParsedFile(std::string_view section = "TARNWICK") const;

 private:
  std::filesystem::path base_;
  std::filesystem::path root_;
  std::optional<ScopedEnv> xdg_;
};

}  // namespace store_test
