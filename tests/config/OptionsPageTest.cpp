// The options page driven as a person uses it: a page never shown saves nothing, a class added
// again in other case is refused, "<Default>" cannot be removed by button or key, a failed save
// is reported and leaves the page dirty, and dialogs edited then cancelled change nothing.
#include "config/OptionsPage.h"

#include <boost/make_shared.hpp>

#include "tests/config/ConfigDialogFixture.h"

namespace {

using namespace configtest;

class OptionsPageTest : public ConfigDialogTest {
 protected:
  void SetUp() override {
    ConfigDialogTest::SetUp();
    ShowWindow(m_owner, SW_SHOW);  // the page's host: its controls take input only when shown
    SettingsData data = CSettings::instance().getSettingsData();
    data.messageClasses[kDefaultMessageClass] = boost::make_shared<MessageClassSettings>();
    auto note = boost::make_shared<MessageClassSettings>();
    note->templates.push_back(TemplateDetail{});
    note->templates.back().displayName = u"Memo";
    note->templates.back().printingTemplate = u"/srv/t/Memo.htm";
    data.messageClasses[u"IPM.Note"] = note;
    data.otherOptions.allowUsersToModifySettings = true;
    ASSERT_TRUE(CSettings::instance().save(data));
    m_saved = CSettings::instance().getSettingsData();
  }
  static SettingsData reread() {
    CSettings::resetForTesting();
    return CSettings::instance().getSettingsData();
  }

  SettingsData m_saved;
};

TEST_F(OptionsPageTest, PageNeverShownWritesNothingOnApply) {
  COptionsPage page;
  EXPECT_FALSE(page.isDirty());
  EXPECT_FALSE(page.Apply());
  EXPECT_TRUE(m_ui.messageBoxes().empty());
  EXPECT_EQ(reread(), m_saved) << "an empty copy would have deleted every class";
}

TEST_F(OptionsPageTest, ClassInOtherCaseIsRefusedAndDefaultCannotBeRemoved) {
  COptionsPage page;
  const HWND p = page.Create(m_owner);
  ASSERT_TRUE(p);
  const HWND list = at(p, IDC_PP_LIST);
  ASSERT_EQ(ListView_GetItemCount(list), 2);
  EXPECT_EQ(rowOf(list, 0), u"<Default>");
  EXPECT_EQ(rowOf(list, 0, 1), u"(Uses default)");
  EXPECT_EQ(rowOf(list, 1, 1), u"Memo.htm");

  actInNext([](HWND d) {
    actInNext([](HWND chooser) {
      input::click(at(chooser, IDC_CUSTOM_CLASS));
      input::typeText(at(chooser, IDC_CUSTOM_CLASS_EDIT), u"ipm.note");
      input::click(at(chooser, IDOK));
    });
    input::click(at(d, IDC_CHANGE_CLASS));
    input::click(at(d, IDOK));
  });
  input::click(at(p, IDC_PP_ADD));
  EXPECT_EQ(boxTexts(), std::vector<std::u16string>{u"ipm.note is already present."});
  EXPECT_EQ(ListView_GetItemCount(list), 2);
  EXPECT_FALSE(page.isDirty());

  // "<Default>": the button is disabled once it is selected, and the Delete key is refused.
  input::clickListRow(list, 1);
  EXPECT_TRUE(enabled(p, IDC_PP_REMOVE));
  input::clickListRow(list, 0);
  EXPECT_FALSE(enabled(p, IDC_PP_REMOVE));
  input::pressKey(list, VK_DELETE);
  ASSERT_EQ(m_ui.messageBoxes().size(), 2u);
  EXPECT_EQ(m_ui.messageBoxes()[1].text, u"The <Default> entry cannot be removed.");
  EXPECT_EQ(m_ui.messageBoxes()[1].type, static_cast<UINT>(MB_ICONEXCLAMATION));
  EXPECT_EQ(ListView_GetItemCount(list), 2);
  EXPECT_FALSE(page.isDirty());
}

TEST_F(OptionsPageTest, EditThenCancelLeavesTheSettingsAndTheDirtyFlagUntouched) {
  COptionsPage page;
  int statusChanges = 0;
  page.setStatusChange([&] { ++statusChanges; });
  const HWND p = page.Create(m_owner);
  const HWND list = at(p, IDC_PP_LIST);
  m_ui.queueMessageBoxAnswer(IDOK);  // remove the template in the dialog, then cancel it
  actInNext([](HWND d) {
    const HWND templates = at(d, IDC_TEMPLATE_LIST);
    actInNext([](HWND t) {
      retype(t, IDC_TEMPLATE_PATH, u"/srv/t/Other.htm");
      input::click(at(t, IDOK));
    });
    input::doubleClickListRow(templates, 0);
    EXPECT_EQ(rowOf(templates, 0, 1), u"Other.htm");
    input::clickListRow(templates, 0);
    input::click(at(d, IDC_TEMPLATE_REMOVE));
    EXPECT_EQ(ListView_GetItemCount(templates), 0);
    input::click(at(d, IDCANCEL));
  });
  input::doubleClickListRow(list, 1);
  // The option dialogs cancelled after a change each.
  actInNext([](HWND d) {
    input::click(at(d, IDC_ENABLE_LOGGING));
    input::click(at(d, IDCANCEL));
  });
  input::click(at(p, IDC_PP_OTHER_OPTIONS));
  actInNext([](HWND d) {
    retype(d, IDC_SECONDS, u"99");
    input::click(at(d, IDCANCEL));
  });
  input::click(at(p, IDC_PP_AUTOPRINT_OPTIONS));
  actInNext([](HWND d) {
    input::click(at(d, IDC_SHOW_PREVIEW));
    input::click(at(d, IDCANCEL));
  });
  input::click(at(p, IDC_PP_BUTTONS_OPTIONS));

  EXPECT_FALSE(page.isDirty());
  EXPECT_EQ(statusChanges, 0);
  EXPECT_EQ(rowOf(list, 1, 1), u"Memo.htm");
  EXPECT_TRUE(page.Apply());
  EXPECT_EQ(reread(), m_saved) << "the page's copy kept what the cancelled dialogs changed";

  // The same class edited again shows the template as it was.
  actInNext([](HWND d) {
    EXPECT_EQ(rowOf(at(d, IDC_TEMPLATE_LIST), 0, 1), u"Memo.htm");
    input::click(at(d, IDCANCEL));
  });
  input::clickListRow(list, 1);
  input::click(at(p, IDC_PP_EDIT));
}

TEST_F(OptionsPageTest, FailedApplyShowsTheSaveErrorAndStaysDirtyThenSavesWhenItCan) {
  struct FullDisk : platform::registry::PosixHiveStorage {
    LONG writeDurably(const std::filesystem::path&, std::string_view) override { return ERROR_DISK_FULL; }
  };
  COptionsPage page;
  int statusChanges = 0;
  page.setStatusChange([&] { ++statusChanges; });
  const HWND p = page.Create(m_owner);
  const HWND list = at(p, IDC_PP_LIST);
  m_ui.queueMessageBoxAnswer(IDOK);  // remove IPM.Note
  input::clickListRow(list, 1);
  input::click(at(p, IDC_PP_REMOVE));
  ASSERT_TRUE(page.isDirty());
  EXPECT_EQ(statusChanges, 1);

  platform::registry::setStorageForTesting(std::make_shared<FullDisk>());
  EXPECT_FALSE(page.Apply());
  ASSERT_EQ(m_ui.messageBoxes().size(), 2u);
  EXPECT_EQ(m_ui.messageBoxes()[1].text, u"An error has occurred while saving your settings.");
  EXPECT_EQ(m_ui.messageBoxes()[1].caption, u"Quillmark");
  EXPECT_EQ(m_ui.messageBoxes()[1].type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(page.isDirty());

  platform::registry::setStorageForTesting(nullptr);
  platform::registry::resetForTesting();
  EXPECT_TRUE(page.Apply());
  EXPECT_FALSE(page.isDirty());
  EXPECT_EQ(reread().messageClasses.count(u"IPM.Note"), 0u);
}

}  // namespace

TEST_F(OptionsPageTest, PageSizedBeyondItsTemplateGivesTheRoomToItsListAndKeepsItsMargins) {
  COptionsPage page;
  const HWND p = page.Create(m_owner);
  ASSERT_TRUE(p);
  auto rectOf = [&](int id) {
    RECT r{};
    GetWindowRect(at(p, id), &r);
    return r;
  };
  RECT designed{};
  GetClientRect(p, &designed);
  const RECT list = rectOf(IDC_PP_LIST), remove = rectOf(IDC_PP_REMOVE), other = rectOf(IDC_PP_OTHER_OPTIONS);
  RECT pageAt{};
  GetWindowRect(p, &pageAt);
  const LONG rightMargin = pageAt.left + designed.right - other.right;

  MoveWindow(p, 0, 0, designed.right + 80, designed.bottom + 60, TRUE);
  const RECT grown = rectOf(IDC_PP_LIST);
  EXPECT_EQ(grown.right - grown.left, list.right - list.left + 80);
  EXPECT_EQ(grown.bottom - grown.top, list.bottom - list.top + 60);
  // The buttons keep to the right margin, below the list; the options keep to the bottom.
  EXPECT_EQ(rectOf(IDC_PP_REMOVE).left - remove.left, 80);
  EXPECT_EQ(rectOf(IDC_PP_REMOVE).top - remove.top, 60);
  GetWindowRect(p, &pageAt);
  EXPECT_EQ(pageAt.left + designed.right + 80 - rectOf(IDC_PP_OTHER_OPTIONS).right, rightMargin);
  RECT client{};
  GetClientRect(at(p, IDC_PP_LIST), &client);
  EXPECT_EQ(SendMessageW(at(p, IDC_PP_LIST), LVM_GETCOLUMNWIDTH, 1, 0), client.right - GetSystemMetrics(SM_CXVSCROLL) - 120)
      << "the templates' column fills the wider list";
}
