#pragma once
// MAPI's form library: IMAPIFormMgr resolves a message class to the form registered for it (or
// for its nearest base class) and answers that form's description (FormInfo.h). The library
// holds Outlook's standard forms; further forms are registered through registerForm, as
// publishing a custom form does. Kept free of MAPI's value types, like Session.h.

#include <string_view>

#include "platform/Export.h"
#include "platform/mapi/Session.h"

struct IMAPIFormMgr;
struct IMAPIFormInfo;
struct IMAPIFolder;
using LPMAPIFORMMGR = IMAPIFormMgr*;
using LPMAPIFORMINFO = IMAPIFormInfo*;
using LPMAPIFOLDER = IMAPIFolder*;

QM_PLATFORM_API extern const IID IID_IMAPIFormMgr;

// ResolveMessageClass: only a form of exactly this class will do.
constexpr ULONG MAPIFORM_EXACTMATCH = 0x00000020;

struct IMAPIFormMgr : IUnknown {
  virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  // The form of szMsgClass (in the thread's ANSI code page; classes compare ignoring case). A
  // class without a form of its own takes that of its nearest base class ("IPM.Note.Foo" ->
  // "IPM.Note") unless MAPIFORM_EXACTMATCH; MAPI_E_NOT_FOUND when no class on the way has one.
  // There are no folder forms here: pFolderFocus changes nothing.
  virtual HRESULT ResolveMessageClass(const char* szMsgClass, ULONG ulFlags, LPMAPIFOLDER pFolderFocus,
                                      LPMAPIFORMINFO* ppResult) = 0;

 protected:
  ~IMAPIFormMgr() = default;
};
QM_DECLARE_INTERFACE_IID(IMAPIFormMgr, IID_IMAPIFormMgr);

// The form library of the session's profile. It stays usable after the session is logged off
// and released. MAPI_E_END_OF_SESSION on a session that was logged off.
QM_PLATFORM_API HRESULT MAPIOpenFormMgr(LPMAPISESSION pSession, LPMAPIFORMMGR* ppmgr);

namespace platform::mapi {

// Publishes a form for a message class, or renames the one there (ignoring case). Its icons are
// those of its nearest registered base class (a generic form's when it has none).
// MAPI_E_INVALID_PARAMETER for a class that is empty, longer than 255 characters, holds control
// characters or an empty part ("IPM..Note", ".IPM", "IPM."), and for an empty display name.
QM_PLATFORM_API HRESULT registerForm(std::u16string_view messageClass, std::u16string_view displayName);
// Removes a registered form; MAPI_E_NOT_FOUND when the class has none.
QM_PLATFORM_API HRESULT unregisterForm(std::u16string_view messageClass);
// The library holds the standard forms only again.
QM_PLATFORM_API void resetFormsForTesting();
// Test seam: MAPIOpenFormMgr answers this failure (S_OK restores normal opening).
QM_PLATFORM_API void setOpenFormMgrFailureForTesting(HRESULT failure);

}  // namespace platform::mapi
