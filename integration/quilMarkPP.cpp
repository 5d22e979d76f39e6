#include "integration/quilMarkPP.h"

#include "foundation/Guard.h"
#include "foundation/Log.h"

CquilMarkPP::CquilMarkPP() {
  m_page.setStatusChange([this] { notifySite(); });
}

void CquilMarkPP::FinalRelease() {
  m_page.Destroy();
  m_site.Release();
}

STDMETHODIMP CquilMarkPP::GetPageInfo(BSTR*, LONG*) { return E_NOTIMPL; }

STDMETHODIMP CquilMarkPP::get_Dirty(VARIANT_BOOL* Dirty) {
  if (!Dirty) return E_POINTER;
  *Dirty = m_page.isDirty() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CquilMarkPP::Apply() {
  return NUtils::guarded(u"CquilMarkPP::Apply", HRESULT{E_FAIL}, [&] {
    m_page.Apply();
    return S_OK;
  });
}

STDMETHODIMP CquilMarkPP::SetClientSite(IOleClientSite* pClientSite) {
  m_site = pClientSite;
  return S_OK;
}

STDMETHODIMP CquilMarkPP::GetClientSite(IOleClientSite** ppClientSite) {
  if (!ppClientSite) return E_POINTER;
  *ppClientSite = m_site;
  if (*ppClientSite) (*ppClientSite)->AddRef();
  return S_OK;
}

STDMETHODIMP CquilMarkPP::Close(DWORD) {
  return NUtils::guarded(u"CquilMarkPP::Close", HRESULT{E_FAIL}, [&] {
    m_page.Destroy();
    return S_OK;
  });
}

STDMETHODIMP CquilMarkPP::DoVerb(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG, HWND hwndParent,
                                 LPCRECT lprcPosRect) {
  return NUtils::guarded(u"CquilMarkPP::DoVerb", HRESULT{E_FAIL}, [&]() -> HRESULT {
    if (iVerb == OLEIVERB_HIDE) {
      if (m_page.window()) ShowWindow(m_page.window(), SW_HIDE);
      return S_OK;
    }
    if (iVerb != OLEIVERB_INPLACEACTIVATE && iVerb != OLEIVERB_SHOW && iVerb != OLEIVERB_PRIMARY) return E_NOTIMPL;
    if (!m_site && pActiveSite) m_site = pActiveSite;
    if (!m_page.window()) {
      if (!hwndParent) return E_INVALIDARG;
      if (!m_page.Create(hwndParent)) return E_FAIL;
    }
    ShowWindow(m_page.window(), SW_SHOW);
    if (lprcPosRect) SetObjectRects(lprcPosRect, lprcPosRect);
    return S_OK;
  });
}

STDMETHODIMP CquilMarkPP::GetWindow(HWND* phwnd) {
  if (!phwnd) return E_POINTER;
  *phwnd = m_page.window();
  return *phwnd ? S_OK : E_FAIL;
}

STDMETHODIMP CquilMarkPP::InPlaceDeactivate() { return Close(OLECLOSE_NOSAVE); }

STDMETHODIMP CquilMarkPP::SetObjectRects(LPCRECT lprcPosRect, LPCRECT) {
  if (!lprcPosRect) return E_POINTER;
  if (const HWND page = m_page.window()) {
    MoveWindow(page, lprcPosRect->left, lprcPosRect->top, lprcPosRect->right - lprcPosRect->left,
               lprcPosRect->bottom - lprcPosRect->top, TRUE);
  }
  return S_OK;
}

void CquilMarkPP::notifySite() {
  // A site without Outlook's PropertyPageSite (the options window) is not told; the page goes on.
  if (!m_site) return;
  CComPtr<IOleContainer> container;
  if (FAILED(m_site->GetContainer(container.Receive())) || !container) return;
  CComPtr<PropertyPageSite> site;
  if (FAILED(container->QueryInterface(IID_PropertyPageSite, reinterpret_cast<void**>(site.Receive()))) || !site) return;
  const HRESULT hr = site->OnStatusChange();
  if (FAILED(hr)) LOG_DEBUG(u"PropertyPageSite::OnStatusChange failed (%#lX)", static_cast<ULONG>(hr));
}
