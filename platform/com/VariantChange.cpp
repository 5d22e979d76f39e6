// VariantChangeType: OLE's coercion rules, with the US-English forms for texts.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Variant.h"
#include "platform/com/detail/VariantText.h"

namespace platform::com::detail {
namespace {

enum class Kind { Empty, Null, Int, UInt, Double, Cy, Date, Bool, String, Error };

// A source value taken out of its VARIANT; the text is borrowed.
struct Value {
  Kind kind = Kind::Empty;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
  std::int64_t cy = 0;
  bool b = false;
  std::u16string_view s;
  bool single = false;  // an R4, written with 7 significant digits
};

bool takeValue(const VARIANT& v, Value& out) {
  switch (v.vt) {
    case VT_EMPTY: out.kind = Kind::Empty; return true;
    case VT_NULL: out.kind = Kind::Null; return true;
    case VT_I1: out.kind = Kind::Int; out.i = static_cast<signed char>(v.cVal); return true;
    case VT_I2: out.kind = Kind::Int; out.i = v.iVal; return true;
    case VT_I4: out.kind = Kind::Int; out.i = v.lVal; return true;
    case VT_INT: out.kind = Kind::Int; out.i = v.intVal; return true;
    case VT_I8: out.kind = Kind::Int; out.i = v.llVal; return true;
    case VT_UI1: out.kind = Kind::UInt; out.u = v.bVal; return true;
    case VT_UI2: out.kind = Kind::UInt; out.u = v.uiVal; return true;
    case VT_UI4: out.kind = Kind::UInt; out.u = v.ulVal; return true;
    case VT_UINT: out.kind = Kind::UInt; out.u = v.uintVal; return true;
    case VT_UI8: out.kind = Kind::UInt; out.u = v.ullVal; return true;
    case VT_R4: out.kind = Kind::Double; out.d = v.fltVal; out.single = true; return true;
    case VT_R8: out.kind = Kind::Double; out.d = v.dblVal; return true;
    case VT_DATE: out.kind = Kind::Date; out.d = v.date; return true;
    case VT_CY: out.kind = Kind::Cy; out.cy = v.cyVal.int64; return true;
    case VT_BOOL: out.kind = Kind::Bool; out.b = v.boolVal != VARIANT_FALSE; return true;
    case VT_BSTR: out.kind = Kind::String; out.s = {v.bstrVal ? v.bstrVal : u"", SysStringLen(v.bstrVal)}; return true;
    case VT_ERROR: out.kind = Kind::Error; return true;
    default: return false;
  }
}

// Text to a number: an exact whole number when it has no fraction or exponent, else a double.
HRESULT numberFromText(std::u16string_view text, Value& out) {
  ParsedNumber parsed;
  if (!parseNumber(text, parsed)) return DISP_E_TYPEMISMATCH;
  out = Value{};
  switch (parsed.kind) {
    case ParsedNumber::kInt: out.kind = Kind::Int; out.i = parsed.i; break;
    case ParsedNumber::kUInt: out.kind = Kind::UInt; out.u = parsed.u; break;
    case ParsedNumber::kDouble:
      if (!std::isfinite(parsed.d)) return DISP_E_OVERFLOW;
      out.kind = Kind::Double;
      out.d = parsed.d;
      break;
  }
  return S_OK;
}

constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;

// Half to even, OLE's rounding of ten-thousandths to whole units.
std::int64_t roundCy(std::int64_t cy) {
  std::int64_t q = cy / kCyScale;
  const std::int64_t r = cy % kCyScale;
  if (r > 5000 || (r == 5000 && (q & 1))) ++q;
  else if (r < -5000 || (r == -5000 && (q & 1))) --q;
  return q;
}

HRESULT toSigned(Value v, std::int64_t lo, std::int64_t hi, std::int64_t& out) {
  if (v.kind == Kind::String) {
    const HRESULT hr = numberFromText(v.s, v);
    if (FAILED(hr)) return hr;
  }
  switch (v.kind) {
    case Kind::Empty: out = 0; return S_OK;
    case Kind::Bool: out = v.b ? -1 : 0; return S_OK;
    case Kind::Int:
      if (v.i < lo || v.i > hi) return DISP_E_OVERFLOW;
      out = v.i;
      return S_OK;
    case Kind::UInt:
      if (v.u > static_cast<std::uint64_t>(hi)) return DISP_E_OVERFLOW;
      out = static_cast<std::int64_t>(v.u);
      return S_OK;
    case Kind::Double:
    case Kind::Date: {
      if (!std::isfinite(v.d)) return DISP_E_OVERFLOW;
      const double r = std::nearbyint(v.d);
      if (r < -kTwo63 || r >= kTwo63) return DISP_E_OVERFLOW;
      const auto n = static_cast<std::int64_t>(r);
      if (n < lo || n > hi) return DISP_E_OVERFLOW;
      out = n;
      return S_OK;
    }
    case Kind::Cy: {
      const std::int64_t n = roundCy(v.cy);
      if (n < lo || n > hi) return DISP_E_OVERFLOW;
      out = n;
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

// hi is the target's largest value, so VARIANT_TRUE becomes all ones of the target's width.
HRESULT toUnsigned(Value v, std::uint64_t hi, std::uint64_t& out) {
  if (v.kind == Kind::String) {
    const HRESULT hr = numberFromText(v.s, v);
    if (FAILED(hr)) return hr;
  }
  switch (v.kind) {
    case Kind::Empty: out = 0; return S_OK;
    case Kind::Bool: out = v.b ? hi : 0; return S_OK;
    case Kind::UInt:
      if (v.u > hi) return DISP_E_OVERFLOW;
      out = v.u;
      return S_OK;
    case Kind::Int:
      if (v.i < 0 || static_cast<std::uint64_t>(v.i) > hi) return DISP_E_OVERFLOW;
      out = static_cast<std::uint64_t>(v.i);
      return S_OK;
    case Kind::Double:
    case Kind::Date: {
      if (!std::isfinite(v.d)) return DISP_E_OVERFLOW;
      const double r = std::nearbyint(v.d);
      if (r < 0 || r >= kTwo64) return DISP_E_OVERFLOW;
      const auto n = static_cast<std::uint64_t>(r);
      if (n > hi) return DISP_E_OVERFLOW;
      out = n;
      return S_OK;
    }
    case Kind::Cy: {
      const std::int64_t n = roundCy(v.cy);
      if (n < 0 || static_cast<std::uint64_t>(n) > hi) return DISP_E_OVERFLOW;
      out = static_cast<std::uint64_t>(n);
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT toDouble(Value v, double& out) {
  if (v.kind == Kind::String) {
    const HRESULT hr = numberFromText(v.s, v);
    if (FAILED(hr)) return hr;
  }
  switch (v.kind) {
    case Kind::Empty: out = 0; return S_OK;
    case Kind::Bool: out = v.b ? -1.0 : 0.0; return S_OK;
    case Kind::Int: out = static_cast<double>(v.i); return S_OK;
    case Kind::UInt: out = static_cast<double>(v.u); return S_OK;
    case Kind::Double:
    case Kind::Date: out = v.d; return S_OK;
    case Kind::Cy: out = static_cast<double>(v.cy) / kCyScale; return S_OK;
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT toCy(Value v, std::int64_t& out) {
  if (v.kind == Kind::String) {
    const HRESULT hr = numberFromText(v.s, v);
    if (FAILED(hr)) return hr;
  }
  constexpr std::int64_t kMaxWhole = std::numeric_limits<std::int64_t>::max() / kCyScale;
  switch (v.kind) {
    case Kind::Empty: out = 0; return S_OK;
    case Kind::Bool: out = v.b ? -kCyScale : 0; return S_OK;
    case Kind::Cy: out = v.cy; return S_OK;
    case Kind::Int:
      if (v.i > kMaxWhole || v.i < -kMaxWhole) return DISP_E_OVERFLOW;
      out = v.i * kCyScale;
      return S_OK;
    case Kind::UInt:
      if (v.u > static_cast<std::uint64_t>(kMaxWhole)) return DISP_E_OVERFLOW;
      out = static_cast<std::int64_t>(v.u) * kCyScale;
      return S_OK;
    case Kind::Double:
    case Kind::Date: {
      if (!std::isfinite(v.d)) return DISP_E_OVERFLOW;
      const double r = std::nearbyint(v.d * kCyScale);
      if (r < -kTwo63 || r >= kTwo63) return DISP_E_OVERFLOW;
      out = static_cast<std::int64_t>(r);
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT toDate(const Value& v, double& out) {
  double d = 0;
  if (v.kind == Kind::String) {
    if (!parseDate(v.s, d)) return DISP_E_TYPEMISMATCH;
  } else {
    const HRESULT hr = toDouble(v, d);
    if (FAILED(hr)) return hr;
  }
  if (!(d > kMinOleDate - 1.0 && d < std::floor(kMaxOleDate) + 1.0)) return DISP_E_OVERFLOW;
  out = d;
  return S_OK;
}

HRESULT toBool(const Value& v, bool& out) {
  switch (v.kind) {
    case Kind::Empty: out = false; return S_OK;
    case Kind::Bool: out = v.b; return S_OK;
    case Kind::Int: out = v.i != 0; return S_OK;
    case Kind::UInt: out = v.u != 0; return S_OK;
    case Kind::Double:
    case Kind::Date: out = v.d != 0; return S_OK;
    case Kind::Cy: out = v.cy != 0; return S_OK;
    case Kind::String: {
      if (parseBoolWord(v.s, out)) return S_OK;
      Value n;
      const HRESULT hr = numberFromText(v.s, n);
      if (FAILED(hr)) return hr;
      return toBool(n, out);
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT toText(const Value& v, USHORT flags, std::u16string& out) {
  switch (v.kind) {
    case Kind::Empty: out.clear(); return S_OK;
    case Kind::Int: out = formatSigned(v.i); return S_OK;
    case Kind::UInt: out = formatUnsigned(v.u); return S_OK;
    case Kind::Bool:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) out = v.b ? u"True" : u"False";
      else out = v.b ? u"-1" : u"0";
      return S_OK;
    case Kind::Cy: out = formatCy(v.cy); return S_OK;
    case Kind::Double: out = formatDouble(v.d, v.single ? 7 : 15); return S_OK;
    case Kind::Date: return formatDate(v.d, out) ? S_OK : E_INVALIDARG;
    case Kind::String: out = std::u16string(v.s); return S_OK;
    default: return DISP_E_TYPEMISMATCH;
  }
}

// The value property of an object, for conversions of VT_DISPATCH to a value type.
HRESULT fetchValueProperty(IDispatch* object, VARIANT& out) {
  if (!object) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  const HRESULT hr =
      object->Invoke(DISPID_VALUE, IID_NULL, 0x400, DISPATCH_PROPERTYGET, &none, &out, nullptr, nullptr);
  if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) return DISP_E_TYPEMISMATCH;
  return hr;
}

HRESULT convertInterface(const VARIANT& src, VARTYPE vt, VARIANT& out) {
  IUnknown* source = src.vt == VT_DISPATCH ? static_cast<IUnknown*>(src.pdispVal) : src.punkVal;
  out.vt = vt;
  if (!source) return S_OK;
  void* found = nullptr;
  const HRESULT hr = source->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &found);
  if (FAILED(hr)) {
    VariantInit(&out);
    return hr;
  }
  if (vt == VT_DISPATCH) out.pdispVal = static_cast<IDispatch*>(found);
  else out.punkVal = static_cast<IUnknown*>(found);
  return S_OK;
}

HRESULT convert(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT& out);

HRESULT convertValue(const Value& v, USHORT flags, VARTYPE vt, VARIANT& out) {
  HRESULT hr = S_OK;
  std::int64_t n = 0;
  std::uint64_t u = 0;
  switch (vt) {
    case VT_EMPTY: out.vt = VT_EMPTY; return S_OK;
    case VT_NULL:
      if (v.kind != Kind::Empty && v.kind != Kind::Null) return DISP_E_TYPEMISMATCH;
      out.vt = VT_NULL;
      return S_OK;
    case VT_I1:
      if (FAILED(hr = toSigned(v, -128, 127, n))) return hr;
      out.cVal = static_cast<CHAR>(n);
      break;
    case VT_I2:
      if (FAILED(hr = toSigned(v, -32768, 32767, n))) return hr;
      out.iVal = static_cast<SHORT>(n);
      break;
    case VT_I4:
    case VT_INT:
      if (FAILED(hr = toSigned(v, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), n))) return hr;
      out.lVal = static_cast<LONG>(n);
      break;
    case VT_I8:
      if (FAILED(hr = toSigned(v, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(), n)))
        return hr;
      out.llVal = n;
      break;
    case VT_UI1:
      if (FAILED(hr = toUnsigned(v, 0xFF, u))) return hr;
      out.bVal = static_cast<BYTE>(u);
      break;
    case VT_UI2:
      if (FAILED(hr = toUnsigned(v, 0xFFFF, u))) return hr;
      out.uiVal = static_cast<USHORT>(u);
      break;
    case VT_UI4:
    case VT_UINT:
      if (FAILED(hr = toUnsigned(v, 0xFFFFFFFFu, u))) return hr;
      out.ulVal = static_cast<ULONG>(u);
      break;
    case VT_UI8:
      if (FAILED(hr = toUnsigned(v, std::numeric_limits<std::uint64_t>::max(), u))) return hr;
      out.ullVal = u;
      break;
    case VT_R4: {
      double d = 0;
      if (FAILED(hr = toDouble(v, d))) return hr;
      if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
      out.fltVal = static_cast<float>(d);
      break;
    }
    case VT_R8:
      if (FAILED(hr = toDouble(v, out.dblVal))) return hr;
      break;
    case VT_DATE:
      if (FAILED(hr = toDate(v, out.date))) return hr;
      break;
    case VT_CY:
      if (FAILED(hr = toCy(v, out.cyVal.int64))) return hr;
      break;
    case VT_BOOL: {
      bool b = false;
      if (FAILED(hr = toBool(v, b))) return hr;
      out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    }
    case VT_BSTR: {
      std::u16string text;
      if (FAILED(hr = toText(v, flags, text))) return hr;
      out.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!out.bstrVal) return E_OUTOFMEMORY;
      break;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
  out.vt = vt;
  return S_OK;
}

HRESULT convert(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT& out) {
  if (src.vt == vt) return VariantCopy(&out, &src);
  if (src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN) {
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return convertInterface(src, vt, out);
    if (vt == VT_EMPTY) return S_OK;
    if (src.vt == VT_UNKNOWN || (flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
    CComVariant value;
    const HRESULT hr = fetchValueProperty(src.pdispVal, value);
    if (FAILED(hr)) return hr;
    if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    return convert(value, flags | VARIANT_NOVALUEPROP, vt, out);
  }
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
  Value v;
  if (!takeValue(src, v)) return DISP_E_BADVARTYPE;
  if (v.kind == Kind::Null && vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
  if (v.kind == Kind::Error) return DISP_E_TYPEMISMATCH;
  return convertValue(v, flags, vt, out);
}

bool validTarget(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN: case VT_I1: case VT_UI1:
    case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

}  // namespace
}  // namespace platform::com::detail

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
  using namespace platform::com::detail;
  if (!pvargDest || !pvarSrc) return E_INVALIDARG;
  if (!validTarget(vt)) return DISP_E_BADVARTYPE;
  CComVariant source;
  const VARIANT* src = pvarSrc;
  if (pvarSrc->vt & VT_BYREF) {
    const HRESULT hr = VariantCopyInd(&source, pvarSrc);
    if (FAILED(hr)) return hr;
    src = &source;
  }
  VARIANT result;
  VariantInit(&result);
  const HRESULT hr = convert(*src, wFlags, vt, result);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  // Converted first, so a conversion in place reads its source before it is cleared.
  VariantClear(pvargDest);
  *pvargDest = result;
  return S_OK;
}
