#pragma once
// GUIDs (interface and class ids): comparison, the registry's "{XXXXXXXX-XXXX-...}" text form,
// compile-time literals, and the ids of the standard COM interfaces.

#include <string>
#include <string_view>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/HResult.h"

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPCLSID = CLSID*;
using LPIID = IID*;
using LPGUID = GUID*;
using LPCIID = const IID*;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
constexpr bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

namespace platform::com {

namespace detail {
constexpr int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
// Parses 8-4-4-4-12 hexadecimal digits, with or without the braces; false on any other shape.
template <class Char>
constexpr bool parseGuidText(std::basic_string_view<Char> text, GUID& out) {
  if (text.size() == 38) {
    if (text.front() != Char('{') || text.back() != Char('}')) return false;
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return false;
  unsigned char bytes[16] = {};
  std::size_t pos = 0;
  for (int b = 0; b < 16; ++b) {
    if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
      if (text[pos] != Char('-')) return false;
      ++pos;
    }
    const auto hi = text[pos], lo = text[pos + 1];
    if (hi > 0x7F || lo > 0x7F) return false;
    const int h = hexDigit(static_cast<char>(hi)), l = hexDigit(static_cast<char>(lo));
    if (h < 0 || l < 0) return false;
    bytes[b] = static_cast<unsigned char>(h * 16 + l);
    pos += 2;
  }
  out.Data1 = (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | bytes[3];
  out.Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
  out.Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) out.Data4[i] = bytes[8 + i];
  return true;
}
}  // namespace detail

// A GUID written as text in the source ("00020400-0000-0000-C000-000000000046", braces optional);
// a malformed literal does not compile.
consteval GUID guid(const char* text) {
  GUID g{};
  std::string_view view(text);
  if (!detail::parseGuidText(view, g)) throw "malformed GUID literal";
  return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case digits, as the registry keeps them.
QM_PLATFORM_API std::u16string formatGuid(REFGUID g);
// Reads the braced or bare form (either case); false and out untouched on any other text.
QM_PLATFORM_API bool parseGuid(std::u16string_view text, GUID& out);

}  // namespace platform::com

// ole32's text forms. StringFromGUID2 answers the characters written with the terminator (39), or 0
// when the buffer is too small. CLSIDFromString and IIDFromString take the braced form only.
QM_PLATFORM_API int StringFromGUID2(REFGUID g, char16_t* buffer, int cchMax);
QM_PLATFORM_API HRESULT CLSIDFromString(const char16_t* text, LPCLSID clsid);
QM_PLATFORM_API HRESULT IIDFromString(const char16_t* text, LPIID iid);

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};
inline constexpr CLSID CLSID_NULL{};
inline constexpr IID IID_IUnknown = platform::com::guid("00000000-0000-0000-C000-000000000046");
inline constexpr IID IID_IClassFactory = platform::com::guid("00000001-0000-0000-C000-000000000046");
inline constexpr IID IID_IDispatch = platform::com::guid("00020400-0000-0000-C000-000000000046");
inline constexpr IID IID_ITypeInfo = platform::com::guid("00020401-0000-0000-C000-000000000046");
inline constexpr IID IID_IConnectionPointContainer =
    platform::com::guid("B196B284-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IEnumConnectionPoints = platform::com::guid("B196B285-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IConnectionPoint = platform::com::guid("B196B286-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IEnumConnections = platform::com::guid("B196B287-BAB4-101A-B69C-00AA00341D07");
