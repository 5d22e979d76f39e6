// Print jobs over a store of the real samples through the Outlook object model: each sample's
// class decides eligibility and the template it prints with, and an explorer's selection and
// folder become a table-style job that keeps the row source the user chose.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "engine/detail/DispatchHelpers.h"
#include "platform/outlook/Outlook.h"
#include "resources/resource.h"
#include "tests/engine/PrintJobFixtures.h"

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

fs::path samplesDir() { return testsupport::sharedDir() / "testdata" / "msg"; }

// The class the independent reading of a sample found ("class:" line of its reference).
std::u16string referenceClass(const fs::path& sample) {
  std::ifstream in(samplesDir() / "reference" / (sample.stem().string() + ".txt"));
  for (std::string line; std::getline(in, line);)
    if (line.rfind("class:", 0) == 0) return quilstring::fromUtf8(line.substr(line.find_first_not_of(' ', 6)));
  return {};
}

CComPtr<IDispatch> property(IDispatch* object, const char16_t* name) {
  CComVariant value;
  if (FAILED(CComDispatchDriver(object).GetPropertyByName(name, value.Receive()))) return nullptr;
  return engine::detail::dispatchOf(value);
}

LONG countOf(IDispatch* collection) {
  LONG count = -1;
  return collection && SUCCEEDED(engine::detail::countOf(collection, count)) ? count : -1;
}

class PrintJobSamplesTest : public PrintJobTest {
 protected:
  void SetUp() override {
    PrintJobTest::SetUp();
    if (testsupport::sharedDir().empty()) return;
    const fs::path inbox = dir() / "store" / "Inbox";
    fs::create_directories(inbox);
    for (const auto& entry : fs::directory_iterator(samplesDir()))
      if (entry.path().extension() == ".msg") {
        fs::create_symlink(entry.path(), inbox / entry.path().filename());
        m_samples.push_back(entry.path());
      }
    std::sort(m_samples.begin(), m_samples.end());
    m_outlook = platform::outlook::COutlook::open(dir() / "store");
    ASSERT_TRUE(m_outlook);
    CSettings::instance().outlookApplication() = m_outlook->application();
  }
  void TearDown() override {
    CSettings::instance().outlookApplication() = nullptr;
    m_outlook.reset();
    PrintJobTest::TearDown();
  }
  CComPtr<IDispatch> item(const fs::path& sample) { return m_outlook->item(dir() / "store" / "Inbox" / sample.filename()); }

  std::vector<fs::path> m_samples;
  std::unique_ptr<platform::outlook::COutlook> m_outlook;
};

TEST_F(PrintJobSamplesTest, EachSamplesClassDecidesItsJob) {
  QM_REQUIRE_SHARED_DATA();
  setClass(u"IPM.Note", {memo("Letter")});
  setClass(u"IPM.Appointment", {});
  setClass(kDefaultMessageClass, {{u"Built in", CSettings::instance().getDefaultTemplatePath(), false, {}}});
  setClass(u"IPM.Contact", {table("Phone list")});
  setClass(u"IPM.Task", {memo("Task", -1)});
  // What each class gives: the status, and the template file printed with when eligible.
  const std::map<std::u16string, std::pair<int, std::string>> expected = {
      {u"IPM.Note", {kStatusEligible, "Letter.htm"}},
      {u"IPM.Appointment", {kStatusEligible, "PAGEPRINT_2057.HTM"}},
      {u"IPM.Contact", {kStatusNoTemplate, ""}},
      {u"IPM.Task", {kStatusTemplateMissing, ""}},
      {u"IPM.Post", {kStatusClassNotConfigured, ""}},
      {u"IPM.StickyNote", {kStatusClassNotConfigured, ""}},
      {u"IPM.Note.SMIME.MultipartSigned", {kStatusClassNotConfigured, ""}},
  };
  std::map<int, int> seen;
  for (const fs::path& sample : m_samples) {
    SCOPED_TRACE(sample.filename().string());
    const std::u16string messageClass = referenceClass(sample);
    const auto want = expected.find(messageClass);
    ASSERT_NE(want, expected.end()) << quilstring(messageClass).toUtf8();
    const auto& [status, templateName] = want->second;
    ++seen[status];

    CPrintInfo job(item(sample));
    EXPECT_EQ(job.getMessageClass(), messageClass);
    CPrintItem printItem(job);
    int outcome = -1;
    EXPECT_EQ(printItem.canPrint(outcome), status == kStatusEligible);
    EXPECT_EQ(outcome, status);

    testsupport::ScriptedUi ui;
    RecordingPrinters printers;
    const int final = printItem.printJob(kModePreview, u"", printers.factory());
    if (status == kStatusEligible) {
      EXPECT_EQ(final, kStatusPrinted);
      ASSERT_EQ(printers.calls.size(), 1u);
      EXPECT_EQ(fs::path(printers.calls[0].templatePath.toUtf8()).filename(), templateName);
      EXPECT_EQ(printers.calls[0].job.getItem(), job.getItem());
      EXPECT_TRUE(ui.messageBoxes().empty());
    } else {
      EXPECT_EQ(final, status);
      EXPECT_TRUE(printers.calls.empty());
      ASSERT_EQ(ui.messageBoxes().size(), 1u);
      EXPECT_EQ(ui.messageBoxes()[0].caption, u"Quillmark for Outlook");
    }
  }
  EXPECT_EQ(seen.size(), 4u);  // every outcome above met by some sample
}

TEST_F(PrintJobSamplesTest, ExplorerSelectionBecomesATableJobOverTheFolder) {
  QM_REQUIRE_SHARED_DATA();
  setClass(u"IPM.Note", {memo("Letter"), table("Ledger")});
  CComPtr<IDispatch> inbox = m_outlook->folder(u"Inbox");
  ASSERT_TRUE(inbox);
  std::vector<CComPtr<IDispatch>> chosen = {item(m_samples[0]), item(m_samples[2]), item(m_samples[5])};
  CComPtr<IDispatch> explorer = m_outlook->openExplorer(inbox, {chosen[0].p, chosen[1].p, chosen[2].p});
  ASSERT_TRUE(explorer);

  for (bool allRows : {false, true}) {
    SCOPED_TRACE(allRows);
    testsupport::ScriptedUi ui;
    ui.queueChoice(1);  // Ledger
    ui.queueChoice(allRows ? 1 : 0);
    RecordingPrinters printers;
    CComPtr<IDispatch> folder = property(explorer, u"CurrentFolder");
    CPrintInfo job(kFolderJob, folder);
    job.setSelection(property(explorer, u"Selection"));
    job.setItems(property(folder, u"Items"));
    EXPECT_EQ(job.getMessageClass(), u"IPM.Note");
    EXPECT_EQ(CPrintItem(job).printJob(kModePreview, u"", printers.factory()), kStatusPrinted);
    ASSERT_EQ(printers.calls.size(), 1u);
    EXPECT_EQ(fs::path(printers.calls[0].templatePath.toUtf8()).filename(), "Ledger.htm");
    const CPrintInfo& printed = printers.calls[0].job;
    EXPECT_EQ(countOf(printed.getSelection()), allRows ? -1 : 3);
    EXPECT_EQ(countOf(printed.getItems()), allRows ? static_cast<LONG>(m_samples.size()) : -1);
    EXPECT_TRUE(ui.messageBoxes().empty());
  }

}

}  // namespace
