#include "integration/DisplayManager.h"

#include "engine/OutlookItem.h"
#include "engine/PrintItem.h"
#include "engine/Printer.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "integration/detail/Automation.h"
#include "platform/office/OfficeDispids.h"
#include "platform/outlook/Dispids.h"
#include "platform/outlook/OwnPrintRequests.h"
#include "platform/ui/WinUser.h"
#include "resources/resource.h"

using namespace integration::detail;

namespace {

constexpr DISPID kDispidActivate = 0xF001;
constexpr DISPID kDispidFolderSwitch = 0xF002;
constexpr DISPID kDispidViewSwitch = 0xF004;
constexpr DISPID kDispidDeactivate = 0xF006;
constexpr DISPID kDispidSelectionChange = 0xF007;
constexpr DISPID kDispidClose = 0xF008;

constexpr const char16_t* kCustomTags[] = {u"QUILLMARK_CUSTOMBUTTON1", u"QUILLMARK_CUSTOMBUTTON2",
                                           u"QUILLMARK_CUSTOMBUTTON3"};
// The replacement Print Preview entry of the File menu. Every add-in's custom control has Id 1, so
// the add-in knows its own controls only by their tags.
constexpr const char16_t* kOwnPreviewTag = u"QUILLMARK_PRINTPREVIEW";

bool isOwnControl(IDispatch* control) {
  if (getLong(control, u"Id") != platform::office::kIdCustom) return false;
  const std::u16string tag = getText(control, u"Tag");
  for (const char16_t* own : {u"QUILLMARK_MENU", u"QUILLMARK_PREVIEW", u"QUILLMARK_SELECTION", u"QUILLMARK_ATTACHMENTS",
                              kCustomTags[0], kCustomTags[1], kCustomTags[2], kOwnPreviewTag})
    if (tag == own) return true;
  return false;
}

// Before = position + 1, or left out (the control is appended) when that lies past the end.
VARIANT beforeArgument(IDispatch* controls, LONG position) {
  VARIANT before = missing();
  if (position + 1 <= getLong(controls, u"Count") + 1) {
    before.vt = VT_I4;
    before.lVal = position + 1;
  }
  return before;
}

HWND windowOf(IUnknown* window) {
  if (!window) return nullptr;
  IOleWindowPtr ole;
  if (FAILED(window->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(ole.Receive()))) || !ole) return nullptr;
  HWND handle = nullptr;
  if (FAILED(ole->GetWindow(&handle))) return nullptr;
  return handle;
}

CustomButton customRecord(int index) {
  const auto& buttons = CSettings::instance().getSettingsData().buttons.buttons;
  return index < static_cast<int>(buttons.size()) ? buttons[index] : CustomButton{};
}

// Writes a control's boolean property only when it differs.
void putWhenDifferent(IDispatch* control, const char16_t* name, bool value) {
  if (getBool(control, name) != value) put(control, name, CComVariant(value));
}

}  // namespace

CDisplayManager::CDisplayManager() {
  LOG_DEBUG(u"CDisplayManager ctor");
}

CDisplayManager::~CDisplayManager() {
  LOG_DEBUG(u"CDisplayManager dtor");
  if (m_windowSink) m_windowSink->close();
  for (auto& sink : m_buttonSinks)
    if (sink) sink->close();
  pendingInspectors().erase(this);
  if (m_hwnd) platform::outlook::setOwnPrintHandler(m_hwnd, {});
}

std::set<CDisplayManager*>& CDisplayManager::pendingInspectors() {
  static std::set<CDisplayManager*> pending;
  return pending;
}

CComPtr<CEventSink>& CDisplayManager::sinkSlot(LONG id) {
  for (std::size_t i = 0; i < kSinkIds.size(); ++i)
    if (kSinkIds[i] == id) return m_buttonSinks[i];
  _com_issue_error(E_INVALIDARG);
}

// Made when a control is first sunk: most windows sink only a few of them.
CEventSink& CDisplayManager::buttonSink(LONG id) {
  CComPtr<CEventSink>& sink = sinkSlot(id);
  if (!sink) sink = CEventSink::create(DIID__CommandBarButtonEvents);
  if (!sink) _com_issue_error(E_OUTOFMEMORY);
  return *sink;
}

void CDisplayManager::closeSink(LONG id) {
  if (const CComPtr<CEventSink>& sink = sinkSlot(id)) sink->close();
}

void CDisplayManager::adviseButton(LONG id, IDispatch* control) {
  CEventSink& sink = buttonSink(id);
  sink.on(platform::office::kDispidClick, u"Click", [this, id](const platform::com::CDispArgs& args) {
    const CComPtr<ITimerCallback> hold(this);  // the window may close during the print
    IDispatch* control = args[0].vt == VT_DISPATCH ? args[0].pdispVal : nullptr;
    VARIANT_BOOL* cancel = args[1].vt == (VT_BOOL | VT_BYREF) ? args[1].pboolVal : nullptr;
    switch (id) {
      case 2523:
        return CommandBarButtonAttachmentClick(control, cancel);
      case 2525:
        return CommandBarButtonSelectionClick(control, cancel);
      case 2527:
      case 2528:
      case 2529:
        return CommandBarButtonCustomButtonClick(id - 2527, control, cancel);
      default:
        return CommandBarButtonPrintServiceClick(control, cancel);
    }
  }, 2);
  sink.unadvise();  // a control found again replaces the one sunk before
  check(sink.advise(control));
}

// Initialisation

void CDisplayManager::Initialise(const _ExplorerPtr& explorer) {
  NUtils::guardedAs(u"Exception caught initialising explorer's command handler", [&] {
    LOG_DEBUG(u"CDisplayManager::Initialise with Explorer");
    static_cast<ITimerCallback*>(this)->AddRef();  // given back by CloseDown
    m_explorer = explorer;
    m_hwnd = windowOf(explorer);
    NUtils::guarded(u"CDisplayManager::Initialise", [&] {
      const CComPtr<IDispatch> application = getObject(explorer, u"Application");
      const CComPtr<IDispatch> session = objectOf(call(application, u"GetNamespace", {CComVariant(u"MAPI")}));
      const CComPtr<IDispatch> outbox = objectOf(call(session, u"GetDefaultFolder", {CComVariant(LONG{4})}));
      m_outboxEntryID = getText(outbox, u"EntryID");
    });
    LOG_DEBUG(u"Outbox entryID is %s", m_outboxEntryID.c_str());

    m_windowSink = CEventSink::create(DIID_ExplorerEvents);
    m_windowSink->on(kDispidActivate, u"Activate", [this](const auto&) { return ExplorerInspectorActivate(); });
    m_windowSink->on(kDispidDeactivate, u"Deactivate", [this](const auto&) { return ExplorerInspectorDeactivate(); });
    m_windowSink->on(kDispidClose, u"Close", [this](const auto&) { return ExplorerInspectorClose(); });
    m_windowSink->on(kDispidSelectionChange, u"SelectionChange", [this](const auto&) { return ExplorerSelectionChange(); });
    m_windowSink->on(kDispidViewSwitch, u"ViewSwitch", [this](const auto&) { return ExplorerViewSwitch(); });
    m_windowSink->on(kDispidFolderSwitch, u"FolderSwitch", [this](const auto&) { return ExplorerFolderSwitch(); });
    check(m_windowSink->advise(explorer));
    m_status = STARTING;

    registerTimerCallback(this);
    CAcceleratorHandler::Instance().Register(m_hwnd, kPrintAcceleratorId, this);
    m_acceleratorRegistered = true;
    registerOwnRequests();
  });
}

void CDisplayManager::Initialise(const _InspectorPtr& inspector) {
  NUtils::guardedAs(u"Exception caught initialising inspector's command handler", [&] {
    LOG_DEBUG(u"CDisplayManager::Initialise with Inspector");
    static_cast<ITimerCallback*>(this)->AddRef();
    m_inspector = inspector;
    m_hwnd = windowOf(inspector);

    m_windowSink = CEventSink::create(DIID_InspectorEvents);
    m_windowSink->on(kDispidActivate, u"Activate", [this](const auto&) { return ExplorerInspectorActivate(); });
    m_windowSink->on(kDispidDeactivate, u"Deactivate", [this](const auto&) { return ExplorerInspectorDeactivate(); });
    m_windowSink->on(kDispidClose, u"Close", [this](const auto&) { return ExplorerInspectorClose(); });
    check(m_windowSink->advise(inspector));

    const int version = NGlobals::officeMajorVersion();
    if (version >= 9 && version <= 11) {
      m_status = STARTING;
      pendingInspectors().insert(this);
      registerTimerCallback(this);
    }
    CAcceleratorHandler::Instance().Register(m_hwnd, kPrintAcceleratorId, this);
    m_acceleratorRegistered = true;
    registerOwnRequests();
  });
}

void CDisplayManager::registerOwnRequests() {
  if (!m_hwnd) return;
  platform::outlook::setOwnPrintHandler(m_hwnd, [this](const platform::outlook::OwnPrintRequest& request) {
    const CComPtr<ITimerCallback> hold(this);
    using Kind = platform::outlook::OwnPrintRequest::Kind;
    switch (request.kind) {
      case Kind::kTable: return printTable(request.mode, request.templatePath);
      case Kind::kInTurn: return printEachSelected(request.mode, request.templatePath, request.onItem);
      case Kind::kCommand: break;
    }
    return printService(request.mode, request.templatePath);
  });
}

bool CDisplayManager::OnNewInspector(const _InspectorPtr& inspector) {
  bool same = false;
  NUtils::guardedAs(u"Exception caught handling new inspector event", [&] {
    if (!inspector) return;
    const HWND handle = windowOf(inspector);
    same = m_inspector && NUtils::CompareInterfaces(inspector, m_inspector) && handle == m_hwnd;
  });
  return same;
}

bool CDisplayManager::servesExplorer(IDispatch* explorer) const {
  return explorer && m_explorer && NUtils::CompareInterfaces(explorer, m_explorer);
}

// The status machine

STDMETHODIMP CDisplayManager::onTimerCallback() {
  const CComPtr<ITimerCallback> hold(this);
  NUtils::guarded(u"CDisplayManager::onTimerCallback", [&] {
    if (NGlobals::officeMajorVersion() < 14) ServiceTimer();
    HookContextMenuButton();
  });
  return m_status == kClosed ? S_FALSE : S_OK;
}

void CDisplayManager::ServiceTimer() {
  switch (m_status) {
    case STARTING:
      LOG_DEBUG(u"CDisplayManager::onTimerCallback -- status is STARTING");
      if (!IsWindowVisible(m_hwnd)) return;
      m_status = STARTED;
      if (m_inspector) pendingInspectors().erase(this);
      LOG_DEBUG(u"CDisplayManager::onTimerCallback -- window visible -- switching status to STARTED");
      SetupCommands();
      if (m_explorer) EnableButtons();
      return;
    case STARTED:
      // Three blocks: a failure ends its own block only, and is no more than a miss.
      NUtils::guardedQuietly(u"CDisplayManager::onTimerCallback -- buttons not synchronised",
                             [&] { resynchroniseButtons(); }, &m_tickMisses[0]);
      if (m_inspector)
        NUtils::guardedQuietly(u"CDisplayManager::onTimerCallback -- inspector's buttons not serviced",
                               [&] { serviceInspectorButtons(); }, &m_tickMisses[1]);
      if (m_status == STARTED)
        NUtils::guardedQuietly(u"CDisplayManager::onTimerCallback -- Outlook's Print Preview not serviced",
                               [&] { serviceOutlookPreview(); }, &m_tickMisses[2]);
      return;
    case sDEACTIVATED:
      if (IsWindowVisible(m_hwnd)) {
        LOG_DEBUG(u"CDisplayManager::onTimerCallback -- window visible -- switching status back from sDEACTIVATED to sSTARTED");
        m_status = STARTED;
      }
      return;
    default:
      return;
  }
}

void CDisplayManager::serviceInspectorButtons() {
  if (NGlobals::officeMajorVersion() < 12 && (!IsWindow(m_hwnd) || !IsWindowVisible(m_hwnd))) {
    LOG_DEBUG(u"CDisplayManager::onTimerCallback -- window has been destroyed or hidden -- closing down");
    CloseDown();
    return;
  }
  if (m_canPrintState == 0) {
    m_canPrintState = 1;
    bool printable = CSettings::instance().canModifySettings();
    if (!printable) {
      CPrintInfo job(getObject(m_inspector, u"CurrentItem"));
      int outcome = 0;
      printable = CPrintItem(job).canPrint(outcome);
    }
    if (printable) m_canPrintState = 2;
  }
  const bool printable = m_canPrintState == 2;
  if (m_previewButton) putWhenDifferent(m_previewButton, u"Enabled", printable);
  if (m_selectionButton) putWhenDifferent(m_selectionButton, u"Enabled", printable);
  if (m_attachmentsButton) {
    const bool attachments = COutlookItem(getObject(m_inspector, u"CurrentItem")).hasAttachments();
    putWhenDifferent(m_attachmentsButton, u"Enabled", attachments);
  }
}

void CDisplayManager::serviceOutlookPreview() {
  if (!m_printPreviewControl) return;
  if (CSettings::instance().getUseOutlookButtons() && !getBool(m_printPreviewControl, u"Enabled")) {
    if (getBool(m_printPreviewControl, u"Visible")) put(m_printPreviewControl, u"Visible", CComVariant(false));
    if (m_ownPrintPreviewControl && !getBool(m_ownPrintPreviewControl, u"Visible"))
      put(m_ownPrintPreviewControl, u"Visible", CComVariant(true));
  } else {
    if (m_ownPrintPreviewControl && getBool(m_ownPrintPreviewControl, u"Visible"))
      put(m_ownPrintPreviewControl, u"Visible", CComVariant(false));
    if (!getBool(m_printPreviewControl, u"Visible")) put(m_printPreviewControl, u"Visible", CComVariant(true));
  }
}

void CDisplayManager::EnableButtons() {
  // A standard button missing (not shown, so never made) ends the sequence.
  NUtils::guardedQuietly(u"CDisplayManager::EnableButtons -- not every button enabled", [&] {
    for (IDispatch* button : {m_previewButton.p, m_selectionButton.p, m_attachmentsButton.p})
      put(button, u"Enabled", CComVariant(true));
    for (const auto& button : m_customButtons)
      if (button) put(button, u"Enabled", CComVariant(true));
  });
}

// Window events

HRESULT CDisplayManager::ExplorerInspectorActivate() {
  if (m_status == sDEACTIVATED) {
    LOG_DEBUG(u"CDisplayManager::ExplorerInspectorActivate -- switching status back from sDEACTIVATED to sSTARTED");
    m_status = STARTED;
  }
  return S_OK;
}

HRESULT CDisplayManager::ExplorerInspectorDeactivate() {
  LOG_DEBUG(u"CDisplayManager::ExplorerInspectorDeactivate");
  return S_OK;
}

HRESULT CDisplayManager::ExplorerSelectionChange() {
  LOG_DEBUG(u"CDisplayManager::ExplorerSelectionChange");
  EnableButtons();
  return S_OK;
}

HRESULT CDisplayManager::ExplorerViewSwitch() {
  LOG_DEBUG(u"CDisplayManager::ExplorerViewSwitch");
  EnableButtons();
  return S_OK;
}

HRESULT CDisplayManager::ExplorerFolderSwitch() {
  LOG_DEBUG(u"CDisplayManager::ExplorerFolderSwitch");
  EnableButtons();
  return S_OK;
}

HRESULT CDisplayManager::ExplorerInspectorClose() {
  const CComPtr<ITimerCallback> hold(this);
  NUtils::guardedAs(u"Exception caught doing closedown and release", [&] {
    LOG_DEBUG(u"CDisplayManager::ExplorerInspectorClose");
    bool lastInspector = false;
    if (m_inspector) {
      const CComPtr<IDispatch> inspectors = getObject(getObject(m_inspector, u"Application"), u"Inspectors");
      lastInspector = getLong(inspectors, u"Count") == 1;
    }
    if (m_explorer || lastInspector) {
      for (CDisplayManager* pending : pendingInspectors())
        if (pending->m_status == STARTING) pending->m_status = STARTED;
      pendingInspectors().clear();
    }
    CloseDown();
  });
  return S_OK;
}

void CDisplayManager::CloseDown() {
  LOG_DEBUG(u"CDisplayManager::CloseDown");
  if (m_status == kClosed) return;
  const CComPtr<ITimerCallback> hold(this);
  m_status = kClosed;
  pendingInspectors().erase(this);
  if (m_acceleratorRegistered) {
    NUtils::guarded(u"CDisplayManager::CloseDown", [&] { CAcceleratorHandler::Instance().Unregister(m_hwnd, kPrintAcceleratorId); });
    m_acceleratorRegistered = false;
  }
  if (m_hwnd) platform::outlook::setOwnPrintHandler(m_hwnd, {});

  removeButton(m_previewButton, 2522, u"Exception caught removing NetQuilMark Print Preview button");
  removeButton(m_attachmentsButton, 2523, u"Exception caught removing NetQuilMark Attachment Print button");
  removeButton(m_selectionButton, 2525, u"Exception caught removing NetQuilMark Selection Print button");
  removeButton(m_customButtons[0], 2527, u"Exception caught removing Custom1 button");
  removeButton(m_customButtons[1], 2528, u"Exception caught removing Custom2 button");
  removeButton(m_customButtons[2], 2529, u"Exception caught removing Custom3 button");

  closeSink(2521);
  m_quickPrintControl.Release();
  closeSink(109);
  m_printPreviewControl.Release();
  closeSink(2524);
  m_ownPrintPreviewControl.Release();
  closeSink(4);
  m_printControl.Release();

  m_hwnd = nullptr;
  if (m_windowSink) m_windowSink->close();
  m_inspector.Release();
  m_explorer.Release();
  static_cast<ITimerCallback*>(this)->Release();  // the reference Initialise took
}

void CDisplayManager::removeButton(_CommandBarButtonPtr& button, LONG sinkId, const char16_t* failure) {
  closeSink(sinkId);
  if (!button) return;
  NUtils::guardedAs(failure, [&] {
    if (!CSettings::instance().getCreateToolbar()) call(button, u"Delete", {CComVariant(false)});
  });
  button.Release();
}

// Command bars

void CDisplayManager::SetupCommands() {
  LOG_DEBUG(u"CDisplayManager::SetupCommands");
  if (m_inspector) {
    NUtils::guardedAs(u"Exception caught trying to sink inspector's command bars",
                      [&] { Sink(_CommandBarsPtr(getObject(m_inspector, u"CommandBars"))); });
  } else if (m_explorer) {
    NUtils::guardedAs(u"Exception caught trying to sink explorer's command bars",
                      [&] { Sink(_CommandBarsPtr(getObject(m_explorer, u"CommandBars"))); });
  }
}

void CDisplayManager::Sink(const _CommandBarsPtr& bars) {
  LOG_DEBUG(u"CDisplayManager::Sink");
  CSettings& settings = CSettings::instance();

  // Outlook's own print commands in the File menu.
  const CComPtr<IDispatch> menuBar = itemOf(bars, u"Menu Bar");
  const CComPtr<IDispatch> menuControls = getObject(menuBar, u"Controls");
  const LONG menuCount = getLong(menuControls, u"Count");
  for (LONG m = 1; m <= menuCount; ++m) {
    const CComPtr<IDispatch> menu = itemOf(menuControls, m);
    if (getLong(menu, u"Id") != platform::office::kIdFileMenu) continue;
    const CComPtr<IDispatch> file = getObject(getObject(menu, u"CommandBar"), u"Controls");
    const LONG count = getLong(file, u"Count");
    for (LONG i = 1; i <= count; ++i) {
      // A failure ends the handling of that control; the scan goes on.
      NUtils::guarded(u"CDisplayManager::Sink (File menu)", [&] {
        const CComPtr<IDispatch> control = itemOf(file, i);
        const LONG id = getLong(control, u"Id");
        if (id == platform::office::kIdPrint) {
          LOG_DEBUG(u"Found Print command on menu bar");
          m_printControl = CommandBarControlPtr(control);
          adviseButton(4, control);
        } else if (id == platform::office::kIdPrintPreview) {
          LOG_DEBUG(u"Found Print Preview command on menu bar");
          m_printPreviewControl = CommandBarControlPtr(control);
          adviseButton(109, control);
          if (m_explorer || !getBool(control, u"Enabled")) {
            CComPtr<IDispatch> next;
            if (i + 1 <= count) next = itemOf(file, i + 1);
            if (next && getLong(next, u"Id") == platform::office::kIdCustom && getText(next, u"Tag") == kOwnPreviewTag) {
              LOG_DEBUG(u"Found Our Print Preview command on menu bar. Sinking...");
              m_ownPrintPreviewControl = CommandBarControlPtr(next);
            } else {
              const VARIANT none = missing();
              const CComPtr<IDispatch> added = objectOf(call(
                  file, u"Add", {CComVariant(LONG{1}), none, none, CComVariant(i + 1), CComVariant(true)}));
              put(added, u"Style", CComVariant(LONG{3}));
              put(added, u"FaceId", CComVariant(LONG{109}));
              quilstring caption;
              caption.LoadString(NGlobals::moduleInstance(), IDS_PRINT_PREVIEW_MENU_ITEM);
              put(added, u"Caption", CComVariant(caption.c_str()));
              put(added, u"TooltipText", CComVariant(caption.c_str()));
              put(added, u"Tag", CComVariant(kOwnPreviewTag));
              m_ownPrintPreviewControl = CommandBarControlPtr(added);
            }
            adviseButton(2524, m_ownPrintPreviewControl);
          }
        }
      });
    }
    break;
  }

  // The Standard bar, and the add-in's own toolbar.
  const CComPtr<IDispatch> standard = itemOf(bars, u"Standard");
  const CComPtr<IDispatch> standardControls = getObject(standard, u"Controls");
  const LONG n = getLong(standardControls, u"Count");
  CComPtr<IDispatch> toolbar;
  NUtils::guardedQuietly(u"No Quillmark toolbar", [&] { toolbar = itemOf(bars, u"Quillmark"); });
  if (settings.getCreateToolbar() && !toolbar) {
    const VARIANT none = missing();
    toolbar = objectOf(call(bars, u"Add", {CComVariant(u"Quillmark"), CComVariant(LONG{1}), none, none}));
    put(toolbar, u"Visible", CComVariant(true));
  } else if (!settings.getCreateToolbar() && toolbar) {
    call(toolbar, u"Delete");
    toolbar.Release();
  }

  for (LONG i = 1; i <= n; ++i) {
    const CComPtr<IDispatch> control = itemOf(standardControls, i);
    const LONG id = getLong(control, u"Id");
    if (!m_quickPrintControl && id == platform::office::kIdQuickPrint) {
      LOG_DEBUG(u"Found Print command on inspector's standard bar");
      m_quickPrintControl = CommandBarControlPtr(control);
      adviseButton(2521, control);
    }
    if ((id == platform::office::kIdPrint || id == platform::office::kIdQuickPrint) && !m_popupMenu) {
      const bool placed = NUtils::guardedAs(u"Exception caught when managing toolbar", [&] {
        if (i + 1 <= n) {
          const CComPtr<IDispatch> next = itemOf(standardControls, i + 1);
          if (isOwnControl(next)) {
            LOG_DEBUG(u"Found Our Quillmark Menu command on menu bar. Deleting...");
            call(next, u"Delete", {missing()});
          }
        }
        if (toolbar) {
          LOG_DEBUG(u"Setting CommandbarControl to the Quillmark Toolbar");
          placeButtons(CommandBarPtr(toolbar), 0);
        } else {
          placeButtons(CommandBarPtr(standard), i);
        }
      });
      if (placed) return;
    }
  }
}

void CDisplayManager::placeButtons(const CommandBarPtr& target, LONG position) {
  CSettings& settings = CSettings::instance();
  const bool temporary = !settings.getCreateToolbar();
  const VARIANT none = missing();
  const auto findByTag = [&](IDispatch* bar, const char16_t* tag) -> CComPtr<IDispatch> {
    const CComVariant found = call(bar, u"FindControl", {none, none, CComVariant(tag), none, none});
    return (found.vt == VT_DISPATCH && found.pdispVal) ? CComPtr<IDispatch>(found.pdispVal) : nullptr;
  };
  CommandBarPtr bar = target;
  LONG p = position;
  m_popupMenu = CommandBarControlPtr(findByTag(bar, u"QUILLMARK_MENU"));
  if (settings.getButtonsInMenu()) {
    const bool ok = NUtils::guardedAs(u"Exception caught accessing Popup Commandbar", [&] {
      LOG_DEBUG(u"Creating a new Quillmark Menu");
      if (!m_popupMenu) {
        const CComPtr<IDispatch> controls = getObject(bar, u"Controls");
        const CComPtr<IDispatch> added = objectOf(call(controls, u"Add",
                                                       {CComVariant(LONG{10}), none, none, beforeArgument(controls, p), CComVariant(temporary)}));
        LOG_DEBUG(u"Added the Quillmark Menu");
        quilstring caption;
        caption.LoadString(NGlobals::moduleInstance(), IDS_QUILLMARK_MENU);
        put(added, u"TooltipText", CComVariant(caption.c_str()));
        put(added, u"Caption", CComVariant(caption.c_str()));
        put(added, u"Tag", CComVariant(u"QUILLMARK_MENU"));
        m_popupMenu = CommandBarControlPtr(added);
      }
      for (const char16_t* tag : {u"QUILLMARK_PREVIEW", u"QUILLMARK_SELECTION", u"QUILLMARK_ATTACHMENTS",
                                  kCustomTags[0], kCustomTags[1], kCustomTags[2]}) {
        if (const CComPtr<IDispatch> old = findByTag(bar, tag)) call(old, u"Delete", {none});
      }
      bar = CommandBarPtr(getObject(m_popupMenu, u"CommandBar"));
      p = 0;
    });
    if (!ok) p = 0;
  } else if (m_popupMenu) {
    LOG_DEBUG(u"Quillmark Popup Menu exists. Delete it because not shown in menu");
    call(m_popupMenu, u"Delete", {none});
    m_popupMenu.Release();
  }

  const auto place = [&](_CommandBarButtonPtr& field, LONG sinkId, const char16_t* tag, UINT captionId, bool visible,
                         LONG faceId, const quilstring& caption) {
    if (!field) field = AddButton(bar, tag, captionId, p, temporary, visible, faceId, caption);
    if (!field) return;
    NUtils::guarded(u"CDisplayManager::placeButtons", [&] { adviseButton(sinkId, field); });
    ++p;
  };
  place(m_previewButton, 2522, u"QUILLMARK_PREVIEW", IDS_PRINT_PREVIEW_BUTTON, settings.getDisplayPreviewButton(), 4, {});
  place(m_selectionButton, 2525, u"QUILLMARK_SELECTION", IDS_PRINT_SELECTION_BUTTON,
        settings.getDisplaySelectionButton(), 756, {});
  place(m_attachmentsButton, 2523, u"QUILLMARK_ATTACHMENTS", IDS_QUICKPRINT_ATTACHMENTS_BUTTON,
        settings.getDisplayAttachmentsButton(), 1079, {});
  for (int n = 0; n < 3; ++n) {
    const CustomButton record = customRecord(n);
    place(m_customButtons[n], 2527 + n, kCustomTags[n], 0, record.showButton, static_cast<LONG>(record.faceId),
          record.displayName);
  }
}

_CommandBarButtonPtr CDisplayManager::AddButton(const CommandBarPtr& bar, const char16_t* tag, UINT captionId,
                                                LONG position, bool temporary, bool visible, LONG faceId,
                                                const quilstring& caption) {
  _CommandBarButtonPtr button;
  NUtils::guardedAs(u"Exception caught adding button", [&] {
    const VARIANT none = missing();
    const CComVariant found = call(bar, u"FindControl", {none, none, CComVariant(tag), none, none});
    if (found.vt == VT_DISPATCH && found.pdispVal) button = _CommandBarButtonPtr(found.pdispVal);
    if (!button) {
      LOG_DEBUG(u"Adding button");
      const CComPtr<IDispatch> controls = getObject(bar, u"Controls");
      button = _CommandBarButtonPtr(objectOf(call(controls, u"Add",
                                                  {CComVariant(LONG{1}), none, none, beforeArgument(controls, position),
                                                   CComVariant(temporary)})));
    }
    if (faceId != 0) {
      put(button, u"Style", CComVariant(LONG{3}));
      put(button, u"FaceId", CComVariant(faceId));
    }
    quilstring text = caption;
    if (captionId != 0) text.LoadString(NGlobals::moduleInstance(), captionId);
    put(button, u"TooltipText", CComVariant(text.c_str()));
    put(button, u"Caption", CComVariant(text.c_str()));
    put(button, u"Visible", CComVariant(visible));
    put(button, u"Tag", CComVariant(tag));
  });
  return button;
}

void CDisplayManager::HookContextMenuButton() {
  if (!m_explorer || m_quickPrintControl) return;
  // No context menu yet: the search repeats on the next tick.
  NUtils::guardedQuietly(u"CDisplayManager::HookContextMenuButton -- no quick Print in the Context Menu", [&] {
    const CComPtr<IDispatch> controls = getObject(itemOf(getObject(m_explorer, u"CommandBars"), u"Context Menu"), u"Controls");
    const LONG count = getLong(controls, u"Count");
    CComPtr<IDispatch> found;
    for (LONG i = 1; i <= count; ++i) {
      const CComPtr<IDispatch> control = itemOf(controls, i);
      if (getLong(control, u"Id") == platform::office::kIdQuickPrint) found = control;
    }
    if (found) {
      m_quickPrintControl = CommandBarControlPtr(found);
      adviseButton(2521, found);
    }
  }, &m_tickMisses[3]);
}

void CDisplayManager::resynchroniseButtons() {
  CSettings& settings = CSettings::instance();
  const bool anyStandard = settings.getDisplayPreviewButton() || settings.getDisplayAttachmentsButton() ||
                           settings.getDisplaySelectionButton();
  if (m_popupMenu) putWhenDifferent(m_popupMenu, u"Visible", anyStandard);
  if (m_previewButton) putWhenDifferent(m_previewButton, u"Visible", settings.getDisplayPreviewButton());
  if (m_attachmentsButton) putWhenDifferent(m_attachmentsButton, u"Visible", settings.getDisplayAttachmentsButton());
  if (m_selectionButton) putWhenDifferent(m_selectionButton, u"Visible", settings.getDisplaySelectionButton());
  for (int n = 0; n < 3; ++n) {
    const _CommandBarButtonPtr& button = m_customButtons[n];
    if (!button) continue;
    const CustomButton record = customRecord(n);
    putWhenDifferent(button, u"Visible", record.showButton);
    if (getText(button, u"Caption") != record.displayName) {
      put(button, u"Caption", CComVariant(record.displayName.c_str()));
      put(button, u"TooltipText", CComVariant(record.displayName.c_str()));
    }
    const LONG faceId = static_cast<LONG>(record.faceId);
    if (getLong(button, u"FaceId") != faceId) {
      put(button, u"Style", CComVariant(LONG{2}));
      if (faceId != 0) put(button, u"Style", CComVariant(LONG{3}));
      put(button, u"FaceId", CComVariant(faceId));
    }
  }
}
