#include "platform/com/Variant.h"

#include <cstring>
#include <utility>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"

namespace {

bool knownBaseType(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN: case VT_I1: case VT_UI1:
    case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

// A type this layer can hold: a known base type, or a reference to one (or to a VARIANT).
bool knownType(VARTYPE vt) {
  if (vt & VT_BYREF) {
    const VARTYPE base = vt & ~VT_BYREF;
    return base == VT_VARIANT || (knownBaseType(base) && base != VT_EMPTY && base != VT_NULL);
  }
  return knownBaseType(vt);
}

}  // namespace

void VariantInit(VARIANTARG* pvarg) {
  if (!pvarg) return;
  std::memset(pvarg, 0, sizeof *pvarg);
  pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  if (!knownType(pvarg->vt)) return DISP_E_BADVARTYPE;
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_DISPATCH:
      if (pvarg->pdispVal) pvarg->pdispVal->Release();
      break;
    case VT_UNKNOWN:
      if (pvarg->punkVal) pvarg->punkVal->Release();
      break;
    default:
      break;
  }
  VariantInit(pvarg);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if (!knownType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  VARIANT copy = *pvargSrc;
  switch (copy.vt) {
    case VT_BSTR:
      if (pvargSrc->bstrVal) {
        copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(pvargSrc->bstrVal),
                                             SysStringByteLen(pvargSrc->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
      }
      break;
    case VT_DISPATCH:
      if (copy.pdispVal) copy.pdispVal->AddRef();
      break;
    case VT_UNKNOWN:
      if (copy.punkVal) copy.punkVal->AddRef();
      break;
    default:
      break;
  }
  const HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *pvargDest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
  if (!pvarDest || !pvargSrc) return E_INVALIDARG;
  if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
  if (!knownType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  if (!pvargSrc->byref) return E_INVALIDARG;
  const VARTYPE base = pvargSrc->vt & ~VT_BYREF;
  if (base == VT_VARIANT) {
    // One level only: a reference to a reference is not followed further.
    const VARIANT* inner = pvargSrc->pvarVal;
    if (inner->vt & VT_BYREF) return E_INVALIDARG;
    return VariantCopy(pvarDest, inner);
  }
  VARIANT value;
  VariantInit(&value);
  value.vt = base;
  switch (base) {
    case VT_I1: value.cVal = *pvargSrc->pcVal; break;
    case VT_UI1: value.bVal = *pvargSrc->pbVal; break;
    case VT_I2: value.iVal = *pvargSrc->piVal; break;
    case VT_UI2: value.uiVal = *pvargSrc->puiVal; break;
    case VT_I4: value.lVal = *pvargSrc->plVal; break;
    case VT_UI4: value.ulVal = *pvargSrc->pulVal; break;
    case VT_INT: value.intVal = *pvargSrc->pintVal; break;
    case VT_UINT: value.uintVal = *pvargSrc->puintVal; break;
    case VT_I8: value.llVal = *pvargSrc->pllVal; break;
    case VT_UI8: value.ullVal = *pvargSrc->pullVal; break;
    case VT_R4: value.fltVal = *pvargSrc->pfltVal; break;
    case VT_R8: value.dblVal = *pvargSrc->pdblVal; break;
    case VT_DATE: value.date = *pvargSrc->pdate; break;
    case VT_CY: value.cyVal = *pvargSrc->pcyVal; break;
    case VT_BOOL: value.boolVal = *pvargSrc->pboolVal; break;
    case VT_ERROR: value.scode = *pvargSrc->pscode; break;
    case VT_BSTR: value.bstrVal = *pvargSrc->pbstrVal; break;
    case VT_DISPATCH: value.pdispVal = *pvargSrc->ppdispVal; break;
    case VT_UNKNOWN: value.punkVal = *pvargSrc->ppunkVal; break;
    default: return DISP_E_BADVARTYPE;
  }
  // value borrows the referenced content; VariantCopy makes the destination's own copy.
  return VariantCopy(pvarDest, &value);
}

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID, USHORT wFlags, VARTYPE vt) {
  return VariantChangeType(pvargDest, pvarSrc, wFlags, vt);
}

namespace {
VARIANT makeMissing() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}
}  // namespace

const VARIANT vtMissing = makeMissing();

CComVariant::CComVariant(const VARIANT& src) {
  VariantInit(this);
  VariantCopy(this, &src);
}

CComVariant::CComVariant(const CComVariant& src) : CComVariant(static_cast<const VARIANT&>(src)) {}

CComVariant::CComVariant(CComVariant&& src) noexcept : VARIANT(src) { VariantInit(&src); }

CComVariant::CComVariant(LPCOLESTR text) {
  VariantInit(this);
  vt = VT_BSTR;
  bstrVal = SysAllocString(text);
}

CComVariant::CComVariant(const CComBSTR& text) {
  VariantInit(this);
  vt = VT_BSTR;
  bstrVal = text.Copy();
}

CComVariant::CComVariant(std::u16string_view text) {
  VariantInit(this);
  vt = VT_BSTR;
  bstrVal = CComBSTR(text).Detach();
}

CComVariant::CComVariant(bool value) noexcept {
  VariantInit(this);
  vt = VT_BOOL;
  boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

CComVariant::CComVariant(CHAR value) noexcept {
  VariantInit(this);
  vt = VT_I1;
  cVal = value;
}

CComVariant::CComVariant(BYTE value) noexcept {
  VariantInit(this);
  vt = VT_UI1;
  bVal = value;
}

CComVariant::CComVariant(SHORT value) noexcept {
  VariantInit(this);
  vt = VT_I2;
  iVal = value;
}

CComVariant::CComVariant(USHORT value) noexcept {
  VariantInit(this);
  vt = VT_UI2;
  uiVal = value;
}

CComVariant::CComVariant(LONG value, VARTYPE vtSrc) noexcept {
  VariantInit(this);
  vt = (vtSrc == VT_INT || vtSrc == VT_ERROR) ? vtSrc : VARTYPE{VT_I4};
  lVal = value;
}

CComVariant::CComVariant(ULONG value, VARTYPE vtSrc) noexcept {
  VariantInit(this);
  vt = vtSrc == VT_UINT ? VARTYPE{VT_UINT} : VARTYPE{VT_UI4};
  ulVal = value;
}

CComVariant::CComVariant(LONGLONG value) noexcept {
  VariantInit(this);
  vt = VT_I8;
  llVal = value;
}

CComVariant::CComVariant(ULONGLONG value) noexcept {
  VariantInit(this);
  vt = VT_UI8;
  ullVal = value;
}

CComVariant::CComVariant(FLOAT value) noexcept {
  VariantInit(this);
  vt = VT_R4;
  fltVal = value;
}

CComVariant::CComVariant(DOUBLE value, VARTYPE vtSrc) noexcept {
  VariantInit(this);
  vt = vtSrc == VT_DATE ? VARTYPE{VT_DATE} : VARTYPE{VT_R8};
  dblVal = value;
}

CComVariant::CComVariant(CY value) noexcept {
  VariantInit(this);
  vt = VT_CY;
  cyVal = value;
}

CComVariant::CComVariant(IDispatch* value) noexcept {
  VariantInit(this);
  vt = VT_DISPATCH;
  pdispVal = value;
  if (value) value->AddRef();
}

CComVariant::CComVariant(IUnknown* value) noexcept {
  VariantInit(this);
  vt = VT_UNKNOWN;
  punkVal = value;
  if (value) value->AddRef();
}

CComVariant::~CComVariant() { VariantClear(this); }

CComVariant& CComVariant::operator=(const CComVariant& src) {
  VariantCopy(this, &src);
  return *this;
}

CComVariant& CComVariant::operator=(CComVariant&& src) noexcept {
  if (this != &src) {
    VariantClear(this);
    static_cast<VARIANT&>(*this) = src;
    VariantInit(&src);
  }
  return *this;
}

CComVariant& CComVariant::operator=(const VARIANT& src) {
  VariantCopy(this, &src);
  return *this;
}

HRESULT CComVariant::Attach(VARIANT* src) {
  if (!src) return E_INVALIDARG;
  if (src == this) return S_OK;
  const HRESULT hr = VariantClear(this);
  if (FAILED(hr)) return hr;
  static_cast<VARIANT&>(*this) = *src;
  VariantInit(src);
  return S_OK;
}

HRESULT CComVariant::Detach(VARIANT* dest) {
  if (!dest) return E_POINTER;
  if (dest == this) return S_OK;
  const HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) return hr;
  *dest = *this;
  VariantInit(this);
  return S_OK;
}

HRESULT CComVariant::ChangeType(VARTYPE vtNew, const VARIANT* src) {
  return VariantChangeType(this, src ? src : this, 0, vtNew);
}

VARIANT* CComVariant::Receive() noexcept {
  if (vt != VT_EMPTY) {
    if constexpr (platform::com::detail::kAssertReceiveEmpty) platform::com::detail::receiveOnNonEmpty();
    VariantClear(this);
  }
  return this;
}

bool CComVariant::operator==(const VARIANT& other) const noexcept {
  if (vt != other.vt) return false;
  switch (vt) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_I1: return cVal == other.cVal;
    case VT_UI1: return bVal == other.bVal;
    case VT_I2: return iVal == other.iVal;
    case VT_UI2: return uiVal == other.uiVal;
    case VT_BOOL: return boolVal == other.boolVal;
    case VT_I4: case VT_INT: case VT_ERROR: return lVal == other.lVal;
    case VT_UI4: case VT_UINT: return ulVal == other.ulVal;
    case VT_I8: return llVal == other.llVal;
    case VT_UI8: return ullVal == other.ullVal;
    case VT_R4: return fltVal == other.fltVal;
    case VT_R8: case VT_DATE: return dblVal == other.dblVal;
    case VT_CY: return cyVal.int64 == other.cyVal.int64;
    case VT_BSTR: {
      const std::u16string_view a(bstrVal ? bstrVal : u"", SysStringLen(bstrVal));
      const std::u16string_view b(other.bstrVal ? other.bstrVal : u"", SysStringLen(other.bstrVal));
      return a == b;
    }
    case VT_DISPATCH: return pdispVal == other.pdispVal;
    case VT_UNKNOWN: return punkVal == other.punkVal;
    default: return byref == other.byref;
  }
}

namespace platform::com {
void clearExcepInfo(EXCEPINFO* info) {
  if (!info) return;
  SysFreeString(info->bstrSource);
  SysFreeString(info->bstrDescription);
  SysFreeString(info->bstrHelpFile);
  std::memset(info, 0, sizeof *info);
}
}  // namespace platform::com
