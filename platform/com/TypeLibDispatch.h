#pragma once
// IDispatchImpl: a dual interface whose names are those of the registered type library, as
// ATL's IDispatchImpl answers them. GetIDsOfNames reads the library (LIBID, version) from its
// registration on first use and answers from the interface's description there; Invoke serves
// the DISPIDs from the object's dispatch table (IDispatchTableImpl), whose members the derived
// class registers with the library's DISPIDs.
//
// class CItem : public CComObjectRootEx<CComSingleThreadModel>,
//               public platform::com::IDispatchImpl<IItem, &IID_IItem, &LIBID_ItemLib> { ... };

#include <optional>

#include "platform/com/DispatchImpl.h"
#include "platform/com/TypeLib.h"

namespace platform::com {

template <class Base, const IID* piid, const GUID* plibid, WORD major = 1, WORD minor = 0>
class IDispatchImpl : public IDispatchTableImpl<Base> {
 public:
  // TYPE_E_LIBNOTREGISTERED while the library is not registered (names are then unknown, as
  // they are to OLE); DISP_E_UNKNOWNNAME, with DISPID_UNKNOWN for each unknown name, otherwise.
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) override {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!rgszNames || !rgDispId) return E_POINTER;
    if (!m_library) {
      TypeLibDescription library;
      const HRESULT hr = LoadRegTypeLib(*plibid, major, minor, library);
      if (FAILED(hr)) return hr;
      m_library = std::move(library);
    }
    return getIDsOfNames(*m_library, *piid, rgszNames, cNames, rgDispId);
  }

 private:
  std::optional<TypeLibDescription> m_library;
};

}  // namespace platform::com
