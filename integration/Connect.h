#pragma once
// CConnect: the object Outlook creates when it loads the add-in (ProgID "quillMark.Connect").
// Until the connection itself is built it is a plain dispatch object without members.

#include "integration/Guids.h"
#include "platform/com/Com.h"

class CConnect : public CComObjectRootEx<CComSingleThreadModel>,
                 public CComCoClass<CConnect, &CLSID_Connect>,
                 public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CConnect)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()
};
