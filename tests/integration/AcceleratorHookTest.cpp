// The accelerator hook on the headless face: which window sees an accelerator command, and that
// nothing stays subclassed or is freed too early whatever the handler does.
#include "integration/AcceleratorHook.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/loop/MessageLoop.h"
#include "platform/ui/Desktop.h"
#include "tests/support/TestEnvironment.h"

namespace {

using Log = std::vector<std::string>;
Log g_log;
std::map<HWND, std::string> g_names;
HHOOK g_earlier = nullptr;

// Two classes with their own procedures, so that a window given back another's is seen.
template <int kClass>
LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) g_log.push_back(g_names[window] + " " + std::to_string(LOWORD(wParam)));
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT earlierHook(int code, WPARAM wParam, LPARAM lParam) {
  if (reinterpret_cast<const CWPSTRUCT*>(lParam)->message == WM_COMMAND) g_log.push_back("hook");
  return CallNextHookEx(g_earlier, code, wParam, lParam);
}

// A display manager's callback; deleted with its last reference.
struct FakeCallback final : IAcceleratorCallback {
  explicit FakeCallback(std::function<HRESULT()> call) : onCall(std::move(call)) {}
  static CComPtr<FakeCallback> make(std::function<HRESULT()> onCall) {
    CComPtr<FakeCallback> made;
    made.Attach(new FakeCallback(std::move(onCall)));
    return made;
  }
  STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP onAcceleratorCallback(unsigned long) override { return onCall(); }
  ULONG refs = 1;
  std::function<HRESULT()> onCall;
};

class AcceleratorHookTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
    static const bool ready = [] {
      const WNDCLASSEXW a{sizeof(WNDCLASSEXW), 0, windowProc<0>, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"QmAccel0", nullptr};
      const WNDCLASSEXW b{sizeof(WNDCLASSEXW), 0, windowProc<1>, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"QmAccel1", nullptr};
      // Installed before the handler's hook, which must pass every call on to it.
      g_earlier = SetWindowsHookExW(WH_CALLWNDPROC, earlierHook, nullptr, GetCurrentThreadId());
      CAcceleratorHandler::Instance();
      return RegisterClassExW(&a) && RegisterClassExW(&b) && g_earlier;
    }();
    ASSERT_TRUE(ready);
    g_log.clear();
    m_a = makeWindow("A", u"QmAccel0", nullptr);
    m_aChild = makeWindow("a", u"QmAccel0", m_a);
    m_b = makeWindow("B", u"QmAccel1", nullptr);
  }
  void TearDown() override {
    for (HWND window : {m_a, m_b}) {
      handler().Unregister(window, kPrintAcceleratorId);
      DestroyWindow(window);
    }
  }
  static HWND makeWindow(const char* name, LPCWSTR className, HWND parent) {
    const HWND window = CreateWindowExW(0, className, u"", parent ? WS_CHILD : 0, 0, 0, 9, 9, parent, nullptr, nullptr, nullptr);
    g_names[window] = name;
    return window;
  }
  static void accelerator(HWND window, WORD id = kPrintAcceleratorId) { SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, 1), 0); }
  bool ownProcedure(HWND window) const {
    const WNDPROC own = window == m_b ? windowProc<1> : windowProc<0>;
    return GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(own);
  }

  static CAcceleratorHandler& handler() { return CAcceleratorHandler::Instance(); }
  HWND m_a = nullptr, m_aChild = nullptr, m_b = nullptr;
};

TEST_F(AcceleratorHookTest, FailureAnswerSwallowsTheCommandSuccessPassesItOnAndHandlersAreReleased) {
  HRESULT answer = E_FAIL;
  CComPtr<FakeCallback> first = FakeCallback::make([&] { return g_log.push_back("first"), answer; });
  handler().Register(m_a, kPrintAcceleratorId, first);
  accelerator(m_aChild);  // finds the handler of its registered parent
  answer = S_OK;
  accelerator(m_aChild);
  accelerator(m_a, 0x411);  // other ids, menu commands and other windows are never intercepted
  SendMessageW(m_a, WM_COMMAND, MAKEWPARAM(kPrintAcceleratorId, 0), 0);
  accelerator(m_b);
  EXPECT_EQ(g_log, (Log{"hook", "first", "hook", "first", "a 1040", "hook", "A 1041", "hook", "A 1040", "hook", "B 1040"}));
  EXPECT_TRUE(ownProcedure(m_aChild));

  // A second Register replaces and releases; B keeps the id watched after A's Unregister.
  CComPtr<FakeCallback> second = FakeCallback::make([] { return g_log.push_back("second"), E_FAIL; });
  handler().Register(m_a, kPrintAcceleratorId, second);
  handler().Register(m_b, kPrintAcceleratorId, second);
  EXPECT_EQ(first->refs, 1u);
  handler().Unregister(m_a, kPrintAcceleratorId);
  EXPECT_EQ(second->refs, 2u);
  g_log.clear();
  accelerator(m_a);
  accelerator(m_b);
  EXPECT_EQ(g_log, (Log{"hook", "A 1040", "hook", "second"}));
  EXPECT_TRUE(ownProcedure(m_a) && ownProcedure(m_b));
}

TEST_F(AcceleratorHookTest, SecondWindowDuringFirstWindowsModalPrintReachesItsOwnHandler) {
  platform::loop::CModalLoop printDialog;
  int aCalls = 0;
  CComPtr<FakeCallback> forA = FakeCallback::make([&] {
    g_log.push_back("A prints");
    const bool outer = ++aCalls == 1;
    if (outer) {
      // While A's print dialog is up: B's accelerator, and A's own again.
      platform::loop::post([&] {
        accelerator(m_b);
        accelerator(m_a);
        printDialog.end(0);
      });
      printDialog.run();
    }
    return outer ? E_FAIL : S_OK;
  });
  CComPtr<FakeCallback> forB = FakeCallback::make([] { return g_log.push_back("B declines"), S_OK; });
  handler().Register(m_a, kPrintAcceleratorId, forA);
  handler().Register(m_b, kPrintAcceleratorId, forB);

  accelerator(m_a);
  EXPECT_EQ(g_log, (Log{"hook", "A prints", "hook", "B declines", "B 1040", "hook", "A prints", "A 1040"}));
  EXPECT_TRUE(ownProcedure(m_a) && ownProcedure(m_b));
}

TEST_F(AcceleratorHookTest, HandlerThatClosesItsWindowAndUnregistersIsNotUsedAfterwards) {
  FakeCallback* raw = nullptr;
  {
    CComPtr<FakeCallback> callback = FakeCallback::make([&] {
      // The manager's close-down: its registration, its window, its last outside reference.
      handler().Unregister(m_a, kPrintAcceleratorId);
      DestroyWindow(m_a);
      EXPECT_EQ(raw->refs, 1u) << "only the call in progress holds the handler";
      return S_OK;
    });
    raw = callback;
    handler().Register(m_a, kPrintAcceleratorId, callback);
  }
  accelerator(m_aChild);
  EXPECT_FALSE(IsWindow(m_a));
  EXPECT_EQ(g_log, Log{"hook"});
  m_a = nullptr;
}

}  // namespace
