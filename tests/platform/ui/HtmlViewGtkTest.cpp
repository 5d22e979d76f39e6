// The WebKitGTK view on the test run's Xvfb, driven with XTEST input through xdotool.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/com/HResult.h"
#include "platform/html/HtmlDocument.h"
#include "platform/system/Text.h"
#include "platform/ui/HtmlView.h"
#include "tests/platform/ui/GuiSupport.h"
#include "tests/support/MsgBodies.h"
#include "tests/support/TestEnvironment.h"

namespace {

using ::testing::HasSubstr;
using platform::system::utf16ToUtf8;
using platform::system::utf8ToUtf16;

constexpr char kTitle[] = "HtmlViewGtkTest";
// Keyboard focus without a window manager comes from xdotool.
constexpr char kFocus[] = "xdotool search --name '^HtmlViewGtkTest$' windowfocus";

bool onPath(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// A loopback HTTP listener that only counts who connects.
class LoopbackServer {
 public:
  LoopbackServer() {
    m_socket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    listen(m_socket, 16);
    m_thread = std::thread([this] {
      while (!m_stop) {
        pollfd p{m_socket, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int client = accept(m_socket, nullptr, nullptr);
        if (client < 0) continue;
        ++m_connections;
        close(client);
      }
    });
  }
  ~LoopbackServer() {
    m_stop = true;
    m_thread.join();
    close(m_socket);
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
  int connections() const { return m_connections; }

 private:
  int m_socket = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_connections{0};
  std::thread m_thread;
};

// Runs GTK's loop until `done` or the time is up.
template <class Predicate>
bool pumpUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void pumpFor(std::chrono::milliseconds time) {
  pumpUntil([] { return false; }, time);
}

// A command run beside the loop, so the view keeps answering the X events it causes.
int runWhilePumping(const std::string& command) {
  std::atomic<bool> finished{false};
  int status = -1;
  std::thread runner([&] {
    status = std::system(command.c_str());
    finished = true;
  });
  pumpUntil([&] { return finished.load(); }, std::chrono::seconds(30));
  runner.join();
  return status;
}

// Evaluates an expression in the page (as the test's own probe) and answers it as JSON text.
std::string probe(GtkWidget* widget, const std::string& expression) {
  struct Answer {
    bool done = false;
    std::string text;
  } answer;
  const std::string script = "JSON.stringify(" + expression + ")";
  webkit_web_view_evaluate_javascript(
      WEBKIT_WEB_VIEW(widget), script.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* a = static_cast<Answer*>(data);
        GError* error = nullptr;
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error)) {
          gchar* text = jsc_value_to_string(value);
          a->text = text ? text : "";
          g_free(text);
          g_object_unref(value);
        } else {
          a->text = std::string("error: ") + (error ? error->message : "?");
          if (error) g_error_free(error);
        }
        a->done = true;
      },
      &answer);
  pumpUntil([&] { return answer.done; });
  return answer.text;
}

int probeInt(GtkWidget* widget, const std::string& expression) { return std::atoi(probe(widget, expression).c_str()); }

void writePng(const std::filesystem::path& path, int size) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, size, size);
  gdk_pixbuf_fill(pixbuf, 0x2060c0ff);
  gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixbuf);
}

// The body text of an HTML fragment, as the off-screen document reads it.
std::string textOf(const std::string& html) {
  platform::html::CHtmlDocument document;
  document.loadFromString(utf8ToUtf16(html));
  return utf16ToUtf8(document.body().innerText());
}

class HtmlViewGtkTest : public testsupport::IsolatedTest {
 protected:
  static void SetUpTestSuite() {
    // Pictures of the view come out blank on Xvfb with the DMA-BUF renderer.
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus to reach here
    if (!uitest::startGtkFace(s_why)) return;
    s_ready = onPath("xdotool");
    if (!s_ready) s_why = "xdotool is not installed";
  }

  void SetUp() override {
    testsupport::IsolatedTest::SetUp();
    if (!s_ready) GTEST_SKIP() << "GUI test skipped: " << s_why;
    m_view = platform::ui::makeGtkHtmlView();
    ASSERT_TRUE(m_view);
    m_widget = static_cast<GtkWidget*>(m_view->nativeWidget());
    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(m_window), kTitle);
    gtk_window_set_default_size(GTK_WINDOW(m_window), 700, 520);
    gtk_window_move(GTK_WINDOW(m_window), 0, 0);
    gtk_container_add(GTK_CONTAINER(m_window), m_widget);
    gtk_widget_show_all(m_window);
    m_view->setDocumentCompleteHandler([this] { ++m_completed; });
  }
  void TearDown() override {
    if (m_window) gtk_widget_destroy(m_window);
    m_view.reset();
    if (s_ready) pumpFor(std::chrono::milliseconds(50));
  }

  void load(const std::string& html, const std::filesystem::path& folder) {
    const int before = m_completed;
    m_view->loadHtml(html, folder);
    ASSERT_TRUE(pumpUntil([&] { return m_completed > before; })) << "no document complete";
  }

  // The view's top-left corner on the screen.
  std::pair<int, int> origin() const {
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(m_widget), &x, &y);
    return {x, y};
  }

  void screenshot(const std::string& name) {
    pumpFor(std::chrono::milliseconds(300));
    GdkWindow* window = gtk_widget_get_window(m_window);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(window, 0, 0, gdk_window_get_width(window), gdk_window_get_height(window));
    ASSERT_NE(shot, nullptr);
    const std::string path = uitest::picturePath(name);
    EXPECT_TRUE(gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr));
    g_object_unref(shot);
    std::printf("screenshot: %s\n", path.c_str());
  }

  static inline std::string s_why;
  static inline bool s_ready = false;
  std::unique_ptr<platform::ui::IHtmlView> m_view;
  GtkWidget* m_widget = nullptr;
  GtkWidget* m_window = nullptr;
  int m_completed = 0;
};

// A real sample's body, with what hostile mail adds: script, handlers, remote and outside
// references.
TEST_F(HtmlViewGtkTest, ShowsSampleBodyInertAndReadsTheDraggedSelection) {
  QM_REQUIRE_SHARED_DATA();
  const auto samples = testsupport::sampleHtmlBodies();
  // A mail written in HTML (PR_HTML) with paragraphs of a few lines.
  const auto sample = std::find_if(samples.begin(), samples.end(), [](const testsupport::SampleBody& s) {
    return s.file.filename() == "poi__attachment_msg_inlineImg.msg";
  });
  ASSERT_NE(sample, samples.end());

  LoopbackServer remote;
  const auto folder = dir() / "job";
  std::filesystem::create_directories(folder);
  writePng(folder / "inline.png", 24);
  writePng(dir() / "outside.png", 24);

  platform::html::CHtmlDocument document;
  ASSERT_EQ(document.loadFromString(sample->html), S_OK);
  const std::string hostile =
      "<p id=probe>untouched</p>"
      "<script>document.title='script ran';document.getElementById('probe').textContent='script ran';</script>"
      "<img id=bad src=missing.png onerror=\"document.getElementById('probe').textContent='handler ran'\">"
      "<img id=local src=inline.png><img id=outside src=../outside.png>"
      "<img id=absolute src=\"file://" + (dir() / "outside.png").string() + "\">"
      "<img id=remote src=\"" + remote.url("/remote.png") + "\">"
      "<link rel=stylesheet href=\"" + remote.url("/style.css") + "\">"
      "<link rel=preconnect href=\"" + remote.url("/") + "\"><link rel=prefetch href=\"" + remote.url("/next") + "\">"
      "<div style=\"width:20px;height:20px;background:url(" + remote.url("/background.png") + ")\"></div>"
      "<iframe src=\"" + remote.url("/frame") + "\" width=40 height=20></iframe>"
      "<meta http-equiv=refresh content=\"0;url=" + remote.url("/refresh") + "\">";
  ASSERT_EQ(document.body().setInnerHTML(document.body().innerHTML() + utf8ToUtf16(hostile)), S_OK);
  load(utf16ToUtf8(document.documentHTML()), folder);
  pumpFor(std::chrono::milliseconds(1500));  // room for late loads and the refresh

  EXPECT_EQ(probe(m_widget, "document.getElementById('probe').textContent"), "\"untouched\"");
  EXPECT_THAT(probe(m_widget, "document.title"), ::testing::Not(HasSubstr("ran")));
  EXPECT_GT(probeInt(m_widget, "document.getElementById('local').naturalWidth"), 0) << "the folder's own picture";
  EXPECT_EQ(probeInt(m_widget, "document.getElementById('outside').naturalWidth"), 0);
  EXPECT_EQ(probeInt(m_widget, "document.getElementById('absolute').naturalWidth"), 0);
  EXPECT_EQ(probe(m_widget, "location.href"), "\"qm-view://document/\"") << "the refresh went nowhere";
  EXPECT_EQ(remote.connections(), 0) << "the view reached the network";

  // The first two paragraphs of the mail with text, fully on screen: their rectangles, and
  // how their texts end.
  const std::string found = probe(m_widget,
      "(function(){var r=[],t=[];var ps=document.querySelectorAll('p:not(#probe)');"
      "for(var i=0;i<ps.length&&t.length<2;++i){var b=ps[i].getBoundingClientRect(),x=ps[i].innerText.trim();"
      "if(x.length>40&&b.bottom<innerHeight){r.push(b.left,b.top,b.right,b.bottom);t.push(x.slice(-12));}}"
      "return r.map(Math.round).join(' ')+'|'+t.join('|');})()");
  int r[2][4];
  char tails[2][64] = {};
  ASSERT_EQ(std::sscanf(found.c_str(), "\"%d %d %d %d %d %d %d %d|%63[^|]|%63[^\"]", &r[0][0], &r[0][1], &r[0][2],
                        &r[0][3], &r[1][0], &r[1][1], &r[1][2], &r[1][3], tails[0], tails[1]),
            10)
      << found;
  const auto [ox, oy] = origin();
  const std::string drag = std::string(kFocus) + " sleep 0.2" +
                           " mousemove " + std::to_string(ox + r[0][0] + 1) + " " + std::to_string(oy + r[0][1] + 2) +
                           " sleep 0.2 mousedown 1 sleep 0.2" +
                           " mousemove " + std::to_string(ox + (r[0][0] + r[1][2]) / 2) + " " + std::to_string(oy + r[1][1] + 2) +
                           " sleep 0.2 mousemove " + std::to_string(ox + r[1][2] - 1) + " " + std::to_string(oy + r[1][3] - 2) +
                           " sleep 0.2 mouseup 1";
  ASSERT_EQ(runWhilePumping(drag), 0) << drag;
  pumpFor(std::chrono::milliseconds(200));

  std::string selected;
  bool answered = false;
  m_view->selectionHtml([&](bool ok, const std::string& html) {
    answered = ok;
    selected = html;
  });
  ASSERT_TRUE(pumpUntil([&] { return answered; }));
  // Both paragraphs, each to its end: the elements themselves, not only their text.
  EXPECT_THAT(textOf(selected), HasSubstr(tails[0]));
  EXPECT_THAT(textOf(selected), HasSubstr(tails[1]));
  EXPECT_THAT(selected, ::testing::MatchesRegex("(.|\n)*<p[ >](.|\n)*<p[ >](.|\n)*"));
  screenshot("HtmlViewGtk-selection.png");
  EXPECT_EQ(remote.connections(), 0);
}

// Part of a bold run inside a coloured span, dragged with the mouse: the HTML read keeps the
// elements the selection starts and ends in, so the part prints as it is shown.
TEST_F(HtmlViewGtkTest, PartOfABoldRunReadsWithItsFormattingElements) {
  load("<!DOCTYPE html><body style='margin:20px;font-size:20px'><p><span style='color:red'>Plain "
       "<b id=bold>emboldened words of the mail</b> after</span></p></body>",
       dir());
  const std::string box = probe(m_widget,
      "(function(){var b=document.getElementById('bold').getBoundingClientRect();"
      "return [b.left,b.top,b.right,b.bottom].map(Math.round).join(' ');})()");
  int left = 0, top = 0, right = 0, bottom = 0;
  ASSERT_EQ(std::sscanf(box.c_str(), "\"%d %d %d %d", &left, &top, &right, &bottom), 4) << box;
  const auto [ox, oy] = origin();
  const int y = oy + (top + bottom) / 2;
  const int width = right - left;
  ASSERT_EQ(runWhilePumping(std::string(kFocus) + " sleep 0.2 mousemove " + std::to_string(ox + left + width / 4) +
                            " " + std::to_string(y) + " sleep 0.2 mousedown 1 sleep 0.2 mousemove " +
                            std::to_string(ox + left + width * 3 / 4) + " " + std::to_string(y) +
                            " sleep 0.2 mouseup 1"),
            0);
  pumpFor(std::chrono::milliseconds(200));

  std::string selected;
  bool answered = false;
  m_view->selectionHtml([&](bool ok, const std::string& html) {
    answered = ok;
    selected = html;
  });
  ASSERT_TRUE(pumpUntil([&] { return answered; }));
  EXPECT_THAT(selected, ::testing::MatchesRegex("<span style=\"color:red\"><b id=\"bold\">[^<]+</b></span>"));
  const std::string text = textOf(selected);
  EXPECT_THAT(text, HasSubstr("words"));
  EXPECT_THAT(text, ::testing::Not(HasSubstr("Plain")));
  EXPECT_THAT(text, ::testing::Not(HasSubstr("after")));
}

TEST_F(HtmlViewGtkTest, GivesItsContextMenuAndDialogKeysToTheOwner) {
  load("<!DOCTYPE html><body style='margin:0'><p style='height:300px'>Right-click here.</p></body>", dir());
  int menuX = -1, menuY = -1;
  m_view->setContextMenuHandler([&](int x, int y) { menuX = x, menuY = y; });
  std::vector<unsigned> keys;
  m_view->setKeyHandler([&](unsigned vk) {
    keys.push_back(vk);
    return true;
  });
  m_view->setZoom(1.5);
  EXPECT_DOUBLE_EQ(m_view->zoom(), 1.5);

  const auto [ox, oy] = origin();
  ASSERT_EQ(runWhilePumping(std::string(kFocus) + " sleep 0.2 mousemove " +
                            std::to_string(ox + 40) + " " + std::to_string(oy + 30) +
                            " sleep 0.2 click 1 sleep 0.2 click 3 sleep 0.3 windowfocus --sync sleep 0.1 key Return sleep 0.1 key Escape sleep 0.3"),
            0);
  // The menu request comes from the view's web process, whenever a loaded machine gets to it.
  EXPECT_TRUE(pumpUntil([&] { return menuX != -1 && keys.size() >= 2; }));
  pumpFor(std::chrono::milliseconds(200));  // room for a menu of the view's own, which must not come
  EXPECT_EQ(menuX, ox + 40);
  EXPECT_EQ(menuY, oy + 30);
  EXPECT_EQ(keys, (std::vector<unsigned>{0x0D, 0x1B}));
  // No menu of the view's own popped up: our window is the only one showing.
  GList* toplevels = gtk_window_list_toplevels();
  int visible = 0;
  for (GList* w = toplevels; w; w = w->next) visible += gtk_widget_get_visible(GTK_WIDGET(w->data)) ? 1 : 0;
  g_list_free(toplevels);
  EXPECT_EQ(visible, 1);
}

}  // namespace
