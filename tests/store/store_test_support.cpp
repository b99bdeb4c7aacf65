// Helpers for the file store's tests: temporary config roots, raw file access, environment and
// capability scopes.
#include "store_test_support.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace store_test {

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
  std::filesystem::create_directories(path.parent_path());
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
  }
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << std::strerror(errno);
}

int ModeOf(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return -1;
  return static_cast<int>(info.st_mode & 07777);
}

std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void SetModifiedTime(const std::filesystem::path& path, long seconds_since_epoch) {
  timespec times[2] = {{seconds_since_epoch, 0}, {seconds_since_epoch, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << std::strerror(errno);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

namespace {

bool CapGet(__user_cap_data_struct (&data)[2]) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return ::syscall(SYS_capget, &header, data) == 0;
}

bool CapSet(__user_cap_data_struct (&data)[2]) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return ::syscall(SYS_capset, &header, data) == 0;
}

constexpr unsigned kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

}  // namespace

PermissionBitsBind::PermissionBitsBind() {
  if (::geteuid() != 0) {
    ok_ = true;
    return;
  }
  __user_cap_data_struct data[2] = {};
  if (!CapGet(data)) return;
  saved_effective_[0] = data[0].effective;
  saved_effective_[1] = data[1].effective;
  data[0].effective &= ~kOverrides;
  if (!CapSet(data)) return;
  lowered_ = true;
  ok_ = true;
}

PermissionBitsBind::~PermissionBitsBind() {
  if (!lowered_) return;
  __user_cap_data_struct data[2] = {};
  if (!CapGet(data)) return;
  data[0].effective = saved_effective_[0];
  data[1].effective = saved_effective_[1];
  CapSet(data);
}

void StoreTest::SetUp() {
  // The store must work without a QCoreApplication; gtest_main makes none, and this keeps it so.
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-store-XXXXXX").native();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
  base_ = pattern;
  // Not created here: the store has to make it, and make it private.
  root_ = base_ / "config";
  xdg_.emplace("XDG_CONFIG_HOME", root_.c_str());
}

void StoreTest::TearDown() {
  xdg_.reset();
  if (base_.empty()) return;
  // Tests leave read-only folders behind on failure; open everything up so it can be removed.
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(base_, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) ::chmod(it->path().c_str(), 0700);
  }
  ::chmod(base_.c_str(), 0700);
  std::filesystem::remove_all(base_, ec);
}

std::map<std::string, std::string> StoreTest::ParsedFile(std::string_view section) const {
  const settings::conf::Parsed parsed = settings::conf::Parse(ReadBytes(file(section)));
  EXPECT_TRUE(parsed.ok()) << parsed.error;
  return parsed.values;
}

}  // namespace store_test
