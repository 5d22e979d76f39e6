// Dialogs from templates driven through the headless face, as a person would use them.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/loop/MessageLoop.h"
#include "platform/resources/Resources.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/HtmlView.h"
#include "platform/ui/UserInput.h"
#include "tests/platform/ui/EditorDialog.h"
#include "tests/support/ScriptedUi.h"
#include "resources/resource.h"
#include "tests/support/TestEnvironment.h"

extern const platform::resources::ModuleResources kQuillMarkResources;

namespace {

using namespace platform::ui;
using namespace uitest;

class DialogTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    testsupport::IsolatedTest::SetUp();
    ASSERT_TRUE(chooseFace(Face::kHeadless));
  }
  HWND item(int id) const { return GetDlgItem(m_state.dialog, id); }
  POINT centreOf(HWND window) const {
    RECT r{};
    GetWindowRect(window, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  POINT rowPoint(int row) const {
    RECT r{};
    ListView_GetItemRect(item(kList), row, &r, LVIR_LABEL);
    POINT at{r.left + 20, (r.top + r.bottom) / 2};
    ClientToScreen(item(kList), &at);
    return at;
  }

  EditorState m_state;
};

TEST_F(DialogTest, EditorRunsModallyAndEndsWithTheEditedRows) {
  testsupport::ScriptedUi ui;
  ui.queueMessageBoxAnswer(IDOK);
  input::queueMenuPick(kRemove);
  m_state.rows = {u"Memo", u"Letter"};
  std::vector<std::string> failures;
  auto expect = [&](bool ok, const char* what) {
    if (!ok) failures.push_back(what);
  };
  platform::loop::post([&] {
    expect(!IsWindowEnabled(item(kAdd)) && !IsWindowEnabled(item(kRemove)), "buttons start disabled");
    expect(GetActiveWindow() == m_state.dialog, "the dialog is active");
    input::typeText(item(kName), u"Invoice");
    expect(IsWindowEnabled(item(kAdd)), "Add enabled by typing");
    input::click(item(kAdd));
    input::clickListRow(item(kList), 0);
    expect(IsWindowEnabled(item(kRemove)), "Remove enabled by a selection");
    input::typeText(item(kName), u"Note");
    input::click(item(kRename));
    input::clickListRow(item(kList), 1);
    input::pressKey(item(kList), VK_DELETE);
    expect(!IsWindowEnabled(item(kRemove)), "Remove disabled without a selection");
    input::clickListRow(item(kList), 1);
    input::clickUpDown(item(kUpDown), true);
    input::typeText(item(kName), u"Draft");
    input::pressKey(item(kName), VK_RETURN);  // OK refused: the name is not added yet
    input::click(item(kAdd));
    input::rightClick(item(kList), rowPoint(1));
    input::click(item(kAtOnce));
    input::pressF1(item(kAtOnce));
    input::pressKey(item(kList), VK_RETURN);
  });
  const INT_PTR result = DialogBoxIndirectParamW(nullptr, &editorTemplate(), nullptr, editorProc, reinterpret_cast<LPARAM>(&m_state));

  EXPECT_EQ(result, IDOK);
  EXPECT_TRUE(failures.empty()) << failures.front();
  EXPECT_EQ(m_state.rows, (std::vector<std::u16string>{u"Invoice", u"Draft"}));
  EXPECT_TRUE(m_state.atOnce);
  EXPECT_EQ(m_state.refusals, 1);
  ASSERT_EQ(ui.messageBoxes().size(), 1u);
  EXPECT_EQ(ui.messageBoxes()[0].owner, m_state.dialog);
  EXPECT_EQ(m_state.menusShown, 1);
  EXPECT_EQ(m_state.helpCalls, 1);
  const auto menu = input::lastShownMenu();
  ASSERT_EQ(menu.size(), 3u);
  EXPECT_FALSE(menu[0].grayed);
  EXPECT_TRUE(menu[1].separator);
  EXPECT_FALSE(IsWindow(m_state.dialog));
}

TEST_F(DialogTest, EscapeAndTheCloseBoxCancel) {
  platform::loop::post([&] { input::pressKey(item(kName), VK_ESCAPE); });
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &editorTemplate(), nullptr, editorProc, reinterpret_cast<LPARAM>(&m_state)), IDCANCEL);

  platform::loop::post([&] { input::closeWindow(m_state.dialog); });
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &editorTemplate(), nullptr, editorProc, reinterpret_cast<LPARAM>(&m_state)), IDCANCEL);
}

TEST_F(DialogTest, ControlsAreLaidOutInDialogUnitsOfTheFont) {
  const HWND dialog = CreateDialogIndirectParamW(nullptr, &editorTemplate(), nullptr, editorProc, reinterpret_cast<LPARAM>(&m_state));
  ASSERT_NE(dialog, nullptr);
  RECT client{};
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, 393);  // 262 units at 6 pixels per 4 units
  EXPECT_EQ(client.bottom, 244);  // 150 units at 13 pixels per 8 units
  RECT ok{};
  GetWindowRect(item(IDOK), &ok);
  POINT origin{0, 0};
  ClientToScreen(dialog, &origin);
  EXPECT_EQ(ok.left - origin.x, 225);
  EXPECT_EQ(ok.top - origin.y, 210);
  EXPECT_EQ(ok.right - ok.left, 75);
  EXPECT_EQ(ok.bottom - ok.top, 23);
  RECT units{4, 8, 0, 0};
  MapDialogRect(dialog, &units);
  EXPECT_EQ(units.left, 6);
  EXPECT_EQ(units.top, 13);
  EXPECT_FALSE(IsWindowVisible(dialog));  // a template without WS_VISIBLE stays hidden
  EXPECT_EQ(GetDlgCtrlID(item(kList)), kList);
  EXPECT_EQ(GetParent(item(kList)), dialog);
  DestroyWindow(dialog);
  EXPECT_FALSE(IsWindow(item(kList)));
}

TEST_F(DialogTest, ControlsAnswerTheirMessagesAndNotifyLikeWindows) {
  const HWND dialog = CreateDialogIndirectParamW(nullptr, &editorTemplate(), nullptr, editorProc, reinterpret_cast<LPARAM>(&m_state));
  ShowWindow(dialog, SW_SHOW);
  // Radio-like group behaviour and check boxes.
  CheckDlgButton(dialog, kAtOnce, BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(dialog, kAtOnce), BST_CHECKED);
  input::click(item(kAtOnce));
  EXPECT_EQ(IsDlgButtonChecked(dialog, kAtOnce), BST_UNCHECKED);
  // The edit's limit holds for typing, not for the program.
  input::typeText(item(kName), std::u16string(40, u'x'));
  char16_t text[64] = {};
  EXPECT_EQ(GetDlgItemTextW(dialog, kName, text, 64), 32u);
  // A disabled control takes no input.
  EnableWindow(item(kName), FALSE);
  EXPECT_FALSE(input::typeText(item(kName), u"y"));
  // List view: items, states, check boxes.
  const HWND list = item(kList);
  ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES);
  LVITEMW row{};
  row.mask = LVIF_TEXT;
  row.pszText = const_cast<LPWSTR>(u"One");
  ListView_InsertItem(list, &row);
  EXPECT_FALSE(ListView_GetCheckState(list, 0));
  input::clickListCheckBox(list, 0);
  EXPECT_TRUE(ListView_GetCheckState(list, 0));
  ListView_SetCheckState(list, 0, FALSE);
  EXPECT_FALSE(ListView_GetCheckState(list, 0));
  EXPECT_EQ(ListView_GetItemCount(list), 1);
  ListView_DeleteAllItems(list);
  EXPECT_EQ(ListView_GetItemCount(list), 0);
  // Image lists hold copies of the icons given.
  const HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR24, 0, 20);
  EXPECT_EQ(ImageList_GetImageCount(images), 0);
  EXPECT_EQ(ImageList_AddIcon(images, nullptr), -1);
  EXPECT_TRUE(ImageList_Destroy(images));
  EXPECT_FALSE(ImageList_Destroy(images));
  DestroyWindow(dialog);
}

TEST_F(DialogTest, ComboAndListBoxesNotifyTheirParent) {
  struct Seen {
    std::vector<std::pair<int, int>> commands;
  };
  static Seen* seen = nullptr;
  Seen local;
  seen = &local;
  const WNDCLASSEXW cls{sizeof(WNDCLASSEXW), 0, [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                          if (m == WM_COMMAND) seen->commands.emplace_back(LOWORD(wp), HIWORD(wp));
                          return DefWindowProcW(w, m, wp, lp);
                        },
                        0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"QmComboTest", nullptr};
  RegisterClassExW(&cls);
  const HWND top = CreateWindowExW(0, u"QmComboTest", u"Top", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  const HWND combo = CreateWindowExW(0, u"ComboBox", u"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 5, 5, 100, 100, top,
                                     reinterpret_cast<HMENU>(7), nullptr, nullptr);
  const HWND listBox = CreateWindowExW(0, u"ListBox", u"", WS_CHILD | WS_VISIBLE | LBS_NOTIFY, 5, 50, 100, 100, top,
                                       reinterpret_cast<HMENU>(8), nullptr, nullptr);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Memo"));
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Table"));
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"A"));
  SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"B"));
  EXPECT_TRUE(local.commands.empty());  // the program's own changes notify nobody
  input::selectComboItem(combo, 1);
  input::clickListBoxRow(listBox, 1, true);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(local.commands, (std::vector<std::pair<int, int>>{{7, CBN_DROPDOWN}, {7, CBN_SELCHANGE}, {7, CBN_SELENDOK},
                                                               {7, CBN_CLOSEUP}, {8, LBN_SELCHANGE}, {8, LBN_DBLCLK}}));
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  DestroyWindow(top);
  UnregisterClassW(u"QmComboTest", nullptr);
  seen = nullptr;
}

}  // namespace

namespace {

INT_PTR recordCommands(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_COMMAND) return FALSE;
  auto* seen = reinterpret_cast<std::vector<int>*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
  if (seen) seen->push_back(LOWORD(wParam));
  return TRUE;
}

TEST_F(DialogTest, SelectionDialogHoldsAnHtmlViewWhoseDialogKeysReachTheDialog) {
  const auto* selection = platform::resources::findDialog(platform::resources::handleOf(kQuillMarkResources), IDD_HTML_SELECTION);
  ASSERT_NE(selection, nullptr);
  const HWND dialog = CreateDialogIndirectParamW(nullptr, selection, nullptr, recordCommands, 0);
  ASSERT_NE(dialog, nullptr) << "the WebBrowser control of the template is made";
  std::vector<int> seen;
  SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));

  const HWND browser = GetDlgItem(dialog, IDC_SELECTION_BROWSER);
  auto* view = dynamic_cast<CHeadlessHtmlView*>(htmlViewOf(browser));
  ASSERT_NE(view, nullptr);
  RECT r{};
  GetClientRect(browser, &r);
  RECT expected{0, 0, 555, 278};
  MapDialogRect(dialog, &expected);
  EXPECT_EQ(r.right, expected.right) << "the view's control has its rectangle from the template";
  view->loadHtml("<p>One</p><p>Two</p>", std::filesystem::temp_directory_path());
  ASSERT_TRUE(view->selectText(u"One", u"Two"));
  std::string html;
  view->selectionHtml([&](bool ok, const std::string& read) { html = ok ? read : "failed"; });
  EXPECT_EQ(html, "<p>One</p><p>Two</p>");

  // No default button: Enter is IDOK, as Windows' dialog manager makes it; Escape is IDCANCEL.
  EXPECT_TRUE(view->pressKey(VK_RETURN));
  EXPECT_TRUE(view->pressKey(VK_ESCAPE));
  EXPECT_FALSE(view->pressKey(VK_TAB)) << "other keys stay with the view";
  EXPECT_EQ(seen, (std::vector<int>{IDOK, IDCANCEL}));

  // A view made by the class's own name, outside any template, is one as well; it goes with its window.
  const HWND bare = CreateWindowExW(0, u"Shell.Explorer.2", u"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, dialog, nullptr, nullptr, nullptr);
  EXPECT_NE(htmlViewOf(bare), nullptr);
  DestroyWindow(dialog);
  EXPECT_EQ(htmlViewOf(browser), nullptr);
  EXPECT_EQ(htmlViewOf(bare), nullptr);
}

}  // namespace
