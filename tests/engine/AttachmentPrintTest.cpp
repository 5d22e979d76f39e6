// Printing attachments: the two dialogs on the headless desktop with a person acting in them, the
// view they remember, the attachments of a window's items and a custom button's per-item print,
// printed through a shell that records what it is asked.
#include "engine/AttachmentPrint.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/Message.h"
#include "foundation/Log.h"
#include "platform/loop/MessageLoop.h"
#include "platform/registry/RegKey.h"
#include "platform/system/Diagnostics.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/UserInput.h"
#include "resources/resource.h"
#include "tests/engine/MessageFixtures.h"
#include "tests/engine/PrintJobFixtures.h"
#include "tests/support/FakeShell.h"

namespace {

namespace input = platform::ui::input;

class AttachmentPrintTest : public enginetest::PrintJobTest {
 protected:
  void SetUp() override {
    PrintJobTest::SetUp();
    ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
    CAttachmentsDialog::allowHeadlessForTesting(true);
  }
  void TearDown() override {
    CAttachmentsDialog::allowHeadlessForTesting(false);
    PrintJobTest::TearDown();
  }

  // `act` works in the next dialog that opens; a dialog it leaves open is closed (and fails).
  static void actInNext(std::function<void(HWND)> act) {
    platform::loop::post([act = std::move(act)] {
      const HWND dialog = GetActiveWindow();
      act(dialog);
      if (IsWindow(dialog) && IsWindowVisible(dialog)) {
        ADD_FAILURE() << "the dialog was left open";
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      }
    });
  }
  static void click(HWND dialog, int id) { EXPECT_TRUE(input::click(GetDlgItem(dialog, id))); }
  static std::u16string rowOf(HWND list, int row) {
    char16_t buffer[520] = {};
    ListView_GetItemText(list, row, 0, buffer, 520);
    return buffer;
  }

  // A message with the attachments (and its files in the temporary folder).
  CMessagePtr message(const std::vector<testsupport::MsgAttachment>& attachments) {
    testsupport::MsgDescription description;
    description.attachments = attachments;
    m_items.push_back(enginetest::itemOf(enginetest::openDescription(description)));
    return boost::make_shared<CMessage>(m_items.back());
  }
  static AttachmentList attachments(const std::vector<std::u16string>& names) {
    AttachmentList list;
    for (const auto& name : names) list.push_back(boost::make_shared<AttachmentData>(AttachmentData{name, u"/tmp/" + name, true}));
    return list;
  }
  // "Attachments Selection View" as the user's key holds it; nothing when it is not there.
  static std::optional<DWORD> storedView(const char16_t* name = u"Attachments Selection View") {
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, kProductKey, KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    DWORD value = 0;
    if (key.QueryDWORDValue(name, value) != ERROR_SUCCESS) return std::nullopt;
    return value;
  }
  std::vector<std::u16string> printedFiles() const {
    std::vector<std::u16string> files;
    for (const auto& request : m_shell.requests()) {
      EXPECT_EQ(request.verb, u"Print");
      files.push_back(request.file);
    }
    return files;
  }

  std::vector<enginetest::FakePtr> m_items;
  testsupport::FakeShell m_shell;
  testsupport::ScriptedUi m_ui;
};

TEST_F(AttachmentPrintTest, TheStoredViewOpensItsDialogAndASwitchThenCloseStoresOnlyTheOtherView) {
  AttachmentList list = attachments({u"a.pdf", u"b.txt"});
  struct Case {
    bool stored;
    int listId;
  };
  for (const Case c : {Case{true, IDC_ATTACHMENTS_LIST}, Case{false, IDC_COMPLEX_LIST}}) {
    SCOPED_TRACE(c.stored);
    CSettings::instance().setAttachmentsSelectionView(c.stored);
    bool shown = false;
    actInNext([&](HWND dialog) {
      shown = GetDlgItem(dialog, c.listId) != nullptr;
      EXPECT_EQ(ListView_GetItemCount(GetDlgItem(dialog, c.listId)), 2);
      click(dialog, IDCANCEL);
    });
    EXPECT_EQ(NAttachmentPrint::showAttachmentsDialog(list, false, m_activeWindow), IDCANCEL);
    EXPECT_TRUE(shown);
  }
  // Closing a dialog that no switch opened stores nothing.
  EXPECT_FALSE(storedView());

  // 135 (the stored view) switched to 112, closed there: the view is 112 and nothing else is written.
  bool switchedTo112 = false;
  actInNext([&](HWND dialog) {
    actInNext([&](HWND second) {
      switchedTo112 = GetDlgItem(second, IDC_ATTACHMENTS_LIST) != nullptr;
      click(second, IDCANCEL);
    });
    click(dialog, IDC_SELECTION_VIEW);
  });
  EXPECT_EQ(NAttachmentPrint::showAttachmentsDialog(list, false, m_activeWindow), IDCANCEL);
  EXPECT_TRUE(switchedTo112);
  EXPECT_EQ(storedView(), 1u);
  EXPECT_TRUE(CSettings::instance().getAttachmentsSelectionView());
  EXPECT_FALSE(storedView(u"Use Outlook buttons"));
  CRegKey buttons;
  EXPECT_NE(buttons.Open(HKEY_CURRENT_USER, (quilstring(kProductKey) + u"\\Custom Buttons").c_str(), KEY_READ),
            ERROR_SUCCESS);

  // And back: 112 switched to 135 and closed stores 135.
  actInNext([&](HWND dialog) {
    actInNext([&](HWND second) { click(second, IDCANCEL); });
    click(dialog, IDC_LIST_VIEW);
  });
  NAttachmentPrint::showAttachmentsDialog(list, false, m_activeWindow);
  EXPECT_EQ(storedView(), 0u);
  EXPECT_TRUE(m_shell.requests().empty());
}

TEST_F(AttachmentPrintTest, SelectionViewPrintsTheSelectedFilesAndNeedsASelection) {
  AttachmentList list = attachments({u"a.pdf", u"b.txt", u"c.doc"});
  actInNext([&](HWND dialog) {
    const HWND rows = GetDlgItem(dialog, IDC_ATTACHMENTS_LIST);
    EXPECT_EQ(rowOf(rows, 2), u"c.doc");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_ATTACHMENTS_PRINT)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_PRINT_AND_CLOSE)));
    EXPECT_TRUE(input::clickListRow(rows, 1));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_PRINT_AND_CLOSE)));
    click(dialog, IDC_ATTACHMENTS_PRINT);  // stays open
    EXPECT_TRUE(IsWindowVisible(dialog));
    click(dialog, IDC_PRINT_AND_CLOSE);
  });
  EXPECT_EQ(NAttachmentPrint::showAttachmentsDialog(list, false, true, m_activeWindow), 0);
  EXPECT_EQ(printedFiles(), (std::vector<std::u16string>{u"/tmp/b.txt", u"/tmp/b.txt"}));
  // A printed file outlives its message; the others still go with it.
  EXPECT_FALSE(list[1]->temporary);
  EXPECT_TRUE(list[0]->temporary);
}

TEST_F(AttachmentPrintTest, ListViewPrintsTheCheckedRowsAndNamesTheFilesThatDidNotPrint) {
  AttachmentList list = attachments({u"a.pdf", u"b.txt", u"c.doc"});
  m_shell.setAnswer(ERROR_NO_ASSOCIATION);
  actInNext([&](HWND dialog) {
    const HWND rows = GetDlgItem(dialog, IDC_COMPLEX_LIST);
    click(dialog, IDOK);  // nothing checked prints nothing
    EXPECT_TRUE(input::clickListRow(rows, 2));  // the label toggles the row's check box
    EXPECT_TRUE(ListView_GetCheckState(rows, 2));
    EXPECT_TRUE(input::clickListCheckBox(rows, 0));
    EXPECT_TRUE(input::clickListCheckBox(rows, 0));  // and the box itself toggles it only once
    EXPECT_FALSE(ListView_GetCheckState(rows, 0));
    click(dialog, IDC_PRINT_AND_CLOSE);
  });
  EXPECT_EQ(NAttachmentPrint::showAttachmentsDialog(list, false, false, m_activeWindow), 0);
  EXPECT_EQ(printedFiles(), (std::vector<std::u16string>{u"/tmp/c.doc"}));
  ASSERT_EQ(m_ui.messageBoxes().size(), 1u);
  EXPECT_NE(m_ui.messageBoxes()[0].text.find(u"c.doc"), std::u16string::npos);
  EXPECT_NE(platform::diag::lastFailure().find("/tmp/c.doc"), std::string::npos);

  m_shell.setAnswer(ERROR_SUCCESS);
  actInNext([&](HWND dialog) {
    EXPECT_TRUE(ListView_GetCheckState(GetDlgItem(dialog, IDC_COMPLEX_LIST), 1));  // select all: every row checked
    click(dialog, IDC_SELECT_ALL);
    click(dialog, IDC_PRINT_AND_CLOSE);
  });
  NAttachmentPrint::showAttachmentsDialog(list, true, false, m_activeWindow);
  EXPECT_EQ(printedFiles().size(), 4u);
}

TEST_F(AttachmentPrintTest, InlinePicturesAreNotOffered) {
  testsupport::MsgDescription description;
  description.attachments = {enginetest::byValue(u"logo.png", "png", u"logo@example"),
                             enginetest::byValue(u"report.pdf", "%PDF-1.4")};
  m_items.push_back(enginetest::itemOf(enginetest::openDescription(description)));
  std::vector<std::u16string> offered;
  actInNext([&](HWND dialog) {
    const HWND rows = GetDlgItem(dialog, IDC_COMPLEX_LIST);
    for (int row = 0; row < ListView_GetItemCount(rows); ++row) offered.push_back(rowOf(rows, row));
    click(dialog, IDCANCEL);
  });
  EXPECT_TRUE(NAttachmentPrint::printAttachmentsOfItems({std::make_shared<COutlookItem>(m_items.back())}, m_activeWindow));
  EXPECT_EQ(offered, (std::vector<std::u16string>{u"report.pdf"}));
}

TEST_F(AttachmentPrintTest, CustomButtonPrintsTheItemThenItsAttachmentsAndNothingAfterAFailedItem) {
  testsupport::MsgDescription description;
  description.attachments = {enginetest::byValue(u"one.pdf", "%PDF-1.4"), enginetest::byValue(u"two.txt", "text"),
                             enginetest::byValue(u"logo.png", "png", u"logo@example")};
  m_items.push_back(enginetest::itemOf(enginetest::openDescription(description)));
  CustomButton button;
  button.printOperation = 2;
  button.showAttachmentDialog = false;
  button.action.templateEnabled = button.action.attachmentEnabled = true;
  button.action.useOutlookTemplate = false;
  button.action.printingTemplate = u"/srv/templates/Invoice.htm";
  button.action.attachmentState = 1;
  button.action.printOptions.pageTo = 3;

  struct Call {
    int mode;
    quilstring templatePath;
    std::size_t shellRequestsBefore;
    bool hasRange;
  };
  std::vector<Call> calls;
  bool itemPrints = true;
  const NAttachmentPrint::ItemPrinter printItem = [&](CPrintInfo& job, int mode, const quilstring& path) {
    calls.push_back({mode, path, m_shell.requests().size(), job.getRange() && job.getRange()->pageTo == 3});
    return itemPrints;
  };
  EXPECT_TRUE(NAttachmentPrint::printWithCustomButton(button, m_items.back(), printItem, m_activeWindow));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].mode, kModePrint);
  EXPECT_EQ(calls[0].templatePath, u"/srv/templates/Invoice.htm");
  EXPECT_TRUE(calls[0].hasRange);
  EXPECT_EQ(calls[0].shellRequestsBefore, 0u);  // the item first
  const auto files = printedFiles();
  ASSERT_EQ(files.size(), 2u);  // every printable attachment, no inline picture
  EXPECT_NE(files[0].find(u"one.pdf"), std::u16string::npos);
  EXPECT_NE(files[1].find(u"two.txt"), std::u16string::npos);

  itemPrints = false;
  EXPECT_FALSE(NAttachmentPrint::printWithCustomButton(button, m_items.back(), printItem, m_activeWindow));
  EXPECT_EQ(calls.size(), 2u);
  EXPECT_EQ(printedFiles().size(), 2u);  // nothing more

  // A print operation the printer has no mode for is reported, and prints nothing.
  itemPrints = true;
  button.printOperation = 7;
  EXPECT_FALSE(NAttachmentPrint::printWithCustomButton(button, m_items.back(), printItem, m_activeWindow));
  EXPECT_EQ(calls.size(), 2u);
  EXPECT_EQ(printedFiles().size(), 2u);
  EXPECT_EQ(m_ui.messageBoxes().size(), 1u);
  EXPECT_NE(platform::diag::lastFailure().find("print operation 7"), std::string::npos);

  // With the dialog: the kept attachments (here only the PDFs) are offered, selected as the button says.
  button.printOperation = 1;
  button.showAttachmentDialog = true;
  button.selectAttachments = true;
  button.action.attachmentState = 2;
  button.action.attachmentString = u"*.pdf";
  button.action.useOutlookTemplate = true;
  CSettings::instance().setAttachmentsSelectionView(true);
  std::vector<std::u16string> offered;
  actInNext([&](HWND dialog) {
    const HWND rows = GetDlgItem(dialog, IDC_ATTACHMENTS_LIST);
    for (int row = 0; row < ListView_GetItemCount(rows); ++row) offered.push_back(rowOf(rows, row));
    EXPECT_EQ(SendMessageW(rows, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    click(dialog, IDCANCEL);
  });
  EXPECT_TRUE(NAttachmentPrint::printWithCustomButton(button, m_items.back(), printItem, m_activeWindow));
  EXPECT_EQ(offered, (std::vector<std::u16string>{u"one.pdf"}));
  EXPECT_EQ(calls.back().mode, kModePreview);
  EXPECT_EQ(calls.back().templatePath, CSettings::instance().getDefaultTemplatePath());
}

}  // namespace
