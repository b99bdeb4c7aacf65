// Shared by the stand-ins for the outside programs: the log line format, argument reading and
// the state-folder files through which the stand-ins play the real chain together.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace standin {

namespace fs = std::filesystem;

// The name the program was run under, so one source built as several programs logs each name.
inline std::string ProgramName(const char* argv0) {
  fs::path path(argv0 != nullptr ? argv0 : "standin");
  if (path.extension() == ".exe" || path.extension() == ".EXE") path.replace_extension();
  return path.filename().string();
}

inline std::string UtcTimestamp() {
  using namespace std::chrono;
  const auto now = floor<milliseconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
  return text;
}

// Open, append, close for every line: several programs write the same log, and a short line
// written in one go by an append-mode stream stays whole.
inline void Log(const fs::path& state, const std::string& program, std::string_view event) {
  if (state.empty()) return;
  const std::string line = UtcTimestamp() + " " + program + " " + std::string(event) + "\n";
  std::ofstream out(state / "log.txt", std::ios::app | std::ios::binary);
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

inline std::int64_t MillisecondsSinceEpoch() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

inline void SleepMs(std::int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Writes the file whole under a temporary name first, so a reader never sees half of it.
inline bool WriteFileAtomically(const fs::path& path, const std::string& content) {
  const fs::path temporary = path.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc | std::ios::binary);
    if (!out) return false;
    out << content;
    if (!out) return false;
  }
  std::error_code error;
  fs::rename(temporary, path, error);
  return !error;
}

inline std::optional<std::string> ReadFirstLine(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) { line.pop_back(); }
  return line;
}

inline bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

// Command-line options as "--name value" pairs and bare flags.
class Arguments {
 public:
  Arguments(int argc, char** argv) : words_(argv + 1, argv + argc) {}

  bool Flag(std::string_view name) const {
    for (const std::string& word : words_) {
      if (word == name) return true;
    }
    return false;
  }

  std::optional<std::string> Value(std::string_view name) const {
    for (std::size_t i = 0; i + 1 < words_.size(); ++i) {
      if (words_[i] == name) return words_[i + 1];
    }
    return std::nullopt;
  }

  std::int64_t Number(std::string_view name, std::int64_t fallback) const {
    const auto text = Value(name);
    if (!text) return fallback;
    try {
      return std::stoll(*text);
    } catch (const std::exception&) { return fallback; }
  }

 private:
  std::vector<std::string> words_;
};

// Lists this process's open descriptors and where they lead, one "N -> target" a line, so a
// test can see what a launcher handed down. Only meaningful where /proc/self/fd exists.
inline void DumpOpenDescriptors(const fs::path& out_path) {
  std::ostringstream listing;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", error)) {
    std::error_code link_error;
    const fs::path target = fs::read_symlink(entry.path(), link_error);
    listing << entry.path().filename().string() << " -> " << target.string() << "\n";
  }
  WriteFileAtomically(out_path, listing.str());
}

}  // namespace standin
