// CPrinter on the real browser: a print reaches a PDF, a missing print template page gives its
// status, the load time-out bounds only the template's own load, and a browser killed between
// jobs is started again.

#include <signal.h>

#include <fstream>

#include <gtest/gtest.h>

#include "engine/Printer.h"
#include "foundation/Settings.h"
#include "platform/browser/ChromiumPrintEngine.h"
#include "platform/registry/RegKey.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

std::string pdfText(const fs::path& pdf) {
  const fs::path text = pdf.string() + ".txt";
  const std::string command = "pdftotext -layout '" + pdf.string() + "' '" + text.string() + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return testsupport::readFile(text);
}

class PrinterChromiumTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    CSettings::resetForTesting();
    beginPrintRun();
    m_template = dir() / "Plain.htm";
    std::ofstream(m_template) << "<html><head><title>Plain</title></head><body><h1>Printed by the printer</h1>"
                                 "<p>Second line of the body</p></body></html>";
    setPrintDestination(PrintDestination{dir() / "out", true, u"plain"});
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
  EXPECT_NE(pdfText(pdf).find("Printed by the printer"), std::string::npos);

  // Killed between jobs: the next job starts it again and prints.
  const int starts = platform::browser::detail::chromiumStartsForTesting();
  const pid_t pid = platform::browser::detail::chromiumPidForTesting();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  fs::remove(pdf);
  EXPECT_EQ(print(), 1);
  EXPECT_NE(pdfText(pdf).find("Second line of the body"), std::string::npos);
  EXPECT_EQ(platform::browser::detail::chromiumStartsForTesting(), starts + 1);

  // The print template page gone: the browser cannot lay the document out.
  fs::remove(CSettings::instance().getPrintTemplatePath().toUtf8());
  fs::remove(pdf);
  EXPECT_EQ(print(), 7);
  EXPECT_FALSE(fs::exists(pdf));

}

TEST_F(PrinterChromiumTest, TheLoadTimeoutBoundsTheTemplatesLoadAloneAndZeroStillPrints) {
  // The browser's layout has a bound of its own: a document filled before the first tick prints.
  setLoadTimeout(0);
  EXPECT_EQ(print(), 1);
  EXPECT_NE(pdfText(dir() / "out" / "plain.pdf").find("Printed by the printer"), std::string::npos);
}

}  // namespace
