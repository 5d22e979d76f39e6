// A preview whose page setup the user changes: the new layout shows at once, the settings are
// stored for the template under the process's locale when the preview closes, and the next print
// of the process (after the registry is read back from its files) is laid out with them.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "host/Install.h"
#include "host/Print.h"
#include "platform/browser/PrintDestination.h"
#include "platform/mapi/MAPIDefs.h"
#include "platform/mapi/PropTags.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Locale.h"
#include "platform/system/Text.h"
#include "tests/support/MsgWriter.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr LCID kGerman = 1031;
constexpr const char16_t* kSettingsKey = u"SOFTWARE\\Corvessa\\QuillMark For Outlook\\Template Settings\\Mail";

// The footer string's address part (&u): the template's file.
constexpr const char* kFooterAddress = "Templates/Mail.htm";
// A word of the mail's body, whose place shows the left margin.
constexpr const char* kBodyWord = "short";

int occurrences(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

struct PdfPage {
  double width = 0;
  double height = 0;
  int pages = 0;
  std::string text;
  double bodyLeft = -1;  // points from the page's left edge
};

PdfPage readPdf(const fs::path& pdf) {
  PdfPage page;
  const std::string info = testsupport::commandOutput("pdfinfo '" + pdf.string() + "' 2>/dev/null");
  std::smatch m;
  if (std::regex_search(info, m, std::regex("Page size:\\s+([0-9.]+) x ([0-9.]+)"))) {
    page.width = std::stod(m[1]);
    page.height = std::stod(m[2]);
  }
  if (std::regex_search(info, m, std::regex("Pages:\\s+([0-9]+)"))) page.pages = std::stoi(m[1]);
  page.text = testsupport::commandOutput("pdftotext '" + pdf.string() + "' - 2>/dev/null");
  const std::string boxes = testsupport::commandOutput("pdftotext -bbox '" + pdf.string() + "' - 2>/dev/null");
  if (std::regex_search(boxes, m, std::regex(std::string("xMin=\"([0-9.]+)\"[^>]*>") + kBodyWord + "<")))
    page.bodyLeft = std::stod(m[1]);
  return page;
}

class PreviewPageSetupTest : public IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    platform::registry::resetForTesting();
    SetThreadLocale(kGerman);
  }
  void TearDown() override {
    platform::system::resetThreadLocaleForTesting();
    platform::registry::resetForTesting();
  }

  int print(int mode) {
    host::PrintCommandLine command;
    command.files = {m_mail};
    command.mode = mode;
    command.out = dir() / "pdf";
    return host::runPrint(command);
  }

  static std::u16string text(CRegKey& key, const char16_t* name) {
    char16_t buffer[600];
    DWORD type = 0, size = sizeof buffer;
    if (key.QueryValue(name, &type, buffer, &size) != ERROR_SUCCESS || type != REG_SZ) return u"<missing>";
    return std::u16string(buffer, size / 2 - 1);
  }

  fs::path m_mail = dir() / "mail.msg";
};

TEST_F(PreviewPageSetupTest, SettingsChangedInAPreviewAreStoredAndUsedByTheNextPrint) {
  ASSERT_TRUE(host::install({}).ok);
  MsgDescription mail;
  mail.messageClass = "IPM.Note";
  mail.props = {unicodeProp(PR_SUBJECT_W, u"Page setup round trip"), unicodeProp(PR_SENDER_NAME_W, u"Mara Lindqvist"),
                unicodeProp(PR_SENT_REPRESENTING_NAME_W, u"Mara Lindqvist"),
                unicodeProp(PR_BODY_W, u"A short body that fits one page.")};
  ASSERT_TRUE(writeMsgFile(mail, m_mail));

  // The preview: page setup (landscape, 1 inch margins, title and page numbers), then close.
  ScriptedUi ui;
  ui.queueChoice(2);  // Page Setup
  ui.queueChoice(1);  // Landscape
  ui.queueChoice(4);  // 1.00 inch
  ui.queueChoice(1);  // title and page numbers; address and date
  ui.queueChoice(3);  // Close Print Preview
  ASSERT_EQ(print(4), 0);
  ASSERT_EQ(ui.choiceRequests().size(), 5u);
  EXPECT_EQ(ui.choiceRequests()[0].title, u"Print Preview");
  EXPECT_EQ(ui.choiceRequests()[3].prompt, u"Header and footer:");
  EXPECT_EQ(ui.choiceRequests()[4].title, u"Print Preview");

  // The preview showed the pages as they were, then as the page setup made them.
  ASSERT_EQ(platform::browser::writtenPdfs().size(), 2u);
  const PdfPage before = readPdf(platform::browser::writtenPdfs()[0]);
  const PdfPage after = readPdf(platform::browser::writtenPdfs()[1]);
  ASSERT_GT(before.width, 0);
  EXPECT_LT(before.width, before.height);
  EXPECT_EQ(before.text.find(kFooterAddress), std::string::npos) << before.text;
  EXPECT_EQ(occurrences(before.text, "Page 1 of 1"), 1) << before.text;  // the template's own footer
  EXPECT_GT(after.width, after.height);
  EXPECT_NE(after.text.find(kFooterAddress), std::string::npos) << after.text;
  EXPECT_EQ(occurrences(after.text, "Page 1 of 1"), 2) << after.text;
  EXPECT_NEAR(after.bodyLeft - before.bodyLeft, 0.4 * 72, 1.0);

  // Stored for the template under the process's locale, read back from the hive files.
  platform::registry::resetForTesting();
  CRegKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, (std::u16string(kSettingsKey) + u"\\1031").c_str(), KEY_READ), ERROR_SUCCESS);
  for (const char16_t* name : {u"marginTop", u"marginBottom", u"marginLeft", u"marginRight"}) {
    DWORD value = 0;
    EXPECT_EQ(key.QueryDWORDValue(name, value), ERROR_SUCCESS);
    EXPECT_EQ(value, 100u) << platform::system::utf16ToUtf8(name);
  }
  EXPECT_EQ(text(key, u"orientation"), u"landscape");
  EXPECT_EQ(text(key, u"header"), u"&w&bPage &p of &P");
  EXPECT_EQ(text(key, u"footer"), u"&u&b&d");
  CRegKey english;
  EXPECT_NE(english.Open(HKEY_CURRENT_USER, (std::u16string(kSettingsKey) + u"\\1033").c_str(), KEY_READ),
            ERROR_SUCCESS);

  // The next print asks nothing and is laid out with them.
  const std::size_t asked = ui.choiceRequests().size();
  ASSERT_EQ(print(5), 0);
  EXPECT_EQ(ui.choiceRequests().size(), asked);
  ASSERT_EQ(platform::browser::writtenPdfs().size(), 1u);
  const PdfPage printed = readPdf(platform::browser::writtenPdfs()[0]);
  EXPECT_EQ(printed.pages, 1);
  EXPECT_GT(printed.width, printed.height);
  EXPECT_NE(printed.text.find(kFooterAddress), std::string::npos) << printed.text;
  EXPECT_EQ(occurrences(printed.text, "Page 1 of 1"), 2) << printed.text;
  EXPECT_NEAR(printed.bodyLeft, after.bodyLeft, 0.5);
  EXPECT_NE(printed.text.find("Page setup round trip"), std::string::npos) << printed.text;
}

}  // namespace
