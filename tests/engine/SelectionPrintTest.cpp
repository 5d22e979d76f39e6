// Printing a highlighted part of a real sample's body through dialog 127 on the headless face:
// each command's mode, what the body document holds when the print runs, the selection-print
// flag around the print, the text-size check mark, and Enter.
#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/QuillMarkTemplate.h"
#include "engine/SelectionPrint.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/Outlook.h"
#include "platform/ui/HtmlView.h"
#include "platform/ui/UserInput.h"
#include "resources/resource.h"
#include "tests/engine/PrintJobFixtures.h"

namespace {

namespace fs = std::filesystem;
using platform::ui::CHeadlessHtmlView;
using platform::ui::input::ShownMenuItem;

// What the print of the service saw.
struct Printed {
  int mode = 0;
  bool flagSet = false;
  std::u16string bodyText;
  std::u16string bodyHtml;
};

class SelectionPrintTest : public enginetest::PrintJobTest {
 protected:
  void SetUp() override {
    PrintJobTest::SetUp();
    if (testsupport::sharedDir().empty()) return;
    const fs::path inbox = dir() / "store" / "Inbox";
    fs::create_directories(inbox);
    for (const char* name : {"poi__attachment_msg_inlineImg.msg", "sicos__TxtSampleEmail.msg"})
      fs::create_symlink(testsupport::sharedDir() / "testdata" / "msg" / name, inbox / name);
    m_outlook = platform::outlook::COutlook::open(dir() / "store");
    ASSERT_TRUE(m_outlook);
  }
  void TearDown() override {
    CCDialogHTMLSelection::setDriverForTesting(nullptr);
    CQuillMarkTemplate::setSelectionPrint(false);
    m_outlook.reset();
    PrintJobTest::TearDown();
  }

  CComPtr<IDispatch> sample(const char* name) { return m_outlook->item(dir() / "store" / "Inbox" / name); }

  // Runs the service on the sample with `act` as the user; the print records what it saw.
  std::vector<Printed> run(const char* name, std::function<void(HWND, CHeadlessHtmlView&)> act) {
    CCDialogHTMLSelection::setDriverForTesting([act = std::move(act)](HWND dialog) {
      auto* view = dynamic_cast<CHeadlessHtmlView*>(platform::ui::htmlViewOf(GetDlgItem(dialog, IDC_SELECTION_BROWSER)));
      if (!view) {
        ADD_FAILURE() << "no headless view";
        EndDialog(dialog, IDCANCEL);
        return;
      }
      act(dialog, *view);
    });
    std::vector<Printed> printed;
    CPrintInfo job(sample(name));
    EXPECT_TRUE(runSelectionService(job, m_activeWindow, [&](CPrintInfo& j, int mode) {
      const auto body = j.getItem()->getDocument()->body();
      printed.push_back({mode, CQuillMarkTemplate::isSelectionPrint(), body.innerText(), body.innerHTML()});
      return true;
    }));
    EXPECT_FALSE(CQuillMarkTemplate::isSelectionPrint());
    return printed;
  }

  // The texts of the body's paragraphs with some length, in order.
  static std::vector<std::u16string> paragraphs(const CHeadlessHtmlView& view) {
    std::vector<std::u16string> texts;
    const auto ps = view.document().body().all().tags(u"p");
    for (long i = 0; i < ps.length(); ++i) {
      const std::u16string text = ps.item(i).innerText();
      if (text.size() > 40 && text.find(u'\r') == std::u16string::npos) texts.push_back(text);
    }
    return texts;
  }
  // Highlights the second and third long paragraphs, as a drag from one to the other would.
  static void highlightTwo(CHeadlessHtmlView& view, std::vector<std::u16string>& texts) {
    texts = paragraphs(view);
    ASSERT_GE(texts.size(), 4u);
    ASSERT_TRUE(view.selectText(texts[1].substr(0, 24), texts[2].substr(texts[2].size() - 24)));
  }

  static std::vector<ShownMenuItem> checkedItems() {
    std::vector<ShownMenuItem> checked;
    for (const ShownMenuItem& item : platform::ui::input::lastShownMenu())
      if (item.checked) checked.push_back(item);
    return checked;
  }

  std::unique_ptr<platform::outlook::COutlook> m_outlook;
};

TEST_F(SelectionPrintTest, EachCommandPrintsOnlyTheHighlightedParagraphsInItsOwnMode) {
  QM_REQUIRE_SHARED_DATA();
  // The buttons and the context menu's items: the program's own requests, so failures are reported.
  const std::pair<UINT, int> commands[] = {{IDC_QUICK_PRINT, kModePrint},
                                           {IDC_PRINT, kModePrintWithPrompt},
                                           {IDC_PRINT_PREVIEW, kModePreview},
                                           {ID_PRINT_QUICKPRINT, kModePrint},
                                           {ID_PRINT_PRINT, kModePrintWithPrompt},
                                           {ID_PRINT_PRINTPREVIEW, kModePreview}};
  for (const auto& [command, mode] : commands) {
    SCOPED_TRACE(command);
    std::vector<std::u16string> texts;
    std::u16string caption;
    const auto printed = run("poi__attachment_msg_inlineImg.msg", [&, command = command](HWND dialog, CHeadlessHtmlView& view) {
      caption.resize(200);
      caption.resize(static_cast<std::size_t>(GetWindowTextW(dialog, caption.data(), 200)));
      highlightTwo(view, texts);
      if (command < ID_PRINT_QUICKPRINT) {
        EXPECT_TRUE(platform::ui::input::click(GetDlgItem(dialog, static_cast<int>(command))));
      } else {
        platform::ui::input::queueMenuPick(command);
        view.rightClick(40, 60);
      }
    });
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0].mode, mode);
    EXPECT_TRUE(printed[0].flagSet);
    EXPECT_EQ(caption, u"Message Selection for : How to use and check database files from device");
    ASSERT_GE(texts.size(), 4u);
    EXPECT_NE(printed[0].bodyText.find(texts[1]), std::u16string::npos) << quilstring(printed[0].bodyText).toUtf8();
    EXPECT_NE(printed[0].bodyText.find(texts[2]), std::u16string::npos);
    EXPECT_EQ(printed[0].bodyText.find(texts[0]), std::u16string::npos);
    EXPECT_EQ(printed[0].bodyText.find(texts[3]), std::u16string::npos);
  }
}

TEST_F(SelectionPrintTest, NothingHighlightedPrintsAnEmptyBodyAndCancelPrintsNothing) {
  QM_REQUIRE_SHARED_DATA();
  auto printed = run("poi__attachment_msg_inlineImg.msg", [](HWND dialog, CHeadlessHtmlView& view) {
    view.clearSelection();
    platform::ui::input::click(GetDlgItem(dialog, IDC_QUICK_PRINT));
  });
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_EQ(printed[0].bodyHtml, u"");

  printed = run("poi__attachment_msg_inlineImg.msg", [](HWND dialog, CHeadlessHtmlView& view) {
    std::vector<std::u16string> texts;
    highlightTwo(view, texts);
    platform::ui::input::click(GetDlgItem(dialog, IDCANCEL));
  });
  EXPECT_TRUE(printed.empty());
}

TEST_F(SelectionPrintTest, TheFlagIsClearedWhenThePrintThrows) {
  QM_REQUIRE_SHARED_DATA();
  CCDialogHTMLSelection::setDriverForTesting(
      [](HWND dialog) { platform::ui::input::click(GetDlgItem(dialog, IDC_PRINT)); });
  CPrintInfo job(sample("poi__attachment_msg_inlineImg.msg"));
  bool flagSeen = false;
  EXPECT_THROW(runSelectionService(job, m_activeWindow,
                                   [&](CPrintInfo&, int) -> bool {
                                     flagSeen = CQuillMarkTemplate::isSelectionPrint();
                                     throw std::runtime_error("the printer went away");
                                   }),
               std::runtime_error);
  EXPECT_TRUE(flagSeen);
  EXPECT_FALSE(CQuillMarkTemplate::isSelectionPrint());
}

TEST_F(SelectionPrintTest, TheTextSizeCheckMarkFollowsTheZoomAndEnterDoesNotEndTheDialog) {
  QM_REQUIRE_SHARED_DATA();
  std::vector<std::vector<ShownMenuItem>> checks;
  std::vector<double> zooms;
  const auto printed = run("poi__attachment_msg_inlineImg.msg", [&](HWND dialog, CHeadlessHtmlView& view) {
    // The dialog opens at Medium; each pick moves the mark to the size picked.
    for (UINT pick : {ID_TEXTSIZE_LARGEST, ID_TEXTSIZE_SMALLEST, ID_TEXTSIZE_SMALLER}) {
      platform::ui::input::queueMenuPick(pick);
      view.rightClick(10, 10);
      checks.push_back(checkedItems());
      // The picked command arrives posted.
      const double before = view.zoom();
      EXPECT_TRUE(platform::loop::runUntil([&] { return view.zoom() != before; }, 10000)) << "no zoom for " << pick;
      zooms.push_back(view.zoom());
    }
    view.rightClick(10, 10);
    checks.push_back(checkedItems());
    // Enter in the body: the dialog stays (a later step still finds it) and prints nothing.
    view.pressKey(VK_RETURN);
    platform::loop::post([dialog] {
      if (IsWindow(dialog)) platform::ui::input::click(GetDlgItem(dialog, IDCANCEL));
    });
  });
  EXPECT_TRUE(printed.empty()) << "Enter ended the dialog";
  const std::u16string expected[] = {u"Medium", u"Largest", u"Smallest", u"Smaller"};
  ASSERT_EQ(checks.size(), 4u);
  for (std::size_t i = 0; i < checks.size(); ++i) {
    ASSERT_EQ(checks[i].size(), 1u) << i;
    EXPECT_EQ(checks[i][0].text, expected[i]);
  }
  ASSERT_EQ(zooms.size(), 3u);
  EXPECT_GT(zooms[0], 1.0);
  EXPECT_LT(zooms[1], zooms[2]);
  EXPECT_LT(zooms[2], 1.0);
}

TEST_F(SelectionPrintTest, APlainTextItemsSelectionPrintsAsTextNotAsMarkup) {
  QM_REQUIRE_SHARED_DATA();
  const auto printed = run("sicos__TxtSampleEmail.msg", [](HWND dialog, CHeadlessHtmlView& view) {
    // The text shows in one span of the plain-text font: highlight all of it.
    const auto spans = view.document().body().all().tags(u"span");
    ASSERT_GT(spans.length(), 0);
    const std::u16string text = spans.item(0).innerText();
    ASSERT_TRUE(view.selectText(text.substr(0, 10), text.substr(0, 10)));
    platform::ui::input::click(GetDlgItem(dialog, IDC_QUICK_PRINT));
  });
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_NE(printed[0].bodyText.find(u"BOOK ONE: 1805"), std::u16string::npos);
  EXPECT_EQ(printed[0].bodyText.find(u"<span"), std::u16string::npos) << "the markup printed as text";
  EXPECT_EQ(printed[0].bodyText.find(u"&nbsp;"), std::u16string::npos);
}

}  // namespace
