#pragma once
// Extended MAPI's value types: property tags and types, property values, tag arrays, rows and
// row sets, named-property ids, flags and error codes, and MAPI's buffer allocation. Everything
// keeps Windows' shapes so that code written against MAPI reads the same here.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/com/Currency.h"
#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/HResult.h"
#include "platform/mapi/ComBase.h"

// Property types.
constexpr ULONG PT_UNSPECIFIED = 0x0000;
constexpr ULONG PT_NULL = 0x0001;
constexpr ULONG PT_I2 = 0x0002;
constexpr ULONG PT_SHORT = PT_I2;
constexpr ULONG PT_LONG = 0x0003;
constexpr ULONG PT_I4 = PT_LONG;
constexpr ULONG PT_R4 = 0x0004;
constexpr ULONG PT_FLOAT = PT_R4;
constexpr ULONG PT_DOUBLE = 0x0005;
constexpr ULONG PT_R8 = PT_DOUBLE;
constexpr ULONG PT_CURRENCY = 0x0006;
constexpr ULONG PT_APPTIME = 0x0007;
constexpr ULONG PT_ERROR = 0x000A;
constexpr ULONG PT_BOOLEAN = 0x000B;
constexpr ULONG PT_OBJECT = 0x000D;
constexpr ULONG PT_I8 = 0x0014;
constexpr ULONG PT_LONGLONG = PT_I8;
constexpr ULONG PT_STRING8 = 0x001E;
constexpr ULONG PT_UNICODE = 0x001F;
constexpr ULONG PT_SYSTIME = 0x0040;
constexpr ULONG PT_CLSID = 0x0048;
constexpr ULONG PT_BINARY = 0x0102;
constexpr ULONG MV_FLAG = 0x1000;
constexpr ULONG PT_MV_I2 = MV_FLAG | PT_I2;
constexpr ULONG PT_MV_LONG = MV_FLAG | PT_LONG;
constexpr ULONG PT_MV_R4 = MV_FLAG | PT_R4;
constexpr ULONG PT_MV_DOUBLE = MV_FLAG | PT_DOUBLE;
constexpr ULONG PT_MV_CURRENCY = MV_FLAG | PT_CURRENCY;
constexpr ULONG PT_MV_APPTIME = MV_FLAG | PT_APPTIME;
constexpr ULONG PT_MV_I8 = MV_FLAG | PT_I8;
constexpr ULONG PT_MV_STRING8 = MV_FLAG | PT_STRING8;
constexpr ULONG PT_MV_UNICODE = MV_FLAG | PT_UNICODE;
constexpr ULONG PT_MV_SYSTIME = MV_FLAG | PT_SYSTIME;
constexpr ULONG PT_MV_CLSID = MV_FLAG | PT_CLSID;
constexpr ULONG PT_MV_BINARY = MV_FLAG | PT_BINARY;

constexpr ULONG PROP_TYPE_MASK = 0x0000FFFF;
constexpr ULONG PROP_TYPE(ULONG tag) { return tag & PROP_TYPE_MASK; }
constexpr ULONG PROP_ID(ULONG tag) { return tag >> 16; }
constexpr ULONG PROP_TAG(ULONG type, ULONG id) { return (id << 16) | type; }
constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type) { return (tag & 0xFFFF0000u) | type; }
constexpr ULONG PROP_ID_NULL = 0;
constexpr ULONG PR_NULL = PROP_TAG(PT_NULL, PROP_ID_NULL);

// Flags.
constexpr ULONG MAPI_MODIFY = 0x00000001;
constexpr ULONG MAPI_CREATE = 0x00000002;
constexpr ULONG MAPI_DEFERRED_ERRORS = 0x00000008;
constexpr ULONG MAPI_BEST_ACCESS = 0x00000010;
constexpr ULONG MAPI_UNICODE = 0x80000000;
constexpr ULONG TBL_NOADVANCE = 0x00000001;
constexpr ULONG TBL_BATCH = 0x00000002;
constexpr ULONG TBL_ASYNC = 0x00000001;
using BOOKMARK = ULONG;
constexpr BOOKMARK BOOKMARK_BEGINNING = 0;
constexpr BOOKMARK BOOKMARK_CURRENT = 1;
constexpr BOOKMARK BOOKMARK_END = 2;

// Error codes (those of platform/com/HResult.h besides).
constexpr HRESULT MAPI_E_CALL_FAILED = E_FAIL;
constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = E_OUTOFMEMORY;
constexpr HRESULT MAPI_E_INVALID_PARAMETER = E_INVALIDARG;
constexpr HRESULT MAPI_E_INTERFACE_NOT_SUPPORTED = E_NOINTERFACE;
constexpr HRESULT MAPI_E_NO_ACCESS = E_ACCESSDENIED;
constexpr HRESULT MAPI_E_BAD_CHARWIDTH = static_cast<HRESULT>(0x80040103u);
constexpr HRESULT MAPI_E_UNKNOWN_FLAGS = static_cast<HRESULT>(0x80040106u);
constexpr HRESULT MAPI_E_INVALID_ENTRYID = static_cast<HRESULT>(0x80040107u);
constexpr HRESULT MAPI_E_CORRUPT_DATA = static_cast<HRESULT>(0x8004011Bu);
constexpr HRESULT MAPI_E_INVALID_BOOKMARK = static_cast<HRESULT>(0x80040405u);
constexpr HRESULT MAPI_E_TOO_COMPLEX = static_cast<HRESULT>(0x80040117u);
constexpr HRESULT MAPI_E_UNEXPECTED_TYPE = static_cast<HRESULT>(0x80040801u);
constexpr HRESULT MAPI_E_TOO_BIG = static_cast<HRESULT>(0x80040305u);

// Recipient types and attach methods.
constexpr ULONG MAPI_ORIG = 0;
constexpr ULONG MAPI_TO = 1;
constexpr ULONG MAPI_CC = 2;
constexpr ULONG MAPI_BCC = 3;
constexpr ULONG NO_ATTACHMENT = 0;
constexpr ULONG ATTACH_BY_VALUE = 1;
constexpr ULONG ATTACH_BY_REFERENCE = 2;
constexpr ULONG ATTACH_BY_REF_RESOLVE = 3;
constexpr ULONG ATTACH_BY_REF_ONLY = 4;
constexpr ULONG ATTACH_EMBEDDED_MSG = 5;
constexpr ULONG ATTACH_OLE = 6;
constexpr ULONG ATT_INVISIBLE_IN_HTML = 0x00000001;
constexpr ULONG ATT_INVISIBLE_IN_RTF = 0x00000002;
constexpr ULONG ATT_MHTML_REF = 0x00000004;


struct SBinary {
  ULONG cb;
  BYTE* lpb;
};
using LPSBinary = SBinary*;

struct SShortArray { ULONG cValues; short* lpi; };
struct SLongArray { ULONG cValues; LONG* lpl; };
struct SRealArray { ULONG cValues; float* lpflt; };
struct SDoubleArray { ULONG cValues; double* lpdbl; };
struct SCurrencyArray { ULONG cValues; CY* lpcur; };
struct SAppTimeArray { ULONG cValues; double* lpat; };
struct SDateTimeArray { ULONG cValues; FILETIME* lpft; };
struct SBinaryArray { ULONG cValues; SBinary* lpbin; };
struct SLPSTRArray { ULONG cValues; char** lppszA; };
struct SWStringArray { ULONG cValues; char16_t** lppszW; };
struct SGuidArray { ULONG cValues; GUID* lpguid; };
struct SLargeIntegerArray { ULONG cValues; LARGE_INTEGER* lpli; };

union _PV {
  short i;
  LONG l;
  ULONG ul;
  float flt;
  double dbl;
  unsigned short b;
  CY cur;
  double at;
  FILETIME ft;
  char* lpszA;
  SBinary bin;
  char16_t* lpszW;
  GUID* lpguid;
  LARGE_INTEGER li;
  SShortArray MVi;
  SLongArray MVl;
  SRealArray MVflt;
  SDoubleArray MVdbl;
  SCurrencyArray MVcur;
  SAppTimeArray MVat;
  SDateTimeArray MVft;
  SBinaryArray MVbin;
  SLPSTRArray MVszA;
  SWStringArray MVszW;
  SGuidArray MVguid;
  SLargeIntegerArray MVli;
  HRESULT err;
  LONG x;
};

struct SPropValue {
  ULONG ulPropTag;
  ULONG dwAlignPad;
  _PV Value;
};
using LPSPropValue = SPropValue*;

// A tag array is allocated with room for cValues tags; SizedSPropTagArray declares one of a
// fixed size that converts by pointer cast, as on Windows.
struct SPropTagArray {
  ULONG cValues;
  ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;
#define SizedSPropTagArray(count, name) \
  struct _SPropTagArray_##name {        \
    ULONG cValues;                      \
    ULONG aulPropTag[count];            \
  } name
constexpr std::size_t CbNewSPropTagArray(ULONG count) {
  return offsetof(SPropTagArray, aulPropTag) + sizeof(ULONG) * (count ? count : 1);
}

struct SRow {
  ULONG ulAdrEntryPad;
  ULONG cValues;
  LPSPropValue lpProps;  // its own MAPI buffer, freed with MAPIFreeBuffer
};
using LPSRow = SRow*;

struct SRowSet {
  ULONG cRows;
  SRow aRow[1];
};
using LPSRowSet = SRowSet*;
constexpr std::size_t CbNewSRowSet(ULONG count) {
  return offsetof(SRowSet, aRow) + sizeof(SRow) * (count ? count : 1);
}

// Named properties.
constexpr ULONG MNID_ID = 0;
constexpr ULONG MNID_STRING = 1;
struct MAPINAMEID {
  LPGUID lpguid;
  ULONG ulKind;
  union {
    LONG lID;
    char16_t* lpwstrName;
  } Kind;
};
using LPMAPINAMEID = MAPINAMEID*;

struct SRestriction;
using LPSRestriction = SRestriction*;
struct SSortOrderSet;
using LPSSortOrderSet = SSortOrderSet*;
struct MAPIERROR;
using LPMAPIERROR = MAPIERROR*;

// MAPI's buffers: one allocation with any number of further allocations linked to it, all freed
// by one MAPIFreeBuffer of the first. MAPIFreeBuffer(nullptr) does nothing.
QM_PLATFORM_API HRESULT MAPIAllocateBuffer(ULONG cbSize, void** lppBuffer);
QM_PLATFORM_API HRESULT MAPIAllocateMore(ULONG cbSize, void* lpObject, void** lppBuffer);
QM_PLATFORM_API ULONG MAPIFreeBuffer(void* lpBuffer);
using LPALLOCATEBUFFER = HRESULT (*)(ULONG, void**);
using LPALLOCATEMORE = HRESULT (*)(ULONG, void*, void**);
using LPFREEBUFFER = ULONG (*)(void*);

// Frees every row's values, then the row set; null does nothing.
QM_PLATFORM_API void FreeProws(LPSRowSet lpRows);
// The first value in the array with exactly this tag (or, for a PT_UNSPECIFIED tag, this id).
QM_PLATFORM_API LPSPropValue PpropFindProp(LPSPropValue lpPropArray, ULONG cValues, ULONG ulPropTag);

namespace platform::mapi {

struct MAPIBufferDeleter {
  void operator()(void* p) const { MAPIFreeBuffer(p); }
};
// Sole owner of a MAPI buffer (a property value, a tag array ...).
template <class T>
using MAPIBuffer = std::unique_ptr<T, MAPIBufferDeleter>;

struct RowSetDeleter {
  void operator()(SRowSet* rows) const { FreeProws(rows); }
};
// Sole owner of a row set with its rows.
using RowSetPtr = std::unique_ptr<SRowSet, RowSetDeleter>;

}  // namespace platform::mapi
