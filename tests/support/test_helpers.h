// What the test programs share: waiting for a condition, a private temporary folder, a private
// XDG_CONFIG_HOME (not on Windows), and reading and writing a whole file.
#pragma once
#include <sys/stat.h>
#ifdef _WIN32
#include <process.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

namespace test_support {

namespace fs = std::filesystem;

// Polls `done` until it holds; false when the deadline passes first. The deadline only bounds a
// failing test, it is no timing. `between` runs between polls: a test with an event loop runs it there.
inline bool WaitFor(
    const std::function<bool()>& done, std::chrono::milliseconds deadline = std::chrono::seconds(30),
    const std::function<void()>& between = [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }) {
  for (const auto give_up = std::chrono::steady_clock::now() + deadline; !done();) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    between();
  }
  return true;
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::ssize(bytes));
}

// A fresh folder under the temporary directory, removed with all it holds when the object goes,
// folders a test made read-only included.
class TempFolder {
 public:
  explicit TempFolder(std::string_view stem = "tarnwick") {
#ifdef _WIN32
    // No mkdtemp: this process's id and a count, taken only where no folder is yet.
    static int count = 0;
    do {
      path_ = fs::temp_directory_path() /
              (std::string(stem) + "-" + std::to_string(_getpid()) + "-" + std::to_string(++count));
    } while (!fs::create_directory(path_));
#else
    std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).native();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
    path_ = pattern;
#endif
  }
  ~TempFolder() {
    std::error_code ec;
#ifndef _WIN32
    for (auto it = fs::recursive_directory_iterator(path_, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (it->is_directory(ec)) ::chmod(it->path().c_str(), 0700);
    }
#endif
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

#ifndef _WIN32
// A private XDG_CONFIG_HOME in a temporary folder; the old value comes back at the end.
class PrivateConfigHome {
 public:
  explicit PrivateConfigHome(std::string_view stem = "tarnwick-config") : folder_(stem) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
    ::setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1);
  }
  ~PrivateConfigHome() {
    if (old_) {
      ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }
  PrivateConfigHome(const PrivateConfigHome&) = delete;
  PrivateConfigHome& operator=(const PrivateConfigHome&) = delete;
  const fs::path& root() const { return folder_.path(); }

 private:
  TempFolder folder_;
  std::optional<std::string> old_;
};
#endif

}  // namespace test_support
