#pragma once
// CquilMarkPP: the options page as a control (ProgID "quillMarkLib.quillMarkPP"). A host creates
// it by its ProgID, gives it a client site and activates it in place in a window of its own
// (Outlook's Options dialog, the options window); the host applies it through Outlook's
// PropertyPage. When the site's container offers Outlook's PropertyPageSite, the page tells it of
// every accepted change. Every call from the host is guarded.

#include "config/OptionsPage.h"
#include "integration/Guids.h"
#include "platform/com/Com.h"
#include "platform/com/Ole.h"
#include "platform/outlook/OutlookInterfaces.h"

class CquilMarkPP : public CComObjectRootEx<CComSingleThreadModel>,
                    public CComCoClass<CquilMarkPP, &CLSID_quillMarkPP>,
                    public platform::com::IDispatchTableImpl<PropertyPage>,
                    public IOleObject,
                    public IOleInPlaceObject {
 public:
  CquilMarkPP();

  BEGIN_COM_MAP(CquilMarkPP)
    COM_INTERFACE_ENTRY2(IDispatch, PropertyPage)
    COM_INTERFACE_ENTRY_IID(IID_IquillMarkPP, PropertyPage)
    COM_INTERFACE_ENTRY(PropertyPage)
    COM_INTERFACE_ENTRY(IOleObject)
    COM_INTERFACE_ENTRY(IOleInPlaceObject)
  END_COM_MAP()

  void FinalRelease();

  // PropertyPage.
  STDMETHOD(GetPageInfo)(BSTR* HelpFile, LONG* HelpContext) override;
  STDMETHOD(get_Dirty)(VARIANT_BOOL* Dirty) override;
  STDMETHOD(Apply)() override;

  // IOleObject.
  STDMETHOD(SetClientSite)(IOleClientSite* pClientSite) override;
  STDMETHOD(GetClientSite)(IOleClientSite** ppClientSite) override;
  STDMETHOD(Close)(DWORD dwSaveOption) override;
  STDMETHOD(DoVerb)(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex, HWND hwndParent,
                    LPCRECT lprcPosRect) override;

  // IOleInPlaceObject.
  STDMETHOD(GetWindow)(HWND* phwnd) override;
  STDMETHOD(InPlaceDeactivate)() override;
  STDMETHOD(SetObjectRects)(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;

  // The page's window while it is active (tests).
  HWND pageWindow() const { return m_page.window(); }

 private:
  // Tells the site's PropertyPageSite, when it offers one, that the page changed.
  void notifySite();

  COptionsPage m_page;
  CComPtr<IOleClientSite> m_site;
};
