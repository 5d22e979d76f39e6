// Dialog 127 on the test run's Xvfb with a real sample: two paragraphs highlighted by a real
// mouse drag (XTEST) in the WebKitGTK view, Quick Print pressed with a real click, and the PDF
// the real browser prints holds those paragraphs and nothing else of the body.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <thread>

#include "engine/Printer.h"
#include "engine/SelectionPrint.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/Outlook.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/HtmlView.h"
#include "resources/resource.h"
#include "tests/engine/PrintJobFixtures.h"
#include "tests/platform/ui/GuiSupport.h"

namespace {

namespace fs = std::filesystem;
constexpr char kSample[] = "poi__attachment_msg_inlineImg.msg";

// Runs the loop until `done` or the time is up.
template <class Predicate>
bool pumpUntil(Predicate done, int limitMs = 20000) {
  for (int waited = 0; !done(); waited += 10) {
    if (waited > limitMs) return false;
    platform::loop::runFor(10);
  }
  return true;
}

// A command run beside the loop, so the view answers the X events it causes as they come.
int runWhilePumping(const std::string& command) {
  std::atomic<bool> finished{false};
  int status = -1;
  std::thread runner([&] {
    status = std::system((command + " >/dev/null 2>&1").c_str());
    finished = true;
  });
  pumpUntil([&] { return finished.load(); }, 30000);
  runner.join();
  return status;
}

// The test's own probe of the page (the page's script stays off; the embedder may still ask).
std::string probe(GtkWidget* view, const std::string& expression) {
  struct Answer {
    bool done = false;
    std::string text;
  };
  auto* answer = new Answer;  // the view may answer after a failed wait
  webkit_web_view_evaluate_javascript(
      WEBKIT_WEB_VIEW(view), expression.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* a = static_cast<Answer*>(data);
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
          gchar* text = jsc_value_to_string(value);
          a->text = text ? text : "";
          g_free(text);
          g_object_unref(value);
        }
        a->done = true;
      },
      answer);
  if (!pumpUntil([&] { return answer->done; })) return {};
  std::string text = answer->text;
  delete answer;
  return text;
}

// Runs of white space (no-break spaces too) as one blank, so laid-out lines compare with text.
std::string normalised(std::string text) {
  text = std::regex_replace(text, std::regex("\xC2\xA0"), " ");
  return std::regex_replace(text, std::regex("\\s+"), " ");
}

class SelectionPrintGuiTest : public enginetest::PrintJobTest {
 protected:
  static void SetUpTestSuite() {
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);  // pictures of the view are blank without it
    setenv("NO_AT_BRIDGE", "1", 1);
    if (!uitest::startGtkFace(s_why)) return;
    s_ready = std::system("command -v xdotool >/dev/null 2>&1") == 0;
    if (!s_ready) s_why = "xdotool is not installed";
  }

  void SetUp() override {
    PrintJobTest::SetUp();
    if (!s_ready) GTEST_SKIP() << "GUI test skipped: " << s_why;
    if (testsupport::sharedDir().empty()) GTEST_SKIP() << "shared test data not found (set QM_SHARED_DIR)";
    const fs::path inbox = dir() / "store" / "Inbox";
    fs::create_directories(inbox);
    fs::create_symlink(testsupport::sharedDir() / "testdata" / "msg" / kSample, inbox / kSample);
    m_outlook = platform::outlook::COutlook::open(dir() / "store");
    ASSERT_TRUE(m_outlook);
    setClass(u"IPM.Note", {{u"Built in", CSettings::instance().getDefaultTemplatePath(), false, {}}});
    beginPrintRun();
    setPrintDestination(PrintDestination{dir() / "out", true, u"selection", {}});
  }
  void TearDown() override {
    CCDialogHTMLSelection::setDriverForTesting(nullptr);
    setPrintDestination({});
    m_outlook.reset();
    PrintJobTest::TearDown();
  }

  static inline std::string s_why;
  static inline bool s_ready = false;
  std::unique_ptr<platform::outlook::COutlook> m_outlook;
};

TEST_F(SelectionPrintGuiTest, TwoParagraphsDraggedInTheDialogPrintAlone) {
  // Four paragraphs of the body with text, on screen: their rectangles and texts.
  std::vector<std::string> texts;
  std::string picture = uitest::picturePath("selection-127.png");
  bool pictureSaved = false;
  CCDialogHTMLSelection::setDriverForTesting([&](HWND dialog) {
    uitest::waitUntilShown(dialog);
    const HWND control = GetDlgItem(dialog, IDC_SELECTION_BROWSER);
    auto* view = static_cast<GtkWidget*>(platform::ui::htmlViewOf(control)->nativeWidget());
    const std::string found = probe(view,
        "(function(){var out=[];var ps=document.querySelectorAll('p');"
        "for(var i=0;i<ps.length&&out.length<4;++i){var b=ps[i].getBoundingClientRect(),x=ps[i].innerText.trim();"
        "if(x.length>30&&x.indexOf('\\n')<0&&!ps[i].querySelector('a')&&b.bottom<innerHeight)out.push([b.left,b.top,b.right,b.bottom].map(Math.round).join(' ')+' '+x);}"
        "return out.join('\\n');})()");
    int r[4][4] = {};
    std::size_t at = 0;
    for (int i = 0; i < 4 && at < found.size(); ++i) {
      const std::size_t end = std::min(found.find('\n', at), found.size());
      const std::string line = found.substr(at, end - at);
      int used = 0;
      if (std::sscanf(line.c_str(), "%d %d %d %d %n", &r[i][0], &r[i][1], &r[i][2], &r[i][3], &used) == 4)
        texts.push_back(line.substr(static_cast<std::size_t>(used)));
      at = end + 1;
    }
    if (texts.size() < 4) {
      ADD_FAILURE() << "fewer than four paragraphs on screen: " << found;
      EndDialog(dialog, IDCANCEL);
      return;
    }
    // The view's corner on the screen.
    GtkWidget* top = gtk_widget_get_toplevel(view);
    int ox = 0, oy = 0, wx = 0, wy = 0;
    gdk_window_get_origin(gtk_widget_get_window(top), &ox, &oy);
    gtk_widget_translate_coordinates(view, top, 0, 0, &wx, &wy);
    ox += wx, oy += wy;
    // From the start of the second paragraph to the end of the third, as a person drags.
    const std::string drag =
        "xdotool mousemove --sync " + std::to_string(ox + r[1][0] + 1) + " " + std::to_string(oy + r[1][1] + 2) +
        " sleep 0.2 mousedown 1 sleep 0.2 mousemove " + std::to_string(ox + (r[1][0] + r[2][2]) / 2) + " " +
        std::to_string(oy + r[2][1] + 2) + " sleep 0.2 mousemove " + std::to_string(ox + r[2][2] - 1) + " " +
        std::to_string(oy + r[2][3] - 2) + " sleep 0.2 mouseup 1 sleep 0.2";
    EXPECT_EQ(runWhilePumping(drag), 0) << drag;
    platform::loop::runFor(300);
    pictureSaved = platform::ui::saveWindowPicture(dialog, picture);
    const POINT button = uitest::centreOf(GetDlgItem(dialog, IDC_QUICK_PRINT));
    EXPECT_EQ(runWhilePumping("xdotool mousemove --sync " + std::to_string(button.x) + " " + std::to_string(button.y) +
                              " click 1"),
              0);
  });

  CPrintInfo job(m_outlook->item(dir() / "store" / "Inbox" / kSample));
  int printedMode = 0;
  ASSERT_TRUE(runSelectionService(job, nullptr, [&](CPrintInfo& selected, int mode) {
    printedMode = mode;
    return CPrintItem(selected).printJob(mode, {}, [](const CPrintInfo& j, const quilstring& path) {
      return std::unique_ptr<IPrinter>(std::make_unique<CPrinter>(j, path));
    }) == kStatusPrinted;
  }));
  EXPECT_TRUE(pictureSaved);
  std::printf("picture: %s\n", picture.c_str());
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(printedMode, kModePrint);

  const fs::path pdf = dir() / "out" / "selection.pdf";
  ASSERT_TRUE(fs::exists(pdf));
  const std::string text = normalised(testsupport::pdfText(pdf));
  std::printf("printed: %s\n", text.c_str());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string paragraph = normalised(texts[i]);
    const std::string tail = paragraph.substr(paragraph.size() > 30 ? paragraph.size() - 30 : 0);
    const bool printed = text.find(tail) != std::string::npos;
    EXPECT_EQ(printed, i == 1 || i == 2) << "paragraph " << i << ": " << paragraph << "\nprinted: " << text;
  }
}

}  // namespace
