// The automation print object and its job queue, in process: the jobs an item and an action give,
// their countdowns and the ticks that run them, the item and action lookups, a job that raises,
// and the object's members by the type library's names.
#include "integration/Quillmarker.h"
#include "integration/QuillmarkerImpl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/ConfigDialog.h"
#include "foundation/Settings.h"
#include "integration/detail/Automation.h"
#include "platform/com/TypeLib.h"
#include "platform/loop/MessageLoop.h"
#include "platform/mapi/PropTags.h"
#include "platform/outlook/Outlook.h"
#include "platform/shell/ThreadRef.h"
#include "platform/system/Diagnostics.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/UserInput.h"
#include "resources/resource.h"
#include "tests/support/MsgWriter.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

fs::path pathOf(const std::u16string& text) { return fs::path(text); }

MsgAttachment attachment(std::u16string_view name, std::string_view data) {
  return {{longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_DISPLAY_NAME_W, name),
           unicodeProp(PR_ATTACH_LONG_FILENAME_W, name), binaryProp(PR_ATTACH_DATA_BIN, data)},
          nullptr};
}

class QuillmarkerTest : public IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    ASSERT_TRUE(platform::ui::chooseFace(platform::ui::Face::kHeadless));
    CSettings::resetForTesting();
    const fs::path inbox = dir() / "store" / "Inbox";
    fs::create_directories(inbox);
    MsgDescription mail;
    mail.messageClass = "IPM.Note";
    mail.props = {unicodeProp(PR_SUBJECT_W, u"Quarterly report")};
    mail.attachments = {attachment(u"report.pdf", "%PDF-1.4 report"), attachment(u"notes.txt", "notes")};
    ASSERT_TRUE(writeMsgFile(mail, inbox / "mail.msg"));
    m_outlook = platform::outlook::COutlook::open(dir() / "store");
    ASSERT_TRUE(m_outlook);
    m_entryId = integration::detail::getText(m_outlook->item(inbox / "mail.msg"), u"EntryID");
    CSettings::instance().outlookApplication() = m_outlook->application();

    ActionDetail action;
    action.displayName = u"print with quillmark";
    action.templateEnabled = true;
    action.useOutlookTemplate = true;
    action.attachmentEnabled = true;
    action.attachmentState = 1;
    autoprint().actions = {action};
    autoprint().numSeconds = 4;

    CQuillmarkerImpl::setJobRunnerForTesting([this](AutoprintJob& job) {
      m_ran.push_back(job.isItem ? std::u16string(u"item") : pathOf(job.path).filename().u16string());
      if (job.isItem && m_itemRaises) throw std::runtime_error("the printer went away");
    });
    m_worker = CQuillmarkerImpl::instance();
    ASSERT_TRUE(m_worker);
  }
  void TearDown() override {
    CQuillmarkerImpl::releaseQueue();
    CQuillmarkerImpl::setJobRunnerForTesting({});
    CSettings::instance().outlookApplication().Release();
    CSettings::resetForTesting();
  }

  AutoprintSettings& autoprint() { return CSettings::instance().getAutoprintSettings(); }
  std::vector<DWORD> countdowns() const {
    std::vector<DWORD> out;
    for (const AutoprintJobPtr& job : m_worker->queue()) out.push_back(job->countdown);
    return out;
  }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) ASSERT_EQ(m_worker->onTimerCallback(), S_OK);
  }

  std::unique_ptr<platform::outlook::COutlook> m_outlook;
  std::u16string m_entryId;
  CQuillmarkerImpl* m_worker = nullptr;
  std::vector<std::u16string> m_ran;
  bool m_itemRaises = false;
};

// Two selected attachments: 0, 0, 40. The second attachment holds the queue 40 pulses after it
// has gone to the shell, and a second call's item job queued behind it waits them too. The
// thread's reference is held exactly while jobs are queued.
TEST_F(QuillmarkerTest, AttachmentDelayHoldsTheQueueAfterTheSecondAttachment) {
  LONG references = 0;
  CComPtr<IUnknown> threadRef;
  ASSERT_EQ(SHCreateThreadRef(&references, threadRef.Receive()), S_OK);
  SHSetThreadRef(threadRef);

  ASSERT_EQ(m_worker->Print(m_entryId, u"", u""), S_OK);
  ASSERT_EQ(countdowns(), (std::vector<DWORD>{0, 0, 40}));
  EXPECT_TRUE(m_worker->queue()[0]->isItem);
  EXPECT_EQ(m_worker->queue()[0]->printInfo, m_worker->queue()[2]->printInfo);
  EXPECT_TRUE(fs::exists(pathOf(m_worker->queue()[1]->path)));
  EXPECT_EQ(references, 2);

  ticks(3);
  EXPECT_EQ(m_ran, (std::vector<std::u16string>{u"item", u"report.pdf", u"notes.txt"}));
  ASSERT_EQ(m_worker->Print(m_entryId, u"", u"print with quillmark"), S_OK);
  ASSERT_EQ(countdowns(), (std::vector<DWORD>{39, 40, 0, 40}));
  ticks(39);
  EXPECT_EQ(m_ran.size(), 3u);
  ticks(1);
  EXPECT_EQ(m_ran.size(), 4u);
  EXPECT_EQ(m_ran.back(), u"item");
  // The attachment files were the shell's: the message no longer deletes them.
  EXPECT_TRUE(fs::exists(pathOf(m_worker->queue()[1]->path)));

  CQuillmarkerImpl::releaseQueue();
  EXPECT_TRUE(m_worker->queue().empty());
  EXPECT_EQ(references, 1);
  SHSetThreadRef(nullptr);
}

TEST_F(QuillmarkerTest, NoDelayRunsTheJobsOnConsecutiveTicks) {
  autoprint().numSeconds = 0;
  LONG references = 0;
  CComPtr<IUnknown> threadRef;
  ASSERT_EQ(SHCreateThreadRef(&references, threadRef.Receive()), S_OK);
  SHSetThreadRef(threadRef);
  ASSERT_EQ(m_worker->Print(m_entryId, u"", u""), S_OK);
  EXPECT_EQ(countdowns(), (std::vector<DWORD>{0, 0, 0}));
  for (std::size_t tick = 1; tick <= 3; ++tick) {
    ticks(1);
    EXPECT_EQ(m_ran.size(), tick);
  }
  ticks(1);
  EXPECT_TRUE(m_worker->queue().empty());
  EXPECT_EQ(references, 1);
  SHSetThreadRef(nullptr);

  // A stored delay beyond what the settings dialog accepts stays within 32 bits.
  EXPECT_EQ(CQuillmarkerImpl::delayPulses(0xFFFFFFFFu), 4294967290u);
  EXPECT_EQ(CQuillmarkerImpl::delayPulses(4), 40u);
}

TEST_F(QuillmarkerTest, OutlookTemplateBeatsThePrintingTemplateAndTheRangeGoesWithTheJob) {
  ActionDetail& action = autoprint().actions[0];
  action.attachmentEnabled = false;
  action.printingTemplate = (dir() / "custom.htm").u16string();
  action.printOptions.pageFrom = 2;
  action.printOptions.pageTo = 3;
  ASSERT_EQ(m_worker->Print(m_entryId, u"", u""), S_OK);
  ASSERT_EQ(m_worker->queue().size(), 1u);
  EXPECT_FALSE(CSettings::instance().getDefaultTemplatePath().empty());
  EXPECT_EQ(m_worker->queue()[0]->path, CSettings::instance().getDefaultTemplatePath());
  ASSERT_TRUE(m_worker->queue()[0]->printInfo->getRange());
  EXPECT_EQ(m_worker->queue()[0]->printInfo->getRange()->pageTo, 3u);

  action.useOutlookTemplate = false;
  ASSERT_EQ(m_worker->Print(m_entryId, u"", u""), S_OK);
  EXPECT_EQ(m_worker->queue().back()->path, action.printingTemplate);

  // Template off: only the attachments matching the list.
  action.templateEnabled = false;
  action.attachmentEnabled = true;
  action.attachmentState = 2;
  action.attachmentString = u"*.txt";
  CQuillmarkerImpl::releaseQueue();
  ASSERT_EQ(m_worker->Print(m_entryId, u"", u""), S_OK);
  ASSERT_EQ(m_worker->queue().size(), 1u);
  EXPECT_EQ(pathOf(m_worker->queue()[0]->path).filename(), "notes.txt");
}

TEST_F(QuillmarkerTest, WhatCannotBeFoundIsRefusedAndNothingQueued) {
  platform::diag::clearLastFailure();
  EXPECT_EQ(m_worker->Print(u"0000000000", u"", u""), E_INVALIDARG);
  EXPECT_NE(platform::diag::lastFailure().find("Failed to find matching item for entryid"), std::string::npos);
  EXPECT_EQ(m_worker->Print(m_entryId, u"", u"Print With Quillmark"), E_INVALIDARG);
  EXPECT_NE(platform::diag::lastFailure().find("Print With Quillmark"), std::string::npos);
  EXPECT_TRUE(m_worker->queue().empty());

  // A store id Outlook refuses: the item is still found without it.
  EXPECT_EQ(m_worker->Print(m_entryId, u"0123", u"print with quillmark"), S_OK);
  EXPECT_EQ(m_worker->queue().size(), 3u);
  CQuillmarkerImpl::releaseQueue();

  // Outlook has not connected the add-in.
  CSettings::instance().outlookApplication().Release();
  platform::diag::clearLastFailure();
  EXPECT_EQ(m_worker->Print(m_entryId, u"", u""), E_FAIL);
  EXPECT_NE(platform::diag::lastFailure().find("Unknown Exception caught in CQuillmarkerImpl::Print"), std::string::npos)
      << platform::diag::lastFailure();
  EXPECT_TRUE(m_worker->queue().empty());
}

TEST_F(QuillmarkerTest, JobThatRaisesIsDroppedAndTheQueueGoesOn) {
  m_itemRaises = true;
  autoprint().numSeconds = 0;
  ASSERT_EQ(m_worker->Print(m_entryId, u"", u""), S_OK);
  platform::diag::clearLastFailure();
  ticks(1);
  EXPECT_NE(platform::diag::lastFailure().find("the job is dropped"), std::string::npos) << platform::diag::lastFailure();
  ticks(10);
  EXPECT_EQ(m_ran, (std::vector<std::u16string>{u"item", u"report.pdf", u"notes.txt"}));
  EXPECT_TRUE(m_worker->queue().empty());
}

// The object as a script sees it: names from the type library, then calls by DISPID.
TEST_F(QuillmarkerTest, ScriptCallsTheMembersByTheTypeLibrarysNames) {
  CComPtr<CComObject<CQuillmarker>> object = CComObject<CQuillmarker>::Make();
  ASSERT_TRUE(object);
  CComPtr<IDispatch> dispatch;
  ASSERT_EQ(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Receive())), S_OK);
  LPOLESTR printItem[] = {const_cast<LPOLESTR>(u"printItem")};
  DISPID id = 0;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, printItem, 1, 0, &id), TYPE_E_LIBNOTREGISTERED);

  platform::com::TypeLibDescription library;
  ASSERT_EQ(platform::com::parseTypeLib(readFile(fs::path(QM_SOURCE_DIR) / "resources/registry/quillMarkLib.tld"), library),
            S_OK);
  ASSERT_EQ(platform::com::RegisterTypeLib(library, (dir() / "libquillmark.so").u16string()), S_OK);
  // Empty properties: printItem refuses.
  EXPECT_EQ(CComDispatchDriver(dispatch).Invoke0(u"printItem"), E_FAIL);
  CComVariant entryId(m_entryId.c_str()), action(u"print with quillmark");
  ASSERT_EQ(CComDispatchDriver(dispatch).PutPropertyByName(u"ENTRYID", &entryId), S_OK);
  ASSERT_EQ(CComDispatchDriver(dispatch).PutPropertyByName(u"action", &action), S_OK);
  CComVariant got;
  ASSERT_EQ(CComDispatchDriver(dispatch).GetPropertyByName(u"entryid", &got), S_OK);
  EXPECT_EQ(std::u16string(got.bstrVal), m_entryId);
  EXPECT_EQ(CComDispatchDriver(dispatch).Invoke0(u"printItem"), S_OK);
  EXPECT_EQ(m_worker->queue().size(), 3u);
  const CComVariant wrong(u"none");
  const VARIANT args[] = {wrong, wrong, wrong};
  EXPECT_EQ(CComDispatchDriver(dispatch).InvokeArgs(u"Print", DISPATCH_METHOD, args, nullptr), E_INVALIDARG);
  EXPECT_EQ(m_worker->queue().size(), 3u);
  platform::com::UnRegisterTypeLib(library.libid, library.major, library.minor);
}

// GetAction shows the action selection over the active window: the chosen name, or E_FAIL with
// the caller's text untouched.
TEST_F(QuillmarkerTest, GetActionAnswersTheActionChosenInTheSelectionDialog) {
  namespace input = platform::ui::input;
  CConfigDialog::allowHeadlessForTesting(true);
  const HWND owner = CreateWindowExW(0, WC_DIALOG, u"Script", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
  SetActiveWindow(owner);
  const auto choose = [](int button) {
    platform::loop::post([button] {
      const HWND dialog = GetActiveWindow();
      if (button == IDOK) input::clickListRow(GetDlgItem(dialog, IDC_ACTION_CHOICE_LIST), 0);
      input::click(GetDlgItem(dialog, button));
    });
  };
  choose(IDOK);
  BSTR name = nullptr;
  ASSERT_EQ(m_worker->GetAction(&name), S_OK);
  EXPECT_EQ(std::u16string(name), u"print with quillmark");
  SysFreeString(name);

  choose(IDCANCEL);
  BSTR untouched = SysAllocString(u"kept");
  EXPECT_EQ(m_worker->GetAction(&untouched), E_FAIL);
  EXPECT_EQ(std::u16string(untouched), u"kept");
  SysFreeString(untouched);
  DestroyWindow(owner);
  CConfigDialog::allowHeadlessForTesting(false);
}

}  // namespace
