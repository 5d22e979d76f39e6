#include "platform/com/DispatchImpl.h"

#include <exception>

#include "platform/system/Text.h"
#include "platform/system/Diagnostics.h"

namespace platform::com {
namespace {

void fillException(EXCEPINFO* info, std::u16string_view description) {
  if (!info) return;
  clearExcepInfo(info);
  info->scode = E_FAIL;
  info->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
}

}  // namespace

CDispArgs::CDispArgs(const DISPPARAMS* params, UINT* argErr, bool put) : m_params(params), m_argErr(argErr) {
  if (!params) return;
  m_count = params->cArgs - params->cNamedArgs;
  if (put) m_putValue = &params->rgvarg[0];
}

const VARIANT& CDispArgs::operator[](UINT i) const noexcept { return m_params->rgvarg[m_params->cArgs - 1 - i]; }

bool CDispArgs::isMissing(UINT i) const noexcept {
  if (i >= m_count) return true;
  const VARIANT& v = (*this)[i];
  return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

HRESULT CDispArgs::convert(const VARIANT& value, UINT position, VARTYPE vt, CComVariant& out) const {
  CComVariant converted;
  const HRESULT hr = VariantChangeType(&converted, &value, 0, vt);
  if (FAILED(hr)) {
    if (m_argErr) *m_argErr = position;
    return hr;
  }
  out = std::move(converted);
  return S_OK;
}

HRESULT CDispArgs::get(UINT i, VARTYPE vt, CComVariant& out) const {
  if (isMissing(i)) {
    if (m_argErr && i < m_count) *m_argErr = m_params->cArgs - 1 - i;
    return DISP_E_PARAMNOTOPTIONAL;
  }
  return convert((*this)[i], m_params->cArgs - 1 - i, vt, out);
}

HRESULT CDispArgs::getLong(UINT i, LONG& out) const {
  CComVariant v;
  const HRESULT hr = get(i, VT_I4, v);
  if (SUCCEEDED(hr)) out = v.lVal;
  return hr;
}

HRESULT CDispArgs::getBool(UINT i, bool& out) const {
  CComVariant v;
  const HRESULT hr = get(i, VT_BOOL, v);
  if (SUCCEEDED(hr)) out = v.boolVal != VARIANT_FALSE;
  return hr;
}

HRESULT CDispArgs::getDouble(UINT i, double& out) const {
  CComVariant v;
  const HRESULT hr = get(i, VT_R8, v);
  if (SUCCEEDED(hr)) out = v.dblVal;
  return hr;
}

HRESULT CDispArgs::getText(UINT i, std::u16string& out) const {
  CComVariant v;
  const HRESULT hr = get(i, VT_BSTR, v);
  if (SUCCEEDED(hr)) out.assign(v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal));
  return hr;
}

HRESULT CDispArgs::getDispatch(UINT i, CComPtr<IDispatch>& out) const {
  CComVariant v;
  const HRESULT hr = get(i, VT_DISPATCH, v);
  if (SUCCEEDED(hr)) out = v.pdispVal;
  return hr;
}

HRESULT CDispArgs::getPutValue(VARTYPE vt, CComVariant& out) const {
  if (!m_putValue) return DISP_E_PARAMNOTOPTIONAL;
  return convert(*m_putValue, 0, vt, out);
}

CDispatchTable::Member& CDispatchTable::slot(DISPID id, std::u16string_view name) {
  remove(id);
  std::u16string key = platform::system::lowerCase(name);
  if (const auto old = m_ids.find(key); old != m_ids.end()) m_members.erase(old->second);
  m_ids[key] = id;
  Member& member = m_members[id];
  member.name = std::u16string(name);
  return member;
}

CDispatchTable& CDispatchTable::property(DISPID id, std::u16string_view name, DispHandler get, DispHandler put,
                                         UINT minArgs, UINT maxArgs) {
  Member& member = slot(id, name);
  member.get = std::move(get);
  member.put = std::move(put);
  member.getMin = minArgs;
  member.getMax = maxArgs < minArgs ? minArgs : maxArgs;
  return *this;
}

CDispatchTable& CDispatchTable::method(DISPID id, std::u16string_view name, DispHandler call, UINT minArgs,
                                       UINT maxArgs) {
  Member& member = slot(id, name);
  member.call = std::move(call);
  member.callMin = minArgs;
  member.callMax = maxArgs < minArgs ? minArgs : maxArgs;
  return *this;
}

void CDispatchTable::remove(DISPID id) {
  const auto found = m_members.find(id);
  if (found == m_members.end()) return;
  m_ids.erase(platform::system::lowerCase(found->second.name));
  m_members.erase(found);
}

DISPID CDispatchTable::idOf(std::u16string_view name) const {
  const auto found = m_ids.find(platform::system::lowerCase(name));
  return found == m_ids.end() ? DISPID_UNKNOWN : found->second;
}

HRESULT CDispatchTable::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) const {
  if (cNames == 0) return S_OK;
  if (!rgszNames || !rgDispId) return E_POINTER;
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  if (!rgszNames[0]) return DISP_E_UNKNOWNNAME;
  rgDispId[0] = idOf(rgszNames[0]);
  if (rgDispId[0] == DISPID_UNKNOWN || cNames > 1) return DISP_E_UNKNOWNNAME;
  return S_OK;
}

HRESULT CDispatchTable::Invoke(DISPID id, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                               EXCEPINFO* pExcepInfo, UINT* puArgErr) const {
  const auto found = m_members.find(id);
  if (found == m_members.end()) return DISP_E_MEMBERNOTFOUND;
  const Member& member = found->second;

  DISPPARAMS none{nullptr, nullptr, 0, 0};
  const DISPPARAMS* params = pDispParams ? pDispParams : &none;
  if (params->cNamedArgs > params->cArgs || (params->cArgs && !params->rgvarg) ||
      (params->cNamedArgs && !params->rgdispidNamedArgs))
    return E_INVALIDARG;

  const DispHandler* handler = nullptr;
  UINT minArgs = 0, maxArgs = 0;
  bool put = false;
  if ((wFlags & DISPATCH_METHOD) && member.call) {
    handler = &member.call;
    minArgs = member.callMin;
    maxArgs = member.callMax;
  } else if ((wFlags & DISPATCH_PROPERTYGET) && member.get) {
    handler = &member.get;
    minArgs = member.getMin;
    maxArgs = member.getMax;
  } else if ((wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && member.put) {
    handler = &member.put;
    minArgs = member.getMin;
    maxArgs = member.getMax;
    put = true;
  } else {
    return DISP_E_MEMBERNOTFOUND;
  }

  if (put) {
    if (params->cArgs == 0) return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
      return DISP_E_PARAMNOTOPTIONAL;
  } else if (params->cNamedArgs != 0) {
    return DISP_E_NONAMEDARGS;
  }
  const UINT positional = params->cArgs - params->cNamedArgs;
  if (positional < minArgs || positional > maxArgs) return DISP_E_BADPARAMCOUNT;

  CDispArgs args(params, puArgErr, put);
  CComVariant scratch;
  VARIANT* result = pVarResult ? pVarResult : &scratch;
  // The caller's result may hold an old value; it is replaced, as Invoke implementations do.
  VariantClear(result);
  try {
    // A copy: the handler may change the table while it runs.
    const DispHandler call = *handler;
    const HRESULT hr = call(args, result);
    if (FAILED(hr)) VariantClear(result);
    return hr;
  } catch (const CDispatchMiss& e) {
    VariantClear(result);
    platform::diag::report(platform::diag::Level::kDebug, "CDispatchTable::Invoke", e.what());
    fillException(pExcepInfo, platform::system::utf8ToUtf16(e.what()));
  } catch (const std::exception& e) {
    VariantClear(result);
    platform::diag::error("Exception caught in CDispatchTable::Invoke", e.what());
    fillException(pExcepInfo, platform::system::utf8ToUtf16(e.what()));
  } catch (...) {
    VariantClear(result);
    platform::diag::error("Exception caught in CDispatchTable::Invoke", "unknown exception");
    fillException(pExcepInfo, u"Unknown exception");
  }
  return DISP_E_EXCEPTION;
}

HRESULT putText(VARIANT* result, std::u16string_view text) {
  if (!result) return E_POINTER;
  BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!copy) return E_OUTOFMEMORY;
  VariantClear(result);
  result->vt = VT_BSTR;
  result->bstrVal = copy;
  return S_OK;
}

HRESULT putLong(VARIANT* result, LONG value) {
  if (!result) return E_POINTER;
  VariantClear(result);
  result->vt = VT_I4;
  result->lVal = value;
  return S_OK;
}

HRESULT putBool(VARIANT* result, bool value) {
  if (!result) return E_POINTER;
  VariantClear(result);
  result->vt = VT_BOOL;
  result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT putDispatch(VARIANT* result, IDispatch* object) {
  if (!result) return E_POINTER;
  if (object) object->AddRef();
  VariantClear(result);
  result->vt = VT_DISPATCH;
  result->pdispVal = object;
  return S_OK;
}

HRESULT putVariant(VARIANT* result, const VARIANT& value) {
  if (!result) return E_POINTER;
  return VariantCopy(result, &value);
}

}  // namespace platform::com
