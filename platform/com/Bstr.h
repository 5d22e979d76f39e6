#pragma once
// BSTR: a length-prefixed UTF-16 text that may hold NULs, and CComBSTR, its owner.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/HResult.h"

using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
#define OLESTR(str) u##str

// The null BSTR stands for the empty text: its length is 0. Every allocation answers null when
// memory runs out or the length cannot be represented. The text is always NUL-terminated after
// its length.
QM_PLATFORM_API BSTR SysAllocString(const OLECHAR* text);
// Copies len units (NULs included); a null text gives len units of zero.
QM_PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT len);
// A BSTR of len bytes (a text of bytes, as the byte-length calls see it).
QM_PLATFORM_API BSTR SysAllocStringByteLen(const char* bytes, UINT len);
QM_PLATFORM_API void SysFreeString(BSTR text);
QM_PLATFORM_API UINT SysStringLen(BSTR text);
QM_PLATFORM_API UINT SysStringByteLen(BSTR text);
// Replace *text by a new copy; FALSE (and *text unchanged) when the allocation fails.
QM_PLATFORM_API INT SysReAllocString(BSTR* text, const OLECHAR* source);
QM_PLATFORM_API INT SysReAllocStringLen(BSTR* text, const OLECHAR* source, UINT len);

// Owns one BSTR (null when empty); copies duplicate the text, moves hand it over.
class QM_PLATFORM_API CComBSTR {
 public:
  CComBSTR() noexcept = default;
  CComBSTR(std::nullptr_t) noexcept {}
  CComBSTR(LPCOLESTR text);
  CComBSTR(int len, LPCOLESTR text);
  explicit CComBSTR(std::u16string_view text);
  CComBSTR(const CComBSTR& other);
  CComBSTR(CComBSTR&& other) noexcept : m_str(std::exchange(other.m_str, nullptr)) {}
  ~CComBSTR();

  CComBSTR& operator=(const CComBSTR& other);
  CComBSTR& operator=(CComBSTR&& other) noexcept;
  CComBSTR& operator=(LPCOLESTR text);

  operator BSTR() const noexcept { return m_str; }
  // The slot for an out-parameter (BSTR*); it must be empty, as CComPtr's is.
  BSTR* Receive() noexcept;
  BSTR* operator&() noexcept { return Receive(); }
  bool operator!() const noexcept { return m_str == nullptr; }

  UINT Length() const noexcept { return SysStringLen(m_str); }
  UINT ByteLength() const noexcept { return SysStringByteLen(m_str); }
  // The text with embedded NULs kept.
  std::u16string_view view() const noexcept { return {m_str ? m_str : u"", Length()}; }
  std::u16string str() const { return std::u16string(view()); }

  void Empty() noexcept;
  void Attach(BSTR text) noexcept;
  [[nodiscard]] BSTR Detach() noexcept { return std::exchange(m_str, nullptr); }
  // A new copy for the caller (null for an empty owner).
  [[nodiscard]] BSTR Copy() const;
  HRESULT CopyTo(BSTR* out) const;
  HRESULT Append(LPCOLESTR text);
  HRESULT Append(LPCOLESTR text, int len);
  HRESULT Append(const CComBSTR& other) { return Append(other.m_str, static_cast<int>(other.Length())); }
  CComBSTR& operator+=(const CComBSTR& other) {
    Append(other);
    return *this;
  }

  // Texts compare by their units; a null BSTR equals the empty text.
  bool operator==(const CComBSTR& other) const noexcept { return view() == other.view(); }
  bool operator==(LPCOLESTR text) const noexcept {
    return view() == std::u16string_view(text ? text : u"");
  }

  BSTR m_str = nullptr;
};
