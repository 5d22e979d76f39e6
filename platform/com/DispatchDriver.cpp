#include "platform/com/DispatchDriver.h"

#include <string>
#include <vector>

namespace {

constexpr LCID kLocaleUserDefault = 0x400;

HRESULT invoke(IDispatch* object, DISPID id, WORD flags, std::span<const VARIANT> args, VARIANT* result,
               bool put) {
  if (!object) return E_POINTER;
  // DISPPARAMS wants the arguments last first; the shallow copies borrow the caller's content.
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), put ? &named : nullptr,
                    static_cast<UINT>(reversed.size()), put ? 1u : 0u};
  EXCEPINFO info{};
  UINT argErr = 0;
  const HRESULT hr = object->Invoke(id, IID_NULL, kLocaleUserDefault, flags, &params, result, &info, &argErr);
  platform::com::clearExcepInfo(&info);
  return hr;
}

}  // namespace

CComDispatchDriver::CComDispatchDriver(IUnknown* object) {
  if (object) object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(p.Receive()));
}

HRESULT CComDispatchDriver::GetIDOfName(LPCOLESTR name, DISPID* id) const {
  if (!id) return E_POINTER;
  *id = DISPID_UNKNOWN;
  if (!p) return E_POINTER;
  if (!name) return E_INVALIDARG;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  return p->GetIDsOfNames(IID_NULL, names, 1, kLocaleUserDefault, id);
}

HRESULT CComDispatchDriver::GetProperty(IDispatch* object, DISPID id, VARIANT* result) {
  if (!result) return E_POINTER;
  return invoke(object, id, DISPATCH_PROPERTYGET, {}, result, false);
}

HRESULT CComDispatchDriver::PutProperty(IDispatch* object, DISPID id, const VARIANT* value) {
  if (!value) return E_POINTER;
  const std::span<const VARIANT> args(value, 1);
  if (value->vt == VT_DISPATCH || value->vt == VT_UNKNOWN || (value->vt & VT_BYREF)) {
    const HRESULT hr = invoke(object, id, DISPATCH_PROPERTYPUTREF, args, nullptr, true);
    if (SUCCEEDED(hr)) return hr;
  }
  return invoke(object, id, DISPATCH_PROPERTYPUT, args, nullptr, true);
}

HRESULT CComDispatchDriver::GetPropertyByName(LPCOLESTR name, VARIANT* result) const {
  DISPID id;
  const HRESULT hr = GetIDOfName(name, &id);
  return FAILED(hr) ? hr : GetProperty(id, result);
}

HRESULT CComDispatchDriver::PutPropertyByName(LPCOLESTR name, const VARIANT* value) const {
  DISPID id;
  const HRESULT hr = GetIDOfName(name, &id);
  return FAILED(hr) ? hr : PutProperty(id, value);
}

HRESULT CComDispatchDriver::InvokeArgs(DISPID id, WORD flags, std::span<const VARIANT> args, VARIANT* result) const {
  return invoke(p, id, flags, args, result, false);
}

HRESULT CComDispatchDriver::InvokeArgs(LPCOLESTR name, WORD flags, std::span<const VARIANT> args,
                                       VARIANT* result) const {
  DISPID id;
  const HRESULT hr = GetIDOfName(name, &id);
  return FAILED(hr) ? hr : InvokeArgs(id, flags, args, result);
}

HRESULT CComDispatchDriver::Invoke0(DISPID id, VARIANT* result) const {
  return InvokeArgs(id, DISPATCH_METHOD, {}, result);
}

HRESULT CComDispatchDriver::Invoke0(LPCOLESTR name, VARIANT* result) const {
  return InvokeArgs(name, DISPATCH_METHOD, {}, result);
}

HRESULT CComDispatchDriver::Invoke1(DISPID id, const VARIANT* arg1, VARIANT* result) const {
  if (!arg1) return E_POINTER;
  return InvokeArgs(id, DISPATCH_METHOD, std::span<const VARIANT>(arg1, 1), result);
}

HRESULT CComDispatchDriver::Invoke1(LPCOLESTR name, const VARIANT* arg1, VARIANT* result) const {
  if (!arg1) return E_POINTER;
  return InvokeArgs(name, DISPATCH_METHOD, std::span<const VARIANT>(arg1, 1), result);
}

HRESULT CComDispatchDriver::Invoke2(DISPID id, const VARIANT* arg1, const VARIANT* arg2, VARIANT* result) const {
  if (!arg1 || !arg2) return E_POINTER;
  const VARIANT args[] = {*arg1, *arg2};
  return InvokeArgs(id, DISPATCH_METHOD, args, result);
}

HRESULT CComDispatchDriver::Invoke2(LPCOLESTR name, const VARIANT* arg1, const VARIANT* arg2, VARIANT* result) const {
  if (!arg1 || !arg2) return E_POINTER;
  const VARIANT args[] = {*arg1, *arg2};
  return InvokeArgs(name, DISPATCH_METHOD, args, result);
}

HRESULT CComDispatchDriver::GetPropertyByPath(std::u16string_view path, VARIANT* result) const {
  if (!result) return E_POINTER;
  if (path.empty()) return E_INVALIDARG;
  CComPtr<IDispatch> current = p;
  while (true) {
    const std::size_t dot = path.find(u'.');
    const std::u16string name(path.substr(0, dot));
    if (name.empty()) return E_INVALIDARG;
    CComVariant value;
    const HRESULT hr = CComDispatchDriver(current.p).GetPropertyByName(name.c_str(), &value);
    if (FAILED(hr)) return hr;
    if (dot == std::u16string_view::npos) return value.Detach(result);
    if (value.vt != VT_DISPATCH || !value.pdispVal) return DISP_E_TYPEMISMATCH;
    current = value.pdispVal;
    path.remove_prefix(dot + 1);
  }
}
