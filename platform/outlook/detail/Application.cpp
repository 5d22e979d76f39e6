// Application, NameSpace, the current user, explorers and inspectors with their events, and the
// host's handle on them.

#include <algorithm>
#include <stdexcept>

#include "platform/outlook/detail/Objects.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"
#include "platform/ui/WinUser.h"

namespace platform::outlook::detail {

using platform::com::CConnectionPoint;
using platform::com::CDispArgs;
using platform::com::CDispatchTable;
using platform::com::IConnectionPointContainerImpl;
using platform::com::IDispatchTableImpl;
using platform::com::putBool;
using platform::com::putDispatch;
using platform::com::putLong;
using platform::com::putText;

namespace {

constexpr DISPID kCount = 0x50;
constexpr DISPID kItem = 0x51;
// Event DISPIDs of the window and collection event interfaces.
constexpr DISPID kEventNewWindow = 0xF001;  // NewExplorer, NewInspector
constexpr DISPID kEventActivate = 0xF001;
constexpr DISPID kEventFolderSwitch = 0xF002;
constexpr DISPID kEventDeactivate = 0xF006;
constexpr DISPID kEventSelectionChange = 0xF007;
constexpr DISPID kEventClose = 0xF008;
constexpr DISPID kEventOptionsPagesAdd = 0xF005;
constexpr DISPID kEventQuit = 0xF007;

// An explorer's or inspector's window: a window of the window layer, so its handle is one the
// accelerator hook, subclassing and timers can use. Message-only unless the host shows windows;
// a shown one is a top-level window the host fills.
HWND newFrameWindow(bool topLevel) {
  constexpr const char16_t* kFrameClass = u"rctrl_renwnd32";
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = kFrameClass;
    return RegisterClassExW(&windowClass) != 0;
  }();
  if (!registered) {
    platform::diag::error("Outlook", "cannot register the explorer and inspector window class");
    return nullptr;
  }
  HWND window = topLevel ? CreateWindowExW(0, kFrameClass, u"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr)
                         : CreateWindowExW(0, kFrameClass, u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (!window) platform::diag::error("Outlook", "cannot create an explorer or inspector window");
  return window;
}

CComPtr<IUnknown> identity(IUnknown* object) {
  CComPtr<IUnknown> unknown;
  if (object) object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown.p));
  return unknown;
}

HRESULT fireWith(CConnectionPoint* point, DISPID id, IDispatch* argument) {
  if (!point) return S_OK;
  CComVariant arg(argument);
  return point->fire(id, std::span<const VARIANT>(static_cast<const VARIANT*>(&arg), 1));
}

}  // namespace

// An explorer or an inspector: a window with its events and its handle.
class CWindow : public CComObjectRootEx<CComSingleThreadModel>,
                public IDispatchTableImpl<IDispatch>,
                public IConnectionPointContainerImpl,
                public IOleWindow {
 public:
  STDMETHOD(GetWindow)(HWND* phwnd) override {
    if (!phwnd) return E_POINTER;
    *phwnd = m_closed ? nullptr : m_hwnd;
    return m_closed ? E_FAIL : S_OK;
  }
  STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

  HWND hwnd() const { return m_hwnd; }
  bool isClosed() const { return m_closed; }
  void setCommandBars(IDispatch* bars) { m_commandBars = bars; }
  HRESULT fire(DISPID id) {
    CConnectionPoint* point = connectionPoint(m_events);
    return point ? point->fire(id) : S_OK;
  }
  void markClosed() {
    m_closed = true;
    if (CConnectionPoint* point = connectionPoint(m_events)) point->disconnectAll();
    if (const auto& closed = m_context->options().windowClosed) closed(this, m_hwnd);
    // A shown window goes when it closes, as Outlook's does; a message-only one with its object.
    if (m_context->options().windows && m_hwnd) {
      const HWND gone = m_hwnd;
      m_hwnd = nullptr;
      DestroyWindow(gone);
    }
  }
  // After the host dressed it and NewExplorer / NewInspector fired.
  void show() {
    if (m_context->options().windows && m_hwnd && !m_closed) ShowWindow(m_hwnd, SW_SHOW);
  }
  void created(bool explorer) {
    if (const auto& made = m_context->options().windowCreated; made && m_hwnd) made(this, m_hwnd, explorer);
  }

 protected:
  CWindow(ContextPtr context, const IID& events, LONG objectClass)
      : m_context(std::move(context)), m_events(events), m_hwnd(newFrameWindow(m_context->options().windows)) {
    addConnectionPoint(events);
    auto& t = dispatchTable();
    std::weak_ptr<Context> weak = m_context;
    addCommonMembers(t, m_context, objectClass, [weak]() -> CComPtr<IDispatch> {
      const ContextPtr context = weak.lock();
      return context ? CComPtr<IDispatch>(context->application()) : nullptr;
    });
    t.property(0x2100, u"CommandBars", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, m_commandBars); });
    t.method(0x2103, u"Close", [this](const CDispArgs&, VARIANT*) {
      if (CApplication* app = m_context->applicationObject()) closeWindowOf(*app, this);
      return S_OK;
    }, 0, 1);
    t.method(0x2104, u"Display", [](const CDispArgs&, VARIANT*) { return S_OK; }, 0, 1);
    t.method(0x2105, u"Activate", [this](const CDispArgs&, VARIANT*) { return fire(kEventActivate); });
  }

  ~CWindow() {
    if (m_hwnd) DestroyWindow(m_hwnd);
  }

  ContextPtr m_context;
  IID m_events;
  HWND m_hwnd = nullptr;
  CComPtr<IDispatch> m_commandBars;
  bool m_closed = false;
};

CWindow* windowOf(IDispatch* window) { return static_cast<CWindow*>(window); }

class CSelection : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CSelection)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_Selection, IDispatch)
  END_COM_MAP()

  CSelection(const ContextPtr& context, CComPtr<IDispatch> parent, std::vector<CComPtr<IDispatch>> items)
      : m_items(std::move(items)) {
    auto& t = dispatchTable();
    addCommonMembers(t, context, olSelection, [parent] { return parent; });
    t.property(kCount, u"Count", [this](const CDispArgs&, VARIANT* r) { return putLong(r, static_cast<LONG>(m_items.size())); });
    t.method(kItem, u"Item", [this](const CDispArgs& args, VARIANT* r) {
      LONG index = 0;
      if (HRESULT hr = args.getLong(0, index); FAILED(hr)) return hr;
      if (index < 1 || static_cast<std::size_t>(index) > m_items.size()) raise("Array index out of bounds.");
      return putDispatch(r, m_items[index - 1]);
    }, 1, 1);
  }

 private:
  std::vector<CComPtr<IDispatch>> m_items;
};

class CExplorer : public CWindow {
 public:
  BEGIN_COM_MAP(CExplorer)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID__Explorer, IDispatch)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
    COM_INTERFACE_ENTRY(IOleWindow)
  END_COM_MAP()

  CExplorer(ContextPtr context, int folder) : CWindow(std::move(context), DIID_ExplorerEvents, olExplorer), m_folder(folder) {
    auto& t = dispatchTable();
    t.property(0x2200, u"CurrentFolder", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, m_context->folder(m_folder)); });
    t.property(0x2204, u"Selection", [this](const CDispArgs&, VARIANT* r) {
      return putDispatch(r, CComObject<CSelection>::Make(m_context, CComPtr<IDispatch>(static_cast<IDispatch*>(this)),
                                                         m_selection));
    });
    t.property(0x2111, u"Caption", [this](const CDispArgs&, VARIANT* r) {
      return putText(r, m_context->store().folders()[m_folder].name + u" - Microsoft Outlook");
    });
  }

  void setFolder(int folder) {
    m_folder = folder;
    m_selection.clear();
  }
  void setSelection(std::vector<CComPtr<IDispatch>> selection) { m_selection = std::move(selection); }

 private:
  int m_folder;
  std::vector<CComPtr<IDispatch>> m_selection;
};

class CInspector : public CWindow {
 public:
  BEGIN_COM_MAP(CInspector)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID__Inspector, IDispatch)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
    COM_INTERFACE_ENTRY(IOleWindow)
  END_COM_MAP()

  CInspector(ContextPtr context, CComPtr<IDispatch> item)
      : CWindow(std::move(context), DIID_InspectorEvents, olInspector), m_item(std::move(item)) {
    auto& t = dispatchTable();
    t.property(0x2102, u"CurrentItem", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, m_item); });
    t.property(0x2111, u"Caption", [this](const CDispArgs&, VARIANT* r) {
      CComVariant subject;
      if (auto* item = dynamic_cast<CItem*>(m_item.p)) item->valueByName(u"Subject", subject);
      std::u16string caption = subject.vt == VT_BSTR && subject.bstrVal ? std::u16string(subject.bstrVal) : u"";
      return putText(r, caption);
    });
  }

  IDispatch* item() const { return m_item; }

 private:
  CComPtr<IDispatch> m_item;
};

// Explorers and Inspectors: the open windows, with NewExplorer / NewInspector.
class CWindows : public CComObjectRootEx<CComSingleThreadModel>,
                 public IDispatchTableImpl<IDispatch>,
                 public IConnectionPointContainerImpl {
 public:
  BEGIN_COM_MAP(CWindows)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID__Explorers, IDispatch)
    COM_INTERFACE_ENTRY_IID(IID__Inspectors, IDispatch)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
  END_COM_MAP()

  CWindows(const ContextPtr& context, bool explorers, CApplication* owner)
      : m_events(explorers ? DIID_ExplorersEvents : DIID_InspectorsEvents) {
    addConnectionPoint(m_events);
    auto& t = dispatchTable();
    std::weak_ptr<Context> weak = context;
    addCommonMembers(t, context, explorers ? olExplorers : olInspectors, [weak]() -> CComPtr<IDispatch> {
      const ContextPtr context = weak.lock();
      return context ? CComPtr<IDispatch>(context->application()) : nullptr;
    });
    t.property(kCount, u"Count", [this](const CDispArgs&, VARIANT* r) { return putLong(r, static_cast<LONG>(m_windows.size())); });
    t.method(kItem, u"Item", [this](const CDispArgs& args, VARIANT* r) {
      LONG index = 0;
      if (HRESULT hr = args.getLong(0, index); FAILED(hr)) return hr;
      if (index < 1 || static_cast<std::size_t>(index) > m_windows.size()) raise("Array index out of bounds.");
      return putDispatch(r, m_windows[index - 1]);
    }, 1, 1);
    t.method(0x5F, u"Add", [owner, explorers](const CDispArgs& args, VARIANT* r) {
      CComPtr<IDispatch> target;
      if (HRESULT hr = args.getDispatch(0, target); FAILED(hr)) return hr;
      CComPtr<IDispatch> window = explorers ? openExplorerOf(*owner, target, {}) : openInspectorOf(*owner, target);
      if (!window) raise("The window could not be opened.");
      return putDispatch(r, window);
    }, 1, 2);
  }

  std::vector<CComPtr<IDispatch>>& windows() { return m_windows; }
  HRESULT fireNew(IDispatch* window) { return fireWith(connectionPoint(m_events), kEventNewWindow, window); }
  static CComPtr<IDispatch> openExplorerOf(CApplication& app, IDispatch* folder, const std::vector<IDispatch*>& selection);

 private:
  IID m_events;
  std::vector<CComPtr<IDispatch>> m_windows;  // CWindow objects, in opening order
};

class CAddressEntry : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CAddressEntry)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_AddressEntry, IDispatch)
  END_COM_MAP()

  explicit CAddressEntry(const ContextPtr& context) {
    auto& t = dispatchTable();
    std::weak_ptr<Context> weak = context;
    addCommonMembers(t, context, olAddressEntry, [weak]() -> CComPtr<IDispatch> {
      const ContextPtr context = weak.lock();
      return context ? context->nameSpace() : nullptr;
    });
    const OutlookOptions& o = context->options();
    t.property(0x3001, u"Name", [name = o.userName](const CDispArgs&, VARIANT* r) { return putText(r, name); });
    t.property(0x3003, u"Address", [address = o.userAddress](const CDispArgs&, VARIANT* r) { return putText(r, address); });
    t.property(0x3002, u"Type", [type = o.userAddressType](const CDispArgs&, VARIANT* r) { return putText(r, type); });
  }
};

class CRecipient : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CRecipient)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_Recipient, IDispatch)
  END_COM_MAP()

  explicit CRecipient(const ContextPtr& context) {
    auto& t = dispatchTable();
    std::weak_ptr<Context> weak = context;
    addCommonMembers(t, context, olRecipient, [weak]() -> CComPtr<IDispatch> {
      const ContextPtr context = weak.lock();
      return context ? context->nameSpace() : nullptr;
    });
    const OutlookOptions& o = context->options();
    t.property(0x3001, u"Name", [name = o.userName](const CDispArgs&, VARIANT* r) { return putText(r, name); });
    t.property(0x3003, u"Address", [address = o.userAddress](const CDispArgs&, VARIANT* r) { return putText(r, address); });
    t.property(0x79, u"AddressEntry", [weak](const CDispArgs&, VARIANT* r) {
      const ContextPtr context = weak.lock();
      return putDispatch(r, context ? CComObject<CAddressEntry>::Make(context) : nullptr);
    });
    t.property(0x64, u"Resolved", [](const CDispArgs&, VARIANT* r) { return putBool(r, true); });
  }
};

class CNameSpace : public CComObjectRootEx<CComSingleThreadModel>, public IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CNameSpace)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID__NameSpace, IDispatch)
  END_COM_MAP()

  explicit CNameSpace(ContextPtr context) : m_context(std::move(context)) {
    auto& t = dispatchTable();
    std::weak_ptr<Context> weak = m_context;
    addCommonMembers(t, m_context, olNamespace, [weak]() -> CComPtr<IDispatch> {
      const ContextPtr context = weak.lock();
      return context ? CComPtr<IDispatch>(context->application()) : nullptr;
    });
    t.property(0x2104, u"Type", [](const CDispArgs&, VARIANT* r) { return putText(r, u"MAPI"); });
    t.property(0x2101, u"CurrentUser", [this](const CDispArgs&, VARIANT* r) {
      const OutlookOptions& o = m_context->options();
      if (o.currentUserFails) raise("The current user could not be resolved.");
      if (o.userName.empty() && o.userAddress.empty()) return putDispatch(r, nullptr);
      return putDispatch(r, CComObject<CRecipient>::Make(m_context));
    });
    t.property(0x2103, u"Folders", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, makeFolders(m_context, -1)); });
    t.method(0x216B, u"GetDefaultFolder", [this](const CDispArgs& args, VARIANT* r) {
      LONG role = 0;
      if (HRESULT hr = args.getLong(0, role); FAILED(hr)) return hr;
      const int folder = m_context->store().defaultFolder(role);
      if (folder < 0) raise("The folder could not be found.");
      return putDispatch(r, m_context->folder(folder));
    }, 1, 1);
    t.method(0x2109, u"GetItemFromID", [this](const CDispArgs& args, VARIANT* r) {
      const std::u16string entryId = entryIdArgument(args);
      const int index = m_context->store().findItem(entryId);
      if (index < 0) raise("The item could not be found.");
      const CComPtr<CItem> item = m_context->item(index);
      // As Outlook cannot open a damaged item, an item whose file does not read is not handed out.
      if (const std::string failure = item->reader().openFailure(); !failure.empty())
        raise(("Cannot open the item: " + m_context->store().items()[index].file.string() + " " + failure).c_str());
      return putDispatch(r, item.p);
    }, 1, 2);
    t.method(0x216A, u"GetFolderFromID", [this](const CDispArgs& args, VARIANT* r) {
      const std::u16string entryId = entryIdArgument(args);
      const int folder = m_context->store().findFolder(entryId);
      if (folder < 0) raise("The folder could not be found.");
      return putDispatch(r, m_context->folder(folder));
    }, 1, 2);
    t.method(0x2115, u"Logon", [](const CDispArgs&, VARIANT*) { return S_OK; }, 0, 4);
    t.method(0x2119, u"Logoff", [](const CDispArgs&, VARIANT*) { return S_OK; });
  }

 private:
  // The entry id, after checking the store id when one is given.
  std::u16string entryIdArgument(const CDispArgs& args) {
    std::u16string entryId, storeId;
    if (FAILED(args.getText(0, entryId))) raise("Could not open the item. Try again.");
    if (args.count() > 1 && !args.isMissing(1)) {
      if (FAILED(args.getText(1, storeId))) raise("Could not open the item. Try again.");
      std::u16string own = m_context->store().storeId();
      if (storeId.size() != own.size()) raise("The store could not be found.");
      for (std::size_t i = 0; i < own.size(); ++i)
        if (charUpper(storeId[i]) != own[i]) raise("The store could not be found.");
    }
    return entryId;
  }

  ContextPtr m_context;
};

class CApplication : public CComObjectRootEx<CComSingleThreadModel>,
                     public IDispatchTableImpl<IDispatch>,
                     public IConnectionPointContainerImpl {
 public:
  BEGIN_COM_MAP(CApplication)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID__Application, IDispatch)
    COM_INTERFACE_ENTRY(IConnectionPointContainer)
  END_COM_MAP()

  explicit CApplication(ContextPtr context) : m_context(std::move(context)) {
    addConnectionPoint(DIID_ApplicationEvents);
    m_explorers = CComObject<CWindows>::Make(m_context, true, this);
    m_inspectors = CComObject<CWindows>::Make(m_context, false, this);
    auto& t = dispatchTable();
    t.property(0xF000, u"Application", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, this); });
    t.property(0xF00A, u"Class", [](const CDispArgs&, VARIANT* r) { return putLong(r, olApplication); });
    t.property(0xF00B, u"Session", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, m_context->nameSpace()); });
    t.property(0xF001, u"Parent", [](const CDispArgs&, VARIANT* r) { return putDispatch(r, nullptr); });
    t.property(0x3001, u"Name", [](const CDispArgs&, VARIANT* r) { return putText(r, u"Outlook"); });
    t.property(0x116, u"Version", [this](const CDispArgs&, VARIANT* r) { return putText(r, m_context->options().version); });
    t.method(0x110, u"GetNamespace", [this](const CDispArgs& args, VARIANT* r) {
      std::u16string type;
      if (HRESULT hr = args.getText(0, type); FAILED(hr)) return hr;
      for (char16_t& c : type) c = charUpper(c);
      if (type != u"MAPI") raise("Only the MAPI namespace is available.");
      return putDispatch(r, m_context->nameSpace());
    }, 1, 1);
    t.property(0x111, u"ActiveExplorer", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, active(true)); });
    t.property(0x112, u"ActiveInspector", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, active(false)); });
    t.property(0x1A0, u"Explorers", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, m_explorers); });
    t.property(0x1A1, u"Inspectors", [this](const CDispArgs&, VARIANT* r) { return putDispatch(r, m_inspectors); });
    t.method(0x113, u"Quit", [this](const CDispArgs&, VARIANT*) {
      quit();
      return S_OK;
    });
  }

  CWindows& explorers() { return *m_explorers; }
  CWindows& inspectors() { return *m_inspectors; }
  const ContextPtr& context() const { return m_context; }

  void makeActive(CWindow* window) { m_active = window; }
  CComPtr<IDispatch> active(bool explorer) {
    CWindows& list = explorer ? *m_explorers : *m_inspectors;
    for (auto& w : list.windows())
      if (windowOf(w) == m_active) return w;
    if (list.windows().empty()) return nullptr;
    return list.windows().back();
  }

  HRESULT close(CWindow* window) {
    for (CWindows* list : {m_explorers.p, m_inspectors.p}) {
      auto& windows = list->windows();
      const auto found =
          std::find_if(windows.begin(), windows.end(), [&](auto& w) { return windowOf(w) == window; });
      if (found == windows.end()) continue;
      // Close fires while the window still counts among the open ones, as Outlook does it.
      CComPtr<IDispatch> hold = *found;
      window->fire(kEventClose);
      window->markClosed();
      const auto still = std::find(windows.begin(), windows.end(), hold);
      if (still != windows.end()) windows.erase(still);
      if (m_active == window) m_active = nullptr;
      return S_OK;
    }
    return S_FALSE;
  }

  void quit() {
    while (!m_inspectors->windows().empty()) close(windowOf(m_inspectors->windows().back()));
    while (!m_explorers->windows().empty()) close(windowOf(m_explorers->windows().back()));
    if (!m_quit) {
      m_quit = true;
      if (CConnectionPoint* point = connectionPoint(DIID_ApplicationEvents)) point->fire(kEventQuit);
    }
  }

  HRESULT fireOptionsPagesAdd(IUnknown* pages) {
    CConnectionPoint* point = connectionPoint(DIID_ApplicationEvents);
    if (!point) return S_OK;
    CComVariant arg(pages);
    return point->fire(kEventOptionsPagesAdd, std::span<const VARIANT>(static_cast<const VARIANT*>(&arg), 1));
  }

 private:
  ContextPtr m_context;
  CComPtr<CComObject<CWindows>> m_explorers;
  CComPtr<CComObject<CWindows>> m_inspectors;
  CWindow* m_active = nullptr;  // one of the open windows, or none
  bool m_quit = false;
};

CComPtr<IDispatch> CWindows::openExplorerOf(CApplication& app, IDispatch* folder, const std::vector<IDispatch*>& selection) {
  const ContextPtr& context = app.context();
  int index = -1;
  for (int i = 0; i < static_cast<int>(context->store().folders().size()) && index < 0; ++i)
    if (identity(context->folder(i)) == identity(folder)) index = i;
  if (index < 0) return nullptr;
  auto explorer = CComObject<CExplorer>::Make(context, index);
  std::vector<CComPtr<IDispatch>> items;
  for (IDispatch* item : selection)
    if (item) items.emplace_back(item);
  explorer->setSelection(std::move(items));
  explorer->created(true);
  app.explorers().windows().emplace_back(static_cast<IDispatch*>(explorer.p));
  app.explorers().fireNew(explorer);
  explorer->show();
  if (!explorer->isClosed()) {
    app.makeActive(explorer);
    explorer->fire(kEventActivate);
  }
  return CComPtr<IDispatch>(static_cast<IDispatch*>(explorer.p));
}

CComPtr<IDispatch> openInspectorOf(CApplication& app, IDispatch* item) {
  if (!item) return nullptr;
  if (CComPtr<IDispatch> open = app.context()->inspectorOf(item)) return open;
  auto* own = dynamic_cast<CItem*>(item);
  if (!own) return nullptr;
  auto inspector = CComObject<CInspector>::Make(app.context(), CComPtr<IDispatch>(item));
  inspector->created(false);
  app.inspectors().windows().emplace_back(static_cast<IDispatch*>(inspector.p));
  app.inspectors().fireNew(inspector);
  inspector->show();
  if (!inspector->isClosed()) {
    app.makeActive(inspector);
    inspector->fire(kEventActivate);
  }
  return CComPtr<IDispatch>(static_cast<IDispatch*>(inspector.p));
}

HRESULT closeWindowOf(CApplication& app, IDispatch* window) {
  auto* own = dynamic_cast<CWindow*>(window);
  return own ? app.close(own) : E_INVALIDARG;
}

// Context.

IDispatch* Context::application() const { return m_application ? static_cast<IDispatch*>(m_application) : nullptr; }

CComPtr<IDispatch> Context::nameSpace() {
  if (m_closed) return static_cast<IDispatch*>(CComObject<CNameSpace>::Make(shared_from_this()).p);
  if (!m_nameSpace) m_nameSpace = static_cast<IDispatch*>(CComObject<CNameSpace>::Make(shared_from_this()).p);
  return m_nameSpace;
}

CComPtr<IDispatch> Context::folder(int index) {
  if (index < 0 || index >= static_cast<int>(m_store->folders().size())) return nullptr;
  if (m_closed) return makeFolder(shared_from_this(), index);
  auto& slot = m_folders[index];
  if (!slot) slot = makeFolder(shared_from_this(), index);
  return slot;
}

CComPtr<CItem> Context::item(int index) {
  if (index < 0 || index >= static_cast<int>(m_store->items().size())) return nullptr;
  if (m_closed) return static_cast<CItem*>(CComObject<CItem>::Make(shared_from_this(), index).p);
  auto& slot = m_items[index];
  if (!slot) slot = static_cast<CItem*>(CComObject<CItem>::Make(shared_from_this(), index).p);
  return slot;
}

CComPtr<IDispatch> Context::inspectorOf(IDispatch* item) const {
  if (!m_application || !item) return nullptr;
  const CComPtr<IUnknown> wanted = identity(item);
  for (auto& window : m_application->inspectors().windows()) {
    auto* inspector = static_cast<CInspector*>(windowOf(window));
    if (identity(inspector->item()) == wanted) return CComPtr<IDispatch>(static_cast<IDispatch*>(inspector));
  }
  return nullptr;
}

void Context::close() {
  m_closed = true;
  m_application = nullptr;
  // Moved out first: releasing an object may come back here.
  auto nameSpace = std::move(m_nameSpace);
  auto folders = std::move(m_folders);
  auto items = std::move(m_items);
}

void addCommonMembers(CDispatchTable& table, const ContextPtr& context, LONG objectClass,
                      std::function<CComPtr<IDispatch>()> parent) {
  std::weak_ptr<Context> weak = context;
  table.property(0xF000, u"Application", [weak](const CDispArgs&, VARIANT* r) {
    const ContextPtr c = weak.lock();
    return putDispatch(r, c ? c->application() : nullptr);
  });
  table.property(0xF00A, u"Class", [objectClass](const CDispArgs&, VARIANT* r) { return putLong(r, objectClass); });
  table.property(0xF00B, u"Session", [weak](const CDispArgs&, VARIANT* r) {
    const ContextPtr c = weak.lock();
    return putDispatch(r, c ? c->nameSpace() : nullptr);
  });
  table.property(0xF001, u"Parent", [parent = std::move(parent)](const CDispArgs&, VARIANT* r) {
    return putDispatch(r, parent ? parent() : nullptr);
  });
}

CComPtr<IDispatch> makeNameSpace(const ContextPtr& context) { return CComObject<CNameSpace>::Make(context); }

}  // namespace platform::outlook::detail

namespace platform::outlook {

using detail::CApplication;
using detail::CWindow;

std::unique_ptr<COutlook> COutlook::open(const std::filesystem::path& root, OutlookOptions options) {
  auto store = detail::StoreModel::scan(root, options.storeName);
  if (!store) return nullptr;
  std::unique_ptr<COutlook> outlook(new COutlook());
  outlook->m_context = std::make_shared<detail::Context>(std::move(store), std::move(options));
  auto application = CComObject<CApplication>::Make(outlook->m_context);
  outlook->m_application = application;
  outlook->m_applicationDispatch = static_cast<IDispatch*>(application.p);
  outlook->m_context->attach(application);
  return outlook;
}

COutlook::~COutlook() {
  if (m_application) m_application->quit();
  if (m_context) m_context->close();
}

IDispatch* COutlook::application() const { return m_applicationDispatch; }

CComPtr<IDispatch> COutlook::folder(std::u16string_view relative) const {
  return m_context->folder(m_context->store().folderAt(relative));
}

CComPtr<IDispatch> COutlook::defaultFolder(LONG olDefaultFolder) const {
  return m_context->folder(m_context->store().defaultFolder(olDefaultFolder));
}

CComPtr<IDispatch> COutlook::item(const std::filesystem::path& file) const {
  const int index = m_context->store().itemOfFile(file);
  return index < 0 ? nullptr : CComPtr<IDispatch>(static_cast<IDispatch*>(m_context->item(index).p));
}

std::string COutlook::openFailure(std::u16string_view entryId) const {
  const int index = m_context->store().findItem(entryId);
  if (index < 0) return {};
  const std::string failure = m_context->item(index)->reader().openFailure();
  return failure.empty() ? failure : m_context->store().items()[index].file.string() + " " + failure;
}

std::filesystem::path COutlook::fileOf(IDispatch* item) const {
  auto* own = dynamic_cast<detail::CItem*>(item);
  if (!own || own->context() != m_context) return {};
  return m_context->store().items()[own->index()].file;
}

bool COutlook::storeTruncated() const { return m_context->store().truncated(); }

CComPtr<IDispatch> COutlook::openExplorer(IDispatch* folder, const std::vector<IDispatch*>& selection) {
  return detail::CWindows::openExplorerOf(*m_application, folder, selection);
}

CComPtr<IDispatch> COutlook::openInspector(IDispatch* item) { return detail::openInspectorOf(*m_application, item); }

HRESULT COutlook::select(IDispatch* explorer, const std::vector<IDispatch*>& selection) {
  auto* own = dynamic_cast<detail::CExplorer*>(explorer);
  if (!own || own->isClosed()) return E_INVALIDARG;
  std::vector<CComPtr<IDispatch>> items;
  for (IDispatch* item : selection)
    if (item) items.emplace_back(item);
  own->setSelection(std::move(items));
  return own->fire(detail::kEventSelectionChange);
}

HRESULT COutlook::switchFolder(IDispatch* explorer, IDispatch* folder) {
  auto* own = dynamic_cast<detail::CExplorer*>(explorer);
  if (!own || own->isClosed() || !folder) return E_INVALIDARG;
  const CComPtr<IUnknown> wanted = detail::identity(folder);
  for (int i = 0; i < static_cast<int>(m_context->store().folders().size()); ++i) {
    if (detail::identity(m_context->folder(i)) != wanted) continue;
    own->setFolder(i);
    return own->fire(detail::kEventFolderSwitch);
  }
  return E_INVALIDARG;
}

HRESULT COutlook::activate(IDispatch* window) {
  auto* own = dynamic_cast<CWindow*>(window);
  if (!own || own->isClosed()) return E_INVALIDARG;
  m_application->makeActive(own);
  return own->fire(detail::kEventActivate);
}

HRESULT COutlook::deactivate(IDispatch* window) {
  auto* own = dynamic_cast<CWindow*>(window);
  if (!own || own->isClosed()) return E_INVALIDARG;
  return own->fire(detail::kEventDeactivate);
}

HRESULT COutlook::close(IDispatch* window) { return detail::closeWindowOf(*m_application, window); }

HRESULT COutlook::setCommandBars(IDispatch* window, IDispatch* commandBars) {
  auto* own = dynamic_cast<CWindow*>(window);
  if (!own) return E_INVALIDARG;
  own->setCommandBars(commandBars);
  return S_OK;
}

HWND COutlook::windowHandle(IDispatch* window) const {
  auto* own = dynamic_cast<CWindow*>(window);
  return own && !own->isClosed() ? own->hwnd() : nullptr;
}

HRESULT COutlook::fireOptionsPagesAdd(IUnknown* pages) { return m_application->fireOptionsPagesAdd(pages); }

}  // namespace platform::outlook
