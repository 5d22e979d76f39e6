#pragma once
// CquilMarkPP: the options page (ProgID "quillMarkLib.quillMarkPP"). Until the page itself is
// built it is a plain dispatch object without members, answering its own interface id.

#include "integration/Guids.h"
#include "platform/com/Com.h"

class CquilMarkPP : public CComObjectRootEx<CComSingleThreadModel>,
                    public CComCoClass<CquilMarkPP, &CLSID_quillMarkPP>,
                    public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CquilMarkPP)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_IquillMarkPP, IDispatch)
  END_COM_MAP()
};
