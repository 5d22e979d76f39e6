#include "platform/com/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <limits>

#include "platform/com/ComPtr.h"

namespace {

// Layout: [4 bytes unused][4-byte byte length][units...][NUL unit], the text 8-byte aligned.
constexpr std::size_t kHeader = 8;
// Keeps the byte length and the allocation inside what a UINT and a size_t can hold.
constexpr std::size_t kMaxBytes = std::numeric_limits<UINT>::max() - kHeader - 2;

BSTR allocBytes(const void* data, std::size_t bytes) {
  if (bytes > kMaxBytes) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kHeader + bytes + 2));
  if (!block) return nullptr;
  const UINT length = static_cast<UINT>(bytes);
  std::memcpy(block + 4, &length, sizeof length);
  unsigned char* text = block + kHeader;
  if (data) std::memcpy(text, data, bytes);
  else std::memset(text, 0, bytes);
  text[bytes] = 0;
  text[bytes + 1] = 0;
  return reinterpret_cast<BSTR>(text);
}

UINT byteLength(BSTR text) {
  UINT length = 0;
  std::memcpy(&length, reinterpret_cast<unsigned char*>(text) - 4, sizeof length);
  return length;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(std::char_traits<char16_t>::length(text)));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT len) {
  return allocBytes(text, static_cast<std::size_t>(len) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT len) { return allocBytes(bytes, len); }

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - kHeader);
}

UINT SysStringLen(BSTR text) { return text ? byteLength(text) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR text) { return text ? byteLength(text) : 0; }

INT SysReAllocString(BSTR* text, const OLECHAR* source) {
  if (!text) return FALSE;
  return SysReAllocStringLen(text, source,
                             source ? static_cast<UINT>(std::char_traits<char16_t>::length(source)) : 0);
}

INT SysReAllocStringLen(BSTR* text, const OLECHAR* source, UINT len) {
  if (!text) return FALSE;
  // Copy first: the source may lie inside the old text.
  BSTR fresh = SysAllocStringLen(source, len);
  if (!fresh) return FALSE;
  SysFreeString(*text);
  *text = fresh;
  return TRUE;
}

CComBSTR::CComBSTR(LPCOLESTR text) : m_str(SysAllocString(text)) {}

CComBSTR::CComBSTR(int len, LPCOLESTR text) : m_str(len >= 0 ? SysAllocStringLen(text, static_cast<UINT>(len)) : nullptr) {}

CComBSTR::CComBSTR(std::u16string_view text)
    : m_str(text.size() > kMaxBytes / 2 ? nullptr : SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

CComBSTR::CComBSTR(const CComBSTR& other) : m_str(other.Copy()) {}

CComBSTR::~CComBSTR() { SysFreeString(m_str); }

CComBSTR& CComBSTR::operator=(const CComBSTR& other) {
  if (this != std::addressof(other)) {
    BSTR fresh = other.Copy();
    SysFreeString(m_str);
    m_str = fresh;
  }
  return *this;
}

CComBSTR& CComBSTR::operator=(CComBSTR&& other) noexcept {
  if (this != std::addressof(other)) {
    SysFreeString(m_str);
    m_str = std::exchange(other.m_str, nullptr);
  }
  return *this;
}

CComBSTR& CComBSTR::operator=(LPCOLESTR text) {
  if (text != m_str) {
    BSTR fresh = SysAllocString(text);
    SysFreeString(m_str);
    m_str = fresh;
  }
  return *this;
}

BSTR* CComBSTR::Receive() noexcept {
  if (m_str) {
    if constexpr (platform::com::detail::kAssertReceiveEmpty) platform::com::detail::receiveOnNonEmpty();
    Empty();
  }
  return &m_str;
}

void CComBSTR::Empty() noexcept {
  SysFreeString(m_str);
  m_str = nullptr;
}

void CComBSTR::Attach(BSTR text) noexcept {
  if (text != m_str) {
    SysFreeString(m_str);
    m_str = text;
  }
}

BSTR CComBSTR::Copy() const {
  if (!m_str) return nullptr;
  return SysAllocStringByteLen(reinterpret_cast<const char*>(m_str), SysStringByteLen(m_str));
}

HRESULT CComBSTR::CopyTo(BSTR* out) const {
  if (!out) return E_POINTER;
  *out = Copy();
  return (*out || !m_str) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CComBSTR::Append(LPCOLESTR text) {
  return Append(text, text ? static_cast<int>(std::char_traits<char16_t>::length(text)) : 0);
}

HRESULT CComBSTR::Append(LPCOLESTR text, int len) {
  if (len < 0) return E_INVALIDARG;
  if (len == 0) return S_OK;
  const std::size_t old = Length();
  if (old + static_cast<std::size_t>(len) > kMaxBytes / 2) return E_OUTOFMEMORY;
  BSTR fresh = SysAllocStringLen(nullptr, static_cast<UINT>(old + len));
  if (!fresh) return E_OUTOFMEMORY;
  if (old) std::memcpy(fresh, m_str, old * sizeof(OLECHAR));
  if (text) std::memcpy(fresh + old, text, static_cast<std::size_t>(len) * sizeof(OLECHAR));
  SysFreeString(m_str);
  m_str = fresh;
  return S_OK;
}
