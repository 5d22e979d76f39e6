// CPrinter with a fake print template and filler: the mode table, the statuses of its failures,
// the load time-out, the current job while it prints, and the print dialog, preview and output.

#include "engine/Printer.h"

#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "engine/CurrentPrintJob.h"
#include "engine/PrintDialog.h"
#include "foundation/Settings.h"
#include "platform/ui/HtmlView.h"
#include "platform/browser/PrintEngine.h"
#include "platform/system/Diagnostics.h"
#include "platform/loop/MessageLoop.h"
#include "platform/registry/RegKey.h"
#include "platform/ui/WinUser.h"
#include "resources/resource.h"
#include "tests/engine/MessageFixtures.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;

// What the fake print template saw and answers.
struct TemplateScript {
  HRESULT openResult = S_OK;
  HRESULT printResult = S_OK;
  int pages = 3;
  bool attachments = false;
  PrintRange range;  // what defaultRange answers
  // Seen:
  int made = 0;
  int closed = 0;
  std::string document;  // the filled document's text as opened
  fs::path documentPath;
  std::vector<fs::path> frames;
  std::vector<std::string> frameTexts;
  std::vector<PrintRange> printed;
  std::vector<PageSettings> settingsAtPrint;
  std::vector<bool> currentItemAtPrint;
  std::vector<PrintOptions> currentRangeAtPrint;
  struct Dialog {
    HWND window;
    bool hidden;       // shrunk to nothing
    bool withBrowser;  // has the browser control 202
  };
  std::vector<Dialog> dialogAtPrint;  // the printer's dialog 102, as the active window
  PageSettings settings;
};

class CFakePrintTemplate : public IPrintTemplate {
 public:
  explicit CFakePrintTemplate(TemplateScript& script) : m_s(script) { ++m_s.made; }
  HRESULT open(platform::html::CHtmlDocument&, const fs::path& document, const std::vector<fs::path>& frames,
               const quilstring&) override {
    m_s.document = testsupport::readFile(document);
    m_s.documentPath = document;
    m_s.frames = frames;
    for (const fs::path& frame : frames) m_s.frameTexts.push_back(testsupport::readFile(frame));
    return m_s.openResult;
  }
  PrintRange defaultRange() const override { return m_s.range; }
  PageSettings pageSettings() const override { return m_s.settings; }
  void setPageSettings(const PageSettings& settings) override { m_s.settings = settings; }
  HRESULT print(const PrintRange& range, const fs::path& pdf, const fs::path&, int& pages) override {
    m_s.printed.push_back(range);
    m_s.settingsAtPrint.push_back(m_s.settings);
    m_s.currentItemAtPrint.push_back(NCurrentJob::item() != nullptr);
    if (const PrintOptions* r = NCurrentJob::range()) m_s.currentRangeAtPrint.push_back(*r);
    const HWND dialog = GetActiveWindow();
    RECT r{1, 1, 1, 1};
    GetWindowRect(dialog, &r);
    // The browser prints out of process: the control is the printer's own, no embedded view.
    const HWND browser = GetDlgItem(dialog, IDC_PRINTER_BROWSER);
    m_s.dialogAtPrint.push_back({dialog, r.right == r.left && r.bottom == r.top,
                                 browser != nullptr && platform::ui::htmlViewOf(browser) == nullptr});
    if (FAILED(m_s.printResult)) return m_s.printResult;
    std::ofstream(pdf) << "%PDF-fake";
    pages = m_s.pages;
    return S_OK;
  }
  bool hasAttachments() const override { return m_s.attachments; }
  HRESULT showAttachmentsDialog() override { return S_OK; }
  void close() override { ++m_s.closed; }

 private:
  TemplateScript& m_s;
};

class PrinterTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    CSettings::resetForTesting();
    beginPrintRun();
    m_template = dir() / "Memo.htm";
    std::ofstream(m_template) << "<html><head><title>Memo</title></head><body><p id=QMMessProp>NAME=Subject</p>"
                                 "<img src=\"logo.gif\"></body></html>";
    CPrinter::Services services;
    services.makePrintTemplate = [this](const fs::path&) { return std::make_unique<CFakePrintTemplate>(m_script); };
    services.fill = [this](platform::html::CHtmlDocument&, CPrintInfo&) { ++m_fills; };
    services.printOnPrinter = [this](const fs::path&, int copies) {
      m_printerCopies.push_back(copies);
      return m_printerResult;
    };
    CPrinter::setServicesForTesting(services);
    setPrintDestination(PrintDestination{dir() / "out", true, u"item", {}});
  }
  void TearDown() override {
    CPrinter::resetServicesForTesting();
    setPrintDestination({});
    CSettings::resetForTesting();
  }

  static void setLoadTimeout(DWORD ms) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, kProductKey), ERROR_SUCCESS);
    ASSERT_EQ(key.SetDWORDValue(u"WBHost load timeout", ms), ERROR_SUCCESS);
    CSettings::resetForTesting();
  }

  int print(int mode, const CPrintInfo& job) { return CPrinter(job, quilstring::fromUtf8(m_template.string())).DoService(mode); }
  int print(int mode) { return print(mode, CPrintInfo(nullptr)); }

  fs::path m_template;
  TemplateScript m_script;
  int m_fills = 0;
  HRESULT m_printerResult = S_OK;
  std::vector<int> m_printerCopies;
};

TEST_F(PrinterTest, ModesPrintPreviewOrFailWithoutTouchingTheTemplate) {
  testsupport::ScriptedUi ui;  // dialogs and the preview take their defaults
  struct Case {
    int mode;
    int status;
    int prints;
  };
  for (const Case c : {Case{1, 1, 1}, Case{5, 1, 1}, Case{2, 1, 1}, Case{6, 1, 1}, Case{3, 1, 1}, Case{4, 1, 1},
                       Case{0, 7, 0}, Case{7, 7, 0}, Case{-1, 7, 0}}) {
    m_script = TemplateScript{};
    EXPECT_EQ(print(c.mode), c.status) << "mode " << c.mode;
    EXPECT_EQ(static_cast<int>(m_script.printed.size()), c.prints) << "mode " << c.mode;
    EXPECT_EQ(m_script.made, c.prints) << "mode " << c.mode;  // no print template for an unknown mode
    EXPECT_EQ(m_script.closed, m_script.made) << "mode " << c.mode;
    // Printed from the hidden dialog 102 with its browser control; the dialog goes when it ends.
    for (const TemplateScript::Dialog& dialog : m_script.dialogAtPrint) {
      EXPECT_TRUE(dialog.hidden && dialog.withBrowser) << "mode " << c.mode;
      EXPECT_FALSE(IsWindow(dialog.window));
    }
  }
}

TEST_F(PrinterTest, TheBrowserLoadsTheFilledDocumentAheadOfTheTick) {
  struct Preloaded {
    fs::path document;
    quilstring templatePath;
    fs::path page;
    int templatesMade = 0;
  };
  std::vector<Preloaded> preloads;
  CPrinter::Services services;
  services.preload = [&](const fs::path& document, const quilstring& templatePath, const fs::path& page,
                         const std::vector<fs::path>&) {
    preloads.push_back({document, templatePath, page, m_script.made});
  };
  CPrinter::setServicesForTesting(services);
  ASSERT_EQ(print(5), 1);
  ASSERT_EQ(preloads.size(), 1u);
  EXPECT_EQ(preloads[0].document, m_script.documentPath);  // the very file the print template opens
  EXPECT_EQ(preloads[0].templatesMade, 0);                 // before the tick made the print template
  EXPECT_EQ(preloads[0].templatePath, quilstring::fromUtf8(m_template.string()));
  EXPECT_EQ(preloads[0].page.string(), CSettings::instance().getPrintTemplatePath().toUtf8());
  EXPECT_EQ(print(0), 7);  // nothing to print: nothing loaded ahead
  EXPECT_EQ(preloads.size(), 1u);
}

TEST_F(PrinterTest, FailuresGiveTheirStatuses) {
  struct Case {
    const char* what;
    HRESULT open;
    HRESULT print;
    int status;
  };
  // The browser's layout has its own bound: running past it is a failure of the print, not of the load.
  for (const Case c : {Case{"open fails", E_FAIL, S_OK, 7}, Case{"print fails", S_OK, E_FAIL, 7},
                       Case{"browser load times out", S_OK, platform::browser::E_LOAD_TIMEOUT, 7}}) {
    m_script = TemplateScript{};
    m_script.openResult = c.open;
    m_script.printResult = c.print;
    EXPECT_EQ(print(5), c.status) << c.what;
    EXPECT_EQ(m_script.closed, 1) << c.what;
  }
}

TEST_F(PrinterTest, MissingTemplateIsStatusFiveBeforeAnyLoad) {
  fs::remove(m_template);
  EXPECT_EQ(print(5), 5);
  EXPECT_EQ(m_fills, 0);
  EXPECT_EQ(m_script.made, 0);
  fs::create_directory(m_template);  // a folder is no template either
  EXPECT_EQ(print(5), 5);
  EXPECT_EQ(m_fills, 0);
}

TEST_F(PrinterTest, FillThatThrowsIsStatusSeven) {
  CPrinter::Services services;
  services.fill = [](platform::html::CHtmlDocument&, CPrintInfo&) { throw std::runtime_error("bad"); };
  CPrinter::setServicesForTesting(services);
  EXPECT_EQ(print(5), 7);
  EXPECT_EQ(m_script.made, 0);
}

TEST_F(PrinterTest, LoadOutlastingTheTimeoutIsStatusSix) {
  setLoadTimeout(150);
  // A fill that keeps the load busy while the loop runs, until the printer's own timer ends it.
  CPrinter::Services services;
  services.fill = [](platform::html::CHtmlDocument&, CPrintInfo&) {
    platform::diag::clearLastFailure();
    EXPECT_TRUE(platform::loop::runUntil(
        [] { return platform::diag::lastFailure().find("timed out") != std::string::npos; }, 20000));
  };
  CPrinter::setServicesForTesting(services);
  EXPECT_EQ(print(5), 6);
  EXPECT_TRUE(m_script.printed.empty());
}

TEST_F(PrinterTest, LoadWithinTheTimeoutPrints) {
  setLoadTimeout(20000);  // far past the fill, however slowly a loaded machine runs it
  CPrinter::Services services;
  services.fill = [](platform::html::CHtmlDocument&, CPrintInfo&) { platform::loop::runFor(250); };
  CPrinter::setServicesForTesting(services);
  EXPECT_EQ(print(5), 1);
}

TEST_F(PrinterTest, MissingPrintTemplatePageShowsBox343AndEnds) {
  testsupport::ScriptedUi ui;
  NUtils::setWriteLimitForTesting([](std::size_t) { return std::size_t{0}; });
  CSettings::resetForTesting();
  ASSERT_TRUE(CSettings::instance().getPrintTemplatePath().empty());
  NUtils::setWriteLimitForTesting({});
  // Without an end the printer would wait for ever; the watchdog makes that a failure.
  bool watchdog = false;
  auto printer = std::make_unique<CPrinter>(CPrintInfo(nullptr), quilstring::fromUtf8(m_template.string()));
  platform::loop::SetTimer(reinterpret_cast<HWND>(&watchdog), 1, 3000, [&](std::uintptr_t) {
    watchdog = true;
    printer->KillWBHost();
  });
  EXPECT_EQ(printer->DoService(5), 7);
  platform::loop::KillTimer(reinterpret_cast<HWND>(&watchdog), 1);
  EXPECT_FALSE(watchdog);
  ASSERT_EQ(ui.messageBoxes().size(), 1u);
  EXPECT_EQ(ui.messageBoxes()[0].text, u"Cannot locate Quillmark template. Unable to continue with print.");
  EXPECT_EQ(ui.messageBoxes()[0].caption, u"Quillmark for Outlook");
  EXPECT_TRUE(m_script.printed.empty());
}

TEST_F(PrinterTest, CurrentJobIsEachJobsOwnAndClearedAtTheEnd) {
  auto message = openDescription(testsupport::MsgDescription{});
  CPrintInfo withItem(itemOf(message));
  PrintOptions range{2, 3, 1, 0};
  withItem.setRange(range);
  EXPECT_EQ(print(5, withItem), 1);
  ASSERT_EQ(m_script.currentItemAtPrint.size(), 1u);
  EXPECT_TRUE(m_script.currentItemAtPrint[0]);
  ASSERT_EQ(m_script.currentRangeAtPrint.size(), 1u);
  EXPECT_EQ(m_script.currentRangeAtPrint[0], range);
  EXPECT_EQ(NCurrentJob::item(), nullptr);
  EXPECT_EQ(NCurrentJob::range(), nullptr);

  // A job without a message (table style) never sees the previous job's item or range.
  CPrintInfo table(kFolderJob, nullptr);
  EXPECT_EQ(print(5, table), 1);
  ASSERT_EQ(m_script.currentItemAtPrint.size(), 2u);
  EXPECT_FALSE(m_script.currentItemAtPrint[1]);
  EXPECT_EQ(m_script.currentRangeAtPrint.size(), 1u);
}

TEST_F(PrinterTest, FilledDocumentIsUtf8WithTheTemplateFolderAsBase) {
  EXPECT_EQ(print(5), 1);
  EXPECT_EQ(m_fills, 1);
  const std::string& html = m_script.document;
  const std::size_t head = html.find("<meta charset=\"utf-8\"><base href=\"file://");
  EXPECT_NE(html.find("<style>*{page:auto !important}</style>"), std::string::npos);
  ASSERT_NE(head, std::string::npos) << html;
  EXPECT_LT(head, html.find("<TITLE>") == std::string::npos ? html.find("<title>") : html.find("<TITLE>"));
  EXPECT_NE(html.find(m_template.parent_path().filename().string() + "/\">"), std::string::npos) << html;
  EXPECT_NE(html.find("NAME=Subject"), std::string::npos);
}

TEST_F(PrinterTest, OutputGoesToTheFolderOrThePrinterAndFallsBackToAFile) {
  EXPECT_EQ(print(5), 1);
  EXPECT_TRUE(fs::exists(dir() / "out" / "item.pdf"));
  EXPECT_TRUE(m_printerCopies.empty());
  EXPECT_EQ(print(5), 1);  // a second job of the run keeps the first one's file
  EXPECT_TRUE(fs::exists(dir() / "out" / "item (2).pdf"));

  setPrintDestination(PrintDestination{dir() / "docs", false, u"a/b:c", {}});
  EXPECT_EQ(print(5), 1);
  EXPECT_EQ(m_printerCopies, std::vector<int>{1});
  EXPECT_FALSE(fs::exists(dir() / "docs"));

  m_printerResult = E_FAIL;  // no default printer
  EXPECT_EQ(print(5), 1);
  EXPECT_TRUE(fs::exists(dir() / "docs" / "a_b_c.pdf"));
  EXPECT_EQ(print(5), 1);  // a file already there is kept
  EXPECT_TRUE(fs::exists(dir() / "docs" / "a_b_c (2).pdf"));
}

TEST_F(PrinterTest, PrintDialogRefusesFromAboveToAndAsksAgain) {
  testsupport::ScriptedUi ui;
  setPrintDestination(PrintDestination{dir() / "out", false, u"item", {}});
  // printer, 2 copies, a range 4..2 (refused), then printer, 1 copy, range 2..3.
  for (int answer : {0, 1, 1, 3, 1, 0, 0, 1, 1, 2}) ui.queueChoice(answer);
  EXPECT_EQ(print(6), 1);
  ASSERT_EQ(ui.messageBoxes().size(), 1u);
  EXPECT_EQ(ui.messageBoxes()[0].text, fromAfterToText());
  ASSERT_EQ(m_script.printed.size(), 1u);
  EXPECT_TRUE(m_script.printed[0].selected);
  EXPECT_EQ(m_script.printed[0].from, 2);
  EXPECT_EQ(m_script.printed[0].to, 3);
  EXPECT_EQ(m_printerCopies, std::vector<int>{1});
}

TEST_F(PrinterTest, CancelledPrintDialogPrintsNothingAndEnds) {
  testsupport::ScriptedUi ui;
  ui.queueChoice(-1);
  EXPECT_EQ(print(2), 1);
  EXPECT_TRUE(m_script.printed.empty());
  EXPECT_EQ(m_script.closed, 1);
}

TEST_F(PrinterTest, StoredRangeWithFromAboveToPrintsNothingAndEndsAsAPrintDoes) {
  testsupport::ScriptedUi ui;
  m_script.range = PrintRange{true, 5, 2};
  // One box; the print template closes, so the caller reports nothing more.
  EXPECT_EQ(print(5), 1);
  EXPECT_TRUE(m_script.printed.empty());
  ASSERT_EQ(ui.messageBoxes().size(), 1u);
  EXPECT_EQ(ui.messageBoxes()[0].text, fromAfterToText());
  EXPECT_EQ(m_script.closed, 1);
}

TEST_F(PrinterTest, PreviewPageSetupLaysOutAgainAndPrintPrintsTheRange) {
  testsupport::ScriptedUi ui;
  m_script.range = PrintRange{true, 2, 3};
  // Attachments (disabled: asked again), page setup (landscape, 1 inch, keep strings),
  // then print to a file with the range kept.
  for (int answer : {1, 2, 1, 4, 0, 0, 1, 1, 2}) ui.queueChoice(answer);
  EXPECT_EQ(print(4), 1);
  ASSERT_EQ(m_script.printed.size(), 3u);  // preview, preview after page setup, print
  EXPECT_FALSE(m_script.settingsAtPrint[0].landscape);
  EXPECT_TRUE(m_script.settingsAtPrint[1].landscape);
  EXPECT_EQ(m_script.settingsAtPrint[1].marginTop, 100);
  // The preview shows the whole document; the range is what prints.
  EXPECT_FALSE(m_script.printed[0].selected);
  EXPECT_FALSE(m_script.printed[1].selected);
  EXPECT_TRUE(m_script.printed[2].selected);
  EXPECT_EQ(m_script.printed[2].from, 2);
  EXPECT_EQ(m_script.printed[2].to, 3);
  EXPECT_EQ(m_script.closed, 1);
}

TEST_F(PrinterTest, PreviewClosedWithoutPrinting) {
  testsupport::ScriptedUi ui;  // the default action closes
  EXPECT_EQ(print(4), 1);
  EXPECT_EQ(m_script.printed.size(), 1u);
  ASSERT_FALSE(ui.choiceRequests().empty());
  EXPECT_NE(ui.choiceRequests()[0].options[1].find(u"unavailable"), std::u16string::npos);
  EXPECT_TRUE(fs::exists(dir() / "out" / "item.pdf"));
  // Without a folder asked for, the previewed pages go with the job.
  setPrintDestination(PrintDestination{dir() / "docs", false, u"item", {}});
  EXPECT_EQ(print(4), 1);
  EXPECT_FALSE(fs::exists(dir() / "docs"));
}

}  // namespace
