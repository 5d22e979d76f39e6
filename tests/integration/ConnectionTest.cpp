// The add-in connected to the Outlook stand-in: the worker's managers follow Outlook's windows,
// their status machine, and the print services behind Outlook's own commands and the add-in's
// own requests, printing for real into a folder.

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/Printer.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Settings.h"
#include "host/Install.h"
#include "integration/Connect.h"
#include "integration/ConnectImpl.h"
#include "platform/mapi/PropTags.h"
#include "platform/office/CommandBars.h"
#include "platform/outlook/Outlook.h"
#include "platform/outlook/OwnPrintRequests.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/WinUser.h"
#include "resources/resource.h"
#include "tests/integration/CommandBarsSupport.h"
#include "tests/support/MsgWriter.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using namespace platform::office;

constexpr LONG kOleAttachment = 6;

class ConnectionTest : public IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
    platform::registry::resetForTesting();
    ASSERT_TRUE(host::install({}).ok);
    CSettings::resetForTesting();
    fs::create_directories(inbox());
    setPrintDestination(PrintDestination{dir() / "pdf", true, u"", {}});
    beginPrintRun();
  }
  void TearDown() override {
    m_outlook.reset();
    CSettings::resetForTesting();
    NGlobals::resetForTesting();
    platform::registry::resetForTesting();
  }

  fs::path inbox() const { return dir() / "store" / "Inbox"; }

  void mail(const std::string& name, const std::u16string& subject, bool ole = false) {
    MsgDescription d;
    d.messageClass = "IPM.Note";
    d.props = {unicodeProp(PR_SUBJECT_W, subject), unicodeProp(PR_SENDER_NAME_W, u"Mara Lindqvist"),
               unicodeProp(PR_BODY_W, u"Body of " + subject)};
    if (ole) {
      MsgAttachment attachment;
      attachment.props = {longProp(PR_ATTACH_METHOD, kOleAttachment), unicodeProp(PR_ATTACH_LONG_FILENAME_W, u"chart.xls")};
      d.attachments.push_back(attachment);
    }
    EXPECT_TRUE(writeMsgFile(d, inbox() / (name + ".msg")));
  }

  void open(const char16_t* version) {
    platform::outlook::OutlookOptions options;
    options.version = version;
    m_outlook = platform::outlook::COutlook::open(dir() / "store", options);
    ASSERT_TRUE(m_outlook);
  }
  CComPtr<IDispatch> item(const std::string& name) const { return m_outlook->item(inbox() / (name + ".msg")); }

  CComPtr<CComObject<CConnect>> connect(ext_ConnectMode mode) {
    CComObject<CConnect>* made = nullptr;
    EXPECT_EQ(CComObject<CConnect>::CreateInstance(&made), S_OK);
    CComPtr<CComObject<CConnect>> addIn(made);
    SAFEARRAY* custom = nullptr;
    EXPECT_EQ(addIn->OnConnection(m_outlook->application(), mode, nullptr, &custom), S_OK);
    return addIn;
  }

  // Templates of IPM.Note: the shipped memo template under each name, or as a list template.
  void noteTemplates(const std::vector<std::pair<std::u16string, bool>>& records) {
    const quilstring shipped = CSettings::instance().getTemplateFolder() + u"Mail.htm";
    auto settings = boost::make_shared<MessageClassSettings>();
    for (const auto& [name, folder] : records) settings->templates.push_back({name, shipped, folder, {}});
    CSettings::instance().getSettingsData().messageClasses[u"IPM.Note"] = settings;
  }

  std::unique_ptr<platform::outlook::COutlook> m_outlook;
};

TEST_F(ConnectionTest, EachOutlookWindowGetsItsOwnManagerForItsLife) {
  mail("one", u"One");
  mail("two", u"Two");
  open(u"9.0.0.2711");
  CComObject<CConnect>* made = nullptr;
  ASSERT_EQ(CComObject<CConnect>::CreateInstance(&made), S_OK);
  CComPtr<CComObject<CConnect>> refused(made);
  SAFEARRAY* custom = nullptr;
  EXPECT_EQ(refused->OnConnection(nullptr, ext_cm_AfterStartup, nullptr, &custom), E_POINTER);
  EXPECT_EQ(refused->worker(), nullptr);

  // At start-up the active explorer waits for Outlook's start-up to complete.
  const CComPtr<IDispatch> first = m_outlook->openExplorer(m_outlook->folder(u"Inbox"), {item("one")});
  auto addIn = connect(ext_cm_Startup);
  EXPECT_EQ(NGlobals::officeMajorVersion(), 9);
  CConnectImpl& worker = *addIn->worker();
  EXPECT_TRUE(worker.explorerManagers().empty());
  addIn->OnStartupComplete(&custom);
  ASSERT_EQ(worker.explorerManagers().size(), 1u);

  // A second explorer has a manager of its own; each window finds its own.
  const CComPtr<IDispatch> second = m_outlook->openExplorer(m_outlook->folder(u"Inbox"), {item("two")});
  ASSERT_EQ(worker.explorerManagers().size(), 2u);
  CDisplayManager* forFirst = worker.getDisplayManagerFromInspector(first);
  CDisplayManager* forSecond = worker.getDisplayManagerFromInspector(second);
  ASSERT_TRUE(forFirst && forSecond);
  EXPECT_NE(forFirst, forSecond);
  EXPECT_TRUE(forSecond->servesExplorer(second));

  // An inspector announced twice has one manager; when it closes, one tick lets it go.
  const CComPtr<IDispatch> inspector = m_outlook->openInspector(item("one"));
  worker.NewInspector(inspector);
  ASSERT_EQ(worker.inspectorManagers().size(), 1u);
  EXPECT_EQ(worker.inspectorManagers()[0]->status(), CDisplayManager::STARTING);  // Outlook 9: ticks until shown
  m_outlook->close(inspector);
  EXPECT_EQ(worker.onTimerCallback(), S_OK);
  EXPECT_TRUE(worker.inspectorManagers().empty());

  // Connected after start-up, the active explorer has its manager at once.
  addIn->OnDisconnection(ext_dm_HostShutdown, &custom);
  EXPECT_EQ(addIn->worker(), nullptr);
  for (ext_ConnectMode mode : {ext_cm_AfterStartup, ext_cm_External, ext_cm_CommandLine}) {
    auto later = connect(mode);
    EXPECT_EQ(later->worker()->explorerManagers().size(), 1u) << mode;
    later->OnDisconnection(ext_dm_UserClosed, &custom);
  }
}

TEST_F(ConnectionTest, StatusMachinePromotesPendingInspectorsAndClosesEachManagerOnce) {
  mail("one", u"One");
  mail("two", u"Two");
  open(u"11.0.8169.0");
  auto addIn = connect(ext_cm_AfterStartup);
  CConnectImpl& worker = *addIn->worker();
  ASSERT_EQ(worker.explorerManagers().size(), 0u);
  const CComPtr<IDispatch> explorer = m_outlook->openExplorer(m_outlook->folder(u"Inbox"), {item("one")});
  const CComPtr<IDispatch> shown = m_outlook->openInspector(item("one"));
  const CComPtr<IDispatch> never = m_outlook->openInspector(item("two"));
  ASSERT_EQ(worker.inspectorManagers().size(), 2u);
  CDisplayManager::Ptr first = worker.inspectorManagers()[0], pending = worker.inspectorManagers()[1];
  EXPECT_EQ(CDisplayManager::pendingInspectors().size(), 2u);

  // An inspector that closes before the explorer leaves the pending set at once.
  m_outlook->close(shown);
  EXPECT_TRUE(first->isClosed());
  EXPECT_EQ(CDisplayManager::pendingInspectors().size(), 1u);
  first.Release();
  worker.onTimerCallback();

  // The explorer's close promotes the never-shown inspector; its next tick finds it hidden.
  m_outlook->close(explorer);
  EXPECT_EQ(pending->status(), CDisplayManager::STARTED);
  EXPECT_TRUE(CDisplayManager::pendingInspectors().empty());
  pending->onTimerCallback();
  EXPECT_TRUE(pending->isClosed());
  pending->CloseDown();  // once only
  EXPECT_TRUE(pending->isClosed());
  SAFEARRAY* custom = nullptr;
  addIn->OnDisconnection(ext_dm_HostShutdown, &custom);
}

TEST_F(ConnectionTest, PrintServicesTakeOutlooksCommandsOverOrHandThemBack) {
  ScriptedUi ui;
  mail("one", u"One");
  mail("two", u"Two");
  mail("three", u"Three");
  mail("ole", u"Embedded", true);
  open(u"12.0.6425.1000");
  auto addIn = connect(ext_cm_AfterStartup);
  CConnectImpl& worker = *addIn->worker();
  COfficeCommandBars office;
  std::vector<LONG> outlookRan;
  office.setDefaultCommand([&](IDispatch*, LONG id) { outlookRan.push_back(id); });

  // Two explorers, each with Outlook's bars sunk by its manager.
  std::vector<CComPtr<IDispatch>> explorers, bars;
  for (const char* name : {"one", "two"}) {
    explorers.push_back(m_outlook->openExplorer(m_outlook->folder(u"Inbox"), {item(name)}));
    bars.push_back(office.create(explorers.back()));
    m_outlook->setCommandBars(explorers.back(), bars.back());
    worker.getDisplayManagerFromInspector(explorers.back())->Sink(_CommandBarsPtr(bars.back()));
  }
  const auto click = [&](IDispatch* control) {
    bool cancelled = false;
    EXPECT_EQ(clickControl(control, cancelled), S_OK);
    return cancelled;
  };

  // Two memo templates: the choice is asked; cancelling it prints nothing and Outlook prints
  // nothing either. Only the clicked window's manager asks.
  noteTemplates({{u"Letter", false}, {u"Memo", false}});
  ui.queueChoice(-1);
  EXPECT_TRUE(click(findControl(bars[0], u"Menu Bar", kIdPrint)));
  EXPECT_EQ(ui.choiceRequests().size(), 1u);
  EXPECT_TRUE(writtenPdfs().empty());
  EXPECT_TRUE(outlookRan.empty());

  // Chosen, the clicked window's selection prints, once.
  ui.queueChoice(1);
  EXPECT_TRUE(click(findControl(bars[1], u"Standard", kIdQuickPrint)));
  ASSERT_EQ(writtenPdfs().size(), 1u);
  EXPECT_NE(pdfText(writtenPdfs()[0]).find("Two"), std::string::npos);

  // No template this job can use hands the command back to Outlook.
  noteTemplates({{u"List", true}});
  EXPECT_FALSE(click(findControl(bars[0], u"Standard", kIdQuickPrint)));
  EXPECT_EQ(outlookRan, std::vector<LONG>{kIdQuickPrint});

  // "No" to the embedded-object question: nothing printed, and Outlook prints the item itself.
  noteTemplates({{u"Letter", false}});
  ASSERT_EQ(m_outlook->select(explorers[0], {item("ole")}), S_OK);
  ui.queueMessageBoxAnswer(IDNO);
  EXPECT_FALSE(click(findControl(bars[0], u"Menu Bar", kIdPrint)));
  EXPECT_EQ(outlookRan.size(), 2u);
  EXPECT_EQ(writtenPdfs().size(), 1u);

  // The add-in's own print over three items with a memo template: every item is tried and the
  // middle one's failure is the one reported.
  ASSERT_EQ(m_outlook->select(explorers[0], {item("one"), item("two"), item("three")}), S_OK);
  noteTemplates({{u"Letter", false}, {u"List", true}});
  ui.queueChoice(0);
  int filled = 0;
  CPrinter::Services failing;
  failing.fill = [&](platform::html::CHtmlDocument&, CPrintInfo&) {
    if (++filled == 2) throw std::runtime_error("the second item cannot be filled");
  };
  CPrinter::setServicesForTesting(failing);
  const auto boxes = ui.messageBoxes().size();
  const std::optional<int> status =
      platform::outlook::requestOwnPrint(m_outlook->windowHandle(explorers[0]), platform::outlook::OwnPrintRequest{});
  CPrinter::resetServicesForTesting();
  ASSERT_TRUE(status);
  EXPECT_NE(*status, 1);
  EXPECT_EQ(filled, 3);
  EXPECT_EQ(writtenPdfs().size(), 3u);
  ASSERT_EQ(ui.messageBoxes().size(), boxes + 1);

  // An Outlook 12 inspector's manager never ticks, yet Ctrl+P in its window prints through it.
  const CComPtr<IDispatch> inspector = m_outlook->openInspector(item("three"));
  ASSERT_EQ(worker.inspectorManagers().size(), 1u);
  EXPECT_EQ(worker.inspectorManagers()[0]->status(), CDisplayManager::kNotInitialised);
  SendMessageW(m_outlook->windowHandle(inspector), WM_COMMAND, MAKEWPARAM(0x410, 1), 0);
  ASSERT_EQ(writtenPdfs().size(), 4u);
  EXPECT_NE(pdfText(writtenPdfs()[3]).find("Three"), std::string::npos);

  // An accelerator that is not Print is never taken.
  EXPECT_EQ(worker.getDisplayManagerFromInspector(explorers[0])->onAcceleratorCallback(0x411), S_OK);
  SAFEARRAY* custom = nullptr;
  addIn->OnDisconnection(ext_dm_HostShutdown, &custom);
}

}  // namespace
