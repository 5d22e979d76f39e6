// MAPI sessions on the machine's one profile.
#include "platform/mapi/Session.h"

#include "platform/mapi/MAPIDefs.h"
#include "platform/mapi/detail/Forms.h"
#include "platform/mapi/detail/Guids.h"
#include "platform/mapi/detail/Streams.h"

const IID IID_IMAPISession = platform::mapi::detail::oleGuid(0x00020300);

namespace platform::mapi::detail {
namespace {

std::atomic<bool> g_logonFails{false};
std::atomic<ULONG> g_releasedWithoutLogoff{0};

class CSession final : public CUnknownImpl<IMAPISession> {
 public:
  CSession() { ++liveCounters().sessions; }
  ~CSession() override {
    --liveCounters().sessions;
    if (!m_loggedOff) ++g_releasedWithoutLogoff;
  }

  bool loggedOff() const { return m_loggedOff; }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != kIID_IUnknown && riid != IID_IMAPISession) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IMAPISession*>(this);
    return S_OK;
  }
  HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override {
    if (error) *error = nullptr;
    return m_loggedOff ? MAPI_E_END_OF_SESSION : S_OK;
  }
  HRESULT Logoff(ULONG, ULONG, ULONG) override {
    if (m_loggedOff.exchange(true)) return MAPI_E_END_OF_SESSION;
    return S_OK;
  }

 private:
  std::atomic<bool> m_loggedOff{false};
};

}  // namespace

LiveCounters& liveCounters() {
  static LiveCounters counters;
  return counters;
}

bool isLoggedOff(IMAPISession* session) {
  const auto* own = dynamic_cast<const CSession*>(session);
  return own && own->loggedOff();
}

}  // namespace platform::mapi::detail

HRESULT MAPILogonEx(ULONG, const char*, const char*, ULONG, LPMAPISESSION* lppSession) {
  if (!lppSession) return MAPI_E_INVALID_PARAMETER;
  *lppSession = nullptr;
  if (platform::mapi::detail::g_logonFails) return MAPI_E_LOGON_FAILED;
  *lppSession = new platform::mapi::detail::CSession();
  return S_OK;
}

namespace platform::mapi {

void setLogonFailsForTesting(bool fails) { detail::g_logonFails = fails; }

ULONG sessionsReleasedWithoutLogoffForTesting() { return detail::g_releasedWithoutLogoff; }

LiveMAPIObjects liveMAPIObjectsForTesting() {
  const detail::LiveCounters& counters = detail::liveCounters();
  return LiveMAPIObjects{counters.sessions, counters.formMgrs, counters.formInfos, detail::liveIconCount()};
}

}  // namespace platform::mapi
