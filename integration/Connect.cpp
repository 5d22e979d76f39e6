#include "integration/Connect.h"

#include "foundation/AddinGlobals.h"
#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "foundation/Utils.h"
#include "integration/ConnectImpl.h"
#include "integration/QuillmarkerImpl.h"
#include "integration/detail/Automation.h"
#include "platform/office/Ribbon.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/system/Locale.h"

CConnect::CConnect() {
  describeCallbacks();
  IDispatchTableImpl<IRibbonExtensibility>::dispatchTable().method(
      platform::office::kDispidGetCustomUI, u"GetCustomUI", [this](const platform::com::CDispArgs& args, VARIANT* result) {
        std::u16string ribbonId;
        if (const HRESULT hr = args.getText(0, ribbonId); FAILED(hr)) return hr;
        CComBSTR id(ribbonId.c_str());
        BSTR xml = nullptr;
        const HRESULT hr = GetCustomUI(id, &xml);
        if (FAILED(hr)) return hr;
        result->vt = VT_BSTR;
        result->bstrVal = xml;
        return S_OK;
      }, 1, 1);
}

CConnect::~CConnect() {
  if (m_worker) {
    m_worker->CloseDown();
    m_worker->Release();
  }
}

STDMETHODIMP CConnect::OnConnection(IDispatch* Application, ext_ConnectMode ConnectMode, IDispatch*,
                                    SAFEARRAY** custom) {
  // Nothing is read from a host that gave no application.
  if (!Application) return E_POINTER;
  return NUtils::guarded(u"CConnect::OnConnection", E_FAIL, [&]() -> HRESULT {
    CComPtr<IDispatch> application;
    if (FAILED(Application->QueryInterface(IID__Application, reinterpret_cast<void**>(application.Receive()))) ||
        !application) {
      LOG_ERROR(u"CConnect::OnConnection -- the host's application is not Outlook's");
      return E_NOINTERFACE;
    }
    const std::u16string version = integration::detail::getText(application, u"Version");
    NGlobals::setOfficeMajorVersion(NUtils::toLong(version.substr(0, 2)));
    NGlobals::setThreadLocale(GetThreadLocale());
    CSettings::instance();

    if (m_worker) {  // connected twice: the first worker goes
      m_worker->CloseDown();
      m_worker->Release();
      m_worker = nullptr;
    }
    CComObject<CConnectImpl>* worker = nullptr;
    if (FAILED(CComObject<CConnectImpl>::CreateInstance(&worker)) || !worker) return E_OUTOFMEMORY;
    worker->AddRef();
    m_worker = worker;
    LOG_DEBUG(u"CConnect::OnConnection");

    m_worker->Initialise(application);
    if (ConnectMode != ext_cm_Startup) OnStartupComplete(custom);
    return S_OK;
  });
}

STDMETHODIMP CConnect::OnStartupComplete(SAFEARRAY**) {
  const CComPtr<_IDTExtensibility2> hold(this);
  NUtils::guardedAs(u"Exception caught supplying explorer for command handling", [&] {
    if (!m_worker || m_worker->state() != CConnectImpl::kRunning) return;
    const CComPtr<IDispatch> explorer =
        integration::detail::getObjectOrNull(m_worker->application(), u"ActiveExplorer");
    if (explorer) m_worker->NewExplorer(explorer);
  });
  return S_OK;
}

STDMETHODIMP CConnect::OnDisconnection(ext_DisconnectMode RemoveMode, SAFEARRAY** custom) {
  const CComPtr<_IDTExtensibility2> hold(this);
  NUtils::guarded(u"CConnect::OnDisconnection", [&] {
    if (RemoveMode != ext_dm_HostShutdown) OnBeginShutdown(custom);
    if (m_worker) {
      m_worker->CloseDown();
      m_worker->Release();
      m_worker = nullptr;
    }
    // Nothing of Outlook's is held once it has let the add-in go.
    CQuillmarkerImpl::releaseQueue();
    CSettings& settings = CSettings::instance();
    settings.clearFormMgr();
    settings.outlookApplication().Release();
    settings.releaseRibbonUIs();
  });
  return S_OK;
}

STDMETHODIMP CConnect::OnAddInsUpdate(SAFEARRAY**) { return S_OK; }

STDMETHODIMP CConnect::OnBeginShutdown(SAFEARRAY**) { return S_OK; }
