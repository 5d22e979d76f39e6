// The button dialogs and the other options: quick buttons listed and shown, the restart message,
// one button's checks, and the options whose controls depend on the user's rights and choices; and
// the path edits of the dialogs that name a file, completing what is typed.
#include "config/AutoprintDialogs.h"
#include "config/ButtonDialogs.h"
#include "config/OtherOptionsDialog.h"
#include "config/TemplateListDialogs.h"

#include <fstream>

#include "tests/config/ConfigDialogFixture.h"

namespace {

using namespace configtest;

class ButtonAndOtherDialogsTest : public ConfigDialogTest {};

TEST_F(ButtonAndOtherDialogsTest, ButtonManagerListsThreeQuickButtonsAndAsksForARestartOnlyForMenuOrToolbar) {
  ButtonSettings given;
  given.buttons.resize(4);
  for (std::size_t i = 0; i < 4; ++i) {
    given.buttons[i].showButton = true;
    given.buttons[i].displayName = u"Button " + quilstring::fromUtf8(std::to_string(i));
  }
  given.buttons[1].showButton = false;
  struct Case {
    int box;  // the check box clicked, 0 for none
    bool restart;
  };
  for (const Case& c : {Case{0, false}, Case{IDC_SHOW_PREVIEW, false}, Case{IDC_USE_OUTLOOK_BUTTONS, false},
                        Case{IDC_BUTTONS_IN_MENU, true}, Case{IDC_CREATE_TOOLBAR, true}}) {
    SCOPED_TRACE(c.box);
    testsupport::ScriptedUi ui;
    CDialogButtonManager dialog(given);
    ASSERT_EQ(run(dialog, [&](HWND d) {
                const HWND list = at(d, IDC_QUICK_BUTTON_LIST);
                EXPECT_EQ(ListView_GetItemCount(list), 3);
                EXPECT_EQ(rowOf(list, 2), u"Quick Button 3");
                EXPECT_EQ(rowOf(list, 2, 1), u"Button 2");
                EXPECT_FALSE(ListView_GetCheckState(list, 1));
                EXPECT_TRUE(isChecked(d, IDC_CREATE_TOOLBAR));
                if (c.box) input::click(at(d, c.box));
                input::clickListCheckBox(list, 1);
                input::click(at(d, IDOK));
              }),
              IDOK);
    ASSERT_EQ(ui.messageBoxes().size(), c.restart ? 1u : 0u);
    if (c.restart) {
      EXPECT_EQ(ui.messageBoxes()[0].text, text(IDS_RESTART_OUTLOOK));
    }
    const ButtonSettings& result = dialog.getSettings();
    EXPECT_TRUE(result.buttons[1].showButton);
    EXPECT_FALSE(result.buttons[3].showButton) << "a button without a row is not shown";
    EXPECT_EQ(result.buttons[0].action.displayName, u"Quick Button 1");
    EXPECT_EQ(result.buttons[3].action.displayName, u"");
    EXPECT_EQ(result.displayPreviewButton, c.box != IDC_SHOW_PREVIEW);
    EXPECT_EQ(result.buttonsInMenu, c.box == IDC_BUTTONS_IN_MENU);
  }

  // Edit then Cancel changes nothing; Cancel of the manager leaves the record given.
  CDialogButtonManager dialog(given);
  ASSERT_EQ(run(dialog, [](HWND d) {
              actInNext([](HWND b) {
                retype(b, IDC_BUTTON_NAME, u"Changed");
                input::click(at(b, IDCANCEL));
              });
              input::doubleClickListRow(at(d, IDC_QUICK_BUTTON_LIST), 0);
              EXPECT_EQ(rowOf(at(d, IDC_QUICK_BUTTON_LIST), 0, 1), u"Button 0");
              input::click(at(d, IDCANCEL));
            }),
            IDCANCEL);
}

TEST_F(ButtonAndOtherDialogsTest, QuickButtonRefusesBadFaceIdsAndEditsItsActionWithAFixedName) {
  CustomButton given;
  given.printOperation = 3;
  given.action.displayName = u"Quick Button 1";
  m_ui.queueMessageBoxAnswer(IDOK);
  CDialogCustomButton dialog(given);
  ASSERT_EQ(run(dialog, [](HWND d) {
              EXPECT_EQ(textOf(d, IDC_FACEID), u"");
              for (int id : {IDC_OP_DIALOG, IDC_OP_PREVIEW, IDC_OP_QUICK}) EXPECT_FALSE(isChecked(d, id));
              EXPECT_TRUE(enabled(d, IDC_SELECT_ATTACHMENTS));
              input::click(at(d, IDC_SELECT_ATTACHMENTS));
              input::click(at(d, IDC_SHOW_ATTACHMENT_DIALOG));
              EXPECT_FALSE(enabled(d, IDC_SELECT_ATTACHMENTS));
              EXPECT_TRUE(isChecked(d, IDC_SELECT_ATTACHMENTS)) << "disabled, not cleared";
              for (const char16_t* refused : {u"12a", u"2147483648"}) {
                retype(d, IDC_FACEID, refused);
                input::click(at(d, IDOK));
                EXPECT_EQ(GetFocus(), at(d, IDC_FACEID));
              }
              retype(d, IDC_FACEID, u"0");
              input::click(at(d, IDOK));  // neither a name nor a FaceId
              actInNext([](HWND a) {
                EXPECT_FALSE(enabled(a, IDC_ACTION_NAME));
                EXPECT_EQ(textOf(a, IDC_ACTION_NAME), u"Quick Button 1");
                input::click(at(a, IDC_ENABLE_ATTACHMENTS));
                input::click(at(a, IDOK));
              });
              input::click(at(d, IDC_ACTION_SETTINGS));
              retype(d, IDC_FACEID, u"2147483647");
              input::click(at(d, IDOK));
            }),
            IDOK);
  EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{text(IDS_FACEID_NOT_A_NUMBER), text(IDS_FACEID_NOT_A_NUMBER),
                                                     text(IDS_QUICK_BUTTON_NAME_REQUIRED)}));
  EXPECT_EQ(m_ui.messageBoxes()[0].caption, u"Quillmark");
  EXPECT_EQ(m_ui.messageBoxes()[2].caption, u"Edit Quick Button");
  const CustomButton& b = dialog.getButton();
  EXPECT_EQ(b.faceId, 2147483647u);
  EXPECT_EQ(b.printOperation, 2u) << "no radio checked stores quick print";
  EXPECT_FALSE(b.showAttachmentDialog);
  EXPECT_TRUE(b.selectAttachments);
  EXPECT_TRUE(b.action.attachmentEnabled);
  EXPECT_EQ(b.action.displayName, u"Quick Button 1");
}

TEST_F(ButtonAndOtherDialogsTest, OtherOptionsFollowTheUsersRightsAndKeepThePathWhenLoggingIsOff) {
  struct ReadOnlyMachine : platform::registry::PosixHiveStorage {
    bool canWrite(const std::filesystem::path& file) override {
      return file.filename() != "machine.reg" && PosixHiveStorage::canWrite(file);
    }
  };
  for (bool machineWritable : {true, false}) {
    SCOPED_TRACE(machineWritable);
    CSettings::resetForTesting();
    platform::registry::setStorageForTesting(machineWritable ? nullptr : std::make_shared<ReadOnlyMachine>());
    OtherOptions given;
    given.enableLogging = true;
    given.logPath = u"/var/log/quillmark.log";
    CDialogOtherOptions dialog(given);
    ASSERT_EQ(run(dialog, [&](HWND d) {
                EXPECT_EQ(enabled(d, IDC_ALLOW_USER_SETTINGS), machineWritable);
                EXPECT_TRUE(isChecked(d, IDC_ALLOW_USER_SETTINGS));
                EXPECT_TRUE(enabled(d, IDC_LOG_PATH));
                input::click(at(d, IDC_ENABLE_LOGGING));
                EXPECT_FALSE(enabled(d, IDC_LOG_PATH));
                input::click(at(d, IDC_TIDY_HTML));
                input::click(at(d, IDOK));
              }),
              IDOK);
    EXPECT_EQ(dialog.getOptions(), (OtherOptions{true, false, false, u"/var/log/quillmark.log"}));
  }
}

// The template, action and log path edits offer the typed folder's entries that begin with what
// follows its last '/'.
TEST_F(ButtonAndOtherDialogsTest, PathEditsOfferTheEntriesOfTheTypedFolder) {
  const std::filesystem::path folder = dir() / "Templates";
  std::filesystem::create_directories(folder / "Memos");
  for (const char* name : {"Memo.htm", "memo list.htm", "Table.htm"}) std::ofstream(folder / name) << "x";
  const quilstring typed = quilstring::fromUtf8((folder / "me").string());
  const std::vector<std::u16string> expected = {quilstring::fromUtf8((folder / "Memo.htm").string()),
                                                quilstring::fromUtf8((folder / "Memos").string()) + u"/",
                                                quilstring::fromUtf8((folder / "memo list.htm").string())};
  const auto offered = [&](int edit) {
    return [&, edit](HWND d) {
      retype(d, edit, typed);
      EXPECT_EQ(input::offeredCompletions(at(d, edit)), expected);
      retype(d, edit, u"relative/me");
      EXPECT_TRUE(input::offeredCompletions(at(d, edit)).empty());
      SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    };
  };
  testsupport::ScriptedUi ui;
  CDialogQuillMarkTemplate templateDialog;
  EXPECT_EQ(run(templateDialog, offered(IDC_TEMPLATE_PATH)), IDCANCEL);
  ActionDetail given;
  given.templateEnabled = true;
  given.useOutlookTemplate = false;
  CDialogQuillmarkAction action(given);
  EXPECT_EQ(run(action, offered(IDC_ACTION_TEMPLATE)), IDCANCEL);
  OtherOptions options;
  options.enableLogging = true;
  CDialogOtherOptions other(options);
  EXPECT_EQ(run(other, offered(IDC_LOG_PATH)), IDCANCEL);
}

}  // namespace
