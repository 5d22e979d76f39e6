#pragma once
// OLE's control containment as the hosts here use it: the container a control's site belongs
// to, the client site, and the control's IOleObject (its site, in-place activation into a parent
// window, closing). Only the members the hosts call are declared.

#include "platform/WinTypes.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Guid.h"
#include "platform/com/Unknown.h"

struct RECT;
struct MSG;
using LPCRECT = const RECT*;
using LPMSG = MSG*;

// The document a control sits in; other interfaces of the host (Outlook's PropertyPageSite) are
// found on it with QueryInterface.
struct IOleContainer : IUnknown {
  STDMETHOD(LockContainer)(BOOL fLock) = 0;

 protected:
  ~IOleContainer() = default;
};
inline constexpr IID IID_IOleContainer = platform::com::guid("0000011B-0000-0000-C000-000000000046");
QM_DECLARE_INTERFACE_IID(IOleContainer, IID_IOleContainer);

// The container's side of one control.
struct IOleClientSite : IUnknown {
  STDMETHOD(SaveObject)() = 0;
  STDMETHOD(GetContainer)(IOleContainer** ppContainer) = 0;
  STDMETHOD(ShowObject)() = 0;
  STDMETHOD(OnShowWindow)(BOOL fShow) = 0;

 protected:
  ~IOleClientSite() = default;
};
inline constexpr IID IID_IOleClientSite = platform::com::guid("00000118-0000-0000-C000-000000000046");
QM_DECLARE_INTERFACE_IID(IOleClientSite, IID_IOleClientSite);

// OLEIVERB values DoVerb takes; OLECLOSE values Close takes.
constexpr LONG OLEIVERB_PRIMARY = 0;
constexpr LONG OLEIVERB_SHOW = -1;
constexpr LONG OLEIVERB_HIDE = -3;
constexpr LONG OLEIVERB_INPLACEACTIVATE = -5;
constexpr DWORD OLECLOSE_SAVEIFDIRTY = 0;
constexpr DWORD OLECLOSE_NOSAVE = 1;

// The control's side. DoVerb with OLEIVERB_INPLACEACTIVATE or OLEIVERB_SHOW makes the control's
// window a child of hwndParent filling lprcPosRect (client coordinates of hwndParent); Close
// destroys that window; SetClientSite(nullptr) lets the site go.
struct IOleObject : IUnknown {
  STDMETHOD(SetClientSite)(IOleClientSite* pClientSite) = 0;
  STDMETHOD(GetClientSite)(IOleClientSite** ppClientSite) = 0;
  STDMETHOD(Close)(DWORD dwSaveOption) = 0;
  STDMETHOD(DoVerb)(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex, HWND hwndParent,
                    LPCRECT lprcPosRect) = 0;

 protected:
  ~IOleObject() = default;
};
inline constexpr IID IID_IOleObject = platform::com::guid("00000112-0000-0000-C000-000000000046");
QM_DECLARE_INTERFACE_IID(IOleObject, IID_IOleObject);

// The in-place control's window and its place in the container.
struct IOleInPlaceObject : IUnknown {
  STDMETHOD(GetWindow)(HWND* phwnd) = 0;
  STDMETHOD(InPlaceDeactivate)() = 0;
  STDMETHOD(SetObjectRects)(LPCRECT lprcPosRect, LPCRECT lprcClipRect) = 0;

 protected:
  ~IOleInPlaceObject() = default;
};
inline constexpr IID IID_IOleInPlaceObject = platform::com::guid("00000113-0000-0000-C000-000000000046");
QM_DECLARE_INTERFACE_IID(IOleInPlaceObject, IID_IOleInPlaceObject);
