#pragma once
// IDispatch: late-bound access by member name and DISPID, with its argument and exception records.

#include "platform/WinTypes.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Guid.h"
#include "platform/com/Unknown.h"
#include "platform/com/Variant.h"

using DISPID = LONG;
using MEMBERID = DISPID;

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr DISPID DISPID_NEWENUM = -4;
constexpr DISPID DISPID_EVALUATE = -5;

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// Arguments of one Invoke. rgvarg holds the positional arguments LAST FIRST (rgvarg[0] is the
// last argument), followed by none; named arguments (a property put's value, DISPID_PROPERTYPUT)
// come first in rgvarg with their ids in rgdispidNamedArgs.
struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

// Type information is not provided by this layer's objects; the interface is only named.
struct ITypeInfo;

struct IDispatch : IUnknown {
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) = 0;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  // riid must be IID_NULL. Unknown names get DISPID_UNKNOWN and the call answers DISP_E_UNKNOWNNAME.
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
  STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                    VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

 protected:
  ~IDispatch() = default;
};
QM_DECLARE_INTERFACE_IID(IDispatch, IID_IDispatch);
using LPDISPATCH = IDispatch*;

namespace platform::com {
// Frees the texts an Invoke put in an EXCEPINFO and zeroes it.
QM_PLATFORM_API void clearExcepInfo(EXCEPINFO* info);
}  // namespace platform::com

_COM_SMARTPTR_TYPEDEF(IDispatch, __uuidof(IDispatch));

// A dispatch interface of an object model that is only ever called through IDispatch: its IID,
// its __uuidof and its NamePtr smart pointer.
#define QM_DISPINTERFACE(Name, iidText)                                          \
  struct Name : IDispatch {                                                      \
   protected:                                                                    \
    ~Name() = default;                                                           \
  };                                                                             \
  inline constexpr IID IID_##Name = platform::com::guid(iidText);                \
  QM_DECLARE_INTERFACE_IID(Name, IID_##Name);                                    \
  _COM_SMARTPTR_TYPEDEF(Name, __uuidof(Name))
