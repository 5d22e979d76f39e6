#include "integration/ConnectImpl.h"

#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "integration/detail/Automation.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/ui/WinUser.h"
#include "resources/resource.h"

using namespace integration::detail;

namespace {

constexpr DISPID kDispidNewWindow = 0xF001;  // NewExplorer, NewInspector
constexpr DISPID kDispidOptionsPagesAdd = 0xF005;
constexpr float kLowestBrowserVersion = 6.0f;

// A new manager of the window, with the reference its holder keeps.
template <class Window>
CDisplayManager::Ptr makeManager(const Window& window) {
  CComObject<CDisplayManager>* made = nullptr;
  check(CComObject<CDisplayManager>::CreateInstance(&made));
  CDisplayManager::Ptr manager(made);
  manager->Initialise(window);
  return manager;
}

}  // namespace

CConnectImpl::CConnectImpl() { LOG_DEBUG(u"CConnectImpl ctor"); }

CConnectImpl::~CConnectImpl() {
  LOG_DEBUG(u"CConnectImpl dtor");
  for (CEventSink* sink : {m_explorersSink.p, m_inspectorsSink.p, m_applicationSink.p})
    if (sink) sink->close();
}

void CConnectImpl::Initialise(const CComPtr<IDispatch>& application) {
  NUtils::guardedAs(u"Exception caught setting up OL application sinks", [&] {
    LOG_DEBUG(u"CConnectImpl::Initialise");
    CSettings::instance().outlookApplication() = application;

    const float browser = NUtils::getIEVersion();
    if (browser < kLowestBrowserVersion) {
      quilstring caption, text;
      caption.LoadString(NGlobals::moduleInstance(), IDS_LONG_PRODUCT_NAME);
      text.FormatResource(NGlobals::moduleInstance(), IDS_IE_VERSION_REQUIRED, double{kLowestBrowserVersion},
                          double{browser});
      MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
      LOG_ERROR(u"FATAL! QuillMark for Outlook requires Microsoft Internet Explorer version %.1f or later to operate "
                u"correctly -- the version on this machine appears to be %.1f",
                double{kLowestBrowserVersion}, double{browser});
      m_state = kClosed;
      return;
    }

    m_application = application;
    m_applicationSink = CEventSink::create(DIID_ApplicationEvents);
    m_applicationSink->on(kDispidOptionsPagesAdd, u"OptionsPagesAdd", [this](const platform::com::CDispArgs& args) {
      return OptionsPagesAdd(args[0].vt == VT_UNKNOWN || args[0].vt == VT_DISPATCH ? args[0].punkVal : nullptr);
    }, 1);
    check(m_applicationSink->advise(application));

    m_explorers = getObject(application, u"Explorers");
    m_explorersSink = CEventSink::create(DIID_ExplorersEvents);
    m_explorersSink->on(kDispidNewWindow, u"NewExplorer", [this](const platform::com::CDispArgs& args) {
      return NewExplorer(args[0].vt == VT_DISPATCH ? args[0].pdispVal : nullptr);
    }, 1);
    check(m_explorersSink->advise(m_explorers));

    m_inspectors = getObject(application, u"Inspectors");
    m_inspectorsSink = CEventSink::create(DIID_InspectorsEvents);
    m_inspectorsSink->on(kDispidNewWindow, u"NewInspector", [this](const platform::com::CDispArgs& args) {
      return NewInspector(args[0].vt == VT_DISPATCH ? args[0].pdispVal : nullptr);
    }, 1);
    check(m_inspectorsSink->advise(m_inspectors));

    registerTimerCallback(this);
    m_state = kRunning;
  });
}

HRESULT CConnectImpl::NewExplorer(IDispatch* explorer) {
  const CComPtr<CConnectImpl> hold(this);
  NUtils::guardedAs(u"Exception caught setting up explorer's command handler", [&] {
    LOG_DEBUG(u"CConnectImpl::NewExplorer");
    if (m_state != kRunning || !explorer) return;
    // One manager per explorer window: a manager the window had before is closed down first.
    for (CDisplayManager::Ptr& manager : m_explorerManagers) {
      if (manager && manager->servesExplorer(explorer)) {
        CDisplayManager::Ptr previous = std::move(manager);
        previous->CloseDown();
      }
    }
    _ExplorerPtr window;
    check(explorer->QueryInterface(IID__Explorer, reinterpret_cast<void**>(window.Receive())));
    m_explorerManagers.push_back(makeManager(window));
  });
  return S_OK;
}

HRESULT CConnectImpl::NewInspector(IDispatch* inspector) {
  const CComPtr<CConnectImpl> hold(this);
  LOG_DEBUG(u"CConnectImpl::NewInspector");
  if (m_state != kRunning || !inspector) return S_OK;
  CDisplayManager* found = nullptr;
  NUtils::guardedAs(u"Exception caught trying to find NewInspector handler",
                    [&] { found = getDisplayManagerFromInspector(inspector); });
  if (found) return S_OK;
  NUtils::guardedAs(u"Exception caught setting up inspector's command handler", [&] {
    LOG_DEBUG(u"NewInspector event not handled by existing command handler -- creating new");
    _InspectorPtr window;
    check(inspector->QueryInterface(IID__Inspector, reinterpret_cast<void**>(window.Receive())));
    m_inspectorManagers.push_back(makeManager(window));
  });
  return S_OK;
}

CDisplayManager* CConnectImpl::getDisplayManagerFromInspector(IDispatch* window) {
  CDisplayManager* found = nullptr;
  NUtils::guardedAs(u"Exception caught in getDisplayManagerFromInspector", [&] {
    if (!window) return;
    _InspectorPtr inspector;
    if (SUCCEEDED(window->QueryInterface(IID__Inspector, reinterpret_cast<void**>(inspector.Receive()))) && inspector) {
      for (const CDisplayManager::Ptr& manager : m_inspectorManagers) {
        if (manager && !manager->isClosed() && manager->OnNewInspector(inspector)) {
          LOG_DEBUG(u"Found Display Manager");
          found = manager;
          return;
        }
      }
      return;
    }
    _ExplorerPtr explorer;
    if (SUCCEEDED(window->QueryInterface(IID__Explorer, reinterpret_cast<void**>(explorer.Receive()))) && explorer) {
      for (const CDisplayManager::Ptr& manager : m_explorerManagers)
        if (manager && !manager->isClosed() && manager->servesExplorer(explorer)) found = manager;
    }
  });
  return found;
}

HRESULT CConnectImpl::OptionsPagesAdd(IUnknown* pages) {
  NUtils::guardedAs(u"Exception caught setting up property page", [&] {
    if (!CSettings::instance().canModifySettings() || !pages) return;
    CComPtr<IDispatch> collection;
    check(pages->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(collection.Receive())));
    quilstring title;
    title.LoadString(NGlobals::moduleInstance(), IDS_PROJNAME);
    call(collection, u"Add", {CComVariant(u"quillMarkLib.quillMarkPP"), CComVariant(title.c_str())});
  });
  return S_OK;
}

STDMETHODIMP CConnectImpl::onTimerCallback() {
  const CComPtr<CConnectImpl> hold(this);
  if (m_state == kRunning) {
    NUtils::guardedAs(u"Exception caught in CConnectImpl::onTimerCallback cleaning up command handler refs", [&] {
      const auto prune = [](std::vector<CDisplayManager::Ptr>& list) {
        std::size_t blank = 0;
        for (CDisplayManager::Ptr& manager : list) {
          if (manager && manager->isClosed()) {
            LOG_DEBUG(u"Found closed down CCODisplayManager -- releasing");
            manager.Release();
          }
          if (!manager) ++blank;
        }
        if (!list.empty() && blank == list.size()) {
          LOG_DEBUG(u"CCODisplayManager list items blank -- clearing");
          list.clear();
        }
      };
      prune(m_inspectorManagers);
      prune(m_explorerManagers);
    });
  }
  return m_state == kClosed ? S_FALSE : S_OK;
}

void CConnectImpl::CloseDown() {
  const CComPtr<CConnectImpl> hold(this);
  LOG_DEBUG(u"CConnectImpl::CloseDown");
  if (m_state == kClosed) return;
  m_state = kClosed;
  NUtils::guarded(u"CConnectImpl::CloseDown", [&] {
    for (CEventSink* sink : {m_explorersSink.p, m_inspectorsSink.p, m_applicationSink.p})
      if (sink) sink->close();
  });
  // Each manager is closed on its own, so one failing leaves the others to go.
  for (auto* list : {&m_inspectorManagers, &m_explorerManagers}) {
    std::vector<CDisplayManager::Ptr> managers;
    managers.swap(*list);
    for (CDisplayManager::Ptr& manager : managers)
      if (manager) NUtils::guarded(u"CConnectImpl::CloseDown", [&] { manager->CloseDown(); });
  }
  m_explorers.Release();
  m_inspectors.Release();
  m_application.Release();
}
