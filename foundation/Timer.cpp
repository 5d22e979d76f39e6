#include "foundation/Timer.h"

#include <atomic>

#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "platform/loop/MessageLoop.h"

namespace {

// Each pulse window gets a handle of its own, so a restarted pulse never meets the old timer.
HWND newWindowHandle() {
  static std::atomic<std::uintptr_t> next{0x7100};
  return reinterpret_cast<HWND>(next.fetch_add(0x10));
}

}  // namespace

boost::shared_ptr<CTimerImpl>& CTimerImpl::instance() {
  static boost::shared_ptr<CTimerImpl> timer(new CTimerImpl());
  return timer;
}

CTimerImpl::~CTimerImpl() { deactivate(); }

void registerTimerCallback(ITimerCallback* callback) { CTimerImpl::instance()->registerCallback(callback); }

void CTimerImpl::registerCallback(ITimerCallback* callback) {
  LOG_DEBUG(u"CTimerImpl::registerCallback");
  if (!callback) return;
  if (!m_window) {
    LOG_DEBUG(u"Starting pulse");
    m_window = newWindowHandle();
    OnCreate();
  }
  callback->AddRef();
  m_callbacks.push_back(callback);  // a list: appending inside a tick never moves the others
}

void CTimerImpl::OnCreate() {
  LOG_DEBUG(u"CTimerImpl::OnCreate");
  platform::loop::SetTimer(m_window, kTimerId, kPeriodMs,
                          [this](std::uintptr_t) { NUtils::guarded(u"CTimerImpl::OnTimer", [this] { OnTimer(); }); });
}

std::size_t CTimerImpl::liveCount() const {
  std::size_t n = 0;
  for (ITimerCallback* c : m_callbacks) n += c != nullptr;
  return n;
}

void CTimerImpl::OnTimer() {
  // A responder that pumps messages (a modal dialog, a print) brings nested ticks: they do nothing.
  if (m_inTick) return;
  struct TickGuard {
    bool& flag;
    explicit TickGuard(bool& f) : flag(f) { flag = true; }
    ~TickGuard() { flag = false; }
  } guard(m_inTick);

  const unsigned generation = m_generation;
  bool live = false;
  for (auto it = m_callbacks.begin(); it != m_callbacks.end(); ++it) {
    ITimerCallback* callback = *it;
    if (!callback) continue;
    // A responder that raises stays registered, as one that answered S_OK.
    const HRESULT hr = NUtils::guarded(u"CTimerImpl::OnTimer", S_OK, [&] { return callback->onTimerCallback(); });
    // A responder that stopped the pulse has had everything released already.
    if (generation != m_generation) return;
    if (hr == S_FALSE) {
      LOG_DEBUG(u"CTimerImpl::OnTimer -- onTimerCallback returned S_FALSE -- releasing");
      *it = nullptr;
      callback->Release();
    } else {
      live = true;
    }
  }
  m_callbacks.remove(nullptr);
  if (!live) {
    LOG_DEBUG(u"CTimerImpl::OnTimer -- no responders left -- deactivating");
    deactivate();
  }
}

void CTimerImpl::deactivate() {
  LOG_DEBUG(u"CTimerImpl::deactivate");
  ++m_generation;
  if (m_window) {
    platform::loop::KillTimer(m_window, kTimerId);
    m_window = nullptr;
  }
  // Released one by one: a responder's Release may register or reach back into the timer.
  while (!m_callbacks.empty()) {
    ITimerCallback* callback = m_callbacks.front();
    m_callbacks.pop_front();
    if (callback) {
      LOG_DEBUG(u"Found outstanding UpdateResponder -- releasing");
      callback->Release();
    }
  }
}
