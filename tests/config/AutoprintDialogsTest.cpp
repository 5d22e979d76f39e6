// The autoprint dialogs: the ordered action list and its seconds, one action's enabling and
// checks, and the action selection that saves actions edited on the way.
#include "config/AutoprintDialogs.h"

#include "tests/config/ConfigDialogFixture.h"

namespace {

using namespace configtest;

class AutoprintDialogsTest : public ConfigDialogTest {
 protected:
  static ActionDetail action(const char16_t* name) {
    ActionDetail a;
    a.displayName = name;
    return a;
  }
};

TEST_F(AutoprintDialogsTest, ActionDialogEnablesEachSectionAndItsDependentControls) {
  for (int bits = 0; bits < 16; ++bits) {
    ActionDetail given;
    given.templateEnabled = bits & 1;
    given.useOutlookTemplate = bits & 2;
    given.attachmentEnabled = bits & 4;
    given.attachmentState = (bits & 8) ? 2 : 1;
    given.displayName = u"Invoices";
    given.printingTemplate = u"/srv/t/Invoice.htm";
    SCOPED_TRACE(bits);
    CDialogQuillmarkAction dialog(given);
    ASSERT_EQ(run(dialog, [&](HWND d) {
                EXPECT_EQ(enabled(d, IDC_PRINT_OPTIONS), given.templateEnabled);
                EXPECT_EQ(enabled(d, IDC_OUTLOOK_LAYOUT), given.templateEnabled);
                EXPECT_EQ(enabled(d, IDC_ACTION_TEMPLATE), given.templateEnabled && !given.useOutlookTemplate);
                EXPECT_EQ(enabled(d, IDC_BROWSE), given.templateEnabled && !given.useOutlookTemplate);
                EXPECT_EQ(enabled(d, IDC_ALL_TYPES), given.attachmentEnabled);
                EXPECT_EQ(enabled(d, IDC_ATTACHMENT_TYPES), given.attachmentEnabled && given.attachmentState == 2);
                EXPECT_EQ(isChecked(d, IDC_SPECIFIED_TYPES), given.attachmentState == 2);
                input::click(at(d, IDOK));
              }),
              IDOK);
    EXPECT_EQ(dialog.getAction(), given);
  }
}

TEST_F(AutoprintDialogsTest, ActionDialogSwitchesLayoutsAndRefusesWhatCannotPrint) {
  m_ui.queueMessageBoxAnswer(IDOK);
  CDialogQuillmarkAction dialog;
  ASSERT_EQ(run(dialog, [](HWND d) {
              EXPECT_TRUE(enabled(d, IDC_ACTION_NAME));
              input::click(at(d, IDC_ENABLE_ITEM));
              EXPECT_FALSE(enabled(d, IDC_ACTION_TEMPLATE)) << "the Outlook-style layout is the default";
              actInNext([](HWND setup) {
                EXPECT_EQ(captionOf(setup), u"Print Options for Template: PAGEPRINT_2057");
                input::click(at(setup, IDCANCEL));
              });
              input::click(at(d, IDC_ACTION_PAGE_SETUP));  // the default template, with an empty path
              input::click(at(d, IDC_TEMPLATE_LAYOUT));
              EXPECT_TRUE(enabled(d, IDC_ACTION_TEMPLATE));
              input::click(at(d, IDC_ACTION_PAGE_SETUP));  // no template yet
              input::click(at(d, IDOK));                   // no name
              input::typeText(at(d, IDC_ACTION_NAME), u"Invoices");
              input::click(at(d, IDOK));  // the template layout without a template
              input::typeText(at(d, IDC_ACTION_TEMPLATE), u"/srv/t/Invoice.htm");
              input::click(at(d, IDC_ENABLE_ATTACHMENTS));
              input::click(at(d, IDC_ALL_EXCEPT_TYPES));
              input::typeText(at(d, IDC_ATTACHMENT_TYPES), u"*.exe");
              input::click(at(d, IDOK));
            }),
            IDOK);
  EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{text(IDS_CONFIGURE_PRINT_TEMPLATE), text(IDS_AUTOPRINT_NAME_REQUIRED),
                                                     text(IDS_TEMPLATE_REQUIRED)}));
  EXPECT_EQ(m_ui.messageBoxes()[1].caption, u"Quillmark action settings");
  const ActionDetail& a = dialog.getAction();
  EXPECT_TRUE(a.templateEnabled && a.attachmentEnabled && !a.useOutlookTemplate);
  EXPECT_EQ(a.attachmentState, 3u);
  EXPECT_EQ(a.attachmentString, u"*.exe");
  EXPECT_EQ(a.printingTemplate, u"/srv/t/Invoice.htm");
}

TEST_F(AutoprintDialogsTest, AutoprintListIsEditedInOrderAndItsSecondsBounded) {
  AutoprintSettings given;
  given.actions = {action(u"First"), action(u"Second")};
  m_ui.queueMessageBoxAnswer(IDOK);  // remove "First"
  CDialogAutoprintSettings dialog(given);
  ASSERT_EQ(run(dialog, [](HWND d) {
              const HWND list = at(d, IDC_ACTION_LIST);
              EXPECT_EQ(textOf(d, IDC_SECONDS), u"4");
              actInNext([](HWND a) {
                input::typeText(at(a, IDC_ACTION_NAME), u"Third");
                input::click(at(a, IDOK));
              });
              input::click(at(d, IDC_ACTION_ADD));
              input::clickListRow(list, 2);
              input::clickUpDown(at(d, IDC_ACTION_UPDOWN), true);
              input::clickListRow(list, 0);
              input::pressKey(list, VK_DELETE);
              EXPECT_EQ(rowOf(list, 0), u"Third");
              for (const char16_t* refused : {u" 4", u"4a", u"", u"429496730"}) {
                retype(d, IDC_SECONDS, refused);
                input::click(at(d, IDOK));
                EXPECT_EQ(GetFocus(), at(d, IDC_SECONDS));
              }
              retype(d, IDC_SECONDS, u"0004");
              input::click(at(d, IDOK));
            }),
            IDOK);
  ASSERT_EQ(m_ui.messageBoxes().size(), 5u);
  EXPECT_EQ(m_ui.messageBoxes()[0].text, text(IDS_CONFIRM_REMOVE_ACTION, u"First"));
  EXPECT_EQ(m_ui.messageBoxes()[1].text, text(IDS_INVALID_ATTACHMENT_SECONDS));
  EXPECT_EQ(m_ui.messageBoxes()[1].type, MB_ICONERROR);
  ASSERT_EQ(dialog.getActions().size(), 2u);
  EXPECT_EQ(dialog.getActions()[0].displayName, u"Third");
  EXPECT_EQ(dialog.getActions()[1], action(u"Second"));
  EXPECT_EQ(dialog.getSeconds(), 4u);
}

TEST_F(AutoprintDialogsTest, SelectionSavesEditedActionsBeforeAnsweringTheChosenName) {
  SettingsData data = CSettings::instance().getSettingsData();
  data.autoprint.actions = {action(u"Invoices")};
  ASSERT_TRUE(CSettings::instance().save(data));

  CDialogActionSelection dialog;
  ASSERT_EQ(run(dialog, [](HWND d) {
              const HWND list = at(d, IDC_ACTION_CHOICE_LIST);
              EXPECT_EQ(ListView_GetItemCount(list), 1);
              input::click(at(d, IDOK));  // nothing chosen
              actInNext([](HWND settings) {
                actInNext([](HWND a) {
                  input::typeText(at(a, IDC_ACTION_NAME), u"Receipts");
                  input::click(at(a, IDOK));
                });
                input::click(at(settings, IDC_ACTION_ADD));
                retype(settings, IDC_SECONDS, u"9");
                input::click(at(settings, IDOK));
              });
              input::click(at(d, IDC_EDIT_SETTINGS));
              EXPECT_EQ(rowOf(list, 1), u"Receipts");
              input::doubleClickListRow(list, 1);
            }),
            IDOK);
  EXPECT_EQ(dialog.getChosenName(), u"Receipts");
  ASSERT_EQ(m_ui.messageBoxes().size(), 1u);
  EXPECT_EQ(m_ui.messageBoxes()[0].text, text(IDS_SELECT_AUTOPRINT_ACTION));
  EXPECT_EQ(m_ui.messageBoxes()[0].caption, u"Quillmark Action Selection");
  CSettings::resetForTesting();
  const AutoprintSettings& read = CSettings::instance().getAutoprintSettings();
  ASSERT_EQ(read.actions.size(), 2u);
  EXPECT_EQ(read.actions[1].displayName, u"Receipts");
  EXPECT_EQ(read.numSeconds, 9u);
}

TEST_F(AutoprintDialogsTest, SelectionWhoseSaveFailsSaysSoAndStaysOpen) {
  struct FullDisk : platform::registry::PosixHiveStorage {
    LONG writeDurably(const std::filesystem::path&, std::string_view) override { return ERROR_DISK_FULL; }
  };
  CSettings::instance();
  platform::registry::setStorageForTesting(std::make_shared<FullDisk>());
  CDialogActionSelection dialog;
  ASSERT_EQ(run(dialog, [](HWND d) {
              actInNext([](HWND settings) {
                actInNext([](HWND a) {
                  input::typeText(at(a, IDC_ACTION_NAME), u"Receipts");
                  input::click(at(a, IDOK));
                });
                input::click(at(settings, IDC_ACTION_ADD));
                input::click(at(settings, IDOK));
              });
              input::click(at(d, IDC_EDIT_SETTINGS));
              input::clickListRow(at(d, IDC_ACTION_CHOICE_LIST), 0);
              input::click(at(d, IDOK));
              EXPECT_TRUE(IsWindowVisible(d));
              input::click(at(d, IDCANCEL));
            }),
            IDCANCEL);
  ASSERT_EQ(m_ui.messageBoxes().size(), 1u);
  EXPECT_EQ(m_ui.messageBoxes()[0].text, text(IDS_SAVE_SETTINGS_FAILED));
}

}  // namespace
