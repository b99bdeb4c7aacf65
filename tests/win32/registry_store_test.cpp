// The registry store against the real registry (a temporary Wine prefix in scripts/test-windows.sh);
// each test works under an application name of its own and removes it afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process/win32_process.h"
#include "settings/registry_store.h"

namespace {

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { Remove(); }
  void TearDown() override { Remove(); }
  void Remove() { RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\" + process::Widen(app)).c_str()); }

  // Writes a value the way another program might, bypassing the store.
  void RawWrite(const std::string& section, const std::string& key, DWORD type, const void* data, DWORD bytes) {
    HKEY handle = nullptr;
    const std::wstring path = L"Software\\" + process::Widen(app) + L"\\" + process::Widen(section);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(handle, process::Widen(key).c_str(), 0, type, static_cast<const BYTE*>(data), bytes),
              ERROR_SUCCESS);
    RegCloseKey(handle);
  }

  const std::string app = "TARNWICK-TEST-" + std::to_string(GetCurrentProcessId());
  settings::RegistryStore store;
};

TEST_F(RegistryStoreTest, AbsentSectionsAndValuesReadAsTheDefaultAndCreateNothing) {
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "MAIN-Left", "1000"), "1000");
  store.SaveSetting(app, "TARNWICK", "MAIN-Top", "5");
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "MAIN-Left", "dflt"), "dflt");
  EXPECT_EQ(store.GetSetting(app, "OTHER", "MAIN-Top", "x"), "x") << "sections are separate keys";
  HKEY handle = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\" + process::Widen(app) + L"\\OTHER").c_str(), 0, KEY_READ,
                          &handle),
            ERROR_SUCCESS)
      << "a read created the section";
}

TEST_F(RegistryStoreTest, HostileTextRoundTripsExactly) {
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
}

TEST_F(RegistryStoreTest, ValuesAreStoredAsTerminatedRegSzThatOtherToolsRead) {
  store.SaveSetting(app, "TARNWICK", "LAST_RUN_TEXTBOX", "!!! SUCCESS !!!");
  store.SaveSetting(app, "TARNWICK", "LAST_RUN_TEXTBOX", "ünï");
  HKEY handle = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\" + process::Widen(app) + L"\\TARNWICK").c_str(), 0,
                          KEY_READ, &handle),
            ERROR_SUCCESS);
  DWORD type = 0;
  wchar_t data[16] = {};
  DWORD bytes = sizeof data;
  ASSERT_EQ(RegQueryValueExW(handle, L"LAST_RUN_TEXTBOX", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes),
            ERROR_SUCCESS);
  RegCloseKey(handle);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, 4 * sizeof(wchar_t)) << "three characters and one terminating NUL";
  EXPECT_EQ(std::wstring(data), L"\u00FCn\u00EF");
}

TEST_F(RegistryStoreTest, ValuesOfAnotherTypeReadAsTheDefault) {
  const DWORD number = 1;
  RawWrite("TARNWICK", "AUTOSTART_TIME_TICKBOX", REG_DWORD, &number, sizeof number);
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "AUTOSTART_TIME_TICKBOX", "0"), "0");
  const wchar_t expandable[] = L"%TEMP%\\x";
  RawWrite("TARNWICK", "CORVANT_FULL_LOCATION_TEXTBOX", REG_EXPAND_SZ, expandable, sizeof expandable);
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "CORVANT_FULL_LOCATION_TEXTBOX", "d"), "d");
  const BYTE bytes[] = {'1', 0, 0, 0};
  RawWrite("TARNWICK", "MAIN-Left", REG_BINARY, bytes, sizeof bytes);
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "MAIN-Left", "1000"), "1000");
  // The store replaces such a value with its own type.
  store.SaveSetting(app, "TARNWICK", "AUTOSTART_TIME_TICKBOX", "1");
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "AUTOSTART_TIME_TICKBOX", "0"), "1");
}

TEST_F(RegistryStoreTest, AStringWrittenWithoutItsTerminatorReadsWhole) {
  const wchar_t text[] = L"abc";
  RawWrite("TARNWICK", "QT_FILENAME_TEXTBOX", REG_SZ, text, 3 * sizeof(wchar_t));
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "QT_FILENAME_TEXTBOX", ""), "abc");
}

TEST_F(RegistryStoreTest, AFailedWriteIsReportedAndTheProgramCarriesOn) {
  // The registry refuses value names above 16,383 characters.
  const std::string too_long(17000, 'K');
  std::vector<std::string> problems;
  store.set_problem_listener([&](const std::string& p) { problems.push_back(p); });
  EXPECT_NO_THROW(store.SaveSetting(app, "TARNWICK", too_long, "1"));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("KKKK"), std::string::npos) << "the report names the key";
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", too_long, "dflt"), "dflt");
  // The store still works for the keys that can be written.
  store.SaveSetting(app, "TARNWICK", "MAIN-Left", "1");
  EXPECT_EQ(store.GetSetting(app, "TARNWICK", "MAIN-Left", "dflt"), "1");
  EXPECT_EQ(problems.size(), 1u);
}

}  // namespace
