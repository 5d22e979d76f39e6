// The accelerator hook on the headless face: which window sees an accelerator command, and that
// nothing is left subclassed or freed too early whatever the handler does.
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

std::vector<std::string>* g_log = nullptr;
std::map<HWND, std::string> g_names;
HHOOK g_earlier = nullptr;

void note(const std::string& entry) {
  if (g_log) g_log->push_back(entry);
}

// Two classes with their own procedures, so that a window given back another's is seen.
template <int kClass>
LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) note(g_names[window] + " " + std::to_string(LOWORD(wParam)));
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT earlierHook(int code, WPARAM wParam, LPARAM lParam) {
  if (reinterpret_cast<const CWPSTRUCT*>(lParam)->message == WM_COMMAND) note("earlier hook");
  return CallNextHookEx(g_earlier, code, wParam, lParam);
}

// A display manager's callback: runs `onCall`; deleted when its last reference goes.
class FakeCallback final : public IAcceleratorCallback {
 public:
  static CComPtr<FakeCallback> make(std::function<HRESULT()> onCall) {
    CComPtr<FakeCallback> made;
    made.Attach(new FakeCallback(std::move(onCall)));
    return made;
  }
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown && riid != IID_IAcceleratorCallback) return E_NOINTERFACE;
    *ppv = static_cast<IAcceleratorCallback*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP onAcceleratorCallback(unsigned long) override { return onCall(); }

  ULONG refs = 1;
  std::function<HRESULT()> onCall;

 private:
  explicit FakeCallback(std::function<HRESULT()> call) : onCall(std::move(call)) {}
  ~FakeCallback() = default;
};

class AcceleratorHookTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
    static const bool ready = [] {
      const WNDCLASSEXW first{sizeof(WNDCLASSEXW), 0, windowProc<0>, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"QmAccel0", nullptr};
      const WNDCLASSEXW second{sizeof(WNDCLASSEXW), 0, windowProc<1>, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"QmAccel1", nullptr};
      // A hook installed before the handler's, which must still see every message.
      g_earlier = SetWindowsHookExW(WH_CALLWNDPROC, earlierHook, nullptr, GetCurrentThreadId());
      CAcceleratorHandler::Instance();
      return RegisterClassExW(&first) != 0 && RegisterClassExW(&second) != 0 && g_earlier;
    }();
    ASSERT_TRUE(ready);
    g_log = &m_log;
    m_a = makeWindow("A", u"QmAccel0", nullptr);
    m_aChild = makeWindow("a", u"QmAccel0", m_a);
    m_b = makeWindow("B", u"QmAccel1", nullptr);
  }
  void TearDown() override {
    for (HWND window : {m_a, m_b}) {
      CAcceleratorHandler::Instance().Unregister(window, kPrintAcceleratorId);
      DestroyWindow(window);
    }
    g_log = nullptr;
  }

  static HWND makeWindow(const std::string& name, LPCWSTR className, HWND parent) {
    const HWND window = CreateWindowExW(0, className, u"", parent ? WS_CHILD : WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                        parent, nullptr, nullptr, nullptr);
    g_names[window] = name;
    return window;
  }
  static void accelerator(HWND window, WORD id = kPrintAcceleratorId) {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, 1), 0);
  }
  bool ownProcedure(HWND window) const {
    const WNDPROC own = window == m_b ? windowProc<1> : windowProc<0>;
    return GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(own);
  }

  std::vector<std::string> m_log;
  HWND m_a = nullptr;
  HWND m_aChild = nullptr;
  HWND m_b = nullptr;
};

TEST_F(AcceleratorHookTest, FailureAnswerSwallowsTheCommandSuccessPassesItOn) {
  HRESULT answer = E_FAIL;
  CComPtr<FakeCallback> callback = FakeCallback::make([&] {
    note("callback");
    return answer;
  });
  CAcceleratorHandler::Instance().Register(m_a, kPrintAcceleratorId, callback);

  // The child's command finds the handler of its registered parent.
  accelerator(m_aChild);
  EXPECT_EQ(m_log, (std::vector<std::string>{"earlier hook", "callback"}));
  answer = S_OK;
  accelerator(m_aChild);
  EXPECT_EQ(m_log, (std::vector<std::string>{"earlier hook", "callback", "earlier hook", "callback", "a 1040"}));
  EXPECT_TRUE(ownProcedure(m_aChild));

  // Other ids, menu commands and unregistered windows are never intercepted.
  m_log.clear();
  answer = E_FAIL;
  accelerator(m_a, 0x411);
  SendMessageW(m_a, WM_COMMAND, MAKEWPARAM(kPrintAcceleratorId, 0), 0);
  accelerator(m_b);
  EXPECT_EQ(m_log, (std::vector<std::string>{"earlier hook", "A 1041", "earlier hook", "A 1040", "earlier hook", "B 1040"}));
  EXPECT_TRUE(ownProcedure(m_a));
  EXPECT_TRUE(ownProcedure(m_b));
}

TEST_F(AcceleratorHookTest, SecondWindowDuringFirstWindowsModalPrintReachesItsOwnHandler) {
  platform::loop::CModalLoop printDialog;
  int aCalls = 0;
  CComPtr<FakeCallback> forA = FakeCallback::make([&] {
    note("A prints");
    const bool outer = ++aCalls == 1;
    if (outer) {
      EXPECT_FALSE(ownProcedure(m_a));
      // While A's print dialog is up: B's accelerator, and A's own again.
      platform::loop::post([&] {
        accelerator(m_b);
        accelerator(m_a);
        printDialog.end(0);
      });
      printDialog.run();
    }
    return outer ? E_FAIL : S_OK;  // the outer one prints, the nested one declines
  });
  CComPtr<FakeCallback> forB = FakeCallback::make([&] {
    note("B declines");
    return S_OK;
  });
  CAcceleratorHandler::Instance().Register(m_a, kPrintAcceleratorId, forA);
  CAcceleratorHandler::Instance().Register(m_b, kPrintAcceleratorId, forB);

  accelerator(m_a);
  EXPECT_EQ(m_log, (std::vector<std::string>{"earlier hook", "A prints", "earlier hook", "B declines", "B 1040",
                                             "earlier hook", "A prints", "A 1040"}));
  EXPECT_TRUE(ownProcedure(m_a));
  EXPECT_TRUE(ownProcedure(m_b));
  m_log.clear();
  accelerator(m_b);
  EXPECT_EQ(m_log, (std::vector<std::string>{"earlier hook", "B declines", "B 1040"}));
}

TEST_F(AcceleratorHookTest, HandlerThatClosesItsWindowAndUnregistersIsNotUsedAfterwards) {
  FakeCallback* raw = nullptr;
  {
    CComPtr<FakeCallback> callback = FakeCallback::make([&] {
      // The manager's close-down: its registration, its window and its last outside reference.
      CAcceleratorHandler::Instance().Unregister(m_a, kPrintAcceleratorId);
      DestroyWindow(m_a);
      EXPECT_EQ(raw->refs, 1u) << "only the call in progress holds the handler";
      return S_OK;
    });
    raw = callback;
    CAcceleratorHandler::Instance().Register(m_a, kPrintAcceleratorId, callback);
    EXPECT_EQ(raw->refs, 2u);
  }
  accelerator(m_aChild);
  EXPECT_FALSE(IsWindow(m_a));
  EXPECT_EQ(m_log, (std::vector<std::string>{"earlier hook"}));
  m_a = nullptr;
}

TEST_F(AcceleratorHookTest, ReplacedAndUnregisteredHandlersAreReleased) {
  int calls = 0;
  CComPtr<FakeCallback> first = FakeCallback::make([&] { return ++calls, E_FAIL; });
  CComPtr<FakeCallback> second = FakeCallback::make([&] {
    note("second");
    return E_FAIL;
  });
  CAcceleratorHandler& handler = CAcceleratorHandler::Instance();
  handler.Register(m_a, kPrintAcceleratorId, first);
  handler.Register(m_b, kPrintAcceleratorId, first);
  handler.Register(m_a, kPrintAcceleratorId, second);
  EXPECT_EQ(first->refs, 2u);
  EXPECT_EQ(second->refs, 2u);

  // Unregistering one window keeps the id watched for the other.
  handler.Unregister(m_a, kPrintAcceleratorId);
  EXPECT_EQ(second->refs, 1u);
  accelerator(m_a);
  accelerator(m_b);
  EXPECT_EQ(m_log, (std::vector<std::string>{"earlier hook", "A 1040", "earlier hook"}));
  EXPECT_EQ(calls, 1);
  handler.Unregister(m_b, kPrintAcceleratorId);
  EXPECT_EQ(first->refs, 1u);
  accelerator(m_b);
  EXPECT_TRUE(ownProcedure(m_a));
  EXPECT_TRUE(ownProcedure(m_b));
  EXPECT_EQ(calls, 1);
}

}  // namespace
