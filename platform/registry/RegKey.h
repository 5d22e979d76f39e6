#pragma once
// CRegKey: the class library's owner of one open registry key. Closes the key when it goes.

#include <string>
#include <vector>

#include "platform/registry/Registry.h"

class CRegKey {
 public:
  CRegKey() = default;
  ~CRegKey() { Close(); }
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;

  operator HKEY() const { return m_hKey; }  // NOLINT: as the class library does

  LONG Open(HKEY parent, LPCWSTR name, REGSAM access = KEY_READ | KEY_WRITE) {
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExW(parent, name, 0, access, &key);
    if (rc == ERROR_SUCCESS) {
      Close();
      m_hKey = key;
    }
    return rc;
  }

  LONG Create(HKEY parent, LPCWSTR name, LPWSTR keyClass = nullptr, DWORD options = REG_OPTION_NON_VOLATILE,
              REGSAM access = KEY_READ | KEY_WRITE, LPSECURITY_ATTRIBUTES security = nullptr,
              LPDWORD disposition = nullptr) {
    HKEY key = nullptr;
    const LONG rc = RegCreateKeyExW(parent, name, 0, keyClass, options, access, security, &key, disposition);
    if (rc == ERROR_SUCCESS) {
      Close();
      m_hKey = key;
    }
    return rc;
  }

  LONG Close() {
    if (!m_hKey) return ERROR_SUCCESS;
    const LONG rc = RegCloseKey(m_hKey);
    m_hKey = nullptr;
    return rc;
  }

  // A DWORD value; ERROR_INVALID_DATA when the value has another type.
  LONG QueryDWORDValue(LPCWSTR name, DWORD& value) {
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    const LONG rc = RegQueryValueExW(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (rc != ERROR_SUCCESS) return rc;
    if (type != REG_DWORD || size != sizeof data) return ERROR_INVALID_DATA;
    value = data;
    return ERROR_SUCCESS;
  }

  LONG QueryValue(LPCWSTR name, DWORD* type, void* data, ULONG* bytes) {
    return RegQueryValueExW(m_hKey, name, nullptr, type, static_cast<BYTE*>(data), bytes);
  }

  LONG SetDWORDValue(LPCWSTR name, DWORD value) {
    return RegSetValueExW(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }

  // Text with its terminator, as REG_SZ or REG_EXPAND_SZ.
  LONG SetStringValue(LPCWSTR name, LPCWSTR value, DWORD type = REG_SZ) {
    if (!value) return ERROR_INVALID_PARAMETER;
    std::size_t n = 0;
    while (value[n]) ++n;
    return RegSetValueExW(m_hKey, name, 0, type, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>((n + 1) * sizeof(char16_t)));
  }

  LONG SetValue(LPCWSTR name, DWORD type, const void* data, ULONG bytes) {
    return RegSetValueExW(m_hKey, name, 0, type, static_cast<const BYTE*>(data), bytes);
  }

  LONG DeleteValue(LPCWSTR name) { return RegDeleteValueW(m_hKey, name); }
  LONG DeleteSubKey(LPCWSTR name) { return RegDeleteKeyW(m_hKey, name); }
  LONG RecurseDeleteKey(LPCWSTR name) { return RegDeleteTreeW(m_hKey, name); }
  LONG Flush() { return RegFlushKey(m_hKey); }

  LONG EnumKey(DWORD index, LPWSTR name, LPDWORD chars, PFILETIME lastWrite = nullptr) {
    return RegEnumKeyExW(m_hKey, index, name, chars, nullptr, nullptr, nullptr, lastWrite);
  }

  // The name of the sub-key at an index, at any length.
  LONG EnumKey(DWORD index, std::u16string& name) {
    std::vector<char16_t> buffer(256);
    for (;;) {
      DWORD chars = static_cast<DWORD>(buffer.size());
      const LONG rc = EnumKey(index, buffer.data(), &chars);
      if (rc == ERROR_MORE_DATA && buffer.size() < 65536) {
        buffer.resize(buffer.size() * 4);
        continue;
      }
      if (rc == ERROR_SUCCESS) name.assign(buffer.data(), chars);
      return rc;
    }
  }

  HKEY m_hKey = nullptr;
};
