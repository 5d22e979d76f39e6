// Windows, messages, hooks, subclassing, accelerators and timers on the headless face.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/loop/MessageLoop.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/UserInput.h"
#include "platform/ui/WinUser.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace platform::ui;

// What the test's procedures saw, in order.
std::vector<std::string>* g_log = nullptr;
WNDPROC g_original = nullptr;
HHOOK g_first = nullptr;
HHOOK g_second = nullptr;

void note(std::string entry) {
  if (g_log) g_log->push_back(std::move(entry));
}

LRESULT CALLBACK_windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) note("window " + std::to_string(LOWORD(wParam)) + "/" + std::to_string(HIWORD(wParam)));
  if (message == WM_TIMER) note("timer " + std::to_string(wParam));
  if (message == WM_DESTROY) note("destroy");
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) note("subclass " + std::to_string(LOWORD(wParam)));
  // Pass on, then undo the subclassing, as the accelerator handler does.
  const LRESULT result = CallWindowProcW(g_original, window, message, wParam, lParam);
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_original));
  return result;
}

LRESULT firstHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (sent->message == WM_COMMAND) note("first hook");
  return CallNextHookEx(g_first, code, wParam, lParam);
}

LRESULT secondHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (sent->message == WM_COMMAND && HIWORD(sent->wParam) == 1) {
    note("second hook");
    g_original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(sent->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclassProc)));
  }
  return CallNextHookEx(g_second, code, wParam, lParam);
}

class WindowTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    testsupport::IsolatedTest::SetUp();
    ASSERT_TRUE(chooseFace(Face::kHeadless));
    g_log = &m_log;
    static const bool registered = [] {
      const WNDCLASSEXW cls{sizeof(WNDCLASSEXW), 0, CALLBACK_windowProc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"QmTestWindow", nullptr};
      return RegisterClassExW(&cls) != 0;
    }();
    ASSERT_TRUE(registered);
    m_top = CreateWindowExW(0, u"QmTestWindow", u"Explorer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 300, nullptr, nullptr, nullptr, nullptr);
    m_child = CreateWindowExW(0, u"QmTestWindow", u"", WS_CHILD | WS_VISIBLE, 5, 5, 100, 50, m_top, reinterpret_cast<HMENU>(3), nullptr, nullptr);
  }
  void TearDown() override {
    DestroyWindow(m_top);
    g_log = nullptr;
    testsupport::IsolatedTest::TearDown();
  }

  std::vector<std::string> m_log;
  HWND m_top = nullptr;
  HWND m_child = nullptr;
};

TEST_F(WindowTest, HookSeesSentCommandsAndSubclassingInsideItTakesThisVeryMessage) {
  g_first = SetWindowsHookExW(WH_CALLWNDPROC, firstHook, nullptr, GetCurrentThreadId());
  g_second = SetWindowsHookExW(WH_CALLWNDPROC, secondHook, nullptr, GetCurrentThreadId());
  ASSERT_NE(g_first, nullptr);
  ASSERT_NE(g_second, nullptr);

  SendMessageW(m_child, WM_COMMAND, MAKEWPARAM(0x410, 1), 0);
  EXPECT_EQ(m_log, (std::vector<std::string>{"second hook", "first hook", "subclass 1040", "window 1040/1"}));
  EXPECT_EQ(GetWindowLongPtrW(m_child, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(CALLBACK_windowProc));

  // A menu command (notification 0) passes the hooks untouched; posted messages skip them.
  m_log.clear();
  SendMessageW(m_child, WM_COMMAND, MAKEWPARAM(7, 0), 0);
  PostMessageW(m_child, WM_COMMAND, MAKEWPARAM(8, 1), 0);
  platform::loop::runUntilIdle();
  EXPECT_EQ(m_log, (std::vector<std::string>{"first hook", "window 7/0", "window 8/1"}));

  EXPECT_TRUE(UnhookWindowsHookEx(g_second));
  EXPECT_TRUE(UnhookWindowsHookEx(g_first));
  EXPECT_FALSE(UnhookWindowsHookEx(g_first));
  m_log.clear();
  SendMessageW(m_child, WM_COMMAND, MAKEWPARAM(9, 1), 0);
  EXPECT_EQ(m_log, (std::vector<std::string>{"window 9/1"}));
}

TEST_F(WindowTest, AcceleratorKeyArrivesAsCommandWithNotificationOne) {
  const ACCEL entries[] = {{FVIRTKEY | FCONTROL, 'P', 0x410}, {FVIRTKEY, VK_F10, 0x411}};
  const HACCEL table = CreateAcceleratorTableW(entries, 2);
  setWindowAccelerators(m_top, table);
  g_first = SetWindowsHookExW(WH_CALLWNDPROC, firstHook, nullptr, 0);

  input::pressKey(m_child, 'P', FCONTROL);
  input::pressKey(m_child, 'P');  // without Ctrl: an ordinary key
  EXPECT_EQ(m_log, (std::vector<std::string>{"first hook", "window 1040/1"}));

  UnhookWindowsHookEx(g_first);
  DestroyAcceleratorTable(table);
  m_log.clear();
  input::pressKey(m_child, 'P', FCONTROL);
  EXPECT_TRUE(m_log.empty());
}

TEST_F(WindowTest, WindowsKeepTheirDataTreeAndGeometry) {
  SetWindowLongPtrW(m_child, GWLP_USERDATA, 42);
  EXPECT_EQ(GetWindowLongPtrW(m_child, GWLP_USERDATA), 42);
  EXPECT_EQ(GetParent(m_child), m_top);
  EXPECT_EQ(GetAncestor(m_child, GA_ROOT), m_top);
  EXPECT_TRUE(IsWindowVisible(m_child));
  ShowWindow(m_top, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(m_child));
  ShowWindow(m_top, SW_SHOW);
  EXPECT_FALSE(EnableWindow(m_child, FALSE));
  EXPECT_TRUE(EnableWindow(m_child, TRUE));
  SetWindowTextW(m_top, u"Inbox - Explorer");
  char16_t text[32] = {};
  EXPECT_EQ(GetWindowTextW(m_top, text, 6), 5);
  EXPECT_EQ(std::u16string(text), u"Inbox");
  RECT rect{};
  GetWindowRect(m_child, &rect);
  POINT origin{0, 0};
  ClientToScreen(m_top, &origin);
  EXPECT_EQ(rect.left, origin.x + 5);
  EXPECT_EQ(rect.bottom - rect.top, 50);
  EXPECT_EQ(SetActiveWindow(m_child), m_top);  // the top-level window is what gets active
  EXPECT_EQ(GetActiveWindow(), m_top);
  EXPECT_EQ(SetFocus(m_child), nullptr);
  EXPECT_EQ(GetFocus(), m_child);

  const HWND owned = CreateWindowExW(0, u"QmTestWindow", u"Owned", WS_POPUP, 0, 0, 10, 10, m_child, nullptr, nullptr, nullptr);
  EXPECT_EQ(GetWindow(owned, GW_OWNER), m_top);
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), 1407u);
  DestroyWindow(m_top);
  EXPECT_FALSE(IsWindow(owned));
  EXPECT_FALSE(IsWindow(m_child));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(m_log, (std::vector<std::string>{"destroy", "destroy", "destroy"}));
}

TEST_F(WindowTest, WindowTimersTickUntilKilledAndDieWithTheWindow) {
  EXPECT_EQ(SetTimer(m_child, 5, 10, nullptr), 5u);
  ASSERT_TRUE(platform::loop::runUntil([&] { return m_log.size() >= 2; }, 10000));
  EXPECT_EQ(m_log[0], "timer 5");
  EXPECT_TRUE(KillTimer(m_child, 5));
  EXPECT_FALSE(KillTimer(m_child, 5));
  SetTimer(m_child, 6, 10, nullptr);
  DestroyWindow(m_child);
  m_log.clear();
  platform::loop::runFor(50);
  EXPECT_EQ(m_log, std::vector<std::string>{});
}

}  // namespace
