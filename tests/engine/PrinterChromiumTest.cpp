// CPrinter on the real browser: a print reaches a PDF, a missing print template page gives its
// status, the load time-out bounds only the template's own load, and a browser killed between
// jobs is started again.

#include <signal.h>

#include <fstream>

#include <gtest/gtest.h>

#include "engine/Printer.h"
#include "engine/quilMarkShellHandler.h"
#include "platform/browser/PdfTools.h"
#include "foundation/Settings.h"
#include "platform/browser/ChromiumPrintEngine.h"
#include "platform/browser/PrintTemplate.h"
#include "platform/system/Diagnostics.h"
#include "platform/registry/RegKey.h"
#include "platform/system/Text.h"
#include "tests/engine/MessageFixtures.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

class PrinterChromiumTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    CSettings::resetForTesting();
    beginPrintRun();
    m_template = dir() / "Plain.htm";
    std::ofstream(m_template) << "<html><head><title>Plain</title></head><body><h1>Printed by the printer</h1>"
                                 "<p>Second line of the body</p></body></html>";
    setPrintDestination(PrintDestination{dir() / "out", true, u"plain", {}});
  }
  void TearDown() override {
    setPrintDestination({});
    CSettings::resetForTesting();
  }
  // Each print is a run of its own, so the PDF keeps its name.
  int print(int mode = 5) {
    beginPrintRun();
    CPrintInfo job(kFolderJob, nullptr);
    return CPrinter(job, quilstring::fromUtf8(m_template.string())).DoService(mode);
  }
  static void setLoadTimeout(DWORD ms) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, kProductKey), ERROR_SUCCESS);
    ASSERT_EQ(key.SetDWORDValue(u"WBHost load timeout", ms), ERROR_SUCCESS);
    CSettings::resetForTesting();
  }

  fs::path m_template;
};

TEST_F(PrinterChromiumTest, PrintsSurvivesAKilledBrowserAndReportsFailures) {
  // One test, so the browser starts as few times as the cases need.
  ASSERT_EQ(print(), 1);
  const fs::path pdf = dir() / "out" / "plain.pdf";
  EXPECT_NE(testsupport::pdfText(pdf, 0, true).find("Printed by the printer"), std::string::npos);

  // Killed between jobs: the next job starts it again and prints.
  const int starts = platform::browser::detail::chromiumStartsForTesting();
  const pid_t pid = platform::browser::detail::chromiumPidForTesting();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  fs::remove(pdf);
  EXPECT_EQ(print(), 1);
  EXPECT_NE(testsupport::pdfText(pdf, 0, true).find("Second line of the body"), std::string::npos);
  EXPECT_EQ(platform::browser::detail::chromiumStartsForTesting(), starts + 1);

  // The print template page gone: the layout fails, shows the print template's own message, says
  // why, and the print ends with 7.
  const std::string page = CSettings::instance().getPrintTemplatePath().toUtf8();
  fs::remove(page);
  fs::remove(pdf);
  testsupport::ScriptedUi ui;
  platform::diag::clearLastFailure();
  EXPECT_EQ(print(), 7);
  EXPECT_FALSE(fs::exists(pdf));
  ASSERT_EQ(ui.messageBoxes().size(), 1u);
  EXPECT_EQ(ui.messageBoxes()[0].text, platform::browser::kInternalErrorText);
  const std::string reason = platform::diag::lastFailure();
  EXPECT_NE(reason.find("Cannot print " + m_template.string()), std::string::npos) << reason;
  EXPECT_NE(reason.find("cannot read the print template page " + page), std::string::npos) << reason;

}

TEST_F(PrinterChromiumTest, TheLoadTimeoutBoundsTheTemplatesLoadAloneAndZeroStillPrints) {
  // The browser's layout has a bound of its own: a document filled before the first tick prints.
  setLoadTimeout(0);
  EXPECT_EQ(print(), 1);
  EXPECT_NE(testsupport::pdfText(dir() / "out" / "plain.pdf", 0, true).find("Printed by the printer"), std::string::npos);
}

TEST_F(PrinterChromiumTest, AnItemWithoutARangePrintsTheTemplatesStoredRange) {
  std::string eight = "<html><head><title>Paged</title></head><body>";
  for (int i = 1; i <= 8; ++i) eight += "<div style=\"break-after:page\">SHEET-" + std::to_string(i) + "</div>";
  std::ofstream(m_template) << eight << "</body></html>";
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, (CquilMarkShellHandler::settingsKeyPath(u"Plain") + u"\\1033").c_str()),
            ERROR_SUCCESS);
  key.SetDWORDValue(u"printselection", 1);
  key.SetDWORDValue(u"pagefrom", 2);
  key.SetDWORDValue(u"pageto", 3);
  CSettings::resetForTesting();

  auto message = enginetest::openDescription(testsupport::MsgDescription{});
  CPrintInfo job(enginetest::itemOf(message));
  beginPrintRun();
  ASSERT_EQ(CPrinter(job, quilstring::fromUtf8(m_template.string())).DoService(5), 1);
  const fs::path pdf = dir() / "out" / "plain.pdf";
  EXPECT_EQ(testsupport::pdfPages(pdf), 2);
  const std::string text = testsupport::pdfText(pdf, 0, true);
  EXPECT_NE(text.find("SHEET-2"), std::string::npos) << text;
  EXPECT_EQ(text.find("SHEET-4"), std::string::npos) << text;
}

TEST_F(PrinterChromiumTest, TheTemplatesOwnFramesAreFilledAndPrinted) {
  fs::create_directories(dir() / "parts");
  std::ofstream(dir() / "parts" / "inner.htm") << "<html><body><p>INNER-FRAME <span id=QMMessProp>NAME=Subject</span></p></body></html>";
  std::ofstream(dir() / "frame.htm")
      << "<html><body><p>FRAME-TEXT <span id=QMMessProp>NAME=Subject</span></p>"
         "<iframe src=\"parts/inner.htm\" style=\"width:6in;height:1in;border:0\"></iframe></body></html>";
  std::ofstream(dir() / "secret.htm") << "<html><body>OUTSIDE-PAGE</body></html>";
  std::ofstream(m_template) << "<html><head><title>Plain</title></head><body><h1>TOP <span id=QMMessProp>NAME=Subject</span></h1>"
                               "<iframe src=\"frame.htm\" style=\"width:6in;height:3in;border:0\"></iframe>"
                               "<iframe src=\"../" << dir().filename().string() << "-none/x.htm\"></iframe>"
                               "<iframe src=\"file://" << (dir() / "secret.htm").string() << "\"></iframe></body></html>";
  auto message = enginetest::openDescription(testsupport::MsgDescription{});
  enginetest::FakePtr item = enginetest::itemOf(message);
  item->text(0x37, u"Subject", u"Framed subject");
  CPrintInfo job(item);
  beginPrintRun();
  ASSERT_EQ(CPrinter(job, quilstring::fromUtf8(m_template.string())).DoService(5), 1);
  const std::string text = testsupport::pdfText(dir() / "out" / "plain.pdf", 0, true);
  EXPECT_NE(text.find("TOP Framed subject"), std::string::npos) << text;
  EXPECT_NE(text.find("FRAME-TEXT Framed subject"), std::string::npos) << text;
  EXPECT_NE(text.find("INNER-FRAME Framed subject"), std::string::npos) << text;
  EXPECT_EQ(text.find("OUTSIDE-PAGE"), std::string::npos) << text;  // an address, not the template's page
  EXPECT_EQ(text.find("NAME=Subject"), std::string::npos) << text;
}

}  // namespace
