#pragma once
// The shared 100 ms pulse: CTimerImpl calls every registered ITimerCallback on each tick. A
// responder answering S_FALSE is released; with none left the pulse stops, and a new
// registration starts it again. Runs on the UI thread's loop.

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

  bool isRunning() const { return m_window != nullptr; }
  // Responders still held (null entries of released ones not counted).
  std::size_t liveCount() const;

  // The tick; public so the loop's timer can call it.
  void OnTimer();

  static constexpr UINT kPeriodMs = 100;
  static constexpr std::uintptr_t kTimerId = 1;

 private:
  void OnCreate();

  HWND m_window = nullptr;
  std::list<ITimerCallback*> m_callbacks;
  bool m_inTick = false;
  unsigned m_generation = 0;  // bumped by deactivate, so a tick notices it was stopped
};

// The free front every responder uses.
void registerTimerCallback(ITimerCallback* callback);
