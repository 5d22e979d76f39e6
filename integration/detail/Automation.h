#pragma once
// Outlook's and Office's objects as the add-in calls them: members by name through IDispatch, a
// failed call raising _com_error so that a handler's one guard catches everything it calls.

#include <initializer_list>
#include <optional>
#include <string>

#include "platform/com/Com.h"

namespace integration::detail {

// An argument left out (Office's optional parameters).
inline VARIANT missing() {
  VARIANT v;
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

inline void check(HRESULT hr) {
  if (FAILED(hr)) _com_issue_error(hr);
}

inline CComVariant get(IDispatch* object, const char16_t* name) {
  if (!object) _com_issue_error(E_POINTER);
  CComVariant result;
  check(CComDispatchDriver(object).GetPropertyByName(name, &result));
  return result;
}

// A property holding an object; raises when it holds none.
inline CComPtr<IDispatch> getObject(IDispatch* object, const char16_t* name) {
  const CComVariant value = get(object, name);
  if ((value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN) || !value.pdispVal) _com_issue_error(E_NOINTERFACE);
  CComPtr<IDispatch> result;
  check(value.pdispVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(result.Receive())));
  return result;
}

// A property holding an object, or null when it holds none (Outlook's "Nothing").
inline CComPtr<IDispatch> getObjectOrNull(IDispatch* object, const char16_t* name) {
  const CComVariant value = get(object, name);
  if ((value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN) || !value.pdispVal) return nullptr;
  CComPtr<IDispatch> result;
  value.pdispVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(result.Receive()));
  return result;
}

inline LONG getLong(IDispatch* object, const char16_t* name) {
  CComVariant value = get(object, name);
  check(value.ChangeType(VT_I4));
  return value.lVal;
}

inline bool getBool(IDispatch* object, const char16_t* name) {
  CComVariant value = get(object, name);
  check(value.ChangeType(VT_BOOL));
  return value.boolVal != VARIANT_FALSE;
}

inline std::u16string getText(IDispatch* object, const char16_t* name) {
  CComVariant value = get(object, name);
  check(value.ChangeType(VT_BSTR));
  return value.bstrVal ? std::u16string(value.bstrVal) : std::u16string();
}

inline void put(IDispatch* object, const char16_t* name, const CComVariant& value) {
  if (!object) _com_issue_error(E_POINTER);
  check(CComDispatchDriver(object).PutPropertyByName(name, &value));
}

// A method or parameterised property; arguments first to last.
inline CComVariant call(IDispatch* object, const char16_t* name, std::initializer_list<VARIANT> args = {},
                        WORD flags = DISPATCH_METHOD) {
  if (!object) _com_issue_error(E_POINTER);
  CComVariant result;
  check(CComDispatchDriver(object).InvokeArgs(name, flags, {args.begin(), args.size()}, &result));
  return result;
}

inline CComPtr<IDispatch> objectOf(const CComVariant& value) {
  if ((value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN) || !value.pdispVal) _com_issue_error(E_NOINTERFACE);
  CComPtr<IDispatch> result;
  check(value.pdispVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(result.Receive())));
  return result;
}

// Reads that never raise, for code that goes on without the value: null or nothing when the read
// fails or gives no such value.
inline CComPtr<IDispatch> tryObject(IDispatch* object, const char16_t* name) {
  if (!object) return nullptr;
  CComVariant value;
  if (FAILED(CComDispatchDriver(object).GetPropertyByName(name, &value)) || value.vt != VT_DISPATCH) return nullptr;
  return value.pdispVal;
}

inline std::optional<std::u16string> tryText(IDispatch* object, const char16_t* name) {
  if (!object) return std::nullopt;
  CComVariant value;
  if (FAILED(CComDispatchDriver(object).GetPropertyByName(name, &value)) || value.vt != VT_BSTR) return std::nullopt;
  return std::u16string(value.bstrVal ? value.bstrVal : u"");
}

inline std::optional<LONG> tryLong(IDispatch* object, const char16_t* name) {
  if (!object) return std::nullopt;
  CComVariant value;
  if (FAILED(CComDispatchDriver(object).GetPropertyByName(name, &value)) || FAILED(value.ChangeType(VT_I4)))
    return std::nullopt;
  return value.lVal;
}

// collection.Item(index), one-based.
inline CComPtr<IDispatch> itemOf(IDispatch* collection, LONG index) {
  const CComVariant key(index);
  return objectOf(call(collection, u"Item", {key}, DISPATCH_METHOD | DISPATCH_PROPERTYGET));
}

inline CComPtr<IDispatch> itemOf(IDispatch* collection, const char16_t* name) {
  const CComVariant key(name);
  return objectOf(call(collection, u"Item", {key}, DISPATCH_METHOD | DISPATCH_PROPERTYGET));
}

}  // namespace integration::detail
