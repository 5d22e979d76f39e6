#pragma once
// Small helpers of the registry tests: typed value reads and writes, UTF-16LE file bytes.

#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace regtest {

inline LONG setText(HKEY key, const char16_t* name, std::u16string_view text, DWORD type = REG_SZ) {
  std::u16string data(text);
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * 2));
}

inline LONG setDword(HKEY key, const char16_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The text of a string value, or "<error N>".
inline std::u16string text(HKEY key, const char16_t* name) {
  char16_t buffer[512] = {};
  DWORD size = sizeof buffer - 2;
  DWORD type = 0;
  const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  if (rc != ERROR_SUCCESS) return u"<error " + platform::system::utf8ToUtf16(std::to_string(rc)) + u">";
  return std::u16string(buffer);
}

inline bool exists(HKEY root, const char16_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

inline std::vector<std::u16string> subkeys(HKEY key) {
  std::vector<std::u16string> names;
  char16_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = 256;
    if (RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

// A file's bytes as regedit writes them: BOM, UTF-16LE, LF turned into CRLF.
inline std::string utf16File(std::u16string_view text) {
  std::string bytes("\xFF\xFE", 2);
  for (char16_t c : text) {
    if (c == u'\n') bytes.append("\r\0", 2);
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

// Every test starts from an empty registry home with the real files.
class RegistryFixture : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
  }
  void TearDown() override {
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
  }
};

}  // namespace regtest
