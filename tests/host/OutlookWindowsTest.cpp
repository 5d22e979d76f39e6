// The stand-in's explorer and inspector windows on the headless desktop, driven as a person
// would: the item list's selection reaches the object model, the command bars are drawn as the
// model holds them and again when an add-in changes them, clicks reach the model's sinks, and
// Outlook's own command runs only when no sink cancels it; Ctrl+P is WM_COMMAND 0x410.

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <vector>

#include "host/OutlookWindows.h"
#include "platform/com/Com.h"
#include "platform/loop/MessageLoop.h"
#include "platform/office/OfficeInterfaces.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/HtmlView.h"
#include "platform/ui/UserInput.h"
#include "tests/host/OutlookWindowsFixture.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using platform::com::CDispArgs;
using platform::com::CEventConnection;

class CClickSink : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  BEGIN_COM_MAP(CClickSink)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(DIID__CommandBarButtonEvents, IDispatch)
  END_COM_MAP()

  CClickSink() {
    dispatchTable().method(platform::office::kDispidClick, u"Click", [this](const CDispArgs& a, VARIANT*) {
      if (a[1].vt != (VT_BOOL | VT_BYREF)) return E_INVALIDARG;
      ++clicks;
      if (cancels) *a[1].pboolVal = VARIANT_TRUE;
      return S_OK;
    }, 2, 2);
  }
  int clicks = 0;
  bool cancels = false;
};

CComVariant get(IDispatch* object, const char16_t* name) {
  CComVariant value;
  EXPECT_TRUE(SUCCEEDED(CComDispatchDriver(object).GetPropertyByName(name, &value))) << "reading a property";
  return value;
}

CComPtr<IDispatch> object(IDispatch* from, const char16_t* name) {
  CComVariant value = get(from, name);
  return value.vt == VT_DISPATCH ? CComPtr<IDispatch>(value.pdispVal) : nullptr;
}

CComPtr<IDispatch> call(IDispatch* on, const char16_t* name, std::initializer_list<VARIANT> args,
                        WORD flags = DISPATCH_METHOD) {
  CComVariant result;
  const std::vector<VARIANT> list(args);
  EXPECT_TRUE(SUCCEEDED(CComDispatchDriver(on).InvokeArgs(name, flags, list, &result))) << "calling a method";
  return result.vt == VT_DISPATCH ? CComPtr<IDispatch>(result.pdispVal) : nullptr;
}

void put(IDispatch* on, const char16_t* name, const CComVariant& value) {
  EXPECT_TRUE(SUCCEEDED(CComDispatchDriver(on).PutPropertyByName(name, &value)));
}

std::u16string text(HWND window) {
  char16_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return buffer;
}

// The frame's child whose text is `caption`, or null.
HWND childTitled(HWND frame, std::u16string_view caption) {
  for (HWND at = GetWindow(frame, GW_CHILD); at; at = GetWindow(at, GW_HWNDNEXT))
    if (text(at) == caption) return at;
  return nullptr;
}

std::vector<std::pair<UINT, WPARAM>> g_sent;
LRESULT watchCommands(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && sent->message == WM_COMMAND) g_sent.emplace_back(sent->message, sent->wParam);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

class OutlookWindowsTest : public OutlookWindowsFixture {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
    openStore([this](host::COutlookWindows& windows) {
      windows.setLastExplorerClosed([this] { m_explorerGone = true; });
    });
  }

  bool m_explorerGone = false;
};

TEST_F(OutlookWindowsTest, ExplorerSelectsPrintsAndOpensInspectorsAsAPersonDoes) {
  const CComPtr<IDispatch> explorer = m_outlook->openExplorer(m_outlook->defaultFolder(olFolderInbox));
  ASSERT_TRUE(explorer);
  const HWND frame = m_outlook->windowHandle(explorer);
  ASSERT_TRUE(frame);
  EXPECT_TRUE(IsWindowVisible(frame));
  EXPECT_EQ(text(frame), u"Inbox - Outlook");
  IOleWindowPtr oleWindow;
  ASSERT_TRUE(SUCCEEDED(explorer->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&oleWindow))));
  HWND answered = nullptr;
  EXPECT_EQ(oleWindow->GetWindow(&answered), S_OK);
  EXPECT_EQ(answered, frame);

  // The folder tree and the Inbox's items.
  const HWND folders = m_windows->folderListOf(frame);
  const HWND list = m_windows->itemListOf(frame);
  ASSERT_TRUE(folders && list);
  EXPECT_GE(SendMessageW(folders, LB_GETCOUNT, 0, 0), 3);  // the store, its default folders, Projects
  ASSERT_EQ(ListView_GetItemCount(list), 3);

  // A click on a row is the explorer's selection, once.
  ASSERT_TRUE(platform::ui::input::clickListRow(list, 1));
  platform::loop::runUntilIdle();
  const CComPtr<IDispatch> selection = object(explorer, u"Selection");
  ASSERT_EQ(get(selection, u"Count").lVal, 1);
  const CComPtr<IDispatch> picked = call(selection, u"Item", {CComVariant(1)});
  const std::u16string subject = get(picked, u"Subject").bstrVal;
  EXPECT_EQ(m_windows->statusOf(frame), u"Selected: " + subject);

  // Ctrl+P is WM_COMMAND 0x410 with HIWORD 1, sent where a WH_CALLWNDPROC hook sees it; Outlook's
  // own handling of it is its print dialog.
  g_sent.clear();
  const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, watchCommands, nullptr, GetCurrentThreadId());
  ASSERT_TRUE(platform::ui::input::pressKey(list, 'P', FCONTROL));
  UnhookWindowsHookEx(hook);
  ASSERT_EQ(g_sent.size(), 1u);
  EXPECT_EQ(g_sent[0].second, MAKEWPARAM(host::kPrintAccelerator, 1));
  EXPECT_EQ(m_windows->statusOf(frame), u"Outlook prints \"" + subject + u"\" after its Print dialog");

  // File > Print Preview from the menu bar, as the model holds it.
  const HMENU file = GetSubMenu(GetMenu(frame), 0);
  ASSERT_EQ(GetMenuItemCount(file), 4);  // the model's Print and Print Preview, then Outlook's own Exit
  ASSERT_TRUE(platform::ui::input::pickMenuBarItem(frame, GetMenuItemID(file, 1)));
  EXPECT_EQ(m_windows->statusOf(frame), u"Outlook shows its print preview of \"" + subject + u"\"");

  // The list's context menu is the model's "Context Menu", then Outlook's own Properties: quick
  // Print prints without a dialog.
  platform::ui::input::queueMenuPick(0);
  ASSERT_TRUE(platform::ui::input::rightClick(list, POINT{-1, -1}));
  const auto shown = platform::ui::input::lastShownMenu();
  ASSERT_EQ(shown.size(), 3u);  // Print, a separator, Properties
  EXPECT_EQ(shown[0].text, u"&Print");
  platform::ui::input::queueMenuPick(shown[0].id);
  ASSERT_TRUE(platform::ui::input::rightClick(list, POINT{-1, -1}));
  EXPECT_EQ(m_windows->statusOf(frame), u"Outlook prints \"" + subject + u"\"");

  // Properties, the context menu's last entry, show the item's EntryID in the focused field.
  std::u16string shownId;
  platform::loop::post([&] {
    const HWND dialog = GetActiveWindow();
    const HWND field = GetFocus();
    shownId = text(field);
    EXPECT_EQ(text(dialog), subject + u" Properties");
    platform::ui::input::click(GetDlgItem(dialog, IDOK));
  });
  platform::ui::input::queueMenuPick(0);
  ASSERT_TRUE(platform::ui::input::rightClick(list, POINT{-1, -1}));
  const auto menu = platform::ui::input::lastShownMenu();
  ASSERT_FALSE(menu.empty());
  EXPECT_EQ(menu.back().text, u"P&roperties");
  platform::ui::input::queueMenuPick(menu.back().id);
  ASSERT_TRUE(platform::ui::input::rightClick(list, POINT{-1, -1}));
  EXPECT_EQ(shownId, get(picked, u"EntryID").bstrVal);

  // A double click opens an inspector with the item's header and body.
  ASSERT_TRUE(platform::ui::input::doubleClickListRow(list, 1));
  platform::loop::runUntilIdle();
  const CComPtr<IDispatch> inspectors = object(m_outlook->application(), u"Inspectors");
  ASSERT_EQ(get(inspectors, u"Count").lVal, 1);
  const HWND inspector = m_outlook->windowHandle(call(inspectors, u"Item", {CComVariant(1)}));
  ASSERT_TRUE(inspector);
  EXPECT_EQ(text(inspector), subject + u" - Message");
  EXPECT_TRUE(childTitled(inspector, u"Subject:"));
  EXPECT_TRUE(childTitled(inspector, subject));
  // The mail's attachment in the header; its HTML body in the inert HTML view.
  const HWND attachments = childTitled(inspector, u"Attachments:");
  ASSERT_TRUE(attachments);
  EXPECT_NE(text(GetWindow(attachments, GW_HWNDNEXT)).find(u"."), std::u16string::npos);
  const auto* view = dynamic_cast<platform::ui::CHeadlessHtmlView*>(platform::ui::htmlViewOf(m_windows->bodyOf(inspector)));
  ASSERT_TRUE(view);
  EXPECT_FALSE(view->document().body().innerText().empty());
  ASSERT_TRUE(platform::ui::input::pressKey(m_windows->bodyOf(inspector), 'P', FCONTROL));
  EXPECT_EQ(m_windows->statusOf(inspector), u"Outlook prints \"" + subject + u"\" after its Print dialog");
  // Esc closes the inspector.
  ASSERT_TRUE(platform::ui::input::pressKey(m_windows->bodyOf(inspector), VK_ESCAPE));
  EXPECT_EQ(get(inspectors, u"Count").lVal, 0);
  EXPECT_FALSE(IsWindow(inspector));

  // Closing the explorer by its close box closes it in the object model and ends the session.
  ASSERT_TRUE(platform::ui::input::closeWindow(frame));
  EXPECT_TRUE(m_explorerGone);
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_EQ(get(object(m_outlook->application(), u"Explorers"), u"Count").lVal, 0);
}

TEST_F(OutlookWindowsTest, WindowsDrawWhatAnAddInChangesInTheBarsAndItsSinksCancelOutlooksCommand) {
  const CComPtr<IDispatch> explorer = m_outlook->openExplorer(m_outlook->defaultFolder(olFolderInbox));
  const HWND frame = m_outlook->windowHandle(explorer);
  ASSERT_TRUE(frame);
  const CComPtr<IDispatch> bars = object(explorer, u"CommandBars");
  ASSERT_TRUE(bars);
  const CComPtr<IDispatch> standard = call(bars, u"Item", {CComVariant(u"Standard")}, DISPATCH_PROPERTYGET);
  ASSERT_TRUE(childTitled(frame, u"&Print"));

  // An add-in's button with a tag appears on the toolbar once the loop turns; hidden, it goes.
  const CComPtr<IDispatch> added = call(object(standard, u"Controls"), u"Add", {CComVariant(1L)});
  ASSERT_TRUE(added);
  put(added, u"Caption", CComVariant(u"QuillMark"));
  put(added, u"Tag", CComVariant(u"quillmark.print"));
  EXPECT_FALSE(childTitled(frame, u"QuillMark"));
  platform::loop::runUntilIdle();
  const HWND button = childTitled(frame, u"QuillMark");
  ASSERT_TRUE(button);

  auto sink = CComObject<CClickSink>::Make();
  CEventConnection connection(added, static_cast<IDispatch*>(sink.p), DIID__CommandBarButtonEvents);
  ASSERT_EQ(connection.result(), S_OK);
  ASSERT_TRUE(platform::ui::input::click(button));
  EXPECT_EQ(sink->clicks, 1);

  put(added, u"Enabled", CComVariant(false));
  platform::loop::runUntilIdle();
  EXPECT_FALSE(IsWindowEnabled(childTitled(frame, u"QuillMark")));
  put(added, u"Visible", CComVariant(false));
  platform::loop::runUntilIdle();
  EXPECT_FALSE(childTitled(frame, u"QuillMark"));

  // A sink on the built-in quick Print that cancels: Outlook's own print does not run.
  const CComPtr<IDispatch> quickPrint = call(object(standard, u"Controls"), u"Item", {CComVariant(1L)}, DISPATCH_PROPERTYGET);
  auto canceller = CComObject<CClickSink>::Make();
  canceller->cancels = true;
  CEventConnection cancelling(quickPrint, static_cast<IDispatch*>(canceller.p), DIID__CommandBarButtonEvents);
  ASSERT_TRUE(platform::ui::input::clickListRow(m_windows->itemListOf(frame), 0));
  platform::loop::runUntilIdle();
  const std::u16string before = m_windows->statusOf(frame);
  ASSERT_TRUE(platform::ui::input::click(childTitled(frame, u"&Print")));
  EXPECT_EQ(canceller->clicks, 1);
  EXPECT_EQ(m_windows->statusOf(frame), before);
  canceller->cancels = false;
  ASSERT_TRUE(platform::ui::input::click(childTitled(frame, u"&Print")));
  EXPECT_EQ(m_windows->statusOf(frame).rfind(u"Outlook prints \"", 0), 0u);

  // A popup the add-in adds to the menu bar shows as a menu of its own.
  const CComPtr<IDispatch> menuBar = call(bars, u"Item", {CComVariant(u"Menu Bar")}, DISPATCH_PROPERTYGET);
  const CComPtr<IDispatch> popup = call(object(menuBar, u"Controls"), u"Add", {CComVariant(10L)});
  ASSERT_TRUE(popup);
  put(popup, u"Caption", CComVariant(u"Quill&Mark"));
  platform::loop::runUntilIdle();
  EXPECT_EQ(GetMenuItemCount(GetMenu(frame)), 3);  // File, the add-in's, then Outlook's own Tools
}

TEST_F(OutlookWindowsTest, FileExitClosesEveryWindow) {
  const CComPtr<IDispatch> explorer = m_outlook->openExplorer(m_outlook->defaultFolder(olFolderInbox));
  const HWND frame = m_outlook->windowHandle(explorer);
  ASSERT_TRUE(frame);
  const HWND inspector = m_outlook->windowHandle(m_outlook->openInspector(call(object(object(explorer, u"CurrentFolder"), u"Items"), u"Item", {CComVariant(1)})));
  ASSERT_TRUE(inspector);
  const HMENU file = GetSubMenu(GetMenu(frame), 0);
  ASSERT_TRUE(platform::ui::input::pickMenuBarItem(frame, GetMenuItemID(file, GetMenuItemCount(file) - 1)));
  EXPECT_TRUE(m_explorerGone);
  EXPECT_FALSE(IsWindow(inspector));
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_EQ(get(object(m_outlook->application(), u"Inspectors"), u"Count").lVal, 0);
}

}  // namespace
