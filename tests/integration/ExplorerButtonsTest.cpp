// The add-in's own buttons in Outlook 11 explorers, clicked through Office's command-bar model with
// the real connection: a custom button prints each selected item in turn and stops at the first
// failure, whatever the settings saved meanwhile do to the store's buttons; the attachments button offers the attachments of its own window's selection only.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "engine/AttachmentPrint.h"
#include "engine/Printer.h"
#include "platform/loop/MessageLoop.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/UserInput.h"
#include "resources/resource.h"
#include "tests/engine/QuietPrintTemplate.h"
#include "tests/integration/AddinSession.h"
#include "tests/support/FakeShell.h"
#include "tests/support/ScriptedUi.h"

namespace {

namespace fs = std::filesystem;
using addintest::AddinSession;

constexpr char kMail[] = "bbot__HTML_mail_with_replyto_and_attachment_and_embedded_image.msg";
constexpr char kFiles[] = "hht__attachmentFiles.msg";
constexpr char kDoc[] = "tika__testMSG_att_doc.msg";

// A print template that lays nothing out: it counts its prints, fails the ones it is told to and
// runs what a print may do meanwhile (a nested loop lets the user apply the options).
class CCountingTemplate : public enginetest::CQuietPrintTemplate {
 public:
  CCountingTemplate(int& prints, int failFrom, int failTo, const std::function<void()>& during)
      : m_prints(prints), m_failFrom(failFrom), m_failTo(failTo), m_during(during) {}
  HRESULT print(const PrintRange& range, const fs::path& pdf, const fs::path& work, int& pages) override {
    const int number = ++m_prints;
    if (m_during) m_during();
    if (number >= m_failFrom && number <= m_failTo) return E_FAIL;
    return CQuietPrintTemplate::print(range, pdf, work, pages);
  }

 private:
  int& m_prints;
  int m_failFrom, m_failTo;
  const std::function<void()>& m_during;
};

class ExplorerButtonsTest : public AddinSession {
 protected:
  void SetUp() override {
    AddinSession::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    for (const char* sample : {kFiles, kDoc})
      fs::copy_file(testsupport::sharedDir() / "testdata" / "msg" / sample, dir() / "store" / "Inbox" / sample);
    setting(u"Create Toolbar", 1);
    setting(u"Buttons in Menu", 0);
    m_template = dir() / "Memo.htm";
    std::ofstream(m_template) << "<html><head><title>Memo</title></head><body><p id=QMMessProp>NAME=Subject</p>"
                                 "</body></html>";
    CPrinter::Services services;
    services.makePrintTemplate = [this](const fs::path&) {
      return std::make_unique<CCountingTemplate>(m_prints, m_failFrom, m_failTo, m_during);
    };
    services.fill = [](platform::html::CHtmlDocument&, CPrintInfo&) {};
    CPrinter::setServicesForTesting(services);
    setPrintDestination(PrintDestination{dir() / "pdf", true, u"button", {}});
    beginPrintRun();
    CAttachmentsDialog::allowHeadlessForTesting(true);
  }
  void TearDown() override {
    CAttachmentsDialog::allowHeadlessForTesting(false);
    CPrinter::resetServicesForTesting();
    setPrintDestination({});
    AddinSession::TearDown();
  }

  // An explorer on the Inbox with those samples selected, its manager ticked until its toolbar is there.
  CComPtr<IDispatch> explorerWith(const std::vector<const char*>& samples) {
    std::vector<IDispatch*> selection;
    for (const char* sample : samples) {
      m_keep.push_back(m_outlook->item(dir() / "store" / "Inbox" / sample));
      selection.push_back(m_keep.back());
    }
    const CComPtr<IDispatch> explorer = m_outlook->openExplorer(m_outlook->defaultFolder(olFolderInbox), selection);
    for (int i = 0; i < 2; ++i)
      for (const CDisplayManager::Ptr& manager : worker().explorerManagers())
        if (manager) manager->onTimerCallback();
    return explorer;
  }
  // The window's own button with that tag on the add-in's toolbar.
  CComPtr<IDispatch> button(IDispatch* explorer, const char16_t* tag) {
    CComVariant name(u"Quillmark"), toolbar;
    CComDispatchDriver(m_bars[explorer]).InvokeArgs(u"Item", DISPATCH_PROPERTYGET, {static_cast<VARIANT*>(&name), 1}, &toolbar);
    if (toolbar.vt != VT_DISPATCH) return nullptr;
    VARIANT missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    const CComVariant tagArg(tag);
    const std::vector<VARIANT> args{missing, missing, tagArg};
    CComVariant found;
    CComDispatchDriver(toolbar.pdispVal).InvokeArgs(u"FindControl", DISPATCH_METHOD, args, &found);
    return found.vt == VT_DISPATCH ? CComPtr<IDispatch>(found.pdispVal) : nullptr;
  }
  static void click(IDispatch* control) {
    bool cancelled = false;
    ASSERT_TRUE(control);
    EXPECT_EQ(platform::office::clickControl(control, cancelled), S_OK);
  }

  fs::path m_template;
  int m_prints = 0;
  int m_failFrom = 0, m_failTo = 0;
  std::function<void()> m_during;
};

TEST_F(ExplorerButtonsTest, ACustomButtonPrintsEachSelectedItemAndStopsAtTheFirstFailure) {
  connect(u"11.0.8169.0");
  CustomButton& record = CSettings::instance().getSettingsData().buttons.buttons[0];
  record.showButton = true;
  record.printOperation = 2;  // at once
  record.showTemplateSelectionDialog = false;
  record.action.templateEnabled = true;
  record.action.useOutlookTemplate = false;
  record.action.printingTemplate = quilstring::fromUtf8(m_template.string());
  record.action.attachmentEnabled = false;
  testsupport::ScriptedUi ui;
  const CComPtr<IDispatch> explorer = explorerWith({kMail, kFiles});
  const CComPtr<IDispatch> custom = button(explorer, u"QUILLMARK_CUSTOMBUTTON1");

  click(custom);
  EXPECT_EQ(m_prints, 2);
  EXPECT_EQ(writtenPdfs().size(), 2u);
  EXPECT_EQ(log().find("Error occured. Stop printing selection"), std::string::npos);

  // The settings saved while each item prints (the options applied meanwhile): the store's list
  // of buttons is rebuilt under the print, which goes on with the button as it was clicked.
  int saves = 0;
  m_during = [&] {
    const SettingsData copy = CSettings::instance().getSettingsData();
    EXPECT_TRUE(CSettings::instance().save(copy));
    ++saves;
  };
  m_prints = 0;
  record.action.attachmentEnabled = true;
  record.showAttachmentDialog = false;
  record.action.attachmentState = 2;  // only the attachments named below
  record.action.attachmentString = u"nothing-is-named-so";
  click(custom);
  m_during = nullptr;
  EXPECT_EQ(saves, 2);
  EXPECT_EQ(m_prints, 2);
  EXPECT_EQ(writtenPdfs().size(), 4u);

  // The first item fails: the second is never tried, and the log says why the rest stopped.
  CustomButton& saved = CSettings::instance().getSettingsData().buttons.buttons[0];
  saved.action.attachmentEnabled = false;
  m_prints = 0;
  m_failFrom = 1;
  m_failTo = 1;
  click(custom);
  EXPECT_EQ(m_prints, 1);
  EXPECT_EQ(writtenPdfs().size(), 4u);
  EXPECT_NE(log().find("Error occured. Stop printing selection"), std::string::npos);
  m_outlook->close(explorer);
}

TEST_F(ExplorerButtonsTest, TheAttachmentsButtonOffersOnlyItsOwnWindowsAttachments) {
  connect(u"11.0.8169.0");
  CSettings::instance().setAttachmentsSelectionView(false);
  testsupport::FakeShell shell;
  const CComPtr<IDispatch> mine = explorerWith({kDoc});
  const CComPtr<IDispatch> other = explorerWith({kFiles});

  // Each dialog that opens is read and closed; a second one would be another window's.
  std::vector<std::vector<std::u16string>> offered;
  std::function<void()> closeNext = [&] {
    const HWND dialog = GetActiveWindow();
    const HWND list = GetDlgItem(dialog, IDC_COMPLEX_LIST);
    if (!list) return;
    offered.emplace_back();
    for (int row = 0; row < ListView_GetItemCount(list); ++row) {
      char16_t name[260] = {};
      ListView_GetItemText(list, row, 0, name, 260);
      offered.back().push_back(name);
    }
    platform::loop::post(closeNext);
    platform::ui::input::click(GetDlgItem(dialog, IDCANCEL));
  };
  platform::loop::post(closeNext);
  click(button(mine, u"QUILLMARK_ATTACHMENTS"));
  platform::loop::runUntilIdle();  // the close posted again finds no dialog
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0], (std::vector<std::u16string>{u"test-unicode.doc", u"pj1.txt"}));

  offered.clear();
  platform::loop::post(closeNext);
  click(button(other, u"QUILLMARK_ATTACHMENTS"));
  platform::loop::runUntilIdle();  // the close posted again finds no dialog
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0], (std::vector<std::u16string>{u"jpg.jpg", u"png.png", u"tif.tif"}));
  EXPECT_TRUE(shell.requests().empty());
  m_outlook->close(mine);
  m_outlook->close(other);
}

}  // namespace
