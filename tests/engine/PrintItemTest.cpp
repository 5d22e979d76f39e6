// CPrintItem: eligibility over classes, settings and template files present; the template
// choice with scripted answers; the whole request per mode with recording printers, and which
// message box each status shows.
#include "engine/PrintItem.h"

#include <gtest/gtest.h>

#include "engine/TemplateChoice.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/UserInput.h"
#include "resources/resource.h"
#include "tests/engine/PrintJobFixtures.h"
#include "tests/support/FakeShell.h"

namespace {

using namespace enginetest;

class PrintItemTest : public PrintJobTest {};

// One eligibility case: the settings' classes, the job, the expected outcome and candidates.
struct EligibilityCase {
  const char* name;
  std::function<void(PrintItemTest&)> configure;
  bool folderJob;
  std::u16string messageClass;
  int outcome;
  std::vector<std::u16string> candidates;  // display names
};

TEST_F(PrintItemTest, EligibilityFollowsClassesSettingsAndFiles) {
  const std::vector<EligibilityCase> cases = {
      {"one memo file", [](PrintItemTest& t) { setClass(u"IPM.Note", {t.memo("Memo")}); }, false, u"IPM.Note", 0, {u"Memo"}},
      {"candidates keep the settings' order, missing and empty files left out",
       [](PrintItemTest& t) {
         setClass(u"IPM.Note", {t.memo("Gone", -1), t.memo("B"), t.memo("Empty", 0), t.memo("A")});
       },
       false, u"IPM.Note", 0, {u"B", u"A"}},
      {"no entry is not served by the default one",
       [](PrintItemTest& t) { setClass(kDefaultMessageClass, {t.memo("Default")}); }, false, u"IPM.Task", 2, {}},
      {"class with an entry but no templates takes the default's",
       [](PrintItemTest& t) {
         setClass(u"IPM.Note", {});
         setClass(kDefaultMessageClass, {t.memo("Default")});
       },
       false, u"IPM.Note", 0, {u"Default"}},
      {"class with missing files does not fall back",
       [](PrintItemTest& t) {
         setClass(u"IPM.Note", {t.memo("Gone", -1)});
         setClass(kDefaultMessageClass, {t.memo("Default")});
       },
       false, u"IPM.Note", 5, {}},
      {"no templates and an empty default", [](PrintItemTest&) { setClass(u"IPM.Note", {}); }, false, u"IPM.Note", 4, {}},
      {"no templates and no default entry",
       [](PrintItemTest&) {
         setClass(u"IPM.Note", {});
         data().messageClasses.erase(kDefaultMessageClass);
       },
       false, u"IPM.Note", 4, {}},
      {"only empty files", [](PrintItemTest& t) { setClass(u"IPM.Note", {t.memo("Empty", 0)}); }, false, u"IPM.Note", 5, {}},
      {"item without a class", [](PrintItemTest& t) { setClass(u"IPM.Note", {t.memo("Memo")}); }, false, u"", 9, {}},
      {"class lookup is exact", [](PrintItemTest& t) { setClass(u"IPM.Note", {t.memo("Memo")}); }, false, u"ipm.note", 2, {}},
      {"one item and only table-style templates can print nothing",
       [](PrintItemTest& t) { setClass(u"IPM.Note", {t.table("Table")}); }, false, u"IPM.Note", 4, {u"Table"}},
      {"a view type other than memo or multi item keeps its class from the default's and prints nothing",
       [](PrintItemTest& t) {
         TemplateDetail odd = t.memo("Odd");
         odd.isFolder = 2;
         setClass(u"IPM.Note", {odd});
         setClass(kDefaultMessageClass, {t.memo("Default")});
       },
       false, u"IPM.Note", 4, {u"Odd"}},
      {"folder job takes the folder's default class and table-style templates",
       [](PrintItemTest& t) { setClass(u"IPM.Contact", {t.table("List")}); }, true, u"IPM.Contact", 0, {u"List"}},
      {"folder job with an unknown default class", [](PrintItemTest&) {}, true, u"IPM.Whatever", 2, {}},
      {"folder without a default class", [](PrintItemTest&) {}, true, u"", 9, {}},
  };
  for (const EligibilityCase& c : cases) {
    SCOPED_TRACE(c.name);
    CSettings::resetForTesting();
    c.configure(*this);
    CPrintInfo job = c.folderJob ? CPrintInfo(kFolderJob, fakeFolder(c.messageClass)) : CPrintInfo(fakeItem(c.messageClass));
    CPrintItem printItem(job);
    int outcome = -1;
    EXPECT_EQ(printItem.canPrint(outcome), c.outcome == 0);
    EXPECT_EQ(outcome, c.outcome);
    std::vector<std::u16string> names;
    for (const TemplateDetail& t : printItem.getCandidates()) names.push_back(t.displayName);
    EXPECT_EQ(names, c.candidates);
  }
}

TEST_F(PrintItemTest, BuiltInTemplateIsExtractedAgainWhenItHasGone) {
  const quilstring builtIn = CSettings::instance().getDefaultTemplatePath();
  ASSERT_FALSE(builtIn.empty());
  setClass(u"IPM.Note", {{u"Built in", builtIn, false, {}}, memo("Gone", -1)});
  std::filesystem::remove(builtIn.toUtf8());
  CPrintInfo job(fakeItem(u"IPM.Note"));
  CPrintItem printItem(job);
  int outcome = -1;
  EXPECT_TRUE(printItem.canPrint(outcome));
  ASSERT_EQ(printItem.getCandidates().size(), 1u);
  EXPECT_EQ(printItem.getCandidates()[0].printingTemplate, builtIn);
  EXPECT_GT(std::filesystem::file_size(builtIn.toUtf8()), 0u);
}

TEST_F(PrintItemTest, ReportShowsTheStatusTextWithCaptionAndIcon) {
  const std::pair<int, UINT> cases[] = {{0, IDS_UNKNOWN_ERROR}, {1, 0},  {2, IDS_ITEM_TYPE_NOT_CONFIGURED},
                                        {3, IDS_UNKNOWN_ERROR}, {4, IDS_NO_TEMPLATE}, {5, IDS_TEMPLATE_MISSING},
                                        {6, IDS_LOADING_TIMED_OUT}, {7, IDS_BROWSER_ERROR}, {8, 0},
                                        {9, IDS_UNKNOWN_ERROR}, {42, IDS_UNKNOWN_ERROR}, {-1, IDS_UNKNOWN_ERROR}};
  CPrintInfo job(fakeItem(u"IPM.Note.Custom"));
  CPrintItem printItem(job);
  for (const auto& [outcome, id] : cases) {
    SCOPED_TRACE(outcome);
    const std::size_t before = m_ui.messageBoxes().size();
    printItem.reportToUser(outcome);
    if (!id) {
      EXPECT_EQ(m_ui.messageBoxes().size(), before);
      continue;
    }
    ASSERT_EQ(m_ui.messageBoxes().size(), before + 1);
    const auto& box = m_ui.messageBoxes().back();
    EXPECT_EQ(box.owner, m_activeWindow);
    EXPECT_EQ(box.caption, u"Quillmark for Outlook");
    EXPECT_EQ(box.type, MB_ICONERROR);
    EXPECT_EQ(box.text, id == IDS_ITEM_TYPE_NOT_CONFIGURED ? text(id, u"IPM.Note.Custom") : text(id));
  }
  EXPECT_EQ(m_ui.messageBoxes()[0].text, u"An unknown error occurred.");
  EXPECT_EQ(m_ui.messageBoxes()[1].text,
            u"Quillmark for Outlook is not currently configured to handle items of this type (IPM.Note.Custom).");
}

// One template choice: the usable records, the scripted answers and what is chosen.
struct ChoiceCase {
  const char* name;
  bool folderJob;
  std::vector<std::pair<std::string, bool>> records;  // name, table style
  std::vector<int> answers;
  std::size_t prompts;  // choice prompts shown
  bool chosen;
  std::u16string path;  // file name of the chosen template
  bool memo;
  bool allRows;
};

TEST_F(PrintItemTest, TemplateChoiceIsSilentOnlyForOneMemoRecord) {
  const std::vector<ChoiceCase> cases = {
      {"one memo", false, {{"A", false}}, {}, 0, true, u"A.htm", true, false},
      {"two memos, second chosen", false, {{"A", false}, {"B", false}}, {1}, 1, true, u"B.htm", true, false},
      {"memo and table for one item", false, {{"A", false}, {"T", true}}, {}, 0, true, u"A.htm", true, false},
      {"memo and table for a folder, table with all rows", true, {{"A", false}, {"T", true}}, {1, 1}, 2, true, u"T.htm",
       false, true},
      {"memo and table for a folder, memo chosen", true, {{"A", false}, {"T", true}}, {0}, 1, true, u"A.htm", true, false},
      {"one table record shows the dialog", true, {{"T", true}}, {}, 2, true, u"T.htm", false, false},
      {"template prompt cancelled", false, {{"A", false}, {"B", false}}, {-1}, 1, false, u"", false, false},
      {"row prompt cancelled", true, {{"T", true}}, {0, -1}, 2, false, u"", false, false},
      {"nothing usable for one item", false, {{"T", true}}, {}, 0, false, u"", false, false},
  };
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ScriptedUi ui;
    for (int answer : c.answers) ui.queueChoice(answer);
    std::vector<TemplateDetail> records;
    for (const auto& [name, isTable] : c.records) records.push_back(isTable ? table(name) : memo(name));
    setClass(u"IPM.Note", records);
    CPrintInfo job = c.folderJob ? CPrintInfo(kFolderJob, fakeFolder(u"IPM.Note")) : CPrintInfo(fakeItem(u"IPM.Note"));
    CPrintItem printItem(job);
    int outcome = -1;
    printItem.updateServiceOutcome(outcome);
    quilstring path;
    bool memoStyle = false;
    bool allRows = false;
    EXPECT_EQ(printItem.chooseTemplate(path, memoStyle, allRows), c.chosen);
    EXPECT_EQ(ui.choiceRequests().size(), c.prompts);
    EXPECT_EQ(std::filesystem::path(path.toUtf8()).filename().u16string(), c.path);
    EXPECT_EQ(memoStyle, c.memo);
    EXPECT_EQ(allRows, c.allRows);
  }
}

TEST_F(PrintItemTest, ChoiceDialogListsTheRecordsWithTheirViewTypes) {
  m_ui.queueChoice(1);
  m_ui.queueChoice(0);
  setClass(u"IPM.Note", {memo("Letter"), table("Ledger"), table("Gone", -1)});
  CPrintInfo job(kFolderJob, fakeFolder(u"IPM.Note"));
  CPrintItem printItem(job);
  int outcome = -1;
  ASSERT_TRUE(printItem.canPrint(outcome));
  quilstring path;
  bool memoStyle = true;
  bool allRows = true;
  ASSERT_TRUE(printItem.chooseTemplate(path, memoStyle, allRows));
  EXPECT_FALSE(memoStyle);
  EXPECT_FALSE(allRows);  // "Print Selected Rows" was taken
  ASSERT_EQ(m_ui.choiceRequests().size(), 2u);
  const auto& templates = m_ui.choiceRequests()[0];
  EXPECT_EQ(templates.owner, m_activeWindow);
  EXPECT_EQ(templates.title, u"Template Selection");
  EXPECT_EQ(templates.prompt, u"Select the template and click OK:");
  EXPECT_EQ(templates.options, (std::vector<std::u16string>{u"Letter (Memo)", u"Ledger (Multi Item)"}));
  EXPECT_EQ(templates.defaultIndex, 0);
  const auto& rows = m_ui.choiceRequests()[1];
  EXPECT_EQ(rows.prompt, u"Multi Item Options");
  EXPECT_EQ(rows.options, (std::vector<std::u16string>{u"Print Selected Rows", u"Print All Rows"}));
  EXPECT_EQ(rows.defaultIndex, 0);
}

TEST_F(PrintItemTest, OnlyOwnRequestsReportAndOnlyPrintedCountsAsServed) {
  // Per mode: an unknown class, a printer failing with 6, and a printed job.
  for (int mode = 1; mode <= 6; ++mode) {
    SCOPED_TRACE(mode);
    testsupport::ScriptedUi ui;
    RecordingPrinters printers;
    printers.statuses = {kStatusLoadTimedOut, kStatusPrinted};
    setClass(u"IPM.Note", {memo("Memo")});
    const bool own = mode >= 4;

    CPrintInfo unknown(fakeItem(u"IPM.Unknown"));
    EXPECT_EQ(CPrintItem(unknown).printJob(mode, u"", printers.factory()), kStatusClassNotConfigured);
    CPrintInfo failing(fakeItem(u"IPM.Note"));
    EXPECT_EQ(CPrintItem(failing).printJob(mode, u"", printers.factory()), kStatusLoadTimedOut);
    CPrintInfo printed(fakeItem(u"IPM.Note"));
    EXPECT_EQ(CPrintItem(printed).printJob(mode, u"", printers.factory()), kStatusPrinted);

    ASSERT_EQ(printers.calls.size(), 2u);
    EXPECT_EQ(printers.calls[0].mode, mode);
    EXPECT_EQ(std::filesystem::path(printers.calls[0].templatePath.toUtf8()).filename(), "Memo.htm");
    ASSERT_EQ(ui.messageBoxes().size(), own ? 2u : 0u);
    if (own) {
      EXPECT_EQ(ui.messageBoxes()[0].text, text(IDS_ITEM_TYPE_NOT_CONFIGURED, u"IPM.Unknown"));
      EXPECT_EQ(ui.messageBoxes()[1].text, u"Loading of HTML document(s) timed out. ");
    }
  }
}

// The sound behaviour for a job no template can print: status 4, reported, never served.
TEST_F(PrintItemTest, JobWithoutAUsableTemplateIsReportedAndNotServed) {
  setClass(u"IPM.Note", {table("Ledger")});
  for (int mode : {kModePrintWithDialog, kModePreview}) {
    SCOPED_TRACE(mode);
    testsupport::ScriptedUi ui;
    CPrintInfo job(fakeItem(u"IPM.Note"));
    EXPECT_EQ(CPrintItem(job).printJob(mode, u"", m_printers.factory()), kStatusNoTemplate);
    EXPECT_TRUE(ui.choiceRequests().empty());
    if (mode == kModePreview) {
      ASSERT_EQ(ui.messageBoxes().size(), 1u);
      EXPECT_EQ(ui.messageBoxes()[0].text, text(IDS_NO_TEMPLATE));
    } else {
      EXPECT_TRUE(ui.messageBoxes().empty());
    }
  }
  EXPECT_TRUE(m_printers.calls.empty());
}

TEST_F(PrintItemTest, CancelledChoicePrintsNothingAndCountsAsServed) {
  m_ui.queueChoice(-1);
  setClass(u"IPM.Note", {memo("A"), memo("B")});
  CPrintInfo job(fakeItem(u"IPM.Note"));
  EXPECT_EQ(CPrintItem(job).printJob(kModePreview, u"", m_printers.factory()), kStatusPrinted);
  EXPECT_TRUE(m_printers.calls.empty());
  EXPECT_TRUE(m_ui.messageBoxes().empty());
}

TEST_F(PrintItemTest, GivenTemplateSkipsEligibilityAndPrintsMemoStyle) {
  CPrintInfo job(fakeItem(u"IPM.Unknown"));
  EXPECT_EQ(CPrintItem(job).printJob(kModePrint, u"/given/template.htm", m_printers.factory()), kStatusPrinted);
  ASSERT_EQ(m_printers.calls.size(), 1u);
  EXPECT_EQ(m_printers.calls[0].templatePath, u"/given/template.htm");
  EXPECT_EQ(m_printers.calls[0].job.getItem(), job.getItem());
  EXPECT_TRUE(m_ui.messageBoxes().empty());
}

// Dialog 120 itself, driven on the headless desktop as a person would: a memo and a Multi Item
// template over two selected items; each choice prints with its template, Cancel prints nothing.
TEST_F(PrintItemTest, TemplateSelectionDialogListsChoicesAndPrintsTheOneTaken) {
  ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
  setClass(u"IPM.Note", {memo("Letter"), table("Ledger")});
  struct Seen {
    int nameWidth = 0;
    std::vector<std::u16string> names, viewTypes;
    bool okEnabled = false, rowsEnabledOnMemo = true, rowsEnabledOnTable = false;
  };
  const auto text = [](HWND list, int row, int column) {
    char16_t buffer[100] = {};
    ListView_GetItemText(list, row, column, buffer, 100);
    return std::u16string(buffer);
  };
  struct Case {
    const char* name;
    std::function<void(HWND dialog, Seen&)> act;
    std::u16string printed;  // file name of the template printed with; empty: nothing
    bool allRows;
  };
  const std::vector<Case> cases = {
      {"memo taken with OK", [](HWND d, Seen&) { platform::ui::input::click(GetDlgItem(d, IDOK)); }, u"Letter.htm", false},
      {"Multi Item with all rows",
       [](HWND d, Seen& seen) {
         platform::ui::input::clickListRow(GetDlgItem(d, IDC_SELECTION_LIST), 1);
         seen.rowsEnabledOnTable = IsWindowEnabled(GetDlgItem(d, IDC_ALL_ROWS));
         platform::ui::input::click(GetDlgItem(d, IDC_ALL_ROWS));
         platform::ui::input::pressKey(GetDlgItem(d, IDC_SELECTION_LIST), VK_RETURN);
       },
       u"Ledger.htm", true},
      {"Multi Item double-clicked", [](HWND d, Seen&) { platform::ui::input::doubleClickListRow(GetDlgItem(d, IDC_SELECTION_LIST), 1); },
       u"Ledger.htm", false},
      {"no row: OK disabled, F1 for help, then Cancel",
       [](HWND d, Seen& seen) {
         platform::ui::input::clickListRow(GetDlgItem(d, IDC_SELECTION_LIST), -1);
         seen.okEnabled = IsWindowEnabled(GetDlgItem(d, IDOK));
         testsupport::FakeShell shell;
         platform::ui::input::pressKey(GetDlgItem(d, IDC_SELECTION_LIST), VK_F1);
         ASSERT_EQ(shell.requests().size(), 1u);
         EXPECT_EQ(shell.requests()[0].verb, u"open");
         EXPECT_EQ(shell.requests()[0].file.rfind(u"https://", 0), 0u);
         platform::ui::input::click(GetDlgItem(d, IDCANCEL));
       },
       u"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Seen seen;
    CDialogTemplateSelection::setHeadlessDriverForTesting([&](HWND dialog) {
      const HWND list = GetDlgItem(dialog, IDC_SELECTION_LIST);
      seen.nameWidth = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
      for (int row = 0; row < ListView_GetItemCount(list); ++row) {
        seen.names.push_back(text(list, row, 0));
        seen.viewTypes.push_back(text(list, row, 1));
      }
      seen.rowsEnabledOnMemo = IsWindowEnabled(GetDlgItem(dialog, IDC_SELECTED_ROWS));
      EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_SELECTED_ROWS), BST_CHECKED);
      c.act(dialog, seen);
    });
    RecordingPrinters printers;
    CPrintInfo job(kFolderJob, fakeFolder(u"IPM.Note"));
    FakePtr selection = fakeSelection({fakeItem(u"IPM.Note"), fakeItem(u"IPM.Note")});
    job.setSelection(selection);
    EXPECT_EQ(CPrintItem(job).printJob(kModePreview, u"", printers.factory()), kStatusPrinted);
    CDialogTemplateSelection::setHeadlessDriverForTesting(nullptr);
    EXPECT_EQ(seen.nameWidth, 280);
    EXPECT_EQ(seen.names, (std::vector<std::u16string>{u"Letter", u"Ledger"}));
    EXPECT_EQ(seen.viewTypes, (std::vector<std::u16string>{u"Memo", u"Multi Item"}));
    EXPECT_FALSE(seen.rowsEnabledOnMemo);
    EXPECT_FALSE(seen.okEnabled);
    EXPECT_TRUE(m_ui.choiceRequests().empty());  // no prompt beside the dialog
    if (c.printed.empty()) {
      EXPECT_TRUE(printers.calls.empty());
      continue;
    }
    ASSERT_FALSE(printers.calls.empty());
    EXPECT_EQ(std::filesystem::path(printers.calls[0].templatePath.toUtf8()).filename().u16string(), c.printed);
    if (c.printed == u"Ledger.htm") {
      if (c.allRows) {
        EXPECT_TRUE(seen.rowsEnabledOnTable);
      }
      ASSERT_EQ(printers.calls.size(), 1u);
      EXPECT_EQ(printers.calls[0].job.getSelection() == nullptr, c.allRows);
    } else {
      EXPECT_EQ(printers.calls.size(), 2u);  // the memo prints each selected item
    }
  }
}

TEST_F(PrintItemTest, TableStyleKeepsOnlyTheChosenRowSource) {
  setClass(u"IPM.Note", {table("Ledger")});
  for (bool allRows : {false, true}) {
    SCOPED_TRACE(allRows);
    testsupport::ScriptedUi ui;
    ui.queueChoice(0);
    ui.queueChoice(allRows ? 1 : 0);
    RecordingPrinters printers;
    FakePtr folder = fakeFolder(u"IPM.Note");
    FakePtr selection = fakeSelection({fakeItem(u"IPM.Note")});
    FakePtr items = fakeSelection({fakeItem(u"IPM.Note"), fakeItem(u"IPM.Note")});
    CPrintInfo job(kFolderJob, folder);
    job.setSelection(selection);
    job.setItems(items);
    EXPECT_EQ(CPrintItem(job).printJob(kModePreview, u"", printers.factory()), kStatusPrinted);
    ASSERT_EQ(printers.calls.size(), 1u);
    const CPrintInfo& printed = printers.calls[0].job;
    EXPECT_FALSE(printed.single());
    EXPECT_EQ(printed.getFolder(), folder.p);
    EXPECT_EQ(printed.getSelection(), allRows ? nullptr : selection.p);
    EXPECT_EQ(printed.getItems(), allRows ? items.p : nullptr);
  }
}

TEST_F(PrintItemTest, MemoTemplateForSeveralItemsPrintsEachSelectedItem) {
  setClass(u"IPM.Note", {memo("Letter")});
  m_printers.statuses = {kStatusBrowserError, kStatusPrinted, kStatusLoadTimedOut};
  std::vector<FakePtr> selected = {fakeItem(u"IPM.Note"), fakeItem(u"IPM.Task"), fakeItem(u"IPM.Note")};
  CPrintInfo job(kFolderJob, fakeFolder(u"IPM.Note"));
  job.setSelection(fakeSelection(selected));
  // Every item is tried; the first failure is the one reported.
  EXPECT_EQ(CPrintItem(job).printJob(kModePrint, u"", m_printers.factory()), kStatusBrowserError);
  ASSERT_EQ(m_printers.calls.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const CPrintInfo& printed = m_printers.calls[i].job;
    EXPECT_TRUE(printed.single());
    ASSERT_TRUE(printed.getItem());
    EXPECT_EQ(printed.getItem()->getItem().getDispatch(), selected[i].p);
  }
  ASSERT_EQ(m_ui.messageBoxes().size(), 1u);
  EXPECT_EQ(m_ui.messageBoxes()[0].text, text(IDS_BROWSER_ERROR));

  // An empty selection prints nothing, so it is not served.
  CPrintInfo empty(kFolderJob, fakeFolder(u"IPM.Note"));
  empty.setSelection(fakeSelection({}));
  EXPECT_EQ(CPrintItem(empty).printJob(kModeQuickPrint, u"", m_printers.factory()), kStatusEligible);
  EXPECT_EQ(m_printers.calls.size(), 3u);
}

TEST_F(PrintItemTest, EmbeddedObjectsAreQuestionedWithTheModesText) {
  setClass(u"IPM.Note", {memo("Letter")});
  struct Case {
    int mode;
    int answer;
    UINT textId;
    int outcome;
  } cases[] = {{kModePreview, IDNO, IDS_EMBEDDED_OBJECTS, kStatusDeclined},
               {kModePrintWithDialog, IDNO, IDS_EMBEDDED_OBJECTS_OUTLOOK_FALLBACK, kStatusDeclined},
               {kModePrint, IDYES, IDS_EMBEDDED_OBJECTS, kStatusPrinted}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    testsupport::ScriptedUi ui;
    ui.queueMessageBoxAnswer(c.answer);
    RecordingPrinters printers;
    FakePtr attachment = makeFake();
    attachment->value(0x1, u"Type", CComVariant(LONG{6}));
    FakePtr attachments = fakeSelection({attachment});
    FakePtr item = fakeItem(u"IPM.Note");
    item->object(0xF815, u"Attachments", attachments);
    CPrintInfo job(item);
    EXPECT_EQ(CPrintItem(job).printJob(c.mode, u"", printers.factory()), c.outcome);
    EXPECT_EQ(printers.calls.size(), c.answer == IDYES ? 1u : 0u);
    ASSERT_EQ(ui.messageBoxes().size(), 1u);  // declining reports nothing more
    EXPECT_EQ(ui.messageBoxes()[0].text, text(c.textId));
    EXPECT_EQ(ui.messageBoxes()[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(ui.messageBoxes()[0].caption, u"Quillmark for Outlook");
  }
}

}  // namespace
