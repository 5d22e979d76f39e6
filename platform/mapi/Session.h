#pragma once
// A MAPI session: MAPILogonEx and IMAPISession, as far as a client opens its form library
// through it. This machine has one profile, the one Outlook runs on, so every logon shares it.
// Kept free of MAPI's value types, so that code also using VARIANTs can include it.

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/Guid.h"
#include "platform/com/HResult.h"
#include "platform/com/Unknown.h"

struct IMAPISession;
using LPMAPISESSION = IMAPISession*;
struct MAPIERROR;
using LPMAPIERROR = MAPIERROR*;

QM_PLATFORM_API extern const IID IID_IMAPISession;

// MAPILogonEx flags.
constexpr ULONG MAPI_LOGON_UI = 0x00000001;
constexpr ULONG MAPI_NEW_SESSION = 0x00000002;
constexpr ULONG MAPI_ALLOW_OTHERS = 0x00000008;
constexpr ULONG MAPI_EXPLICIT_PROFILE = 0x00000010;
constexpr ULONG MAPI_EXTENDED = 0x00000020;
constexpr ULONG MAPI_USE_DEFAULT = 0x00000040;
constexpr ULONG MAPI_NO_MAIL = 0x00008000;

constexpr HRESULT MAPI_E_LOGON_FAILED = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT MAPI_E_END_OF_SESSION = static_cast<HRESULT>(0x80040200u);

struct IMAPISession : IUnknown {
  virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
  // Ends the session: later calls on it, and MAPIOpenFormMgr on it, answer MAPI_E_END_OF_SESSION.
  // What was opened through the session stays usable.
  virtual HRESULT Logoff(ULONG ulUIParam, ULONG ulFlags, ULONG ulReserved) = 0;

 protected:
  ~IMAPISession() = default;
};
QM_DECLARE_INTERFACE_IID(IMAPISession, IID_IMAPISession);

// A new session on the machine's profile (profile and password are ignored: there is only the
// one; with MAPI_UNICODE they would be wide strings). MAPI_E_LOGON_FAILED, with a null session,
// when no session can be had.
QM_PLATFORM_API HRESULT MAPILogonEx(ULONG ulUIParam, const char* lpszProfileName, const char* lpszPassword,
                                    ULONG flFlags, LPMAPISESSION* lppSession);

namespace platform::mapi {

// Test seam: while set, MAPILogonEx fails with MAPI_E_LOGON_FAILED, as it does on a machine
// without a mail profile.
QM_PLATFORM_API void setLogonFailsForTesting(bool fails);

// Objects of this layer's session and form calls still alive (a test's leak check).
struct LiveMAPIObjects {
  ULONG sessions = 0;
  ULONG formMgrs = 0;
  ULONG formInfos = 0;
  ULONG icons = 0;
};
QM_PLATFORM_API LiveMAPIObjects liveMAPIObjectsForTesting();
// How many sessions of this process went away without being logged off (a leak on Windows).
QM_PLATFORM_API ULONG sessionsReleasedWithoutLogoffForTesting();

}  // namespace platform::mapi
