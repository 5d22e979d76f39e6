#pragma once
// CConnectImpl: the add-in's hidden worker in Outlook. It follows Outlook's new explorers and
// inspectors and gives each window a display manager of its own, finds the manager of a window
// for the ribbon, adds the options page to Outlook's Options dialog, and lets closed windows'
// managers go on each pulse.

#include <vector>

#include "foundation/Timer.h"
#include "integration/DisplayManager.h"
#include "integration/EventSink.h"
#include "platform/com/Com.h"
#include "platform/office/RibbonUI.h"

class CConnectImpl : public CComObjectRootEx<CComSingleThreadModel>, public ITimerCallback {
 public:
  BEGIN_COM_MAP(CConnectImpl)
    COM_INTERFACE_ENTRY(ITimerCallback)
  END_COM_MAP()

  enum State { kConstructed = 0, kRunning = 1, kClosed = 2 };

  CConnectImpl();
  ~CConnectImpl();

  void Initialise(const CComPtr<IDispatch>& application);
  HRESULT NewExplorer(IDispatch* explorer);
  HRESULT NewInspector(IDispatch* inspector);
  HRESULT OptionsPagesAdd(IUnknown* pages);
  // The manager of an inspector or explorer window (no reference added); null when none.
  CDisplayManager* getDisplayManagerFromInspector(IDispatch* window);
  STDMETHOD(onTimerCallback)() override;
  void CloseDown();

  // The ribbon's requests, served by the display manager of the window that shows the control
  // (the control's Context); each answers true when the add-in served it. Exceptions are logged.
  bool HandlePrintRequest(IRibbonControlPtr control, int mode);
  bool HandleAttachmentRequest(IRibbonControlPtr control);
  bool HandleSelectionRequest(IRibbonControlPtr control);
  // Always false: a custom button's outcome is the manager's to report.
  bool HandleCustomRequest(IRibbonControlPtr control, CustomButton& record);

  int state() const { return m_state; }
  const CComPtr<IDispatch>& application() const { return m_application; }
  // Entries of released managers stay null until the list is cleared.
  const std::vector<CDisplayManager::Ptr>& inspectorManagers() const { return m_inspectorManagers; }
  const std::vector<CDisplayManager::Ptr>& explorerManagers() const { return m_explorerManagers; }

 private:
  CComPtr<IDispatch> m_application;
  std::vector<CDisplayManager::Ptr> m_inspectorManagers;
  std::vector<CDisplayManager::Ptr> m_explorerManagers;  // one per explorer window
  int m_state = kConstructed;
  CComPtr<CEventSink> m_explorersSink;
  CComPtr<CEventSink> m_inspectorsSink;
  CComPtr<CEventSink> m_applicationSink;
  CComPtr<IDispatch> m_explorers;
  CComPtr<IDispatch> m_inspectors;
};
