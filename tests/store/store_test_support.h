// Helpers for the file store's tests: a private config root per test, raw file access, captured
// reports, texts that are hard to store, and permission bits that bind even for root.
#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "hostile_texts.h"
#include "settings/linux/file_store.h"
#include "test_helpers.h"

namespace store_test {

namespace fs = std::filesystem;
using settings::FileStore;
using settings::kApplication;
using Values = std::map<std::string, std::string>;
using namespace std::string_literals;

using test_support::ReadFile;

// Plants a file as a user or an attacker would leave it; folders it has to make are private.
inline void Plant(const fs::path& path, std::string_view bytes, mode_t mode = 0600) {
  const mode_t old = ::umask(077);
  fs::create_directories(path.parent_path());
  ::umask(old);
  test_support::WriteFile(path, bytes);
  ASSERT_EQ(ReadFile(path), bytes) << path;
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

// Permission bits only, or -1 when the path cannot be stat'ed.
inline int ModeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

inline std::vector<std::string> FileNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Each test gets its own config root (not created: the store has to make it) and a store on it.
// Everything the store says on standard error is collected; a test must take what it expects
// with ExpectReports, and anything left over fails it.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);  // the store must work without one
    ::umask(022);  // folders the tests make are writable by nobody else unless a test says so
    base_.emplace("tarnwick-store");
    store_ = std::make_unique<FileStore>(root());
  }
  void TearDown() override {
    EXPECT_EQ(reports_, "") << "reports no test expected";
    if (caps_lowered_) ::syscall(SYS_capset, &cap_header_, saved_caps_);
    base_.reset();  // read-only folders a failed test left behind included
  }

  fs::path base() const { return base_->path(); }
  fs::path root() const { return base() / "config"; }
  fs::path folder() const { return root() / "TARNWICK"; }
  fs::path file(std::string_view section = "TARNWICK") const { return folder() / (std::string(section) + ".conf"); }
  void UseRoot(const fs::path& root) { store_ = std::make_unique<FileStore>(root); }

  // Root passes every permission check through CAP_DAC_OVERRIDE, which would make a read-only
  // folder writable; this lowers it (and CAP_DAC_READ_SEARCH) for this thread until the test ends.
  bool MakePermissionBitsBind() {
    if (::geteuid() != 0) return true;
    if (::syscall(SYS_capget, &cap_header_, saved_caps_) != 0) return false;
    __user_cap_data_struct lowered[2] = {saved_caps_[0], saved_caps_[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    caps_lowered_ = ::syscall(SYS_capset, &cap_header_, lowered) == 0;
    return caps_lowered_;
  }

  std::string Get(std::string_view key, std::string_view dflt = "(default)", std::string_view section = "TARNWICK",
                  std::string_view application = kApplication) {
    ::testing::internal::CaptureStderr();
    std::string value = store_->GetSetting(application, section, key, dflt);
    reports_ += ::testing::internal::GetCapturedStderr();
    return value;
  }
  void Save(std::string_view key, std::string_view value, std::string_view section = "TARNWICK",
            std::string_view application = kApplication) {
    ::testing::internal::CaptureStderr();
    store_->SaveSetting(application, section, key, value);
    reports_ += ::testing::internal::GetCapturedStderr();
  }
  // The reports since the last call: one "TARNWICK: " line each, holding the given texts in order.
  void ExpectReports(const std::vector<std::string>& parts) {
    std::istringstream lines(std::exchange(reports_, {}));
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) got.push_back(line);
    ASSERT_EQ(got.size(), parts.size()) << ::testing::PrintToString(got);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      EXPECT_TRUE(got[i].starts_with("TARNWICK: ")) << got[i];
      EXPECT_NE(got[i].find(parts[i]), std::string::npos) << got[i] << " lacks " << parts[i];
    }
  }
  Values Parsed(const fs::path& path) const {
    const settings::conf::Parsed parsed = settings::conf::Parse(ReadFile(path));
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    return parsed.values;
  }

  std::unique_ptr<FileStore> store_;
  std::string reports_;

 private:
  std::optional<test_support::TempFolder> base_;
  __user_cap_header_struct cap_header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_caps_[2] = {};
  bool caps_lowered_ = false;
};

}  // namespace store_test
