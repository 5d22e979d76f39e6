#pragma once
// VARIANT: OLE Automation's tagged value, with the VT_ codes the system reads and writes, the
// V_ accessor macros, CY (currency), the Variant* calls (OLE's conversion rules in the US/invariant
// form), and CComVariant, its owner.

#include <cstdint>
#include <string_view>

#include "platform/com/Currency.h"
#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/Bstr.h"
#include "platform/com/HResult.h"
#include "platform/com/OleTime.h"
#include "platform/com/Unknown.h"

struct IDispatch;
struct SAFEARRAY;

using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using CHAR = char;
using FLOAT = float;
using DOUBLE = double;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr LONGLONG kCyScale = 10000;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0xFFF,
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    LONGLONG* pllVal;
    FLOAT* pfltVal;
    DOUBLE* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    CY* pcyVal;
    DATE* pdate;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    void* byref;
    CHAR* pcVal;
    USHORT* puiVal;
    ULONG* pulVal;
    ULONGLONG* pullVal;
    INT* pintVal;
    UINT* puintVal;
  };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANT*;

#define V_VT(X) ((X)->vt)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_I1(X) ((X)->cVal)
#define V_I2(X) ((X)->iVal)
#define V_I4(X) ((X)->lVal)
#define V_I8(X) ((X)->llVal)
#define V_UI1(X) ((X)->bVal)
#define V_UI2(X) ((X)->uiVal)
#define V_UI4(X) ((X)->ulVal)
#define V_UI8(X) ((X)->ullVal)
#define V_INT(X) ((X)->intVal)
#define V_UINT(X) ((X)->uintVal)
#define V_R4(X) ((X)->fltVal)
#define V_R8(X) ((X)->dblVal)
#define V_CY(X) ((X)->cyVal)
#define V_DATE(X) ((X)->date)
#define V_BSTR(X) ((X)->bstrVal)
#define V_BOOL(X) ((X)->boolVal)
#define V_ERROR(X) ((X)->scode)
#define V_DISPATCH(X) ((X)->pdispVal)
#define V_UNKNOWN(X) ((X)->punkVal)
#define V_ARRAY(X) ((X)->parray)
#define V_BYREF(X) ((X)->byref)
#define V_VARIANTREF(X) ((X)->pvarVal)
#define V_I4REF(X) ((X)->plVal)
#define V_BSTRREF(X) ((X)->pbstrVal)

// VariantChangeType flags.
constexpr USHORT VARIANT_NOVALUEPROP = 0x1;
constexpr USHORT VARIANT_ALPHABOOL = 0x2;
constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x4;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;

// Sets VT_EMPTY without looking at the old content.
QM_PLATFORM_API void VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns (a BSTR, an interface reference) and leaves VT_EMPTY; by-reference
// values own nothing. DISP_E_BADVARTYPE (and nothing changed) for a type this layer does not know.
QM_PLATFORM_API HRESULT VariantClear(VARIANTARG* pvarg);
// Clears the destination, then copies: BSTRs are duplicated, interfaces AddRef'ed, references
// copied as references.
QM_PLATFORM_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// As VariantCopy, with a by-reference source copied as the value it points to.
QM_PLATFORM_API HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// OLE's coercion rules with the US-English/invariant forms: numbers to text in decimal (R8 with 15
// significant digits, R4 with 7), texts to numbers with "." decimals, "," thousands, exponents and
// &H/&O prefixes; floating values to whole numbers round half to even; out of range gives
// DISP_E_OVERFLOW, an impossible conversion DISP_E_TYPEMISMATCH. VT_BOOL is VARIANT_TRUE (-1) or
// VARIANT_FALSE and becomes "-1"/"0" as text ("True"/"False" with VARIANT_ALPHABOOL); dates are
// written "M/d/yyyy h:mm:ss AM". An object converts through its value property (DISPID_VALUE)
// unless VARIANT_NOVALUEPROP is given. Source and destination may be the same variant; on failure
// the destination is unchanged.
QM_PLATFORM_API HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                                          VARTYPE vt);
// The same; the locale id is accepted and the US-English forms are used whatever it is.
QM_PLATFORM_API HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                            USHORT wFlags, VARTYPE vt);

// Owns one VARIANT's content; copies duplicate it, the destructor clears it.
class QM_PLATFORM_API CComVariant : public VARIANT {
 public:
  CComVariant() noexcept { VariantInit(this); }
  CComVariant(const VARIANT& src);
  CComVariant(const CComVariant& src);
  CComVariant(CComVariant&& src) noexcept;
  CComVariant(LPCOLESTR text);
  // Narrow texts would otherwise become VT_BOOL through the pointer's conversion to bool.
  CComVariant(const char*) = delete;
  CComVariant(const wchar_t*) = delete;
  CComVariant(const CComBSTR& text);
  explicit CComVariant(std::u16string_view text);
  CComVariant(bool value) noexcept;
  CComVariant(CHAR value) noexcept;
  CComVariant(BYTE value) noexcept;
  CComVariant(SHORT value) noexcept;
  CComVariant(USHORT value) noexcept;
  // VT_I4 by default; VT_INT and VT_ERROR are the other types a 32-bit value can be given.
  CComVariant(LONG value, VARTYPE vtSrc = VT_I4) noexcept;
  // VT_UI4 by default, or VT_UINT.
  CComVariant(ULONG value, VARTYPE vtSrc = VT_UI4) noexcept;
  CComVariant(LONGLONG value) noexcept;
  CComVariant(ULONGLONG value) noexcept;
  CComVariant(FLOAT value) noexcept;
  // VT_R8 by default, or VT_DATE.
  CComVariant(DOUBLE value, VARTYPE vtSrc = VT_R8) noexcept;
  CComVariant(CY value) noexcept;
  // The variant takes a reference of its own (null pointers allowed).
  CComVariant(IDispatch* value) noexcept;
  CComVariant(IUnknown* value) noexcept;
  ~CComVariant();

  CComVariant& operator=(const CComVariant& src);
  CComVariant& operator=(CComVariant&& src) noexcept;
  CComVariant& operator=(const VARIANT& src);

  HRESULT Clear() { return VariantClear(this); }
  HRESULT Copy(const VARIANT* src) { return VariantCopy(this, src); }
  // Takes over src's content (src is left VT_EMPTY).
  HRESULT Attach(VARIANT* src);
  // Moves the content into dest, clearing dest's old content first.
  HRESULT Detach(VARIANT* dest);
  // Converts in place, or from src when given; unchanged on failure.
  HRESULT ChangeType(VARTYPE vtNew, const VARIANT* src = nullptr);
  // The slot for a VARIANT out-parameter; it must be empty, as CComPtr's is.
  VARIANT* Receive() noexcept;

  // Same type and same value (BSTRs by their units, interfaces by pointer); VT_NULL equals VT_NULL.
  bool operator==(const VARIANT& other) const noexcept;
};

// The "missing argument" value of optional parameters: VT_ERROR with DISP_E_PARAMNOTFOUND.
QM_PLATFORM_API extern const VARIANT vtMissing;
