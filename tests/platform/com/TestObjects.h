#pragma once
// Small COM objects for the layer's tests: a counted object with two interfaces, and a dispatch
// object with a value property.

#include "platform/com/Com.h"

namespace comtest {

inline constexpr IID IID_ITestFirst = platform::com::guid("6F0A1C3E-2B1D-4C55-9E11-0A7B3C9D0001");
inline constexpr IID IID_ITestSecond = platform::com::guid("6F0A1C3E-2B1D-4C55-9E11-0A7B3C9D0002");

struct ITestFirst : IUnknown {
  STDMETHOD_(int, first)() = 0;
};
struct ITestSecond : IUnknown {
  STDMETHOD_(int, second)() = 0;
};

}  // namespace comtest

QM_DECLARE_INTERFACE_IID(comtest::ITestFirst, comtest::IID_ITestFirst);
QM_DECLARE_INTERFACE_IID(comtest::ITestSecond, comtest::IID_ITestSecond);

namespace comtest {

// Counts live objects, so tests see destruction happen exactly when the last reference goes.
inline int g_liveObjects = 0;

class CTwoFaces : public CComObjectRootEx<CComSingleThreadModel>, public ITestFirst, public ITestSecond {
 public:
  CTwoFaces() { ++g_liveObjects; }
  ~CTwoFaces() { --g_liveObjects; }

  BEGIN_COM_MAP(CTwoFaces)
    COM_INTERFACE_ENTRY(ITestFirst)
    COM_INTERFACE_ENTRY(ITestSecond)
  END_COM_MAP()

  STDMETHOD_(int, first)() override { return 1; }
  STDMETHOD_(int, second)() override { return 2; }

  LONG refCount() const { return m_dwRef; }
};

// A dispatch object with a settable value property (DISPID_VALUE) and no other member.
class CValueObject : public CComObjectRootEx<CComSingleThreadModel>,
                     public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  explicit CValueObject(const VARIANT& value) : m_value(value) {
    dispatchTable().property(DISPID_VALUE, u"Value",
                             [this](const platform::com::CDispArgs&, VARIANT* result) {
                               return platform::com::putVariant(result, m_value);
                             });
  }
  CValueObject() {}

  BEGIN_COM_MAP(CValueObject)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

 private:
  CComVariant m_value;
};

}  // namespace comtest
