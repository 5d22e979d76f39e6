#pragma once
// Calls on an object through IDispatch by DISPID or by name (GetIDsOfNames, then Invoke): property
// get and put, method calls with arguments, and dotted property paths ("Session.CurrentUser").
// Every call answers the HRESULT of the object; nothing throws.

#include <span>
#include <string_view>

#include "platform/Export.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"

class QM_PLATFORM_API CComDispatchDriver {
 public:
  CComDispatchDriver() = default;
  CComDispatchDriver(IDispatch* object) : p(object) {}
  // Asks the object for IDispatch; an object without it leaves the driver empty.
  explicit CComDispatchDriver(IUnknown* object);

  // E_POINTER on an empty driver, for every call.
  HRESULT GetIDOfName(LPCOLESTR name, DISPID* id) const;
  // result must be empty (VT_EMPTY); it receives the value, and stays VT_EMPTY on failure.
  HRESULT GetProperty(DISPID id, VARIANT* result) const { return GetProperty(p, id, result); }
  HRESULT GetPropertyByName(LPCOLESTR name, VARIANT* result) const;
  // Objects are put by reference first (DISPATCH_PROPERTYPUTREF), then by value, as ATL does.
  HRESULT PutProperty(DISPID id, const VARIANT* value) const { return PutProperty(p, id, value); }
  HRESULT PutPropertyByName(LPCOLESTR name, const VARIANT* value) const;
  // Method calls (DISPATCH_METHOD); result may be null.
  HRESULT Invoke0(DISPID id, VARIANT* result = nullptr) const;
  HRESULT Invoke0(LPCOLESTR name, VARIANT* result = nullptr) const;
  HRESULT Invoke1(DISPID id, const VARIANT* arg1, VARIANT* result = nullptr) const;
  HRESULT Invoke1(LPCOLESTR name, const VARIANT* arg1, VARIANT* result = nullptr) const;
  HRESULT Invoke2(DISPID id, const VARIANT* arg1, const VARIANT* arg2, VARIANT* result = nullptr) const;
  HRESULT Invoke2(LPCOLESTR name, const VARIANT* arg1, const VARIANT* arg2, VARIANT* result = nullptr) const;
  // Any kind of call (DISPATCH_ flags); args are in the order of the call, first argument first.
  HRESULT InvokeArgs(DISPID id, WORD flags, std::span<const VARIANT> args, VARIANT* result) const;
  HRESULT InvokeArgs(LPCOLESTR name, WORD flags, std::span<const VARIANT> args, VARIANT* result) const;
  // Property gets along a path of names separated by dots; every step but the last must give an
  // object (else DISP_E_TYPEMISMATCH). An empty path or an empty step is E_INVALIDARG.
  HRESULT GetPropertyByPath(std::u16string_view path, VARIANT* result) const;

  static HRESULT GetProperty(IDispatch* object, DISPID id, VARIANT* result);
  static HRESULT PutProperty(IDispatch* object, DISPID id, const VARIANT* value);

  CComPtr<IDispatch> p;
};
