#pragma once
// CDisplayManager: the add-in's agent for one Outlook window, an explorer or an inspector. It
// subscribes to the window's events, ticks with the pulse, takes the print accelerator of its
// window, runs the status machine that builds the command-bar controls on older Outlooks, and
// serves every print request of its window (buttons, ribbon, accelerator).

#include <array>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "engine/OutlookItem.h"
#include "engine/PrintInfo.h"
#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"
#include "foundation/Timer.h"
#include "integration/AcceleratorHook.h"
#include "integration/EventSink.h"
#include "platform/com/Com.h"
#include "platform/office/OfficeInterfaces.h"
#include "platform/outlook/OutlookInterfaces.h"

class CDisplayManager : public CComObjectRootEx<CComSingleThreadModel>,
                        public ITimerCallback,
                        public IAcceleratorCallback {
 public:
  BEGIN_COM_MAP(CDisplayManager)
    COM_INTERFACE_ENTRY(ITimerCallback)
    COM_INTERFACE_ENTRY(IAcceleratorCallback)
  END_COM_MAP()

  using Ptr = CComPtr<CComObject<CDisplayManager>>;

  enum Status { kNotInitialised = 0, STARTING = 1, STARTED = 2, sDEACTIVATED = 3, kClosed = 4 };

  CDisplayManager();
  ~CDisplayManager();

  // Binds the manager to its window, once, right after construction.
  void Initialise(const _ExplorerPtr& explorer);
  void Initialise(const _InspectorPtr& inspector);
  // Ends the manager's work; a second call does nothing.
  void CloseDown();
  bool isClosed() const { return m_status == kClosed; }
  int status() const { return m_status; }
  // Whether the inspector is this manager's window: the same object with the same window handle.
  bool OnNewInspector(const _InspectorPtr& inspector);
  // Whether the explorer is this manager's window (the same object).
  bool servesExplorer(IDispatch* explorer) const;

  STDMETHOD(onTimerCallback)() override;
  STDMETHOD(onAcceleratorCallback)(unsigned long commandId) override;

  void EnableButtons();
  // Outlook's own print commands and the add-in's controls in the window's command bars.
  void SetupCommands();
  void Sink(const _CommandBarsPtr& bars);
  void HookContextMenuButton();

  // Prints the window's item or selection in the mode; true when it printed.
  bool DoPrintService(int mode, const quilstring& templatePath);
  // The request with the print status of the job (1 printed).
  int printService(int mode, const quilstring& templatePath);
  // A selection of several items as one table with the given template (the stand-in host's
  // request); any other selection as printService prints it.
  int printTable(int mode, const quilstring& templatePath);
  // Each item of the window's selection as a request of its own, in turn (the stand-in host's
  // batch); onItem hears each status. Answers the first failure, else 1.
  int printEachSelected(int mode, const quilstring& templatePath, const std::function<void(IDispatch*, int)>& onItem);
  bool PrintItem(CPrintInfo& job, int mode, const quilstring& templatePath);
  void DoCustomPrintService(const CustomButton& record);
  // The attachments of the items, as the attachment dialogs and the user choose; true when
  // something printed.
  bool handleAttachmentService(const std::vector<std::shared_ptr<COutlookItem>>& items);
  // The selection dialog on one item's body, modal over the window, and the print of what the
  // user highlighted; false when the service failed.
  bool HandleSelectionService(IDispatch* item);

  // Click handlers of the command-bar sinks.
  HRESULT CommandBarButtonPrintServiceClick(IDispatch* control, VARIANT_BOOL* cancelDefault);
  HRESULT CommandBarButtonAttachmentClick(IDispatch* control, VARIANT_BOOL* cancelDefault);
  HRESULT CommandBarButtonSelectionClick(IDispatch* control, VARIANT_BOOL* cancelDefault);
  HRESULT CommandBarButtonCustomButtonClick(int index, IDispatch* control, VARIANT_BOOL* cancelDefault);

  // Window events.
  HRESULT ExplorerInspectorActivate();
  HRESULT ExplorerInspectorDeactivate();
  HRESULT ExplorerInspectorClose();
  HRESULT ExplorerSelectionChange();
  HRESULT ExplorerViewSwitch();
  HRESULT ExplorerFolderSwitch();

  // Managers of inspectors initialised on Outlook 9 to 11 whose window has not shown yet.
  static std::set<CDisplayManager*>& pendingInspectors();

  const _ExplorerPtr& explorer() const { return m_explorer; }
  const _InspectorPtr& inspector() const { return m_inspector; }
  HWND window() const { return m_hwnd; }
  int canPrintState() const { return m_canPrintState; }

 private:
  // The Office control ids of the button sinks, in the order of m_buttonSinks.
  static constexpr std::array<LONG, 10> kSinkIds = {4, 109, 2524, 2521, 2522, 2523, 2525, 2527, 2528, 2529};
  CComPtr<CEventSink>& sinkSlot(LONG id);
  CEventSink& buttonSink(LONG id);
  void closeSink(LONG id);
  void adviseButton(LONG id, IDispatch* control);
  void ServiceTimer();
  void resynchroniseButtons();
  void serviceInspectorButtons();
  void serviceOutlookPreview();
  void placeButtons(const CommandBarPtr& standard, LONG position);
  _CommandBarButtonPtr AddButton(const CommandBarPtr& bar, const char16_t* tag, UINT captionId, LONG position,
                                 bool temporary, bool visible, LONG faceId, const quilstring& caption);
  void registerOwnRequests();
  void removeButton(_CommandBarButtonPtr& button, LONG sinkId, const char16_t* failure);

  _ExplorerPtr m_explorer;
  _InspectorPtr m_inspector;
  quilstring m_outboxEntryID;
  CommandBarControlPtr m_printControl;
  CommandBarControlPtr m_printPreviewControl;
  CommandBarControlPtr m_ownPrintPreviewControl;
  CommandBarControlPtr m_quickPrintControl;
  _CommandBarButtonPtr m_previewButton;
  _CommandBarButtonPtr m_attachmentsButton;
  _CommandBarButtonPtr m_selectionButton;
  std::array<_CommandBarButtonPtr, 3> m_customButtons;
  CommandBarControlPtr m_popupMenu;
  HWND m_hwnd = nullptr;
  int m_status = kNotInitialised;
  int m_canPrintState = 0;
  bool m_acceleratorRegistered = false;
  // The reasons of the misses last told by the blocks that run on every tick (re-synchronisation,
  // inspector buttons, Outlook's preview, the context-menu search), so each is told once.
  std::array<quilstring, 4> m_tickMisses;

  CComPtr<CEventSink> m_windowSink;
  std::array<CComPtr<CEventSink>, kSinkIds.size()> m_buttonSinks;
};
