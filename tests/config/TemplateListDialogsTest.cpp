// The template list dialogs driven as a person uses them: a new class chosen and given ordered
// templates that survive a save and a re-read, an edit that is cancelled, the item type chooser,
// and the template dialog's browse and page setup.
#include "config/TemplateListDialogs.h"

#include <boost/make_shared.hpp>

#include "config/EditRules.h"
#include "config/PrintOptionsDialogs.h"
#include "tests/config/ConfigDialogFixture.h"

namespace {

using namespace configtest;

class TemplateListDialogsTest : public ConfigDialogTest {
 protected:
  // Adds a template through "Add..." and dialog 119.
  static void addTemplate(HWND list, std::u16string name, std::u16string path, bool multiItem) {
    actInNext([=](HWND t) {
      EXPECT_EQ(captionOf(t), u"New Quillmark Template");
      input::typeText(at(t, IDC_TEMPLATE_NAME), name);
      input::typeText(at(t, IDC_TEMPLATE_PATH), path);
      if (multiItem) input::click(at(t, IDC_MULTI_ITEM));
      input::click(at(t, IDOK));
    });
    input::click(at(GetParent(list), IDC_TEMPLATE_ADD));
  }
  static std::vector<std::u16string> rows(HWND list, int column) {
    std::vector<std::u16string> texts;
    for (int row = 0; row < ListView_GetItemCount(list); ++row) texts.push_back(rowOf(list, row, column));
    return texts;
  }
};

TEST_F(TemplateListDialogsTest, NewClassGetsOrderedTemplatesThatSurviveSaveAndReread) {
  m_ui.queueMessageBoxAnswer(IDOK);      // no class yet
  m_ui.queueMessageBoxAnswer(IDOK);      // a class with a backslash
  m_ui.queueMessageBoxAnswer(IDCANCEL);  // remove: declined
  m_ui.queueMessageBoxAnswer(IDOK);      // remove: accepted
  CDialogQuillMarkTemplates dialog;
  const int result = run(dialog, [&](HWND d) {
    EXPECT_EQ(captionOf(d), u"Add Supported Outlook Item");
    EXPECT_FALSE(enabled(d, IDC_CLASS_EDIT));
    input::click(at(d, IDOK));
    actInNext([](HWND chooser) {
      EXPECT_TRUE(isChecked(chooser, IDC_STANDARD_ITEMS));
      EXPECT_EQ(NConfig::selectedRow(at(chooser, IDC_STANDARD_LIST)), 0);
      EXPECT_TRUE(enabled(chooser, IDOK));
      input::click(at(chooser, IDC_CUSTOM_CLASS));
      EXPECT_FALSE(enabled(chooser, IDOK)) << "custom mode with an empty edit";
      EXPECT_FALSE(enabled(chooser, IDC_STANDARD_LIST));
      input::typeText(at(chooser, IDC_CUSTOM_CLASS_EDIT), u"IPM\\Survey");
      EXPECT_TRUE(enabled(chooser, IDOK));
      input::click(at(chooser, IDOK));
      retype(chooser, IDC_CUSTOM_CLASS_EDIT, u"IPM.Note.Survey");
      input::click(at(chooser, IDOK));
    });
    input::click(at(d, IDC_CHANGE_CLASS));
    EXPECT_EQ(textOf(d, IDC_CLASS_EDIT), u"IPM.Note.Survey");
    EXPECT_EQ(captionOf(d), u"Edit : Message") << "the caption names the form of the class";

    const HWND list = at(d, IDC_TEMPLATE_LIST);
    addTemplate(list, u"Ledger", u"/srv/t/Ledger.htm", true);
    addTemplate(list, u"", u"/srv/t/Memo.htm", false);
    addTemplate(list, u"Third", u"/srv/t/Third.htm", false);
    EXPECT_EQ(rows(list, 0), (std::vector<std::u16string>{u"Ledger", u"Memo.htm", u"Third"}));
    EXPECT_EQ(rows(list, 1), (std::vector<std::u16string>{u"Ledger.htm", u"Memo.htm", u"Third.htm"}));
    EXPECT_EQ(rows(list, 2), (std::vector<std::u16string>{u"Multi Item", u"Memo", u"Memo"}));

    const HWND upDown = at(d, IDC_TEMPLATE_UPDOWN);
    input::clickListRow(list, 2);
    input::clickUpDown(upDown, true);
    EXPECT_EQ(NConfig::selectedRow(list), 1) << "the moved template stays selected";
    input::clickUpDown(upDown, true);
    input::clickUpDown(upDown, true);  // on the first row: nothing
    EXPECT_EQ(NConfig::selectedRow(list), 0);
    input::clickListRow(list, 2);
    input::clickUpDown(upDown, false);  // on the last row: nothing
    EXPECT_EQ(rows(list, 0), (std::vector<std::u16string>{u"Third", u"Ledger", u"Memo.htm"}));

    input::clickListRow(list, -1);
    input::pressKey(list, VK_DELETE);  // no selection: nothing asked
    input::clickListRow(list, 1);
    input::pressKey(list, VK_DELETE);
    input::click(at(d, IDC_TEMPLATE_REMOVE));
    EXPECT_EQ(rows(list, 0), (std::vector<std::u16string>{u"Third", u"Memo.htm"}));
    input::click(at(d, IDOK));
  });
  ASSERT_EQ(result, IDOK);
  EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{text(IDS_ENTER_MESSAGE_CLASS), text(IDS_INVALID_MESSAGE_CLASS),
                                                     text(IDS_CONFIRM_REMOVE_TEMPLATE, u"Ledger"),
                                                     text(IDS_CONFIRM_REMOVE_TEMPLATE, u"Ledger")}));
  EXPECT_EQ(m_ui.messageBoxes()[0].caption, u"Add Supported Outlook Item");
  EXPECT_EQ(m_ui.messageBoxes()[0].type, MB_ICONEXCLAMATION);
  EXPECT_EQ(m_ui.messageBoxes()[2].caption, u"Quillmark");
  EXPECT_EQ(m_ui.messageBoxes()[2].type, MB_OKCANCEL | MB_ICONQUESTION);
  EXPECT_EQ(dialog.getResultClass(), u"IPM.Note.Survey");

  SettingsData data = CSettings::instance().getSettingsData();
  data.messageClasses[dialog.getResultClass()] = dialog.getSettings();
  ASSERT_TRUE(CSettings::instance().save(data));
  CSettings::resetForTesting();
  const auto& read = CSettings::instance().getSettingsData().messageClasses;
  ASSERT_TRUE(read.count(u"IPM.Note.Survey"));
  const auto& templates = read.at(u"IPM.Note.Survey")->templates;
  ASSERT_EQ(templates.size(), 2u);
  EXPECT_EQ(templates[0].displayName, u"Third");
  EXPECT_EQ(templates[1].printingTemplate, u"/srv/t/Memo.htm");
  EXPECT_FALSE(templates[1].isFolder);
}

TEST_F(TemplateListDialogsTest, EditingTheDefaultClassThenCancellingChangesNothingGiven) {
  auto given = boost::make_shared<MessageClassSettings>();
  given->templates = {{u"Memo", u"/srv/t/Memo.htm", false, {}}};
  const MessageClassSettings before = *given;
  CDialogQuillMarkTemplates dialog(kDefaultMessageClass, given);
  const int result = run(dialog, [&](HWND d) {
    EXPECT_EQ(textOf(d, IDC_CLASS_EDIT), text(IDS_DEFAULT_CLASS));
    EXPECT_FALSE(enabled(d, IDC_CHANGE_CLASS));
    EXPECT_EQ(captionOf(d), u"Edit : <Default>");
    const HWND list = at(d, IDC_TEMPLATE_LIST);
    actInNext([](HWND t) {
      EXPECT_EQ(captionOf(t), u"Edit Quillmark Template : 'Memo'");
      EXPECT_TRUE(isChecked(t, IDC_MEMO_STYLE));
      retype(t, IDC_TEMPLATE_NAME, u"Letter");
      input::click(at(t, IDC_MULTI_ITEM));
      actInNext([](HWND options) {
        input::click(at(options, IDC_PRINT_PAGES));
        retype(options, IDC_PAGE_RANGE, u"3-4");
        input::click(at(options, IDOK));
      });
      input::click(at(t, IDC_PRINT_OPTIONS));
      input::click(at(t, IDOK));
    });
    input::doubleClickListRow(list, 0);
    EXPECT_EQ(rowOf(list, 0), u"Letter");
    EXPECT_EQ(rowOf(list, 0, 2), u"Multi Item");
    input::click(at(d, IDCANCEL));
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(*given, before);
  EXPECT_TRUE(m_ui.messageBoxes().empty());

  // The same edit accepted reaches the list given, print options included.
  CDialogQuillMarkTemplate edit(given->templates[0]);
  run(edit, [](HWND t) {
    actInNext([](HWND options) {
      input::click(at(options, IDC_PRINT_PAGES));
      retype(options, IDC_PAGE_RANGE, u"3-4");
      input::click(at(options, IDOK));
    });
    input::click(at(t, IDC_PRINT_OPTIONS));
    input::click(at(t, IDOK));
  });
  EXPECT_EQ(edit.getDetail().printOptions, (PrintOptions{3, 4, 1, 0}));
}

TEST_F(TemplateListDialogsTest, StandardItemTypeIsChosenByDoubleClick) {
  CAddOutlookItem chooser;
  ASSERT_EQ(run(chooser, [](HWND d) {
              const HWND list = at(d, IDC_STANDARD_LIST);
              EXPECT_EQ(ListView_GetItemCount(list), 9);
              input::clickListRow(list, -1);
              EXPECT_FALSE(enabled(d, IDOK)) << "no row selected";
              input::doubleClickListRow(list, 2);
            }),
            IDOK);
  EXPECT_EQ(chooser.getClass(), u"IPM.Contact");
}

TEST_F(TemplateListDialogsTest, TemplateDialogBrowsesAndSetsUpThePageOfThePathAsTyped) {
  CSettings::instance().setMRUBrowseFolder(u"/srv/last/");
  m_ui.queueFile(u"/srv/new/Report.htm");
  CDialogQuillMarkTemplate dialog;
  const int result = run(dialog, [&](HWND d) {
    input::click(at(d, IDOK));  // no template
    input::click(at(d, IDC_PAGE_SETUP));
    input::typeText(at(d, IDC_TEMPLATE_PATH), u"/srv/");
    input::click(at(d, IDC_PAGE_SETUP));  // a folder: no file name to keep settings under
    input::clearText(at(d, IDC_TEMPLATE_PATH));
    input::click(at(d, IDC_BROWSE));
    EXPECT_EQ(textOf(d, IDC_TEMPLATE_PATH), u"/srv/new/Report.htm");
    retype(d, IDC_TEMPLATE_PATH, u"/srv/new/Invoice.htm");
    actInNext([](HWND setup) {
      EXPECT_EQ(captionOf(setup), u"Print Options for Template: Invoice");
      input::click(at(setup, IDOK));
    });
    input::click(at(d, IDC_PAGE_SETUP));
    input::click(at(d, IDOK));
  });
  ASSERT_EQ(result, IDOK);
  EXPECT_EQ(dialog.getDetail().printingTemplate, u"/srv/new/Invoice.htm");
  EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{text(IDS_TEMPLATE_REQUIRED), text(IDS_CONFIGURE_PRINT_TEMPLATE),
                                                     text(IDS_CONFIGURE_PRINT_TEMPLATE)}));
  EXPECT_EQ(m_ui.messageBoxes()[1].caption, u"New Quillmark Template");
  ASSERT_EQ(m_ui.fileRequests().size(), 1u);
  EXPECT_EQ(m_ui.fileRequests()[0].initialDir, u"/srv/last/");
  EXPECT_EQ(m_ui.fileRequests()[0].title, u"Select Quillmark Template");
  EXPECT_EQ(CSettings::instance().getMRUBrowseFolder(), u"/srv/new/");
  CRegKey written;
  EXPECT_EQ(written.Open(HKEY_CURRENT_USER, (CDialogPageSetup::settingsKeyPath(u"Invoice") + u"\\1033").c_str(), KEY_READ),
            ERROR_SUCCESS);
}

}  // namespace
