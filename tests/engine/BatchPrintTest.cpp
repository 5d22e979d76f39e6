// Items printed in turn with the real printer over a fake print template: each item keeps its own
// template and status, and the next item that prints without a question is filled while the one
// before it prints.

#include "engine/BatchPrint.h"

#include <fstream>
#include <memory>

#include "engine/Printer.h"
#include "platform/browser/PrintLayout.h"
#include "tests/engine/PrintJobFixtures.h"
#include "tests/engine/QuietPrintTemplate.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;

class CPrintingTemplate : public CQuietPrintTemplate {
 public:
  explicit CPrintingTemplate(bool& printing) : m_printing(printing) {}
  // The work asked for during the body's print runs while this one prints, as the layout runs it.
  HRESULT print(const PrintRange& range, const fs::path& pdf, const fs::path& work, int& pages) override {
    m_printing = true;
    if (const std::function<void()> later = platform::browser::takeBodyPrintWork()) later();
    m_printing = false;
    return CQuietPrintTemplate::print(range, pdf, work, pages);
  }

 private:
  bool& m_printing;
};

class BatchPrintTest : public PrintJobTest {
 protected:
  void SetUp() override {
    PrintJobTest::SetUp();
    beginPrintRun();
    CPrinter::Services services;
    services.makePrintTemplate = [this](const fs::path&) { return std::make_unique<CPrintingTemplate>(m_printing); };
    services.fill = [this](platform::html::CHtmlDocument&, CPrintInfo& job) {
      m_fills.push_back({job.getItem() ? job.getItem()->getItem().getDispatch() : nullptr, m_printing});
    };
    services.batch = [this](bool begins) { m_batches.push_back(begins); };
    CPrinter::setServicesForTesting(services);
    setPrintDestination(PrintDestination{dir() / "out", true, u"item", {}});
  }
  void TearDown() override {
    CPrinter::resetServicesForTesting();
    setPrintDestination({});
    PrintJobTest::TearDown();
  }
  // A template the printer can load.
  TemplateDetail page(const std::string& name) {
    TemplateDetail record = memo(name);
    std::ofstream(std::filesystem::path(record.printingTemplate.toUtf8())) << "<html><body>" << name << "</body></html>";
    return record;
  }

  struct Fill {
    IDispatch* item;
    bool duringAPrint;
  };
  bool m_printing = false;
  std::vector<Fill> m_fills;
  std::vector<bool> m_batches;
};

TEST_F(BatchPrintTest, EachItemPrintsInItsTurnAndTheNextIsFilledWhileOnePrints) {
  setClass(u"IPM.Note", {page("Letter")});
  // A class of no template: its item fails in its turn and is never made ready; the one after it is,
  // ahead.
  const std::vector<FakePtr> fakes = {fakeItem(u"IPM.Note"), fakeItem(u"IPM.Note"), fakeItem(u"IPM.Unknown"),
                                      fakeItem(u"IPM.Note")};
  const std::vector<CComPtr<IDispatch>> items(fakes.begin(), fakes.end());
  std::vector<std::pair<IDispatch*, int>> heard;
  const int status = printInTurn(items, kModePrint, u"", nullptr,
                                 [&](IDispatch* item, int itemStatus) { heard.push_back({item, itemStatus}); });

  EXPECT_EQ(status, kStatusClassNotConfigured);
  ASSERT_EQ(heard.size(), 4u);
  const int expected[] = {kStatusPrinted, kStatusPrinted, kStatusClassNotConfigured, kStatusPrinted};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(heard[i].first, items[i].p) << i;
    EXPECT_EQ(heard[i].second, expected[i]) << i;
  }
  // Filled once each, the second and the fourth while a print ran.
  ASSERT_EQ(m_fills.size(), 3u);
  EXPECT_EQ(m_fills[0].item, items[0].p);
  EXPECT_FALSE(m_fills[0].duringAPrint);
  EXPECT_EQ(m_fills[1].item, items[1].p);
  EXPECT_TRUE(m_fills[1].duringAPrint);
  EXPECT_EQ(m_fills[2].item, items[3].p);
  EXPECT_TRUE(m_fills[2].duringAPrint);
  EXPECT_EQ(writtenPdfs().size(), 3u);
  EXPECT_EQ(m_batches, (std::vector<bool>{true, false}));

  // A preview is no batch: nothing is filled ahead, and the browser hears of no batch.
  m_fills.clear();
  m_batches.clear();
  printInTurn({items[0], items[1]}, kModePreview, u"", nullptr, nullptr);
  ASSERT_EQ(m_fills.size(), 2u);
  EXPECT_FALSE(m_fills[1].duringAPrint);
  EXPECT_TRUE(m_batches.empty());
}

}  // namespace
