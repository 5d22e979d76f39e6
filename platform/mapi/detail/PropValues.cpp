// Stored properties to MAPI values: fixed values from their 8 inline bytes, strings converted
// between 8-bit and Unicode as the caller's tag asks.
#include "platform/mapi/detail/PropValues.h"

#include <cstring>
#include <limits>

#include "platform/system/CodePage.h"

namespace platform::mapi::detail {
namespace {

bool isString(ULONG type) { return type == PT_STRING8 || type == PT_UNICODE; }

// Whether a stored type can be read as the wanted type.
bool compatible(ULONG stored, ULONG wanted) {
  if (stored == wanted) return true;
  if (isString(stored) && isString(wanted)) return true;
  return (stored & MV_FLAG) && (wanted & MV_FLAG) && isString(stored & ~MV_FLAG) && isString(wanted & ~MV_FLAG);
}

template <class T>
T readAs(const void* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

FILETIME fileTimeOf(const void* p) {
  return FILETIME{readU32(p), readU32(static_cast<const char*>(p) + 4)};
}

GUID guidOf(std::string_view bytes) {
  GUID g{};
  if (bytes.size() >= 16) {
    g.Data1 = readU32(bytes.data());
    g.Data2 = readU16(bytes.data() + 4);
    g.Data3 = readU16(bytes.data() + 6);
    std::memcpy(g.Data4, bytes.data() + 8, 8);
  }
  return g;
}

// A string value in the wanted width, allocated on parent.
void* stringMore(void* parent, std::string_view stored, ULONG storedType, ULONG wantedType, UINT codePage) {
  if (wantedType == PT_UNICODE) {
    const std::u16string text =
        storedType == PT_UNICODE ? decodeUnicode(stored) : decodeString8(stored, codePage);
    return copyMore(parent, text.data(), text.size() * 2, 2);
  }
  if (storedType == PT_STRING8) {
    const std::string_view bytes = trimString8(stored);
    return copyMore(parent, bytes.data(), bytes.size(), 1);
  }
  const std::string bytes = encodeString8(decodeUnicode(stored), codePage);
  return copyMore(parent, bytes.data(), bytes.size(), 1);
}

template <class T>
T* arrayMore(void* parent, std::size_t count) {
  if (count > std::numeric_limits<ULONG>::max() / sizeof(T)) return nullptr;
  void* p = nullptr;
  if (FAILED(MAPIAllocateMore(static_cast<ULONG>(sizeof(T) * (count ? count : 1)), parent, &p))) return nullptr;
  return static_cast<T*>(p);
}

HRESULT fillMultiValued(const StoredProp& prop, ULONG wanted, UINT codePage, void* parent, SPropValue& out) {
  const ULONG stored = PROP_TYPE(prop.tag);
  const auto& values = prop.values;
  const ULONG count = static_cast<ULONG>(values.size());
  const ULONG base = wanted & ~MV_FLAG;
  // Every fixed element was cut to its exact size by the reader.
  const auto fixed = [&](auto* array, auto convert) -> HRESULT {
    if (!array) return MAPI_E_NOT_ENOUGH_MEMORY;
    for (ULONG i = 0; i < count; ++i) array[i] = convert(values[i].data());
    return S_OK;
  };
  HRESULT hr = S_OK;
  switch (base) {
    case PT_I2:
      out.Value.MVi = {count, arrayMore<short>(parent, count)};
      hr = fixed(out.Value.MVi.lpi, [](const char* p) { return static_cast<short>(readU16(p)); });
      break;
    case PT_LONG:
      out.Value.MVl = {count, arrayMore<LONG>(parent, count)};
      hr = fixed(out.Value.MVl.lpl, [](const char* p) { return static_cast<LONG>(readU32(p)); });
      break;
    case PT_R4:
      out.Value.MVflt = {count, arrayMore<float>(parent, count)};
      hr = fixed(out.Value.MVflt.lpflt, [](const char* p) { return readAs<float>(p); });
      break;
    case PT_DOUBLE:
    case PT_APPTIME:
      out.Value.MVdbl = {count, arrayMore<double>(parent, count)};
      hr = fixed(out.Value.MVdbl.lpdbl, [](const char* p) { return readAs<double>(p); });
      break;
    case PT_CURRENCY:
      out.Value.MVcur = {count, arrayMore<CY>(parent, count)};
      hr = fixed(out.Value.MVcur.lpcur, [](const char* p) { CY c; c.int64 = readAs<LONGLONG>(p); return c; });
      break;
    case PT_I8:
      out.Value.MVli = {count, arrayMore<LARGE_INTEGER>(parent, count)};
      hr = fixed(out.Value.MVli.lpli, [](const char* p) { LARGE_INTEGER l; l.QuadPart = readAs<LONGLONG>(p); return l; });
      break;
    case PT_SYSTIME:
      out.Value.MVft = {count, arrayMore<FILETIME>(parent, count)};
      hr = fixed(out.Value.MVft.lpft, [](const char* p) { return fileTimeOf(p); });
      break;
    case PT_CLSID:
      out.Value.MVguid = {count, arrayMore<GUID>(parent, count)};
      hr = fixed(out.Value.MVguid.lpguid, [](const char* p) { return guidOf(std::string_view(p, 16)); });
      break;
    case PT_BINARY: {
      out.Value.MVbin = {count, arrayMore<SBinary>(parent, count)};
      if (!out.Value.MVbin.lpbin) return MAPI_E_NOT_ENOUGH_MEMORY;
      for (ULONG i = 0; i < count; ++i) {
        auto* data = static_cast<BYTE*>(copyMore(parent, values[i].data(), values[i].size()));
        if (!data) return MAPI_E_NOT_ENOUGH_MEMORY;
        out.Value.MVbin.lpbin[i] = {static_cast<ULONG>(values[i].size()), data};
      }
      break;
    }
    case PT_STRING8:
    case PT_UNICODE: {
      void** array = arrayMore<void*>(parent, count);
      if (!array) return MAPI_E_NOT_ENOUGH_MEMORY;
      for (ULONG i = 0; i < count; ++i) {
        array[i] = stringMore(parent, values[i], stored & ~MV_FLAG, base, codePage);
        if (!array[i]) return MAPI_E_NOT_ENOUGH_MEMORY;
      }
      if (base == PT_UNICODE)
        out.Value.MVszW = {count, reinterpret_cast<char16_t**>(array)};
      else
        out.Value.MVszA = {count, reinterpret_cast<char**>(array)};
      break;
    }
    default:
      return MAPI_E_NOT_FOUND;
  }
  return hr;
}

}  // namespace

std::u16string decodeUnicode(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(readU16(bytes.data() + 2 * i));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

std::string_view trimString8(std::string_view bytes) {
  while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
  return bytes;
}

std::u16string decodeString8(std::string_view bytes, UINT codePage) {
  bytes = trimString8(bytes);
  if (auto text = platform::system::toUtf16(codePage, bytes)) return std::move(*text);
  return platform::system::toUtf16(1252, bytes).value_or(std::u16string());
}

std::string encodeString8(std::u16string_view text, UINT codePage) {
  if (auto bytes = platform::system::fromUtf16(codePage, text)) return std::move(*bytes);
  return platform::system::fromUtf16(1252, text).value_or(std::string());
}

void* copyMore(void* parent, const void* data, std::size_t size, std::size_t terminator) {
  if (size > std::numeric_limits<ULONG>::max() - 16) return nullptr;
  void* p = nullptr;
  if (FAILED(MAPIAllocateMore(static_cast<ULONG>(size + terminator), parent, &p))) return nullptr;
  if (size) std::memcpy(p, data, size);
  std::memset(static_cast<char*>(p) + size, 0, terminator);
  return p;
}

void fillError(ULONG tag, HRESULT error, SPropValue& out) {
  out = SPropValue{};
  out.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
  out.Value.err = error;
}

void fillLong(ULONG tag, LONG value, SPropValue& out) {
  out = SPropValue{};
  out.ulPropTag = CHANGE_PROP_TYPE(tag, PT_LONG);
  out.Value.l = value;
}

HRESULT fillValue(const StoredProp& prop, ULONG tag, UINT codePage, void* parent, SPropValue& out) {
  const ULONG stored = PROP_TYPE(prop.tag);
  const ULONG wanted = PROP_TYPE(tag) == PT_UNSPECIFIED ? stored : PROP_TYPE(tag);
  if (!compatible(stored, wanted)) {
    fillError(tag, MAPI_E_NOT_FOUND, out);
    return MAPI_E_NOT_FOUND;
  }
  out = SPropValue{};
  out.ulPropTag = PROP_TAG(wanted, PROP_ID(tag));
  const std::uint8_t* v = prop.fixed.data();
  HRESULT hr = S_OK;
  switch (wanted) {
    case PT_I2: out.Value.i = static_cast<short>(readU16(v)); break;
    case PT_LONG: out.Value.l = static_cast<LONG>(readU32(v)); break;
    case PT_R4: out.Value.flt = readAs<float>(v); break;
    case PT_DOUBLE: out.Value.dbl = readAs<double>(v); break;
    case PT_APPTIME: out.Value.at = readAs<double>(v); break;
    case PT_CURRENCY: out.Value.cur.int64 = readAs<LONGLONG>(v); break;
    case PT_I8: out.Value.li.QuadPart = readAs<LONGLONG>(v); break;
    case PT_ERROR: out.Value.err = static_cast<HRESULT>(readU32(v)); break;
    case PT_BOOLEAN: out.Value.b = v[0] != 0 ? 1 : 0; break;  // one byte; writers leave the rest undefined
    case PT_SYSTIME: out.Value.ft = fileTimeOf(v); break;
    case PT_NULL: case PT_OBJECT: out.Value.x = 0; break;
    case PT_STRING8:
      out.Value.lpszA = static_cast<char*>(stringMore(parent, prop.data, stored, wanted, codePage));
      if (!out.Value.lpszA) hr = MAPI_E_NOT_ENOUGH_MEMORY;
      break;
    case PT_UNICODE:
      out.Value.lpszW = static_cast<char16_t*>(stringMore(parent, prop.data, stored, wanted, codePage));
      if (!out.Value.lpszW) hr = MAPI_E_NOT_ENOUGH_MEMORY;
      break;
    case PT_BINARY:
      out.Value.bin.cb = static_cast<ULONG>(prop.data.size());
      out.Value.bin.lpb = static_cast<BYTE*>(copyMore(parent, prop.data.data(), prop.data.size()));
      if (!out.Value.bin.lpb) hr = MAPI_E_NOT_ENOUGH_MEMORY;
      break;
    case PT_CLSID: {
      const GUID g = guidOf(prop.data);
      out.Value.lpguid = static_cast<GUID*>(copyMore(parent, &g, sizeof g));
      if (!out.Value.lpguid) hr = MAPI_E_NOT_ENOUGH_MEMORY;
      break;
    }
    default:
      hr = (wanted & MV_FLAG) ? fillMultiValued(prop, wanted, codePage, parent, out) : MAPI_E_NOT_FOUND;
      break;
  }
  if (FAILED(hr)) fillError(tag, hr, out);
  return hr;
}

std::optional<std::string> streamBytes(const StoredProp& prop, ULONG tag, UINT codePage) {
  const ULONG stored = PROP_TYPE(prop.tag);
  const ULONG wanted = PROP_TYPE(tag) == PT_UNSPECIFIED ? stored : PROP_TYPE(tag);
  if (!compatible(stored, wanted)) return std::nullopt;
  switch (wanted) {
    case PT_BINARY:
    case PT_CLSID:
      return prop.data;
    case PT_STRING8:
      if (stored == PT_STRING8) return std::string(trimString8(prop.data));
      return encodeString8(decodeUnicode(prop.data), codePage);
    case PT_UNICODE: {
      const std::u16string text = stored == PT_UNICODE ? decodeUnicode(prop.data) : decodeString8(prop.data, codePage);
      std::string bytes(text.size() * 2, '\0');
      for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
      }
      return bytes;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace platform::mapi::detail
