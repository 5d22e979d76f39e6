// End to end on the real headless Chromium and libqpdf; pdftotext reads the results back.
#include "platform/browser/PrintEngine.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/browser/ChromiumPrintEngine.h"
#include "platform/browser/ChromiumProcess.h"
#include "platform/browser/OutputFile.h"
#include "platform/browser/PdfTools.h"
#include "platform/browser/PrintTemplate.h"
#include "platform/html/HtmlDocument.h"
#include "platform/loop/MessageLoop.h"
#include "platform/system/Text.h"
#include "platform/system/Diagnostics.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::browser;

// Counts every TCP connection made to it, standing in for the internet.
class Spy {
 public:
  Spy() {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(m_fd, 16);
    socklen_t len = sizeof addr;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] {
      while (!m_stop) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
          const int c = ::accept(m_fd, nullptr, nullptr);
          if (c >= 0) {
            ++m_connections;
            ::close(c);
          }
        }
      }
    });
  }
  ~Spy() {
    m_stop = true;
    m_thread.join();
    ::close(m_fd);
  }
  int port() const { return m_port; }
  int connections() const { return m_connections; }

 private:
  int m_fd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_connections{0};
  std::thread m_thread;
};

// Kills the running browser and lets the loop run until it has exited, however long a loaded
// machine takes to tear its threads down: a fixed pause could end while it still looked alive.
void killBrowser() {
  const pid_t pid = detail::chromiumPidForTesting();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  const std::string statFile = "/proc/" + std::to_string(pid) + "/stat";
  for (int i = 0; i < 1000; ++i) {
    std::ifstream stat(statFile);
    std::string line;
    if (!std::getline(stat, line)) break;  // reaped
    const std::size_t close = line.rfind(')');
    if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z') break;  // exited
    platform::loop::runFor(5);
  }
  // Its renderers go too, and with them the last holders of its pipe, whose end is then read.
  ASSERT_TRUE(platform::loop::runUntil([] { return detail::browserPipeBrokenForTesting(); }, 20000))
      << "the engine never saw its browser's pipe end";
}

const char* kThreePages =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>.p{break-after:page}</style></head><body>"
    "<div class=p>PAGE-ONE</div><div class=p>PAGE-TWO</div><div>PAGE-THREE</div>"
    "<script>document.body.appendChild(document.createTextNode('SCRIPT-RAN'));</script>"
    "<img src=\"missing.png\" onerror=\"document.body.append('ONERROR-RAN')\">"
    "<svg onload=\"document.body.append('SVG-RAN')\"></svg>"
    "</body></html>";

class ChromiumPrintEngineTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    if (detail::findChromium().empty()) GTEST_SKIP() << "Chromium is not installed";
    m_job = dir() / "job";
    fs::create_directories(m_job);
    engine().setAllowedFolders({m_job});
  }
  IPrintEngine& engine() { return chromiumPrintEngine(); }
  fs::path write(const std::string& name, const std::string& html) {
    std::ofstream(m_job / name, std::ios::binary) << html;
    return m_job / name;
  }
  // Loads and prints on letter paper with half-inch margins.
  HRESULT print(const fs::path& doc, const fs::path& out) {
    if (HRESULT hr = engine().loadDocument(doc, 10000); FAILED(hr)) return hr;
    if (HRESULT hr = engine().addStyleSheet("@page{size:8.5in 11in !important;margin:0.5in !important}"); FAILED(hr))
      return hr;
    PdfSettings settings;
    settings.margins = {0.5, 0.5, 0.5, 0.5};
    return engine().printBody(settings, out);
  }
  // A job takes its print ahead only where its document loaded before it was asked for: the
  // test waits for that print to start, however long a loaded machine takes.
  static bool printingAhead(const fs::path& doc) {
    return platform::loop::runUntil([&] { return detail::printingAheadForTesting(doc); }, 20000);
  }
  fs::path m_job;
};

TEST_F(ChromiumPrintEngineTest, PrintsALocalDocumentWithItsScriptsInert) {
  const fs::path out = dir() / "out.pdf";
  ASSERT_EQ(print(write("mail.html", kThreePages), out), S_OK);
  int pages = 0;
  ASSERT_EQ(engine().pageCount(out, pages), S_OK);
  EXPECT_EQ(pages, 3);
  const std::string text = testsupport::pdfText(out);
  EXPECT_NE(text.find("PAGE-ONE"), std::string::npos);
  EXPECT_NE(testsupport::pdfText(out, 3).find("PAGE-THREE"), std::string::npos);
  for (const char* marker : {"SCRIPT-RAN", "ONERROR-RAN", "SVG-RAN"})
    EXPECT_EQ(text.find(marker), std::string::npos) << marker;
  EXPECT_FALSE(fs::exists(dir() / "out.pdf.partial"));

  // Pictures that load lazily print on every page, though the tabs draw no frames.
  const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF,
                               0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, 0x3B};
  std::ofstream(m_job / "dot.gif", std::ios::binary).write(reinterpret_cast<const char*>(gif), sizeof gif);
  std::string lazy = "<html><body><img loading=\"lazy\" src=\"dot.gif\" width=\"40\" height=\"40\">";
  for (int line = 0; line < 120; ++line) lazy += "<p>line</p>";
  lazy += "<img loading=\"lazy\" src=\"dot.gif?later\" width=\"40\" height=\"40\"></body></html>";
  ASSERT_EQ(print(write("lazy.html", lazy), dir() / "lazy.pdf"), S_OK);
  const std::string images = testsupport::commandOutput("pdfimages -list '" + (dir() / "lazy.pdf").string() + "'");
  EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2 + 2) << images;  // heading, rule, two pictures
}

TEST_F(ChromiumPrintEngineTest, NothingRemoteOrOutsideTheJobIsFetched) {
  Spy spy;
  const std::string remote = "http://127.0.0.1:" + std::to_string(spy.port());
  const std::string html =
      "<!DOCTYPE html><html><head>"
      "<meta http-equiv=\"refresh\" content=\"0;url=" + remote + "/refresh\">"
      "<link rel=\"preconnect\" href=\"" + remote + "\"><link rel=\"dns-prefetch\" href=\"" + remote + "\">"
      "<link rel=\"prefetch\" href=\"" + remote + "/prefetch\">"
      "<link rel=\"stylesheet\" href=\"" + remote + "/style.css\">"
      "<style>@import url(" + remote + "/import.css); body{background:url(" + remote + "/bg.png)}"
      "@font-face{font-family:x;src:url(" + remote + "/font.woff)} p{font-family:x}</style></head><body>"
      "<p>BODY-STAYS</p><img src=\"" + remote + "/img.png\"><img srcset=\"" + remote + "/set.png 2x\">"
      "<iframe src=\"" + remote + "/frame\"></iframe><iframe src=\"file:///etc/passwd\"></iframe>"
      "<object data=\"" + remote + "/object\"></object><video poster=\"" + remote + "/poster.png\"></video>"
      "<script src=\"" + remote + "/script.js\"></script>"
      "</body></html>";
  const fs::path out = dir() / "out.pdf";
  ASSERT_EQ(print(write("hostile.html", html), out), S_OK);
  platform::loop::runFor(300);  // give late requests (the refresh, preconnects) their chance
  EXPECT_EQ(spy.connections(), 0);
  const std::string text = testsupport::pdfText(out);
  EXPECT_NE(text.find("BODY-STAYS"), std::string::npos);  // the refresh did not replace the page
  EXPECT_EQ(text.find("root:"), std::string::npos);
}

TEST_F(ChromiumPrintEngineTest, AKilledBrowserIsRestartedForTheNextJob) {
  const fs::path doc = write("mail.html", kThreePages);
  ASSERT_EQ(print(doc, dir() / "first.pdf"), S_OK);
  const pid_t first = detail::chromiumPidForTesting();
  const int starts = detail::chromiumStartsForTesting();
  ASSERT_GT(first, 0);
  ::kill(first, SIGKILL);
  ASSERT_EQ(print(doc, dir() / "second.pdf"), S_OK);
  EXPECT_EQ(detail::chromiumStartsForTesting(), starts + 1);
  EXPECT_NE(detail::chromiumPidForTesting(), first);
  int pages = 0;
  EXPECT_EQ(engine().pageCount(dir() / "second.pdf", pages), S_OK);
  EXPECT_EQ(pages, 3);
}

// The thread's last failure after `step`, which must have failed.
template <class Step>
std::string reasonOf(Step step) {
  platform::diag::clearLastFailure();
  EXPECT_TRUE(FAILED(step()));
  return platform::diag::lastFailure();
}

TEST_F(ChromiumPrintEngineTest, EveryFailureIsReportedWithItsReason) {
  const fs::path doc = write("mail.html", kThreePages);
  ASSERT_EQ(print(doc, dir() / "warm.pdf"), S_OK);

  // A browser that cannot start says why.
  killBrowser();
  ::setenv("QUILLMARK_CHROMIUM", "/nonexistent/chromium", 1);
  std::string reason = reasonOf([&] { return engine().loadDocument(doc, 5000); });
  ::unsetenv("QUILLMARK_CHROMIUM");
  EXPECT_NE(reason.find("browser: cannot start the browser"), std::string::npos) << reason;
  EXPECT_NE(reason.find("/nonexistent/chromium"), std::string::npos) << reason;

  // Killed under a loaded document.
  ASSERT_EQ(engine().loadDocument(doc, 10000), S_OK);
  killBrowser();
  reason = reasonOf([&] { return engine().printBody(PdfSettings{}, dir() / "dead.pdf"); });
  EXPECT_NE(reason.find("the browser died"), std::string::npos) << reason;
  EXPECT_FALSE(fs::exists(dir() / "dead.pdf"));

  // The protocol's own error text.
  ASSERT_EQ(engine().loadDocument(doc, 10000), S_OK);
  PdfSettings impossible;
  impossible.margins = {6.0, 6.0, 6.0, 6.0};
  reason = reasonOf([&] { return engine().printBody(impossible, dir() / "impossible.pdf"); });
  EXPECT_NE(reason.find("Page.printToPDF for " + doc.string() + " failed: "), std::string::npos) << reason;
  EXPECT_GT(reason.size(), reason.find("failed: ") + 8) << reason;

  // A file outside the job refused by the request rules.
  platform::diag::clearLastFailure();
  ASSERT_EQ(engine().loadDocument(write("peek.html", "<html><body><img src=\"file:///etc/hostname\">PEEK</body></html>"),
                                  10000),
            S_OK);
  reason = platform::diag::lastFailure();
  EXPECT_NE(reason.find("refused the file file:///etc/hostname"), std::string::npos) << reason;
  EXPECT_NE(reason.find("peek.html"), std::string::npos) << reason;

  // qpdf on a damaged PDF.
  std::ofstream(dir() / "broken.pdf") << "%PDF-1.7\nnot really a pdf";
  reason = reasonOf([&] { return overlayPdf(dir() / "broken.pdf", {}, dir() / "merged.pdf", 0, 0); });
  EXPECT_NE(reason.find("pdf: cannot read " + (dir() / "broken.pdf").string()), std::string::npos) << reason;
  EXPECT_FALSE(fs::exists(dir() / "merged.pdf"));

  // A load that runs past its time.
  ASSERT_EQ(::mkfifo((m_job / "slow.png").c_str(), 0600), 0);
  const fs::path slow = write("slow.html", "<html><body>SLOW<img src=\"slow.png\"></body></html>");
  reason = reasonOf([&] { return engine().loadDocument(slow, 300); });
  EXPECT_NE(reason.find("the load of " + slow.string() + " ran past 300 ms"), std::string::npos) << reason;
}

TEST_F(ChromiumPrintEngineTest, ALoadThatNeverCompletesTimesOutAndTheNextOneWorks) {
  // A named pipe never delivers its bytes: the image keeps the load open.
  ASSERT_EQ(::mkfifo((m_job / "stuck.png").c_str(), 0600), 0);
  const fs::path stuck = write("stuck.html", "<html><body>STUCK<img src=\"stuck.png\"></body></html>");
  EXPECT_EQ(engine().loadDocument(stuck, 500), E_LOAD_TIMEOUT);
  EXPECT_EQ(engine().loadDocument(m_job / "absent.html", 500), E_INVALIDARG);
  ASSERT_EQ(print(write("mail.html", kThreePages), dir() / "out.pdf"), S_OK);
  EXPECT_NE(testsupport::pdfText(dir() / "out.pdf").find("PAGE-TWO"), std::string::npos);
}

// In a batch the next job's document loads in a tab of its own while the job's document waits
// for its print, and answers its requests by its own lists, not by the ones of the job printing.
TEST_F(ChromiumPrintEngineTest, ABatchLoadsTheNextDocumentBesideTheOneBeingPrinted) {
  const fs::path next = dir() / "next";
  fs::create_directories(next);
  std::ofstream(next / "frame.html") << "<html><body>FRAME-OF-B</body></html>";
  std::ofstream(next / "b.html") << "<html><body>DOC-B<iframe src=\"frame.html\"></iframe></body></html>";
  const fs::path a = write("a.html", "<html><body>DOC-A</body></html>");

  engine().beginBatch();
  engine().preloadDocument(a);
  ASSERT_EQ(engine().loadDocument(a, 10000), S_OK);
  engine().preloadDocument(next / "b.html", {next}, {next / "frame.html"});
  platform::loop::runFor(100);
  PdfSettings settings;
  ASSERT_EQ(engine().printBody(settings, dir() / "a.pdf"), S_OK);
  ASSERT_EQ(print(next / "b.html", dir() / "b.pdf"), S_OK);
  engine().endBatch();

  const std::string first = testsupport::pdfText(dir() / "a.pdf");
  EXPECT_NE(first.find("DOC-A"), std::string::npos) << first;
  EXPECT_EQ(first.find("DOC-B"), std::string::npos) << first;
  const std::string second = testsupport::pdfText(dir() / "b.pdf");
  EXPECT_NE(second.find("DOC-B"), std::string::npos) << second;
  EXPECT_NE(second.find("FRAME-OF-B"), std::string::npos) << second;
  // A load ahead in a batch never replaces a dead browser (a print may be waiting on it); the
  // next load does.
  engine().beginBatch();
  const int starts = detail::chromiumStartsForTesting();
  killBrowser();
  engine().preloadDocument(a);
  EXPECT_EQ(detail::chromiumStartsForTesting(), starts);
  ASSERT_EQ(print(a, dir() / "restarted.pdf"), S_OK);
  EXPECT_EQ(detail::chromiumStartsForTesting(), starts + 1);
  engine().endBatch();

  // After the batch the engine loads one document at a time again.
  ASSERT_EQ(print(a, dir() / "again.pdf"), S_OK);
  EXPECT_NE(testsupport::pdfText(dir() / "again.pdf").find("DOC-A"), std::string::npos);
}

// A batch prints the next jobs' documents as soon as they are loaded, with the rules their jobs
// are expected to ask for. A job asking for the same takes that print; one asking for others
// prints again with its own rules alone.
TEST_F(ChromiumPrintEngineTest, ABatchPrintsAheadAndAJobTakesThatPrintOnlyForTheSameRules) {
  const std::string portrait = "@page{size:8.5in 11in !important;margin:0.5in !important}";
  const std::string landscape =
      "@page{size:11in 8.5in !important;margin:0.5in !important}@page :first{margin-top:7in !important}";
  PdfSettings settings;
  settings.margins = {0.5, 0.5, 0.5, 0.5};
  const fs::path a = write("a.html", "<html><body>DOC-A</body></html>");
  const fs::path b = write("b.html", kThreePages);
  const fs::path c = write("c.html", "<html><body>DOC-C</body></html>");
  const fs::path d = write("d.html", "<html><body>DOC-D</body></html>");
  const auto pageSize = [](const fs::path& pdf) {
    const std::string info = testsupport::commandOutput("pdfinfo '" + pdf.string() + "' 2>/dev/null");
    const std::size_t at = info.find_first_not_of(' ', info.find("Page size:") + 10);
    return at == std::string::npos ? info : info.substr(at, info.find(" pts", at) - at);
  };

  engine().beginBatch();
  ASSERT_EQ(engine().loadDocument(a, 10000), S_OK);
  engine().preloadDocument(b);
  engine().printAhead(b, portrait, settings);
  engine().preloadDocument(c);
  engine().printAhead(c, landscape, settings);
  ASSERT_TRUE(printingAhead(b));
  const int taken = detail::printsTakenAheadForTesting();
  ASSERT_EQ(engine().printBody(settings, dir() / "a.pdf"), S_OK);
  ASSERT_EQ(print(b, dir() / "b.pdf"), S_OK);
  EXPECT_EQ(detail::printsTakenAheadForTesting(), taken + 1);
  ASSERT_EQ(print(c, dir() / "c.pdf"), S_OK);
  EXPECT_EQ(detail::printsTakenAheadForTesting(), taken + 1);
  // Asked before its load ends: taken once printed.
  engine().preloadDocument(d);
  engine().printAhead(d, portrait, settings);
  ASSERT_EQ(print(d, dir() / "d.pdf"), S_OK);

  // Documents written with their page style: one prints with it as written; the other, written
  // with other rules than its print asks for, prints with the rules asked for only.
  const auto writeStyled = [&](const std::string& name, const std::string& text, const std::string& css) {
    platform::html::CHtmlDocument document;
    EXPECT_EQ(document.loadFromString(u"<html><head><title>t</title></head><body>" +
                                      platform::system::utf8ToUtf16(text) + u"</body></html>"),
              S_OK);
    EXPECT_EQ(writePrintDocument(document, m_job / name, m_job, css), S_OK);
    return m_job / name;
  };
  const fs::path e = writeStyled("e.html", "DOC-E", portrait);
  const fs::path f = writeStyled("f.html", "DOC-F", landscape);
  std::ifstream written(e);
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(written), {}).find(portrait), std::string::npos);
  for (const fs::path& styled : {e, f}) {
    engine().preloadDocument(styled);
    engine().printAhead(styled, portrait, settings);
    ASSERT_EQ(print(styled, dir() / (styled.stem().string() + ".pdf")), S_OK);
  }
  engine().endBatch();
  for (const char* styled : {"e.pdf", "f.pdf"}) {
    SCOPED_TRACE(styled);
    EXPECT_EQ(testsupport::pdfPages(dir() / styled), 1);
    EXPECT_EQ(pageSize(dir() / styled), "612 x 792");
    const std::string text = testsupport::pdfText(dir() / styled, 1, true);
    EXPECT_LT(text.find(styled[0] == 'e' ? "DOC-E" : "DOC-F"), 200u) << text;
  }

  EXPECT_EQ(testsupport::pdfPages(dir() / "b.pdf"), 3);
  EXPECT_NE(testsupport::pdfText(dir() / "b.pdf", 3).find("PAGE-THREE"), std::string::npos);
  EXPECT_EQ(pageSize(dir() / "b.pdf"), "612 x 792");
  EXPECT_EQ(testsupport::pdfPages(dir() / "c.pdf"), 1);
  EXPECT_EQ(pageSize(dir() / "c.pdf"), "612 x 792");
  // The text stands at the top margin, not below the first page's margin printed ahead.
  const std::string layout = testsupport::pdfText(dir() / "c.pdf", 1, true);
  EXPECT_LT(layout.find("DOC-C"), 200u) << layout;
  EXPECT_NE(testsupport::pdfText(dir() / "d.pdf").find("DOC-D"), std::string::npos);
  EXPECT_EQ(testsupport::pdfText(dir() / "a.pdf").find("DOC-B"), std::string::npos);
}

// In a batch each next job's load ahead, asked for once the job before has printed, goes to the
// tab that job leaves free. Neither that tab's renewal nor a job loaded at its own time in the
// meanwhile may lose it: every such job takes its print ahead.
TEST_F(ChromiumPrintEngineTest, ABatchLosesNoLoadAheadToARenewalOrAJobLoadedAtItsOwnTime) {
  const std::string css = "@page{size:8.5in 11in !important;margin:0.5in !important}";
  PdfSettings settings;
  settings.margins = {0.5, 0.5, 0.5, 0.5};
  const auto doc = [&](int n) {
    const std::string name = "doc" + std::to_string(n);
    return write(name + ".html", "<html><body>" + name + "-TEXT</body></html>");
  };
  engine().beginBatch();
  ASSERT_EQ(print(doc(0), dir() / "doc0.pdf"), S_OK);
  const int taken = detail::printsTakenAheadForTesting();
  constexpr int kJobs = 14;  // past the renewal of the tab they load in
  for (int n = 1; n < kJobs; ++n) {
    SCOPED_TRACE(n);
    engine().preloadDocument(doc(n));
    engine().printAhead(doc(n), css, settings);
    ASSERT_TRUE(printingAhead(doc(n)));
    const fs::path out = dir() / ("doc" + std::to_string(n) + ".pdf");
    ASSERT_EQ(print(doc(n), out), S_OK);
    EXPECT_NE(testsupport::pdfText(out).find("doc" + std::to_string(n) + "-TEXT"), std::string::npos);
  }
  EXPECT_EQ(detail::printsTakenAheadForTesting(), taken + kJobs - 1);

  // The job after next asked for first; the next job, never loaded ahead, loads at its own time.
  engine().preloadDocument(doc(kJobs + 1));
  engine().printAhead(doc(kJobs + 1), css, settings);
  ASSERT_EQ(print(doc(kJobs), dir() / "next.pdf"), S_OK);
  ASSERT_TRUE(printingAhead(doc(kJobs + 1)));
  ASSERT_EQ(print(doc(kJobs + 1), dir() / "after.pdf"), S_OK);
  engine().endBatch();
  EXPECT_EQ(detail::printsTakenAheadForTesting(), taken + kJobs);
  EXPECT_NE(testsupport::pdfText(dir() / "next.pdf").find("doc14-TEXT"), std::string::npos);
  EXPECT_NE(testsupport::pdfText(dir() / "after.pdf").find("doc15-TEXT"), std::string::npos);
}

TEST_F(ChromiumPrintEngineTest, ALoadStartedAheadIsTakenOverAndTimedFromItsOwnStart) {
  const fs::path first = write("first.html", "<html><body>FIRST-DOC</body></html>");
  const fs::path second = write("second.html", "<html><body>SECOND-DOC</body></html>");
  ASSERT_EQ(print(first, dir() / "warm.pdf"), S_OK);

  engine().preloadDocument(second);
  platform::loop::runFor(100);
  ASSERT_EQ(print(second, dir() / "ahead.pdf"), S_OK);
  EXPECT_NE(testsupport::pdfText(dir() / "ahead.pdf").find("SECOND-DOC"), std::string::npos);

  // Another file asked for: the load ahead is dropped.
  engine().preloadDocument(second);
  ASSERT_EQ(print(first, dir() / "other.pdf"), S_OK);
  EXPECT_NE(testsupport::pdfText(dir() / "other.pdf").find("FIRST-DOC"), std::string::npos);

  // Done long before it is asked for, but slower than the time-out allows.
  engine().preloadDocument(second);
  platform::loop::runFor(200);
  EXPECT_EQ(engine().loadDocument(second, 1), E_LOAD_TIMEOUT);

  ASSERT_EQ(::mkfifo((m_job / "stuck.png").c_str(), 0600), 0);
  const fs::path stuck = write("stuck.html", "<html><body>STUCK<img src=\"stuck.png\"></body></html>");
  engine().preloadDocument(stuck);
  EXPECT_EQ(engine().loadDocument(stuck, 300), E_LOAD_TIMEOUT);

  // A dead browser starts again ahead, beside the caller's work; the load waits for that start
  // and starts no other.
  const int starts = detail::chromiumStartsForTesting();
  killBrowser();
  engine().preloadDocument(first);
  EXPECT_EQ(detail::chromiumStartsForTesting(), starts + 1);
  ASSERT_EQ(print(first, dir() / "restarted.pdf"), S_OK);
  EXPECT_EQ(detail::chromiumStartsForTesting(), starts + 1);
  EXPECT_NE(testsupport::pdfText(dir() / "restarted.pdf").find("FIRST-DOC"), std::string::npos);
}

// Markup alone is measured in the page kept loaded, markup that loads something in a page of its
// own: both must give the same heights.
TEST_F(ChromiumPrintEngineTest, MeasuringKeptPageAndFreshPageAgree) {
  const std::vector<std::string> fragments = {
      "<style>.t{font:11pt Arial;line-height:1.3}</style><table class=t style=\"width:100%\"><tr><td>Mail</td>"
      "<td style=\"text-align:right\">A subject long enough to wrap over the line once or twice when the box is narrow "
      "and the words keep coming</td></tr></table>",
      "<p style=\"margin:0.2in 0\">Margins</p><p>collapse</p>",
      "<div style=\"float:left;height:40px;width:10px\"></div>floated",
      "<h1>Heading</h1><ul><li>one</li><li>two</li></ul>",
      "",
  };
  std::vector<double> kept, fresh;
  ASSERT_EQ(engine().measureHeights(fragments, 3.0, kept), S_OK);
  std::vector<std::string> loading = fragments;
  loading.push_back("<img src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\" width=\"10\" height=\"30\">");
  ASSERT_EQ(engine().measureHeights(loading, 3.0, fresh), S_OK);
  ASSERT_EQ(kept.size(), fragments.size());
  ASSERT_EQ(fresh.size(), loading.size());
  for (std::size_t i = 0; i < fragments.size(); ++i) EXPECT_DOUBLE_EQ(kept[i], fresh[i]) << i;
  EXPECT_GT(kept[0], 0.5);  // wrapped
  EXPECT_GE(fresh.back(), 30.0 / 96);  // the image's box counts
  // Nothing of one measure stays for the next.
  ASSERT_EQ(engine().measureHeights({"<p>x</p>"}, 3.0, kept), S_OK);
  ASSERT_EQ(engine().measureHeights({"<style>p{margin:0;line-height:96px}</style><p>x</p>"}, 3.0, fresh), S_OK);
  ASSERT_EQ(engine().measureHeights({"<p>x</p>"}, 3.0, fresh), S_OK);
  EXPECT_DOUBLE_EQ(kept[0], fresh[0]);
}

std::string pageImages(const fs::path& pdf) {
  std::string pixels;
  if (FILE* p = ::popen(("pdftoppm -r 40 -gray '" + pdf.string() + "'").c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) pixels.append(buf, n);
    ::pclose(p);
  }
  return pixels;
}

// A decoration page printed on the frame kept from the job before looks exactly as one loaded
// whole; parts that load something, or another frame, are loaded whole.
TEST_F(ChromiumPrintEngineTest, DecorationOnAKeptFramePrintsAsALoadedOne) {
  const auto page = [&](const std::string& text, double width, const std::string& extra = "") {
    DecorationPage p;
    p.head = "<!DOCTYPE html><html><head>";
    p.baseHref = "file://" + m_job.string() + "/a&amp;b/";
    p.pageStyle = "@page{size:" + std::to_string(width) + "in 11in;margin:0}";
    p.beforePages = "<style>.page{position:relative;break-after:page}.header{position:absolute;top:0.3in}</style>"
                    "<title>t</title></head><body style=\"margin:0\"><div id=\"toolbar\" style=\"display:none\">"
                    "<img src=\"QMARK.GIF\"></div><div id=\"pages\">";
    p.pagesId = "pages";
    for (int i = 1; i <= 2; ++i)
      p.pages += "<div class=\"page\" style=\"width:" + std::to_string(width) +
                 "in;height:11in\"><div class=\"header\" style=\"left:" + std::to_string(i) + "in\"><b>" + text + " " +
                 std::to_string(i) + "</b>" + extra + "</div></div>";
    p.afterPages = "</div></body></html>";
    return p;
  };
  PdfSettings zero;
  const DecorationPage first = page("FIRST-DECO", 8.5), second = page("SECOND-DECO", 6.0);
  ASSERT_EQ(engine().printDecoration(second.html(), zero, dir() / "whole.pdf"), S_OK);
  ASSERT_EQ(engine().printDecorationPage(first, zero, dir() / "frame.pdf"), S_OK);
  ASSERT_EQ(engine().printDecorationPage(second, zero, dir() / "kept.pdf"), S_OK);
  EXPECT_NE(testsupport::pdfText(dir() / "kept.pdf", 2).find("SECOND-DECO 2"), std::string::npos);
  EXPECT_EQ(testsupport::pdfText(dir() / "kept.pdf").find("FIRST"), std::string::npos);
  const std::string whole = pageImages(dir() / "whole.pdf");
  ASSERT_FALSE(whole.empty());
  EXPECT_EQ(pageImages(dir() / "kept.pdf"), whole);  // the new paper size and base count too

  // An image in the parts: loaded whole, so it is there when the page prints.
  std::ofstream(m_job / "dot.svg") << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" height=\"200\">"
                                      "<rect width=\"200\" height=\"200\"/></svg>";
  const DecorationPage pictured = page("SECOND-DECO", 6.0, "<img src=\"file://" + (m_job / "dot.svg").string() + "\">");
  ASSERT_EQ(engine().printDecoration(pictured.html(), zero, dir() / "pictured-whole.pdf"), S_OK);
  ASSERT_EQ(engine().printDecorationPage(second, zero, dir() / "frame2.pdf"), S_OK);
  ASSERT_EQ(engine().printDecorationPage(pictured, zero, dir() / "pictured.pdf"), S_OK);
  const std::string withImage = pageImages(dir() / "pictured.pdf");
  EXPECT_NE(withImage, whole);
  EXPECT_EQ(withImage, pageImages(dir() / "pictured-whole.pdf"));
  // Another frame: loaded whole as well.
  DecorationPage other = page("OTHER-FRAME", 8.5);
  other.afterPages = "</div><p>FRAME-TEXT</p></body></html>";
  ASSERT_EQ(engine().printDecorationPage(other, zero, dir() / "other.pdf"), S_OK);
  EXPECT_NE(testsupport::pdfText(dir() / "other.pdf").find("FRAME-TEXT"), std::string::npos);
}

// A decoration printed beside the body's load and print is the one printed alone; over many
// jobs the tabs are renewed without a new browser, and every print stays right.
TEST_F(ChromiumPrintEngineTest, ADecorationBesideTheBodyAndWornTabsRenewed) {
  const auto page = [&](const std::string& text) {
    DecorationPage p;
    p.head = "<!DOCTYPE html><html><head>";
    p.baseHref = "file://" + m_job.string() + "/";
    p.pageStyle = "@page{size:8.5in 11in;margin:0}";
    p.beforePages = "<title>t</title></head><body style=\"margin:0\"><div id=\"pages\">";
    p.pagesId = "pages";
    p.pages = "<div style=\"width:8.5in;height:11in\"><b>" + text + "</b></div>";
    p.afterPages = "</div></body></html>";
    return p;
  };
  PdfSettings zero;
  const fs::path body = write("body.html", "<html><body>BODY-TEXT</body></html>");
  ASSERT_EQ(engine().printDecoration(page("DECO-0").html(), zero, dir() / "alone.pdf"), S_OK);
  const int starts = detail::chromiumStartsForTesting();
  int closed = 0;
  detail::setBrowserEventListenerForTesting([&](const std::string& method) {
    if (method == "Target.detachedFromTarget") ++closed;
  });
  for (int job = 0; job < 90; ++job) {
    SCOPED_TRACE(job);
    const std::string text = "DECO-" + std::to_string(job);
    ASSERT_EQ(engine().startDecorationPage(page(text), zero, dir() / "beside.pdf"), S_OK);
    std::vector<double> heights;
    ASSERT_EQ(engine().measureHeights({"<p>" + text + "</p>"}, 6.0, heights), S_OK);
    ASSERT_EQ(print(body, dir() / "body.pdf"), S_OK);
    ASSERT_EQ(engine().finishDecoration(), S_OK);
    if (job == 0) {
      EXPECT_EQ(pageImages(dir() / "beside.pdf"), pageImages(dir() / "alone.pdf"));
    }
    EXPECT_NE(testsupport::pdfText(dir() / "beside.pdf").find(text), std::string::npos);
    EXPECT_NE(testsupport::pdfText(dir() / "body.pdf").find("BODY-TEXT"), std::string::npos);
  }
  detail::setBrowserEventListenerForTesting(nullptr);
  EXPECT_EQ(detail::chromiumStartsForTesting(), starts);
  EXPECT_GE(closed, 4) << "the body's and the decorations' tabs are each renewed twice";

  // A kept frame that cannot take the parts (no container of that id): the page is loaded whole
  // when the print is finished.
  for (const std::string text : {"LOST-1", "LOST-2"}) {
    DecorationPage lost = page(text);
    lost.pagesId = "nowhere";
    ASSERT_EQ(engine().startDecorationPage(lost, zero, dir() / "lost.pdf"), S_OK);
    ASSERT_EQ(print(body, dir() / "body.pdf"), S_OK);
    ASSERT_EQ(engine().finishDecoration(), S_OK);
    EXPECT_NE(testsupport::pdfText(dir() / "lost.pdf").find(text), std::string::npos);
  }

  // In a batch the next job's page prints ahead: the job asking for that page takes the print,
  // one asking for another gets its own, and a page printed ahead whose frame refused its parts
  // is loaded whole for the job that takes it.
  engine().beginBatch();
  ASSERT_EQ(engine().printDecorationPage(page("KEPT"), zero, dir() / "kept.pdf"), S_OK);
  const int taken = detail::printsTakenAheadForTesting();
  engine().printDecorationAhead(page("NEXT-1"), zero);
  ASSERT_EQ(engine().startDecorationPage(page("NEXT-1"), zero, dir() / "next.pdf"), S_OK);
  ASSERT_EQ(engine().finishDecoration(), S_OK);
  EXPECT_EQ(detail::printsTakenAheadForTesting(), taken + 1);
  EXPECT_NE(testsupport::pdfText(dir() / "next.pdf").find("NEXT-1"), std::string::npos);
  engine().printDecorationAhead(page("NEXT-2"), zero);
  ASSERT_EQ(print(body, dir() / "body.pdf"), S_OK);
  ASSERT_EQ(engine().startDecorationPage(page("OTHER"), zero, dir() / "other.pdf"), S_OK);
  ASSERT_EQ(engine().finishDecoration(), S_OK);
  EXPECT_EQ(detail::printsTakenAheadForTesting(), taken + 1);
  const std::string other = testsupport::pdfText(dir() / "other.pdf");
  EXPECT_NE(other.find("OTHER"), std::string::npos) << other;
  EXPECT_EQ(other.find("NEXT-2"), std::string::npos) << other;
  DecorationPage lost = page("LOST-3");
  lost.pagesId = "nowhere";
  ASSERT_EQ(engine().printDecorationPage(lost, zero, dir() / "lost.pdf"), S_OK);  // a frame without the container
  lost = page("LOST-4");
  lost.pagesId = "nowhere";
  engine().printDecorationAhead(lost, zero);
  EXPECT_EQ(engine().finishDecoration(), S_OK);  // no job's decoration: the page ahead goes on
  ASSERT_EQ(engine().startDecorationPage(lost, zero, dir() / "lost.pdf"), S_OK);
  ASSERT_EQ(engine().finishDecoration(), S_OK);  // taken, and loaded whole as its frame refused it
  EXPECT_NE(testsupport::pdfText(dir() / "lost.pdf").find("LOST-4"), std::string::npos);
  EXPECT_EQ(detail::printsTakenAheadForTesting(), taken + 2);

  // Asked for while the job's own decoration prints, the next page waits for the view, and the
  // job's finish answers for its own page only.
  ASSERT_EQ(engine().startDecorationPage(page("MINE"), zero, dir() / "mine.pdf"), S_OK);
  engine().printDecorationAhead(page("QUEUED"), zero);
  ASSERT_EQ(engine().finishDecoration(), S_OK);
  EXPECT_NE(testsupport::pdfText(dir() / "mine.pdf").find("MINE"), std::string::npos);
  platform::loop::runUntilIdle();  // the view is free: the page queued starts
  ASSERT_EQ(engine().startDecorationPage(page("QUEUED"), zero, dir() / "queued.pdf"), S_OK);
  ASSERT_EQ(engine().finishDecoration(), S_OK);
  EXPECT_EQ(detail::printsTakenAheadForTesting(), taken + 3);
  const std::string queued = testsupport::pdfText(dir() / "queued.pdf");
  EXPECT_NE(queued.find("QUEUED"), std::string::npos) << queued;
  EXPECT_EQ(queued.find("MINE"), std::string::npos) << queued;

  // The next job's page in another frame (another template) loads whole ahead, and the job after
  // it, back in the first frame, takes its page ahead too.
  DecorationPage framed = page("FRAMED");
  framed.beforePages = "<title>t</title></head><body style=\"margin:0\"><p>OTHER-FRAME</p><div id=\"pages\">";
  for (const auto& [next, text] : {std::pair{framed, std::string("FRAMED")}, std::pair{page("BACK"), std::string("BACK")}}) {
    engine().printDecorationAhead(next, zero);
    ASSERT_EQ(engine().startDecorationPage(next, zero, dir() / "ahead.pdf"), S_OK);
    ASSERT_EQ(engine().finishDecoration(), S_OK);
    const std::string printed = testsupport::pdfText(dir() / "ahead.pdf");
    EXPECT_NE(printed.find(text), std::string::npos) << printed;
    EXPECT_EQ(printed.find("OTHER-FRAME") != std::string::npos, text == "FRAMED") << printed;
  }
  EXPECT_EQ(detail::printsTakenAheadForTesting(), taken + 5);
  engine().endBatch();
}

TEST_F(ChromiumPrintEngineTest, MeasuresFragmentsAndOverlaysDecorationsOnAPageRange) {
  std::vector<double> heights;
  ASSERT_EQ(engine().measureHeights({"<div style=\"height:96px\"></div>",
                                     "<p style=\"margin:12px 0;line-height:24px\">x</p>", ""},
                                    6.5, heights),
            S_OK);
  ASSERT_EQ(heights.size(), 3u);
  EXPECT_NEAR(heights[0], 1.0, 0.01);
  EXPECT_NEAR(heights[1], 0.5, 0.01);  // the fragment's margins count
  EXPECT_NEAR(heights[2], 0.0, 0.01);

  // The body is held in memory: no file is written, and the page count and the overlay read it
  // there until it is forgotten.
  const fs::path body = dir() / "body.pdf";
  engine().holdInMemory(body);
  ASSERT_EQ(print(write("mail.html", kThreePages), body), S_OK);
  EXPECT_FALSE(fs::exists(body));
  std::string deco =
      "<!DOCTYPE html><html><head><style>@page{size:8.5in 11in;margin:0}body{margin:0}"
      ".pg{position:relative;width:8.5in;height:11in;break-after:page}"
      ".hd{position:absolute;top:0.1in;left:0.5in}</style></head><body>";
  for (int i = 1; i <= 3; ++i) deco += "<div class=pg><div class=hd>DECO-" + std::to_string(i) + "</div></div>";
  deco += "</body></html>";
  const fs::path decoPdf = dir() / "deco.pdf";
  PdfSettings zero;
  ASSERT_EQ(engine().printDecoration(deco, zero, decoPdf), S_OK);
  int pages = 0;
  ASSERT_EQ(engine().pageCount(decoPdf, pages), S_OK);
  EXPECT_EQ(pages, 3);

  const fs::path merged = dir() / "merged.pdf";
  ASSERT_EQ(engine().overlay(body, decoPdf, merged, 2, 3), S_OK);
  ASSERT_EQ(engine().pageCount(merged, pages), S_OK);
  EXPECT_EQ(pages, 2);
  const std::string first = testsupport::pdfText(merged, 1), second = testsupport::pdfText(merged, 2);
  EXPECT_NE(first.find("PAGE-TWO"), std::string::npos);
  EXPECT_NE(first.find("DECO-2"), std::string::npos);
  EXPECT_NE(second.find("PAGE-THREE"), std::string::npos);
  EXPECT_NE(second.find("DECO-3"), std::string::npos);
  // A join into a file held in memory writes that file.
  const fs::path joined = dir() / "joined.pdf";
  engine().holdInMemory(joined);
  ASSERT_EQ(engine().joinPdfs({decoPdf, merged}, joined), S_OK);
  ASSERT_EQ(pdfPageCount(joined, pages), S_OK);
  EXPECT_EQ(pages, 5);

  // Ranges are clamped to the document; a reversed one is refused and writes nothing.
  struct Range {
    int from, to;
    HRESULT result;
    int pages;
  } ranges[] = {{0, 0, S_OK, 3}, {5, 9, S_OK, 1}, {-2, 1, S_OK, 1}, {3, 2, E_INVALIDARG, 0}};
  for (const auto& r : ranges) {
    SCOPED_TRACE(std::to_string(r.from) + ".." + std::to_string(r.to));
    const fs::path out = dir() / "range.pdf";
    std::error_code ec;
    fs::remove(out, ec);
    ASSERT_EQ(engine().overlay(body, fs::path(), out, r.from, r.to), r.result);
    if (FAILED(r.result)) {
      EXPECT_FALSE(fs::exists(out));
      continue;
    }
    ASSERT_EQ(engine().pageCount(out, pages), S_OK);
    EXPECT_EQ(pages, r.pages);
  }
  EXPECT_EQ(engine().overlay(dir() / "absent.pdf", decoPdf, merged, 1, 1), E_FAIL);

  // A full disk under the merge: reported, and nothing of the PDF's name is left; in a batch too,
  // where the merge runs beside the loop.
  const fs::path full = dir() / "full.pdf";
  for (const bool batch : {false, true}) {
    SCOPED_TRACE(batch ? "in a batch" : "alone");
    if (batch) engine().beginBatch();
    detail::failWritesForTesting(ENOSPC);
    platform::diag::clearLastFailure();
    const HRESULT onFullDisk = engine().overlay(body, decoPdf, full, 0, 0);
    detail::failWritesForTesting(0);
    if (batch) engine().endBatch();
    EXPECT_EQ(onFullDisk, E_FAIL);
    EXPECT_NE(platform::diag::lastFailure().find("No space left on device"), std::string::npos);
    EXPECT_FALSE(fs::exists(full));
    for (const auto& entry : fs::directory_iterator(dir()))
      EXPECT_EQ(entry.path().filename().string().find(".full.pdf"), std::string::npos) << entry.path();
  }
  EXPECT_EQ(engine().pageCount(dir() / "mail.html", pages), E_FAIL);
  engine().forget(body);
  EXPECT_EQ(engine().pageCount(body, pages), E_FAIL);
}

}  // namespace
