#pragma once
// The shared 100 ms pulse: CTimerImpl is a hidden window whose 100 ms window timer calls every
// registered ITimerCallback on each tick. A responder answering S_FALSE is released; with none
// left the window goes, and a new registration makes a new one. Runs on the UI thread's loop.

#include <list>

#include <boost/shared_ptr.hpp>

#include "platform/com/Guid.h"
#include "platform/com/Unknown.h"

inline constexpr IID IID_ITimerCallback = platform::com::guid("6C1F3B52-0D6E-4B77-9C2A-51E4A9D0B7A1");

struct ITimerCallback : public IUnknown {
  // S_FALSE: done, release me; anything else keeps the responder.
  STDMETHOD(onTimerCallback)() = 0;

 protected:
  ~ITimerCallback() = default;
};
QM_DECLARE_INTERFACE_IID(ITimerCallback, IID_ITimerCallback);

class CTimerImpl {
 public:
  static boost::shared_ptr<CTimerImpl>& instance();

  CTimerImpl() = default;
  ~CTimerImpl();
  CTimerImpl(const CTimerImpl&) = delete;
  CTimerImpl& operator=(const CTimerImpl&) = delete;

  // Holds one reference to the responder; starts the pulse when it is not running.
  void registerCallback(ITimerCallback* callback);
  // Stops the pulse and releases every responder still registered.
  void deactivate();

  bool isRunning() const;
  // The pulse window; null while the pulse is stopped.
  HWND window() const { return m_window; }
  // Responders still held (null entries of released ones not counted).
  std::size_t liveCount() const;

  // WM_CREATE and WM_TIMER of the pulse window; public so its window procedure can call them.
  void OnCreate(HWND window);
  void OnTimer();

  static constexpr UINT kPeriodMs = 100;
  static constexpr std::uintptr_t kTimerId = 1;

 private:
  HWND m_window = nullptr;
  std::list<ITimerCallback*> m_callbacks;
  bool m_inTick = false;
  unsigned m_generation = 0;  // bumped by deactivate, so a tick notices it was stopped
};

// The free front every responder uses.
void registerTimerCallback(ITimerCallback* callback);
