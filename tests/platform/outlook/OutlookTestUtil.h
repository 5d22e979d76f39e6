#pragma once
// Small readers shared by the object-model tests: property reads by DISPID and by name, values as
// comparable texts, and a store of links to the shared samples.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/DispatchDriver.h"
#include "platform/com/OleTime.h"
#include "platform/com/Variant.h"
#include "platform/outlook/Outlook.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace outlooktest {

inline std::string utf8(std::u16string_view text) { return platform::system::utf16ToUtf8(text); }

// A value as "type:text": s: text, i: whole number, b: 0/1, d: yyyy-mm-dd hh:mm or "none",
// r: float, o: object (null or set), e: empty.
inline std::string show(const VARIANT& v) {
  char buffer[64];
  switch (v.vt) {
    case VT_BSTR: return "s:" + (v.bstrVal ? utf8(std::u16string_view(v.bstrVal, SysStringLen(v.bstrVal))) : "");
    case VT_I4: return "i:" + std::to_string(v.lVal);
    case VT_I2: return "i:" + std::to_string(v.iVal);
    case VT_BOOL: return v.boolVal ? "b:1" : "b:0";
    case VT_R8: std::snprintf(buffer, sizeof buffer, "r:%g", v.dblVal); return buffer;
    case VT_DATE: {
      if (v.date == kOutlookNoDate) return "d:none";
      SYSTEMTIME st{};
      if (!VariantTimeToSystemTime(v.date, &st)) return "d:?";
      std::snprintf(buffer, sizeof buffer, "d:%04u-%02u-%02u %02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                    st.wMinute);
      return buffer;
    }
    case VT_DISPATCH: return v.pdispVal ? "o:set" : "o:null";
    case VT_UNKNOWN: return v.punkVal ? "u:set" : "u:null";
    case VT_EMPTY: return "e:";
    default: return "vt:" + std::to_string(v.vt);
  }
}

inline HRESULT get(IDispatch* object, DISPID id, CComVariant& out) {
  out.Clear();
  return CComDispatchDriver::GetProperty(object, id, &out);
}
inline CComVariant get(IDispatch* object, DISPID id) {
  CComVariant out;
  get(object, id, out);
  return out;
}
inline CComVariant get(IDispatch* object, const char16_t* name) {
  CComVariant out;
  CComDispatchDriver(object).GetPropertyByName(name, &out);
  return out;
}
inline CComPtr<IDispatch> object(IDispatch* from, const char16_t* name) {
  CComVariant v = get(from, name);
  return v.vt == VT_DISPATCH ? CComPtr<IDispatch>(v.pdispVal) : nullptr;
}
inline CComVariant call(IDispatch* object, const char16_t* name, const VARIANT& arg, HRESULT* hr = nullptr) {
  CComVariant out;
  const HRESULT result = CComDispatchDriver(object).Invoke1(name, &arg, &out);
  if (hr) *hr = result;
  return out;
}
inline CComPtr<IDispatch> callObject(IDispatch* object, const char16_t* name, const VARIANT& arg, HRESULT* hr = nullptr) {
  CComVariant v = call(object, name, arg, hr);
  return v.vt == VT_DISPATCH ? CComPtr<IDispatch>(v.pdispVal) : nullptr;
}

// ItemProperties.Item(name).Value; an empty value when any step fails.
inline CComVariant getByName(IDispatch* item, std::u16string_view name, HRESULT* hr = nullptr) {
  CComPtr<IDispatch> properties = object(item, u"ItemProperties");
  if (!properties) return {};
  CComPtr<IDispatch> property = callObject(properties, u"Item", CComVariant(name), hr);
  if (!property) return {};
  CComVariant value;
  const HRESULT result = CComDispatchDriver(property).GetPropertyByName(u"Value", &value);
  if (hr) *hr = result;
  return value;
}

inline std::filesystem::path samplesDir() { return testsupport::sharedDir() / "testdata" / "msg"; }

// A store folder holding links to samples: (sub-folder, sample file name) pairs.
inline std::filesystem::path linkSamples(const std::filesystem::path& root,
                                         const std::vector<std::pair<std::string, std::string>>& samples) {
  for (const auto& [folder, name] : samples) {
    std::filesystem::create_directories(root / folder);
    std::filesystem::create_symlink(samplesDir() / name, root / folder / name);
  }
  return root;
}

}  // namespace outlooktest
