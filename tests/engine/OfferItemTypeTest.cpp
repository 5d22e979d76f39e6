// The offer to add support for an unknown item type during a print request: who is asked, what
// the answers lead to, the saved class and the second look at the job, and a failed save.
#include "engine/OfferItemType.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "resources/resource.h"
#include "tests/engine/PrintJobFixtures.h"

namespace {

using namespace enginetest;

// A template list dialog that fills the list it is given and answers a scripted result.
class FakeTemplateList : public ITemplateListDialog {
 public:
  int DoModal(HWND owner, const quilstring& messageClass, const MessageClassSettingsPtr& settings) override {
    owners.push_back(owner);
    classes.push_back(messageClass);
    if (settings) settings->templates = templates;
    if (whileOpen) whileOpen();
    return result;
  }
  int result = IDOK;
  std::function<void()> whileOpen;
  std::vector<TemplateDetail> templates;
  std::vector<HWND> owners;
  std::vector<quilstring> classes;
};

class OfferItemTypeTest : public PrintJobTest {
 protected:
  int print(int mode, const char16_t* messageClass = u"IPM.Note.Survey") {
    CPrintInfo job(fakeItem(messageClass));
    return CPrintItem(job, &m_templateList).printJob(mode, u"", m_printers.factory());
  }
  static bool savedClassExists(const quilstring& messageClass) {
    CSettings::resetForTesting();
    return CSettings::instance().getSettingsData().messageClasses.count(messageClass) > 0;
  }

  FakeTemplateList m_templateList;
};

TEST_F(OfferItemTypeTest, OutlooksOwnCommandsAreNeverQuestioned) {
  for (int mode : {kModeQuickPrint, kModePrintWithDialog, kModeOutlookPreview, 0, 7}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(print(mode), kStatusClassNotConfigured);
  }
  EXPECT_TRUE(m_ui.messageBoxes().empty());
  EXPECT_TRUE(m_templateList.classes.empty());
}

TEST_F(OfferItemTypeTest, AcceptedClassIsSavedAndTheJobPrints) {
  m_ui.queueMessageBoxAnswer(IDYES);
  m_templateList.templates = {memo("Survey")};
  EXPECT_EQ(print(kModePreview), kStatusPrinted);
  ASSERT_EQ(m_ui.messageBoxes().size(), 1u);
  const auto& question = m_ui.messageBoxes()[0];
  EXPECT_EQ(question.text,
            u"Quillmark is not currently configured to handle items of this type (IPM.Note.Survey). Would you like to "
            u"add support for this item type?");
  EXPECT_EQ(question.caption, u"Quillmark for Outlook");
  EXPECT_EQ(question.type, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(question.owner, m_activeWindow);
  EXPECT_EQ(m_templateList.classes, std::vector<quilstring>{u"IPM.Note.Survey"});
  EXPECT_EQ(m_templateList.owners, std::vector<HWND>{m_activeWindow});
  ASSERT_EQ(m_printers.calls.size(), 1u);
  EXPECT_EQ(std::filesystem::path(m_printers.calls[0].templatePath.toUtf8()).filename(), "Survey.htm");
  EXPECT_TRUE(savedClassExists(u"IPM.Note.Survey"));
}

TEST_F(OfferItemTypeTest, WhatAnotherProcessSavedWhileTheListWasOpenIsKept) {
  m_ui.queueMessageBoxAnswer(IDYES);
  m_templateList.templates = {memo("Survey")};
  m_templateList.whileOpen = [] {
    CRegKey other;
    const quilstring path = quilstring(kProductKey) + u"\\Templates\\" +
                            quilstring::fromUtf8(std::to_string(NGlobals::threadLocale())) + u"\\IPM.Note.Other\\Template1";
    ASSERT_EQ(other.Create(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(other.SetStringValue(u"Printing template", u"/srv/templates/Other.htm"), ERROR_SUCCESS);
  };
  EXPECT_EQ(print(kModePreview), kStatusPrinted);
  EXPECT_TRUE(savedClassExists(u"IPM.Note.Survey"));
  EXPECT_TRUE(savedClassExists(u"IPM.Note.Other"));
}

TEST_F(OfferItemTypeTest, ClassAddedWithoutTemplatesPrintsWithTheDefaultOnes) {
  m_ui.queueMessageBoxAnswer(IDYES);
  setClass(kDefaultMessageClass, {memo("Default")});
  ASSERT_TRUE(CSettings::instance().save(data()));
  EXPECT_EQ(print(kModePrint), kStatusPrinted);
  ASSERT_EQ(m_printers.calls.size(), 1u);
  EXPECT_EQ(std::filesystem::path(m_printers.calls[0].templatePath.toUtf8()).filename(), "Default.htm");
}

TEST_F(OfferItemTypeTest, DecliningShowsNothingMoreAndReportsTheUnknownType) {
  struct Case {
    const char* name;
    int answer;
    int dialogResult;
    std::size_t dialogs;
  } cases[] = {{"No", IDNO, IDOK, 0}, {"Yes, then the list cancelled", IDYES, IDCANCEL, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ScriptedUi ui;
    ui.queueMessageBoxAnswer(c.answer);
    FakeTemplateList templateList;
    templateList.result = c.dialogResult;
    CPrintInfo job(fakeItem(u"IPM.Note.Survey"));
    EXPECT_EQ(CPrintItem(job, &templateList).printJob(kModePrintWithPrompt, u"", m_printers.factory()),
              kStatusClassNotConfigured);
    EXPECT_EQ(templateList.classes.size(), c.dialogs);
    ASSERT_EQ(ui.messageBoxes().size(), 2u);
    EXPECT_EQ(ui.messageBoxes()[1].text, text(IDS_ITEM_TYPE_NOT_CONFIGURED, u"IPM.Note.Survey"));
    EXPECT_FALSE(savedClassExists(u"IPM.Note.Survey"));
  }
  EXPECT_TRUE(m_printers.calls.empty());
}

TEST_F(OfferItemTypeTest, FailedSaveIsReportedAndTheRequestEndsUnconfigured) {
  struct FullDisk : platform::registry::PosixHiveStorage {
    LONG writeDurably(const std::filesystem::path&, std::string_view) override { return ERROR_DISK_FULL; }
  };
  CSettings::instance();
  platform::registry::setStorageForTesting(std::make_shared<FullDisk>());
  m_ui.queueMessageBoxAnswer(IDYES);
  m_templateList.templates = {memo("Survey")};
  EXPECT_EQ(print(kModePreview), kStatusClassNotConfigured);
  ASSERT_EQ(m_ui.messageBoxes().size(), 3u);
  EXPECT_EQ(m_ui.messageBoxes()[1].text, u"An error has occurred while saving your settings.");
  EXPECT_EQ(m_ui.messageBoxes()[1].type, MB_ICONERROR);
  EXPECT_EQ(m_ui.messageBoxes()[1].caption, u"Quillmark for Outlook");
  EXPECT_EQ(m_ui.messageBoxes()[2].text, text(IDS_ITEM_TYPE_NOT_CONFIGURED, u"IPM.Note.Survey"));
  EXPECT_EQ(m_templateList.classes.size(), 1u);  // asked once, no retry
  EXPECT_TRUE(m_printers.calls.empty());
}

TEST_F(OfferItemTypeTest, ClassThatDoesNotComeBackFromTheRegistryIsAFailedSave) {
  // A backslash makes the class key a path of two keys: the save writes them all, but the class
  // read back is another one.
  m_ui.queueMessageBoxAnswer(IDYES);
  m_templateList.templates = {memo("Survey")};
  EXPECT_EQ(print(kModePreview, u"IPM.Note.Survey\\Part"), kStatusClassNotConfigured);
  ASSERT_EQ(m_ui.messageBoxes().size(), 3u);
  EXPECT_EQ(m_ui.messageBoxes()[1].text, u"An error has occurred while saving your settings.");
  EXPECT_EQ(m_ui.messageBoxes()[1].type, MB_ICONERROR);
  EXPECT_EQ(m_templateList.classes.size(), 1u) << "asked once, not again after the save";
  EXPECT_TRUE(m_printers.calls.empty());
}

TEST_F(OfferItemTypeTest, UnusableClassIsAnUnknownError) {
  setClass(u"IPM.Note", {});
  for (const char16_t* messageClass : {u"", u"IPM.Note"}) {
    testsupport::ScriptedUi ui;
    EXPECT_FALSE(COfferItemType(&m_templateList).offer(messageClass));
    ASSERT_EQ(ui.messageBoxes().size(), 1u);
    EXPECT_EQ(ui.messageBoxes()[0].text, u"An unknown error occurred.");
    EXPECT_EQ(ui.messageBoxes()[0].type, MB_ICONERROR);
  }
  EXPECT_TRUE(m_templateList.classes.empty());
}

TEST_F(OfferItemTypeTest, NoOfferWithoutATemplateListDialog) {
  CPrintInfo job(fakeItem(u"IPM.Note.Survey"));
  CPrintItem printItem(job);
  EXPECT_FALSE(printItem.correctServiceOutcome(kModePreview, kStatusClassNotConfigured));
  EXPECT_TRUE(m_ui.messageBoxes().empty());
}

}  // namespace
