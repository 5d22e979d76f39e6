#include "foundation/Timer.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "platform/loop/MessageLoop.h"
#include "platform/ui/WinUser.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A responder whose behaviour each test scripts; counts calls and references.
class Responder : public ITimerCallback {
 public:
  explicit Responder(std::function<HRESULT(Responder&)> tick = nullptr) : m_tick(std::move(tick)) {}

  STDMETHOD(QueryInterface)(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITimerCallback)) {
      *out = static_cast<ITimerCallback*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
  STDMETHOD_(ULONG, Release)() override { return --refs; }
  STDMETHOD(onTimerCallback)() override {
    ++calls;
    return m_tick ? m_tick(*this) : S_OK;
  }

  int calls = 0;
  ULONG refs = 0;

 private:
  std::function<HRESULT(Responder&)> m_tick;
};

// Each test stops the pulse before its responders go out of scope.
class TimerTest : public testsupport::IsolatedTest {
 protected:
  CTimerImpl m_timer;
};

TEST_F(TimerTest, ResponderAnsweringFalseIsReleasedOnceAndOthersGoOn) {
  Responder leaving([](Responder&) { return S_FALSE; });
  Responder staying;
  m_timer.registerCallback(&leaving);
  m_timer.registerCallback(&staying);
  EXPECT_TRUE(m_timer.isRunning());
  EXPECT_EQ(leaving.refs, 1u);
  platform::loop::runUntil([&] { return staying.calls >= 3; }, 10000);
  EXPECT_EQ(leaving.calls, 1);
  EXPECT_EQ(leaving.refs, 0u);
  EXPECT_GE(staying.calls, 3);
  EXPECT_EQ(m_timer.liveCount(), 1u);
  m_timer.deactivate();
  EXPECT_EQ(staying.refs, 0u);
}

TEST_F(TimerTest, NestedTickInsideACallbackDoesNothing) {
  Responder other;
  int depthAtCall = 0;
  Responder modal([&](Responder& self) {
    if (self.calls == 1) {
      // A modal dialog: the loop runs inside the callback while ticks keep arriving.
      platform::loop::runFor(450);
    }
    depthAtCall = std::max(depthAtCall, platform::loop::loopDepth());
    return S_OK;
  });
  m_timer.registerCallback(&modal);
  m_timer.registerCallback(&other);
  platform::loop::runUntil([&] { return modal.calls >= 2; }, 10000);
  EXPECT_EQ(other.calls, modal.calls);  // no tick ran the list while the first one was inside it
  EXPECT_EQ(modal.calls, 2);
  m_timer.deactivate();
}

TEST_F(TimerTest, LastResponderLeavingStopsThePulseAndANewOneRestartsIt) {
  Responder once([](Responder&) { return S_FALSE; });
  m_timer.registerCallback(&once);
  const HWND first = m_timer.window();
  // A hidden window of the desktop whose WM_TIMER is the tick.
  ASSERT_TRUE(IsWindow(first));
  EXPECT_FALSE(IsWindowVisible(first));
  SendMessageW(first, WM_TIMER, CTimerImpl::kTimerId, 0);
  EXPECT_EQ(once.calls, 1);
  EXPECT_FALSE(m_timer.isRunning());
  EXPECT_FALSE(IsWindow(first));  // the window went with the last responder
  EXPECT_EQ(once.refs, 0u);
  Responder again;
  m_timer.registerCallback(&again);
  EXPECT_TRUE(m_timer.isRunning());
  EXPECT_NE(m_timer.window(), first);
  platform::loop::runUntil([&] { return again.calls >= 2; }, 10000);
  EXPECT_GE(again.calls, 2);
  EXPECT_EQ(once.calls, 1);
  m_timer.deactivate();
  EXPECT_EQ(again.refs, 0u);
}

TEST_F(TimerTest, ResponderRegisteredTwiceIsCalledTwicePerTick) {
  Responder twice;
  m_timer.registerCallback(&twice);
  m_timer.registerCallback(&twice);
  EXPECT_EQ(twice.refs, 2u);
  platform::loop::runUntil([&] { return twice.calls >= 4; }, 10000);
  EXPECT_EQ(twice.calls % 2, 0);
  m_timer.deactivate();
  EXPECT_EQ(twice.refs, 0u);
}

TEST_F(TimerTest, RegisteringDuringATickAndThrowingAreSafe) {
  Responder late;
  Responder thrower([](Responder&) -> HRESULT { throw std::runtime_error("boom"); });
  Responder registrar([&](Responder& self) {
    if (self.calls == 1) m_timer.registerCallback(&late);
    return S_OK;
  });
  m_timer.registerCallback(&thrower);
  m_timer.registerCallback(&registrar);
  platform::loop::runUntil([&] { return late.calls >= 2 && thrower.calls >= 3; }, 10000);
  EXPECT_GE(late.calls, 2);
  EXPECT_GE(thrower.calls, 3);  // the pulse survived every throw
  EXPECT_TRUE(m_timer.isRunning());
  m_timer.deactivate();
}

TEST_F(TimerTest, ResponderStoppingThePulseInsideItsTickIsSafe) {
  Responder after;
  Responder stopper([&](Responder&) {
    m_timer.deactivate();
    return S_FALSE;
  });
  m_timer.registerCallback(&stopper);
  m_timer.registerCallback(&after);
  platform::loop::runUntil([&] { return stopper.calls >= 1; }, 10000);
  platform::loop::runFor(250);
  EXPECT_FALSE(m_timer.isRunning());
  EXPECT_EQ(stopper.calls, 1);
  EXPECT_EQ(stopper.refs, 0u);
  EXPECT_EQ(after.refs, 0u);
  EXPECT_EQ(after.calls, 0);
}

}  // namespace
