#pragma once
// Small calls on Outlook objects shared by the item and the message.

#include <span>

#include "platform/com/DispatchDriver.h"
#include "platform/com/Variant.h"

namespace engine::detail {

// A collection's Item(index or name). Outlook's collections answer it as a method and as an
// indexed property, so both kinds of call are asked for at once, as script callers do.
inline HRESULT getItemOf(IDispatch* collection, const VARIANT& key, CComVariant& result) {
  return CComDispatchDriver(collection).InvokeArgs(u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                                   std::span<const VARIANT>(&key, 1), result.Receive());
}

// The object a value holds (VT_DISPATCH, or VT_UNKNOWN that answers IDispatch); null otherwise.
inline CComPtr<IDispatch> dispatchOf(const VARIANT& value) {
  CComPtr<IDispatch> object;
  if (value.vt == VT_DISPATCH && value.pdispVal) object = value.pdispVal;
  else if (value.vt == VT_UNKNOWN && value.punkVal)
    value.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.Receive()));
  return object;
}

// Count of a collection as a whole number.
inline HRESULT countOf(IDispatch* collection, LONG& count) {
  CComVariant value;
  HRESULT hr = CComDispatchDriver(collection).GetPropertyByName(u"Count", value.Receive());
  if (SUCCEEDED(hr)) hr = value.ChangeType(VT_I4);
  if (SUCCEEDED(hr)) count = value.lVal;
  return hr;
}

}  // namespace engine::detail
