#pragma once
// Implementing IDispatch without type information: a table of members (name <-> DISPID) whose
// property get, property put and method handlers are C++ callables, and IDispatchTableImpl, an
// IDispatch (or dual interface) base that answers from such a table.
//
// class CItem : public CComObjectRootEx<CComSingleThreadModel>,
//               public platform::com::IDispatchTableImpl<IDispatch> {
//  public:
//   CItem() {
//     dispatchTable().property(0x1A, u"MessageClass",
//         [this](const CDispArgs&, VARIANT* result) { return putText(result, m_class); });
//   }
//   ...
// };

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Export.h"
#include "platform/com/Dispatch.h"

namespace platform::com {

// The arguments of one call, first argument first (DISPPARAMS keeps them last first). Arguments
// passed by reference are read through the reference.
class QM_PLATFORM_API CDispArgs {
 public:
  CDispArgs(const DISPPARAMS* params, UINT* argErr, bool put);

  // Positional arguments (a property put's value not counted).
  UINT count() const noexcept { return m_count; }
  // Argument i as passed (i < count()).
  const VARIANT& operator[](UINT i) const noexcept;
  // Absent (i >= count()) or passed as the "missing" marker (VT_ERROR, DISP_E_PARAMNOTFOUND).
  bool isMissing(UINT i) const noexcept;
  // Argument i converted to vt with VariantChangeType. A failed conversion answers its HRESULT
  // (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW) and reports the argument's position through the
  // caller's puArgErr; a missing argument answers DISP_E_PARAMNOTOPTIONAL.
  HRESULT get(UINT i, VARTYPE vt, CComVariant& out) const;
  HRESULT getLong(UINT i, LONG& out) const;
  HRESULT getBool(UINT i, bool& out) const;
  HRESULT getDouble(UINT i, double& out) const;
  HRESULT getText(UINT i, std::u16string& out) const;
  // An object argument (VT_DISPATCH, or VT_UNKNOWN that answers IDispatch); null objects allowed.
  HRESULT getDispatch(UINT i, CComPtr<IDispatch>& out) const;

  // The value of a property put (the named DISPID_PROPERTYPUT argument); null for other calls.
  const VARIANT* putValue() const noexcept { return m_putValue; }
  HRESULT getPutValue(VARTYPE vt, CComVariant& out) const;

 private:
  HRESULT convert(const VARIANT& value, UINT position, VARTYPE vt, CComVariant& out) const;

  const DISPPARAMS* m_params;
  UINT* m_argErr;
  UINT m_count = 0;
  const VARIANT* m_putValue = nullptr;
};

// Thrown by a handler for a failure its callers are expected to meet (a look-up by name that
// misses): answered as any exception is, but logged at Debug, not as an Error.
class QM_PLATFORM_API CDispatchMiss : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A member handler. result is never null (a caller that wants no result gets a scratch one) and is
// VT_EMPTY on entry; the handler fills it or leaves it. Exceptions are caught by the table and
// answered as DISP_E_EXCEPTION with their text in the EXCEPINFO.
using DispHandler = std::function<HRESULT(const CDispArgs& args, VARIANT* result)>;

// The members of one dispatch object. Names are matched ignoring case, as OLE does.
class QM_PLATFORM_API CDispatchTable {
 public:
  // A property; get and put may each be empty (read-only, write-only). Indexed properties take
  // between minArgs and maxArgs index arguments (a put's value not counted). Registering a DISPID
  // or name again replaces the earlier member.
  CDispatchTable& property(DISPID id, std::u16string_view name, DispHandler get, DispHandler put = {},
                           UINT minArgs = 0, UINT maxArgs = 0);
  CDispatchTable& method(DISPID id, std::u16string_view name, DispHandler call, UINT minArgs = 0,
                         UINT maxArgs = 0);
  void remove(DISPID id);

  bool has(DISPID id) const { return m_members.count(id) != 0; }
  // DISPID_UNKNOWN when the name is not a member.
  DISPID idOf(std::u16string_view name) const;

  // The first name is the member; further names (parameter names) are not known and answer
  // DISPID_UNKNOWN with DISP_E_UNKNOWNNAME.
  HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) const;
  // DISP_E_MEMBERNOTFOUND for an unknown DISPID or a kind of access the member lacks (a method
  // call on a property, a put on a read-only property); DISP_E_BADPARAMCOUNT for a number of
  // arguments outside the member's range; DISP_E_NONAMEDARGS for named arguments other than a
  // put's value; DISP_E_PARAMNOTOPTIONAL for a put without its value. A call with both
  // DISPATCH_METHOD and DISPATCH_PROPERTYGET (as scripts make) takes the method, else the getter.
  // PROPERTYPUTREF is served by the put handler.
  HRESULT Invoke(DISPID id, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                 UINT* puArgErr) const;

 private:
  struct Member {
    std::u16string name;
    DispHandler get, put, call;
    UINT getMin = 0, getMax = 0, callMin = 0, callMax = 0;
  };
  Member& slot(DISPID id, std::u16string_view name);

  std::map<DISPID, Member> m_members;
  std::map<std::u16string, DISPID> m_ids;  // lower-cased name -> DISPID
};

// IDispatch answered from a CDispatchTable. Base is IDispatch or a dual interface derived from it
// (whose own methods the derived class implements). No type information is offered.
template <class Base = IDispatch>
class IDispatchTableImpl : public Base {
 public:
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
  }
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) override {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return m_dispatchTable.GetIDsOfNames(rgszNames, cNames, rgDispId);
  }
  STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                    VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return m_dispatchTable.Invoke(dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
  }

 protected:
  CDispatchTable& dispatchTable() { return m_dispatchTable; }
  const CDispatchTable& dispatchTable() const { return m_dispatchTable; }

 private:
  CDispatchTable m_dispatchTable;
};

// Helpers for handlers that fill a result.
QM_PLATFORM_API HRESULT putText(VARIANT* result, std::u16string_view text);
QM_PLATFORM_API HRESULT putLong(VARIANT* result, LONG value);
QM_PLATFORM_API HRESULT putBool(VARIANT* result, bool value);
// The result takes its own reference (null objects allowed).
QM_PLATFORM_API HRESULT putDispatch(VARIANT* result, IDispatch* object);
// A copy of any value.
QM_PLATFORM_API HRESULT putVariant(VARIANT* result, const VARIANT& value);

}  // namespace platform::com
