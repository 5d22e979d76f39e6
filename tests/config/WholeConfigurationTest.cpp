// A whole configuration made as a person makes it, through the options page and its dialogs: a
// new item type with a memo and a folder template, print options and page setup for the memo one,
// an autoprint action, two quick buttons and logging. Saved to the hive files, read back equal
// from them, and used by the next `quillmark print`: the new type prints with its template, laid
// out with the page setup's margins, and the log is written where the options said.
#include "config/OptionsPage.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include <sys/wait.h>

#include <boost/make_shared.hpp>

#include "config/ButtonDialogs.h"
#include "config/PrintOptionsDialogs.h"
#include "platform/mapi/MAPIDefs.h"
#include "platform/mapi/PropTags.h"
#include "platform/registry/RegKey.h"
#include "tests/config/ConfigDialogFixture.h"
#include "tests/support/MsgWriter.h"

namespace {

using namespace configtest;
namespace fs = std::filesystem;

constexpr const char16_t* kLedgerClass = u"IPM.Note.Ledger";
constexpr const char* kMarker = "LEDGERTEMPLATE";

// A memo template whose body has no margin of its own: where its first word lands on the page is
// where the page setup's margins put it.
constexpr const char* kLedgerTemplate =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Ledger</title>"
    "<style>html,body{margin:0;padding:0;font-family:Arial,sans-serif;font-size:12pt}p{margin:0}</style></head>"
    "<body><p>LEDGERTEMPLATE <span id=\"QMMessProp\">NAME=Subject</span></p></body></html>";
constexpr const char* kLedgerListTemplate =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Ledger list</title></head>"
    "<body><table><tr><td><span id=\"QMMessProp\">NAME=Subject</span></td></tr></table></body></html>";

class WholeConfigurationTest : public ConfigDialogTest {
 protected:
  void SetUp() override {
    ConfigDialogTest::SetUp();
    // The machine as the installer leaves it, then the dialogs' process reads it from its files.
    ASSERT_EQ(quillmark("install"), 0) << testsupport::readFile(dir() / "err.txt");
    platform::registry::resetForTesting();
    CSettings::resetForTesting();
    ShowWindow(m_owner, SW_SHOW);
    fs::create_directories(dir() / "templates");
    std::ofstream(m_ledger) << kLedgerTemplate;
    std::ofstream(m_ledgerList) << kLedgerListTemplate;
  }

  int quillmark(const std::string& args) {
    // The locale the dialogs stored the page setup under (the add-in's default, en-US).
    return testsupport::runCommand("LC_ALL=en_US.UTF-8 " + std::string(QM_QUILLMARK_BINARY) + " --no-gui " + args,
                                   dir());
  }

  // A template through "Add..." of dialog 118 and dialog 119; `extra` acts in 119 before its OK.
  static void addTemplate(HWND templates, const std::u16string& name, const fs::path& path, bool multiItem,
                          std::function<void(HWND)> extra = nullptr) {
    actInNext([=](HWND t) {
      input::typeText(at(t, IDC_TEMPLATE_NAME), name);
      input::typeText(at(t, IDC_TEMPLATE_PATH), quilstring::fromUtf8(path.string()));
      input::click(at(t, multiItem ? IDC_MULTI_ITEM : IDC_MEMO_STYLE));
      if (extra) extra(t);
      input::click(at(t, IDOK));
    });
    input::click(at(templates, IDC_TEMPLATE_ADD));
  }

  static void editQuickButton(HWND manager, int row, const std::u16string& name, const std::u16string& faceId, int operation) {
    actInNext([=](HWND b) {
      retype(b, IDC_BUTTON_NAME, name);
      retype(b, IDC_FACEID, faceId);
      input::click(at(b, operation));
      input::click(at(b, IDOK));
    });
    input::clickListRow(at(manager, IDC_QUICK_BUTTON_LIST), row);
    input::click(at(manager, IDC_QUICK_BUTTON_EDIT));
  }

  fs::path m_ledger = dir() / "templates" / "Ledger.htm";
  fs::path m_ledgerList = dir() / "templates" / "LedgerList.htm";
  fs::path m_log = dir() / "logs" / "quillmark.log";
};

TEST_F(WholeConfigurationTest, MadeThroughTheDialogsSavedReadBackEqualAndUsedByTheNextPrint) {
  const SettingsData installed = CSettings::instance().getSettingsData();
  ASSERT_FALSE(installed.messageClasses.empty()) << "the installer's classes";
  fs::create_directories(m_log.parent_path());

  COptionsPage page;
  const HWND p = page.Create(m_owner);
  ASSERT_TRUE(p);
  const HWND classes = at(p, IDC_PP_LIST);
  const int rowsBefore = ListView_GetItemCount(classes);

  // The new item type and its two templates; print options and page setup for the memo one.
  actInNext([&](HWND d) {
    actInNext([](HWND chooser) {
      input::click(at(chooser, IDC_CUSTOM_CLASS));
      input::typeText(at(chooser, IDC_CUSTOM_CLASS_EDIT), kLedgerClass);
      input::click(at(chooser, IDOK));
    });
    input::click(at(d, IDC_CHANGE_CLASS));
    addTemplate(d, u"Ledger", m_ledger, false, [](HWND t) {
      actInNext([](HWND options) {
        input::click(at(options, IDC_PRINT_PAGES));
        retype(options, IDC_PAGE_RANGE, u"1-2");
        input::click(at(options, IDOK));
      });
      input::click(at(t, IDC_PRINT_OPTIONS));
      actInNext([](HWND setup) {
        EXPECT_EQ(captionOf(setup), u"Print Options for Template: Ledger");
        retype(setup, IDC_MARGIN_TOP, u"1.50");
        retype(setup, IDC_MARGIN_LEFT, u"2.00");
        retype(setup, IDC_MARGIN_RIGHT, u"0.50");
        retype(setup, IDC_MARGIN_BOTTOM, u"0.75");
        input::click(at(setup, IDOK));
      });
      input::click(at(t, IDC_PAGE_SETUP));
    });
    addTemplate(d, u"Ledger list", m_ledgerList, true);
    input::click(at(d, IDOK));
  });
  input::click(at(p, IDC_PP_ADD));
  ASSERT_EQ(ListView_GetItemCount(classes), rowsBefore + 1);
  EXPECT_EQ(rowOf(classes, rowsBefore), kLedgerClass);
  EXPECT_EQ(rowOf(classes, rowsBefore, 1), u"2 Templates ...");

  // An autoprint action printing the item with the new template, and the seconds for attachments.
  actInNext([&](HWND autoprint) {
    actInNext([&](HWND a) {
      input::click(at(a, IDC_ENABLE_ITEM));
      input::click(at(a, IDC_TEMPLATE_LAYOUT));
      input::typeText(at(a, IDC_ACTION_TEMPLATE), quilstring::fromUtf8(m_ledger.string()));
      input::typeText(at(a, IDC_ACTION_NAME), u"Ledger to paper");
      input::click(at(a, IDOK));
    });
    input::click(at(autoprint, IDC_ACTION_ADD));
    retype(autoprint, IDC_SECONDS, u"30");
    input::click(at(autoprint, IDOK));
  });
  input::click(at(p, IDC_PP_AUTOPRINT_OPTIONS));

  // Two quick buttons shown.
  actInNext([&](HWND manager) {
    editQuickButton(manager, 0, u"Ledger preview", u"4", IDC_OP_PREVIEW);
    editQuickButton(manager, 1, u"Ledger now", u"", IDC_OP_QUICK);
    const HWND list = at(manager, IDC_QUICK_BUTTON_LIST);
    for (int row : {0, 1})
      if (!ListView_GetCheckState(list, row)) input::clickListCheckBox(list, row);
    input::click(at(manager, IDOK));
  });
  input::click(at(p, IDC_PP_BUTTONS_OPTIONS));

  // Logging on, into a file of the test's.
  actInNext([&](HWND other) {
    if (!isChecked(other, IDC_ENABLE_LOGGING)) input::click(at(other, IDC_ENABLE_LOGGING));
    retype(other, IDC_LOG_PATH, quilstring::fromUtf8(m_log.string()));
    input::click(at(other, IDOK));
  });
  input::click(at(p, IDC_PP_OTHER_OPTIONS));

  EXPECT_TRUE(boxTexts().empty()) << "nothing was refused";
  ASSERT_TRUE(page.isDirty());
  ASSERT_TRUE(page.Apply());
  EXPECT_FALSE(page.isDirty());
  page.Destroy();

  // What the dialogs made, read back from the hive files by a fresh settings store.
  SettingsData expected = installed;
  auto ledger = boost::make_shared<MessageClassSettings>();
  ledger->templates = {{u"Ledger", quilstring::fromUtf8(m_ledger.string()), false, PrintOptions{1, 2, 1, 0}},
                       {u"Ledger list", quilstring::fromUtf8(m_ledgerList.string()), true, PrintOptions{}}};
  expected.messageClasses[kLedgerClass] = ledger;
  ActionDetail action;
  action.templateEnabled = true;
  action.useOutlookTemplate = false;
  action.attachmentState = 1;
  action.displayName = u"Ledger to paper";
  action.printingTemplate = quilstring::fromUtf8(m_ledger.string());
  expected.autoprint.actions.push_back(action);
  expected.autoprint.numSeconds = 30;
  ASSERT_GE(expected.buttons.buttons.size(), 2u);
  for (std::size_t i = 0; i < expected.buttons.buttons.size() && i < CDialogButtonManager::kQuickButtons; ++i)
    expected.buttons.buttons[i].action.displayName = u"Quick Button " + quilstring::fromUtf8(std::to_string(i + 1));
  CustomButton& preview = expected.buttons.buttons[0];
  preview.displayName = u"Ledger preview";
  preview.faceId = 4;
  preview.printOperation = 1;
  preview.showButton = true;
  CustomButton& now = expected.buttons.buttons[1];
  now.displayName = u"Ledger now";
  now.faceId = 0;
  now.printOperation = 2;
  now.showButton = true;
  expected.otherOptions.enableLogging = true;
  expected.otherOptions.logPath = quilstring::fromUtf8(m_log.string());

  platform::registry::resetForTesting();
  CSettings::resetForTesting();
  const SettingsData read = CSettings::instance().getSettingsData();
  ASSERT_TRUE(read.messageClasses.count(kLedgerClass));
  EXPECT_EQ(*read.messageClasses.at(kLedgerClass), *ledger);
  EXPECT_EQ(read.autoprint, expected.autoprint);
  EXPECT_EQ(read.buttons, expected.buttons);
  EXPECT_EQ(read.otherOptions, expected.otherOptions);
  EXPECT_EQ(read, expected);
  CRegKey setup;
  ASSERT_EQ(setup.Open(HKEY_CURRENT_USER, (CDialogPageSetup::settingsKeyPath(u"Ledger") + u"\\1033").c_str(), KEY_READ),
            ERROR_SUCCESS);
  for (const auto& [name, value] : {std::pair{u"marginTop", 150u}, {u"marginLeft", 200u}, {u"marginRight", 50u},
                                    {u"marginBottom", 75u}}) {
    DWORD stored = 0;
    EXPECT_EQ(setup.QueryDWORDValue(name, stored), ERROR_SUCCESS);
    EXPECT_EQ(stored, value) << quilstring(name).toUtf8();
  }

  // The next print, another process: an item of the new type.
  testsupport::MsgDescription mail;
  mail.messageClass = "IPM.Note.Ledger";
  mail.props = {testsupport::unicodeProp(PR_SUBJECT_W, u"Entry 42"),
                testsupport::unicodeProp(PR_SENDER_NAME_W, u"Mara Lindqvist"),
                testsupport::unicodeProp(PR_BODY_W, u"Ledger body.")};
  const fs::path msg = dir() / "entry.msg";
  ASSERT_TRUE(testsupport::writeMsgFile(mail, msg));
  ASSERT_EQ(quillmark("print " + msg.string() + " --out " + (dir() / "pdf").string()), 0)
      << testsupport::readFile(dir() / "err.txt");
  std::vector<fs::path> pdfs;
  for (const auto& entry : fs::directory_iterator(dir() / "pdf"))
    if (entry.path().extension() == ".pdf") pdfs.push_back(entry.path());
  ASSERT_EQ(pdfs.size(), 1u);
  const std::string text = testsupport::pdfText(pdfs[0]);
  EXPECT_NE(text.find(std::string(kMarker) + " Entry 42"), std::string::npos) << text;

  // The marker's place on the page: 2 inches from the left edge, 1.5 inches from the top.
  const std::string boxes = testsupport::commandOutput("pdftotext -bbox '" + pdfs[0].string() + "' - 2>/dev/null");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(boxes, m,
                                std::regex(std::string("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>") + kMarker + "<")))
      << boxes;
  EXPECT_NEAR(std::stod(m[1]), 2.0 * 72, 2.0);
  EXPECT_NEAR(std::stod(m[2]), 1.5 * 72, 3.0);

  // Logging on: the print wrote its log where the options said.
  std::error_code error;
  EXPECT_GT(fs::file_size(m_log, error), 0u) << error.message();
}

}  // namespace
