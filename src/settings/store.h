// The per-user settings store: text values addressed by application, section and key, and the
// one decoding rule every window applies to geometry and tick-box values.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace settings {

inline constexpr std::string_view kApplication = "TARNWICK";

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text, or the default when the key is absent (nothing is written then).
  virtual std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                                 std::string_view default_value) = 0;
  // Creates or replaces the value. A write that fails is reported by the backend, never thrown.
  virtual void SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                           std::string_view value) = 0;
};

// A store in memory, for tests and for a program that cannot reach its real store.
class MemoryStore : public SettingsStore {
 public:
  std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                         std::string_view default_value) override;
  void SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                   std::string_view value) override;

  std::optional<std::string> Value(std::string_view section, std::string_view key) const;
  void Seed(std::string_view section, std::string_view key, std::string_view value);
  // Every write in order, as "key=value", for tests that check what was written and when.
  const std::vector<std::string>& writes() const { return writes_; }
  void ClearWrites() { writes_.clear(); }

 private:
  std::map<std::tuple<std::string, std::string, std::string>, std::string> values_;
  std::vector<std::string> writes_;
};

// Decoding. A geometry value is a finite decimal number written the C way (optional sign, digits,
// optional fraction after "."; spaces around it ignored) of at most 1,000,000 twips in size; a
// width or height must also be above 0. A tick-box value is "0" or "1" (spaces around ignored).
// Anything else reads as the key's default.
enum class GeometryKind { Position, Size };
std::optional<float> DecodeGeometry(std::string_view text, GeometryKind kind);
std::optional<int> DecodeTick(std::string_view text);
std::string EncodeGeometry(float twips);
std::string EncodeTick(int state);

// The text as one line: every line break a space, so a path or name in it cannot begin a line of
// its own in a report or a journal.
std::string OneLine(std::string text);

// A view of one section of the store with the typed reads and writes the windows use.
class Section {
 public:
  Section(SettingsStore& store, std::string name) : store_(store), name_(std::move(name)) {}
  const std::string& name() const { return name_; }
  std::string Text(std::string_view key, std::string_view default_value) const;
  float Geometry(std::string_view key, float default_value, GeometryKind kind) const;
  int Tick(std::string_view key, int default_value) const;
  void SaveText(std::string_view key, std::string_view value) const;
  void SaveGeometry(std::string_view key, float twips) const;
  void SaveTick(std::string_view key, int state) const;

 private:
  SettingsStore& store_;
  std::string name_;
};

}  // namespace settings
