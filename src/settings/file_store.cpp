// The Linux settings store: the section file's own line format plugged into QSettings, which brings
// the cross-process lock (QLockFile) and the atomic replace (QSaveFile).
#include "settings/file_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <system_error>
#include <vector>

namespace settings {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kHeader =
    "# TARNWICK settings: one key=value a line, the value exactly as typed.\n"
    "# A line that starts with \\ holds a value with a line break or NUL; there, and only there,\n"
    "# \\n, \\r, \\0 and \\\\ stand for line feed, carriage return, NUL and backslash.\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Overlong forms and surrogates are refused too: Qt would turn them into U+FFFD, and the value
// would not read back as it was.
bool IsUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07u;
    } else {
      return false;
    }
    if (s.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0u) != 0x80u) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return false;
    if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return false;
    i += length;
  }
  return true;
}

// A key as a line can carry it: the reader has already split at the first '=' and trimmed blanks.
bool IsLineKey(std::string_view key) {
  return !key.empty() && key.front() != '#' && key.front() != ';' && key.front() != '\\';
}

std::optional<char> EscapedChar(char letter) {
  switch (letter) {
    case 'n': return '\n';
    case 'r': return '\r';
    case '0': return '\0';
    case '\\': return '\\';
    default: return std::nullopt;
  }
}

// Any other backslash stays, so an escaped line edited by hand still reads close to as typed.
std::string Unescape(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const std::optional<char> decoded =
        raw[i] == '\\' && i + 1 < raw.size() ? EscapedChar(raw[i + 1]) : std::nullopt;
    if (decoded) {
      out += *decoded;
      ++i;
    } else {
      out += raw[i];
    }
  }
  return out;
}

void AppendEscaped(std::string& out, std::string_view value) {
  for (char c : value) {
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\0': out += "\\0"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
}

}  // namespace

namespace conf {

Parsed Parse(std::string_view bytes) {
  Parsed out;
  if (bytes.find('\0') != std::string_view::npos) {
    out.error = "it holds a NUL byte";
    return out;
  }
  if (!IsUtf8(bytes)) {
    out.error = "it is not UTF-8 text";
    return out;
  }
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  std::size_t line_number = 0;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    ++line_number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    std::string_view rest = line;
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    if (rest.empty() || rest.front() == '#' || rest.front() == ';') continue;
    const bool escaped = rest.front() == '\\';
    if (escaped) rest.remove_prefix(1);
    const std::size_t equals = rest.find('=');
    if (equals == std::string_view::npos) {
      out.values.clear();
      out.error = "line " + std::to_string(line_number) + " has no '='";
      return out;
    }
    const std::string_view key = TrimBlanks(rest.substr(0, equals));
    if (!IsLineKey(key)) {
      out.values.clear();
      out.error = "line " + std::to_string(line_number) + " has no usable key";
      return out;
    }
    const std::string_view raw = rest.substr(equals + 1);
    out.values[std::string(key)] = escaped ? Unescape(raw) : std::string(raw);
  }
  return out;
}

std::optional<std::string> Write(const std::map<std::string, std::string>& values) {
  std::string out(kHeader);
  for (const auto& [key, value] : values) {
    const bool key_fits = IsLineKey(key) && TrimBlanks(key) == key &&
                          key.find_first_of(std::string_view("=\n\0", 3)) == std::string::npos && IsUtf8(key);
    if (!key_fits || !IsUtf8(value)) return std::nullopt;
    if (value.find_first_of(std::string_view("\n\r\0", 3)) == std::string::npos) {
      out.append(key).append(1, '=').append(value);
    } else {
      out.append(1, '\\').append(key).append(1, '=');
      AppendEscaped(out, value);
    }
    out += '\n';
  }
  return out;
}

}  // namespace conf

namespace {

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

void Report(const std::string& text) { std::cerr << "TARNWICK: " << OneLine(text) << std::endl; }

std::string ErrnoText(int error) { return std::generic_category().message(error); }

bool SameBytes(const std::filesystem::path& path, const QByteArray& bytes) {
  QFile file(QFile::decodeName(QByteArray::fromStdString(path.native())));
  if (!file.open(QIODevice::ReadOnly)) return false;
  return file.readAll() == bytes;
}

std::string UtcStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
  return std::string(text, length);
}

// A damaged file is copied before QSettings replaces it on the next save; the copy is made when
// the damage is first read, as the reader is the only place that sees the bytes. Every process and
// every re-read would otherwise add a copy of the same bytes, so an identical copy is reused.
std::string KeepDamagedCopy(const std::filesystem::path& path, const QByteArray& bytes) {
  const std::filesystem::path folder = path.parent_path();
  const std::string prefix = path.filename().native() + ".bad-";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().native();
    std::error_code size_ec;
    if (name.starts_with(prefix) && entry.is_regular_file(size_ec) &&
        entry.file_size(size_ec) == static_cast<std::uintmax_t>(bytes.size()) && SameBytes(entry.path(), bytes)) {
      return "a copy is already kept as " + entry.path().native();
    }
  }
  const std::string stem = path.native() + ".bad-" + UtcStamp();
  for (int attempt = 1; attempt < 100; ++attempt) {
    const std::string name = attempt == 1 ? stem : stem + "-" + std::to_string(attempt);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return "no copy could be kept (" + ErrnoText(errno) + ")";
    const char* data = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    int error = 0;
    while (left > 0) {
      const ssize_t written = ::write(fd, data, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        error = written < 0 ? errno : EIO;
        break;
      }
      data += written;
      left -= static_cast<std::size_t>(written);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
      ::unlink(name.c_str());
      return "no copy could be kept (" + ErrnoText(error) + ")";
    }
    return "kept a copy as " + name;
  }
  return "no copy could be kept (too many copies already)";
}

bool ReadConf(QIODevice& device, QSettings::SettingsMap& map) {
  const QByteArray bytes = device.readAll();
  const conf::Parsed parsed = conf::Parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!parsed.ok()) {
    // QSettings always hands its reader the QFile of the section, so the name is there to be had.
    const auto* file = qobject_cast<const QFile*>(&device);
    const std::filesystem::path path = file ? QFile::encodeName(file->fileName()).toStdString() : std::string();
    const std::string copy = path.empty() ? "no copy could be kept (no file name)" : KeepDamagedCopy(path, bytes);
    Report(path.native() + " cannot be read (" + parsed.error + "); " + copy +
           "; its settings start from their defaults");
    return false;
  }
  for (const auto& [key, value] : parsed.values) {
    map.insert(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())),
               QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
  }
  return true;
}

bool WriteConf(QIODevice& device, const QSettings::SettingsMap& map) {
  std::map<std::string, std::string> values;
  for (auto it = map.cbegin(); it != map.cend(); ++it) {
    values.emplace(it.key().toUtf8().toStdString(), it.value().toString().toUtf8().toStdString());
  }
  const std::optional<std::string> text = conf::Write(values);
  if (!text) return false;
  const auto size = static_cast<qint64>(text->size());
  return device.write(text->data(), size) == size;
}

QSettings::Format ConfFormat() {
  static const QSettings::Format format = [] {
    const QSettings::Format registered = QSettings::registerFormat("conf", ReadConf, WriteConf, Qt::CaseSensitive);
    if (registered == QSettings::InvalidFormat) Report("the settings file format could not be registered with Qt");
    return registered;
  }();
  return format;
}

QString QtPath(const std::filesystem::path& path) {
  return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

// Why a name cannot be one file or folder name, or empty when it can.
std::string UnusableName(std::string_view name) {
  if (name.empty()) return "it is empty";
  if (name == "." || name == "..") return "it names a folder";
  if (!IsUtf8(name)) return "it is not UTF-8 text";
  for (char c : name) {
    if (c == '/') return "it holds a '/'";
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "it holds a control character";
  }
  return {};
}

std::string UnusableKey(std::string_view key) {
  if (key.empty()) return "it is empty";
  for (char c : key) {
    if (c < 0x20 || c > 0x7E) return "it holds a character other than printable ASCII";
    if (c == '=' || c == '/' || c == '\\') return std::string("it holds '") + c + "'";
  }
  if (key.front() == '#' || key.front() == ';') return "it begins with a comment sign";
  if (key.front() == ' ' || key.back() == ' ') return "it begins or ends with a space";
  return {};
}

struct FolderState {
  bool usable = false;
  std::string problem;  // why it is unusable, or what could not be made private
};

// mkdir -p with 0700 for every folder it creates (as the XDG rules ask). The application's own
// folder loses any group and other bits even if it was already there; the owner's bits are left
// alone, so a folder the user made read-only stays read-only.
FolderState EnsureFolder(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> missing;
  for (std::filesystem::path p = folder; !p.empty() && p != p.root_path(); p = p.parent_path()) {
    struct stat info {};
    if (::stat(p.c_str(), &info) == 0) break;
    if (errno != ENOENT) return {false, "the folder " + p.native() + " cannot be reached (" + ErrnoText(errno) + ")"};
    missing.push_back(p);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) {
      return {false, "the folder " + it->native() + " cannot be created (" + ErrnoText(errno) + ")"};
    }
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) {
    return {false, "the folder " + folder.native() + " cannot be reached (" + ErrnoText(errno) + ")"};
  }
  if (!S_ISDIR(info.st_mode)) return {false, folder.native() + " is not a folder"};
  if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), info.st_mode & 0700) != 0) {
    return {true, "the folder " + folder.native() + " cannot be made private (" + ErrnoText(errno) + ")"};
  }
  return {true, {}};
}

// QSaveFile gives a new file 0666 less the umask and copies the old file's mode otherwise, so the
// file loses any group and other bits after each write. Until then it sits in a 0700 folder.
std::string MakeFilePrivate(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & 077) == 0) return {};
  if (::chmod(path.c_str(), info.st_mode & 0700) == 0) return {};
  return "the file " + path.native() + " cannot be made private (" + ErrnoText(errno) + ")";
}

// QSettings only says "access error"; the report says which part of the way is blocked.
std::string Diagnose(const std::filesystem::path& path) {
  struct stat info {};
  const bool exists = ::stat(path.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) return "a folder stands where the file should be";
  if (exists) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "the file cannot be read (" + ErrnoText(errno) + ")";
    ::close(fd);
  }
  const std::filesystem::path probe = path.parent_path() / (".tarnwick-probe-" + std::to_string(::getpid()));
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return "the folder cannot be written (" + ErrnoText(errno) + ")";
  const ssize_t written = ::write(fd, "x", 1);
  const int write_error = written == 1 ? 0 : errno;
  ::close(fd);
  ::unlink(probe.c_str());
  if (write_error != 0) return "the folder cannot be written (" + ErrnoText(write_error) + ")";
  if (exists) {
    const int rw = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (rw < 0) return "the file cannot be written (" + ErrnoText(errno) + ")";
    ::close(rw);
  }
  return "the file could not be replaced";
}

std::string HomeFromUserDatabase() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  if (found->pw_dir == nullptr || found->pw_dir[0] != '/') return {};
  return found->pw_dir;
}

}  // namespace

struct FileStore::OpenSection {
  std::filesystem::path path;
  QString qt_path;
  // Never written through: while it lives, every QSettings made for this file shares its state, so
  // a value whose save failed stays visible and pending. Each operation uses a fresh QSettings
  // beside it because QSettings::status() never returns to NoError once an error is seen.
  std::unique_ptr<QSettings> keeper;
  bool failing = false;         // the last operation reported a failure; reads stay quiet until it clears
  bool privacy_warned = false;  // "cannot be made private" is said once a section
};

namespace {

// A QSettings whose status belongs to this operation: its constructor syncs, which picks up other
// programs' changes and retries any save still pending. A FormatError, once set, would hide an
// AccessError from that retry; the reader has already reported the damage, and a second object
// does not re-read the same bytes, so its status says whether what is pending could be written.
std::unique_ptr<QSettings> FreshSettings(const QString& path) {
  auto settings = std::make_unique<QSettings>(path, ConfFormat());
  if (settings->status() == QSettings::FormatError) settings = std::make_unique<QSettings>(path, ConfFormat());
  return settings;
}

std::string ToStd(const QString& text) { return text.toUtf8().toStdString(); }

QString ToQt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

FileStore::FileStore() : FileStore(ConfigRootFromEnvironment()) {}

FileStore::FileStore(std::filesystem::path config_root) : root_(std::move(config_root)) {
  if (!root_.empty() && root_.is_relative()) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(root_, ec);
    root_ = ec ? std::filesystem::path() : absolute;
  }
}

FileStore::~FileStore() = default;

std::filesystem::path FileStore::ConfigRootFromEnvironment() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::filesystem::path(xdg);
  const char* home = std::getenv("HOME");
  const std::string home_path = home != nullptr && home[0] == '/' ? std::string(home) : HomeFromUserDatabase();
  if (home_path.empty()) return {};
  return std::filesystem::path(home_path) / ".config";
}

std::filesystem::path FileStore::SectionFile(std::string_view application, std::string_view section) const {
  return root_ / std::string(application) / (std::string(section) + ".conf");
}

FileStore::OpenSection* FileStore::Open(std::string_view application, std::string_view section,
                                        std::string_view doing) {
  // Qt takes at most 16 custom formats a process; the failure was reported when it happened.
  if (ConfFormat() == QSettings::InvalidFormat) return nullptr;
  if (root_.empty()) {
    if (!root_reported_) Report("settings are not kept: neither XDG_CONFIG_HOME nor HOME names a folder");
    root_reported_ = true;
    return nullptr;
  }
  std::string why = UnusableName(application);
  if (!why.empty()) {
    Report("cannot " + std::string(doing) + ": the application name \"" + std::string(application) + "\" " + why);
    return nullptr;
  }
  why = UnusableName(section);
  if (!why.empty()) {
    Report("cannot " + std::string(doing) + ": the section name \"" + std::string(section) + "\" " + why);
    return nullptr;
  }
  const std::filesystem::path path = SectionFile(application, section);
  auto& slot = open_[path];
  if (!slot) {
    slot = std::make_unique<OpenSection>();
    slot->path = path;
    slot->qt_path = QtPath(path);
    slot->keeper = std::make_unique<QSettings>(slot->qt_path, ConfFormat());
  }
  return slot.get();
}

std::string FileStore::GetSetting(std::string_view application, std::string_view section, std::string_view key,
                                  std::string_view default_value) {
  const std::string bad_key = UnusableKey(key);
  if (!bad_key.empty()) {
    Report("cannot read the key \"" + std::string(key) + "\" in " + std::string(section) + ": " + bad_key);
    return std::string(default_value);
  }
  OpenSection* open = Open(application, section, "read " + std::string(key));
  if (open == nullptr) return std::string(default_value);
  // After a failure a read may retry a pending save, and QSettings would make a missing folder 0755
  // and a new file 0644; the store makes the folder first and closes the file afterwards.
  const bool was_failing = open->failing;
  if (was_failing) (void)EnsureFolder(open->path.parent_path());
  const std::unique_ptr<QSettings> settings = FreshSettings(open->qt_path);
  if (settings->status() == QSettings::AccessError) {
    if (!was_failing) {
      Report(open->path.native() + " cannot be used (" + Diagnose(open->path) +
             "); its settings read as their defaults");
    }
    open->failing = true;
  } else {
    open->failing = false;
    if (was_failing) (void)MakeFilePrivate(open->path);
  }
  const QVariant value = settings->value(ToQt(key));
  return value.isValid() ? ToStd(value.toString()) : std::string(default_value);
}

void FileStore::SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                            std::string_view value) {
  const std::string bad_key = UnusableKey(key);
  if (!bad_key.empty()) {
    Report("not saving the key \"" + std::string(key) + "\" in " + std::string(section) + ": " + bad_key);
    return;
  }
  OpenSection* open = Open(application, section, "save " + std::string(key));
  if (open == nullptr) return;
  const FolderState folder = EnsureFolder(open->path.parent_path());

  std::unique_ptr<QSettings> settings = FreshSettings(open->qt_path);
  settings->setValue(ToQt(key), ToQt(value));
  settings->sync();
  // The file may have been damaged between the two syncs; as in FreshSettings, a FormatError must
  // not stand for the outcome of the save.
  if (settings->status() == QSettings::FormatError) settings = FreshSettings(open->qt_path);

  if (settings->status() == QSettings::NoError) {
    open->failing = false;
    std::string privacy = folder.problem;
    if (privacy.empty()) privacy = MakeFilePrivate(open->path);
    if (!privacy.empty() && !open->privacy_warned) Report(privacy);
    open->privacy_warned = open->privacy_warned || !privacy.empty();
    return;
  }
  open->failing = true;
  const std::string why = folder.usable ? Diagnose(open->path) : folder.problem;
  Report("could not save " + std::string(key) + " to " + open->path.native() + " (" + why +
         "); the value is kept for this run and saved with the next change that can be");
}

}  // namespace settings
