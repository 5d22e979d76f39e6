#pragma once
// CQuillmarker: the automation print object (ProgID "quilMark.Quillmarker"), which other objects
// may aggregate. Until its print calls are built it is a dispatch object without members,
// answering its own interface id.

#include "integration/Guids.h"
#include "platform/com/Com.h"

class CQuillmarker : public CComObjectRootEx<CComSingleThreadModel>,
                     public CComCoClass<CQuillmarker, &CLSID_Quillmarker>,
                     public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  DECLARE_AGGREGATABLE(CQuillmarker)

  BEGIN_COM_MAP(CQuillmarker)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_IQuillmarker, IDispatch)
  END_COM_MAP()
};
