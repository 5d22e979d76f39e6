#include "foundation/Timer.h"

#include <utility>

#include "foundation/Guard.h"
#include "foundation/Log.h"
#include "platform/ui/WinUser.h"

namespace {

constexpr const char16_t* kPulseClass = u"QuillMarkPulse";

// The pulse window's procedure: creation starts the timer, WM_TIMER is the tick.
LRESULT pulseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* timer = reinterpret_cast<CTimerImpl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (timer && message == WM_CREATE) {
    NUtils::guarded(u"CTimerImpl::OnCreate", [&] { timer->OnCreate(window); });
    return 0;
  }
  if (timer && message == WM_TIMER && wParam == CTimerImpl::kTimerId) {
    NUtils::guarded(u"CTimerImpl::OnTimer", [&] { timer->OnTimer(); });
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The class goes with the module: a module loaded again registers its own procedure.
struct PulseClassRegistration {
  ~PulseClassRegistration() { UnregisterClassW(kPulseClass, nullptr); }
};

bool registerPulseClass() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = pulseWindowProc;
    windowClass.lpszClassName = kPulseClass;
    if (RegisterClassExW(&windowClass)) {
      static const PulseClassRegistration unregisterAtUnload;
      return true;
    }
    LOG_ERROR(u"Cannot register the pulse window class (error %lu)", static_cast<unsigned long>(GetLastError()));
    return false;
  }();
  return registered;
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
  if (!IsWindow(m_window)) {
    LOG_DEBUG(u"Starting pulse");
    m_window = nullptr;
    // Message-only: hidden, never a top-level window a face would draw.
    if (registerPulseClass()) {
      m_window = CreateWindowExW(0, kPulseClass, u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 HWND_MESSAGE, nullptr, nullptr, this);
    }
    if (!m_window) LOG_ERROR(u"Cannot create the pulse window (error %lu)", static_cast<unsigned long>(GetLastError()));
  }
  callback->AddRef();
  m_callbacks.push_back(callback);  // a list: appending inside a tick never moves the others
}

void CTimerImpl::OnCreate(HWND window) {
  LOG_DEBUG(u"CTimerImpl::OnCreate");
  if (!SetTimer(window, kTimerId, kPeriodMs, nullptr))
    LOG_ERROR(u"Cannot start the pulse's timer (error %lu)", static_cast<unsigned long>(GetLastError()));
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

bool CTimerImpl::isRunning() const { return IsWindow(m_window) != FALSE; }

void CTimerImpl::deactivate() {
  LOG_DEBUG(u"CTimerImpl::deactivate");
  ++m_generation;
  if (HWND window = std::exchange(m_window, nullptr); IsWindow(window)) {
    KillTimer(window, kTimerId);
    DestroyWindow(window);
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
