#pragma once
// CQuillmarker: the automation print object (ProgID "quilMark.Quillmarker"), which other
// programs and scripts create to print an Outlook item without user interaction: Print queues
// the item's jobs with the process-wide worker (CQuillmarkerImpl) and returns at once. Other
// objects may aggregate it. Its names come from the registered type library; each object holds
// only its own entryid and action.

#include "foundation/QuilString.h"
#include "integration/Guids.h"
#include "platform/com/Com.h"
#include "platform/com/TypeLibDispatch.h"

// The dual interface; its members are DISPIDs 1 to 5 in this order.
struct IQuillmarker : IDispatch {
  STDMETHOD(Print)(BSTR bstrEntryId, BSTR bstrStoreId, BSTR bstrAction) = 0;
  STDMETHOD(GetAction)(BSTR* bstrAction) = 0;
  STDMETHOD(get_action)(BSTR* pVal) = 0;
  STDMETHOD(put_action)(BSTR newVal) = 0;
  STDMETHOD(get_entryid)(BSTR* pVal) = 0;
  STDMETHOD(put_entryid)(BSTR newVal) = 0;
  STDMETHOD(printItem)() = 0;

 protected:
  ~IQuillmarker() = default;
};
QM_DECLARE_INTERFACE_IID(IQuillmarker, IID_IQuillmarker);

class CQuillmarker
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CQuillmarker, &CLSID_Quillmarker>,
      public platform::com::IDispatchImpl<IQuillmarker, &IID_IQuillmarker, &LIBID_quillMarkLib, 1, 0> {
 public:
  DECLARE_AGGREGATABLE(CQuillmarker)

  BEGIN_COM_MAP(CQuillmarker)
    COM_INTERFACE_ENTRY(IQuillmarker)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  CQuillmarker();

  // The worker's answer: S_OK once the jobs are queued; E_INVALIDARG (nothing queued) when no
  // item has the entry id or no autoprint action the name; E_FAIL when Outlook cannot be asked.
  STDMETHOD(Print)(BSTR bstrEntryId, BSTR bstrStoreId, BSTR bstrAction) override;
  // The name chosen in the action selection dialog; E_FAIL, *bstrAction untouched, when cancelled.
  STDMETHOD(GetAction)(BSTR* bstrAction) override;
  STDMETHOD(get_action)(BSTR* pVal) override;
  STDMETHOD(put_action)(BSTR newVal) override;
  STDMETHOD(get_entryid)(BSTR* pVal) override;
  STDMETHOD(put_entryid)(BSTR newVal) override;
  // Print(entryid, "", action); E_FAIL when either is empty.
  STDMETHOD(printItem)() override;

 private:
  quilstring m_entryid;
  quilstring m_action;
};
