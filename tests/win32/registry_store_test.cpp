// The registry store against the real registry (a temporary Wine prefix in scripts/test-windows.sh);
// each test works under an application name of its own and removes it afterwards. Also the session
// mutex that keeps a second copy of a section out.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "process/windows/win32_process.h"
#include "settings/windows/registry_store.h"
#include "settings/windows/session_mutex.h"

namespace {

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { Remove(); }
  void TearDown() override { Remove(); }
  void Remove() { RegDeleteTreeW(HKEY_CURRENT_USER, Key("").c_str()); }
  std::wstring Key(const std::string& section) const {
    return L"Software\\" + process::Widen(app) + (section.empty() ? L"" : L"\\" + process::Widen(section));
  }

  const std::string app = "TARNWICK-TEST-" + std::to_string(GetCurrentProcessId());
  settings::RegistryStore store;
};

TEST_F(RegistryStoreTest, HostileTextRoundTripsExactlyAsTerminatedRegSzAndAbsentValuesReadAsTheDefault) {
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "MAIN-Left", "1000"), "1000");
  const std::vector<std::string> texts = {
      "",
      "   leading and trailing spaces   ",
      "C:\\Program Files\\Node\\node-qt.exe -datadir=\"D:\\chain data\" -x",
      "quotes \" ' ` and % signs %PATH% ; & | < > ^",
      "línea ünïcode 日本語 — 🚀 Ω",
      "tabs\tand\r\nnewlines\nkept",
      "=looks=like=an=assignment=",
      std::string(20000, 'w') + "end",
  };
  for (const std::string& text : texts) {
    store.SaveSetting(app, "Séction ünï", "KËY with spaces", text);
    EXPECT_EQ(store.GetSetting(app, "Séction ünï", "KËY with spaces", "<default>"), text);
  }
  EXPECT_EQ(store.GetSetting(app, "Séction ünï", "MAIN-Left", "dflt"), "dflt");
  EXPECT_EQ(store.GetSetting(app, "OTHER", "KËY with spaces", "x"), "x") << "sections are separate keys";
  HKEY handle = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, Key("OTHER").c_str(), 0, KEY_READ, &handle), ERROR_SUCCESS)
      << "a read created the section";

  // What other tools read: REG_SZ, three characters and one terminating NUL.
  store.SaveSetting(app, "TARNWICK", "LAST_RUN_TEXTBOX", "!!! SUCCESS !!!");
  store.SaveSetting(app, "TARNWICK", "LAST_RUN_TEXTBOX", "ünï");
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Key("TARNWICK").c_str(), 0, KEY_READ, &handle), ERROR_SUCCESS);
  DWORD type = 0;
  wchar_t data[16] = {};
  DWORD bytes = sizeof data;
  ASSERT_EQ(RegQueryValueExW(handle, L"LAST_RUN_TEXTBOX", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes),
            ERROR_SUCCESS);
  RegCloseKey(handle);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, 4 * sizeof(wchar_t));
  EXPECT_EQ(std::wstring(data), L"\u00FCn\u00EF");
}

// Values written by another program: only a string is read, expandable or not, with or without its
// terminator.
TEST_F(RegistryStoreTest, ValuesWrittenByOthersOfAnotherTypeReadAsTheDefault) {
  const DWORD number = 1;
  const wchar_t text[] = L"%TEMP%\\x";
  const BYTE raw[] = {'1', 0, 0, 0};
  const struct {
    DWORD type;
    const void* data;
    DWORD bytes;
    const char* read;
  } cases[] = {
      {REG_DWORD, &number, sizeof number, "<default>"},
      {REG_EXPAND_SZ, text, sizeof text, "%TEMP%\\x"},  // as typed, never expanded
      {REG_BINARY, raw, sizeof raw, "<default>"},
      {REG_SZ, text, 3 * sizeof(wchar_t), "%TE"},  // no terminating NUL
  };
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Key("TARNWICK").c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                            nullptr),
            ERROR_SUCCESS);
  for (const auto& c : cases) {
    ASSERT_EQ(RegSetValueExW(handle, L"V", 0, c.type, static_cast<const BYTE*>(c.data), c.bytes), ERROR_SUCCESS);
    EXPECT_EQ(store.GetSetting(app, "TARNWICK", "V", "<default>"), c.read) << "type " << c.type;
  }
  RegCloseKey(handle);
  store.SaveSetting(app, "TARNWICK", "V", "1");  // the store replaces such a value with its own type
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "V", "0"), "1");
}

// A value saved as it was read goes back byte for byte, even one UTF-8 cannot carry; a changed one is
// written as the store's own REG_SZ.
TEST_F(RegistryStoreTest, AnUnchangedValueIsWrittenBackAsItWasRead) {
  const struct {
    DWORD type;
    std::wstring data;  // the stored characters, terminator included or not
  } cases[] = {
      {REG_SZ, std::wstring(L"!!! \xD800 !!!") + L'\0'},  // a lone high surrogate
      {REG_SZ, L"\xDC00x"},                               // a lone low surrogate, no terminator
      {REG_EXPAND_SZ, std::wstring(L"%TEMP%\\x") + L'\0'},
  };
  // Windows counts in a NUL right after a string stored without one: what follows is not one.
  auto put = [](const std::wstring& key, DWORD type, std::wstring data) {
    const DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    data += L'y';
    return RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"V", type, data.data(), bytes);
  };
  const std::wstring key = Key("TARNWICK");
  auto stored = [&key] {  // as stored: RegGetValueW would add a missing terminator
    DWORD type = 0;
    std::wstring data(64, L'\0');
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    HKEY handle = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &handle);
    RegQueryValueExW(handle, L"V", nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
    RegCloseKey(handle);
    data.resize(bytes / sizeof(wchar_t));
    return std::make_pair(type, data);
  };
  for (const auto& c : cases) {
    ASSERT_EQ(put(key, c.type, c.data), ERROR_SUCCESS);
    ASSERT_EQ(stored(), std::make_pair(c.type, c.data));
    const std::string read = store.GetSetting(app, "TARNWICK", "V", "<default>");
    store.SaveSetting(app, "TARNWICK", "V", read);
    EXPECT_EQ(stored(), std::make_pair(c.type, c.data)) << read;
    store.SaveSetting(app, "TARNWICK", "V", read + "!");
    EXPECT_EQ(stored(), std::make_pair(static_cast<DWORD>(REG_SZ), process::Widen(read + "!") + L'\0')) << read;
  }
}

TEST_F(RegistryStoreTest, AFailedWriteIsReportedAndTheProgramCarriesOn) {
  const std::string too_long(17000, 'K');  // the registry refuses value names above 16,383 characters
  std::vector<std::string> problems;
  store.set_problem_listener([&](const std::string& p) { problems.push_back(p); });
  EXPECT_NO_THROW(store.SaveSetting(app, "TARNWICK", too_long, "1"));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("KKKK"), std::string::npos) << "the report names the key";
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", too_long, "dflt"), "dflt");
  store.SaveSetting(app, "TARNWICK", "MAIN-Left", "1");
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "MAIN-Left", "dflt"), "1");
  EXPECT_EQ(problems.size(), 1u);
}

// A section is held once in the session, whatever the letter case of its name (the registry's key
// is the same), and let go with the guard that held it.
TEST(SessionMutexGuard, HoldsASectionOnceInAnyLetterCaseAndLetsGoWithItsGuard) {
  using Kind = settings::SectionHold::Kind;
  const std::string app = "TARNWICK-TEST-" + std::to_string(GetCurrentProcessId());
  auto first = std::make_unique<settings::SessionMutexGuard>();
  EXPECT_EQ(first->Hold(app, "Night").kind, Kind::kHeld);
  settings::SessionMutexGuard second;
  EXPECT_EQ(second.Hold(app, "NIGHT").kind, Kind::kHeldByOther);
  EXPECT_EQ(second.Hold(app, "DAY").kind, Kind::kHeld);
  first.reset();
  EXPECT_EQ(second.Hold(app, "night").kind, Kind::kHeld);
}

}  // namespace
