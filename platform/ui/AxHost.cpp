#include "platform/ui/AxHost.h"

#include <string>

#include "platform/com/Activation.h"
#include "platform/com/ComObject.h"
#include "platform/com/Ole.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Text.h"

namespace {

using platform::diag::error;

// The site of the one control of a container window, and that window's container.
class CAxSite : public CComObjectRootEx<CComSingleThreadModel>, public IOleClientSite, public IOleContainer {
 public:
  BEGIN_COM_MAP(CAxSite)
    COM_INTERFACE_ENTRY(IOleClientSite)
    COM_INTERFACE_ENTRY(IOleContainer)
  END_COM_MAP()

  void setServices(IUnknown* services) { m_services = services; }

  // Interfaces of the host come through the services object; the site's own first.
  HRESULT queryWithServices(REFIID iid, void** ppv) {
    const HRESULT hr = _InternalQueryInterface(iid, ppv);
    if (hr != E_NOINTERFACE || !m_services) return hr;
    return m_services->QueryInterface(iid, ppv);
  }

  STDMETHOD(SaveObject)() override { return E_NOTIMPL; }
  STDMETHOD(GetContainer)(IOleContainer** ppContainer) override {
    if (!ppContainer) return E_POINTER;
    *ppContainer = static_cast<IOleContainer*>(this);
    (*ppContainer)->AddRef();
    return S_OK;
  }
  STDMETHOD(ShowObject)() override { return S_OK; }
  STDMETHOD(OnShowWindow)(BOOL) override { return S_OK; }
  STDMETHOD(LockContainer)(BOOL) override { return S_OK; }

 private:
  CComPtr<IUnknown> m_services;
};

// The site's QueryInterface passes what it lacks to the services, so a control that asks the
// container for the host's interfaces finds them.
class CAxSiteObject final : public CAxSite {
 public:
  STDMETHOD_(ULONG, AddRef)() override { return InternalAddRef(); }
  STDMETHOD_(ULONG, Release)() override {
    const ULONG count = InternalRelease();
    if (count == 0) delete this;
    return count;
  }
  STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override { return queryWithServices(iid, ppv); }
};

struct Container {
  CComPtr<CAxSiteObject> site;
  CComPtr<IUnknown> control;
  CComPtr<IOleObject> oleObject;
};

Container* containerOf(HWND window) { return reinterpret_cast<Container*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

std::string narrow(const std::u16string& text) { return platform::system::utf16ToUtf8(text); }

void createControl(HWND window, Container& c, const std::u16string& name) {
  CLSID clsid{};
  const HRESULT found = !name.empty() && name.front() == u'{' ? CLSIDFromString(name.c_str(), &clsid)
                                                               : CLSIDFromProgID(name.c_str(), &clsid);
  if (FAILED(found)) {
    error("AtlAxWin90", "no control is registered as \"" + narrow(name) + "\"");
    return;
  }
  CComPtr<IUnknown> control;
  const HRESULT made = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                        reinterpret_cast<void**>(control.Receive()));
  if (FAILED(made)) {
    error("AtlAxWin90", "the control \"" + narrow(name) + "\" could not be created");
    return;
  }
  c.control = control;
  if (FAILED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(c.oleObject.Receive())))) {
    error("AtlAxWin90", "the control \"" + narrow(name) + "\" is no OLE object; it has no window");
    return;
  }
  c.oleObject->SetClientSite(c.site);
  RECT area{};
  GetClientRect(window, &area);
  if (FAILED(c.oleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, c.site, 0, window, &area)))
    error("AtlAxWin90", "the control \"" + narrow(name) + "\" could not be activated in its window");
}

void release(Container& c) {
  if (c.oleObject) {
    c.oleObject->Close(OLECLOSE_NOSAVE);
    c.oleObject->SetClientSite(nullptr);
  }
  c.oleObject.Release();
  c.control.Release();
  if (c.site) c.site->setServices(nullptr);
  c.site.Release();
}

LRESULT containerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return platform::diag::guarded("AtlAxWin90", LRESULT{0}, [&]() -> LRESULT {
    switch (message) {
      case WM_CREATE: {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* c = new Container;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(c));
        c->site = CComPtr<CAxSiteObject>(new CAxSiteObject);
        c->site->setServices(static_cast<IUnknown*>(create->lpCreateParams));
        createControl(window, *c, create->lpszName ? create->lpszName : u"");
        return 0;
      }
      case WM_SIZE:
        if (Container* c = containerOf(window); c && c->control) {
          CComPtr<IOleInPlaceObject> inPlace;
          if (SUCCEEDED(c->control->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(inPlace.Receive())))) {
            RECT area{};
            GetClientRect(window, &area);
            inPlace->SetObjectRects(&area, &area);
          }
        }
        return 0;
      case WM_DESTROY:
        if (Container* c = containerOf(window)) {
          SetWindowLongPtrW(window, GWLP_USERDATA, 0);
          release(*c);
          delete c;
        }
        return 0;
      default: return DefWindowProcW(window, message, wParam, lParam);
    }
  });
}

}  // namespace

BOOL AtlAxWinInit() {
  static const BOOL registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = containerProc;
    windowClass.lpszClassName = platform::ui::kAxWindowClass;
    if (RegisterClassExW(&windowClass)) return TRUE;
    error("AtlAxWinInit", "the container class could not be registered");
    return FALSE;
  }();
  return registered;
}

HRESULT AtlAxGetControl(HWND container, IUnknown** control) {
  if (!control) return E_POINTER;
  *control = nullptr;
  const Container* c = IsWindow(container) ? containerOf(container) : nullptr;
  if (!c || !c->control) {
    error("AtlAxGetControl", "the window holds no control");
    return E_FAIL;
  }
  *control = c->control;
  (*control)->AddRef();
  return S_OK;
}
