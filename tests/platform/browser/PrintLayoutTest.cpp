// The print template's layout: margins, range, numbering and the settings exchanged with the
// scripting object on a scripted engine; the cover and trailer numbering end to end on the real
// headless Chromium, read back with pdftotext page by page.
#include "platform/browser/PrintLayout.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "platform/browser/ChromiumProcess.h"
#include "platform/browser/PdfTools.h"
#include "platform/com/ComObject.h"
#include "platform/com/DispatchImpl.h"
#include "platform/system/TimeZone.h"
#include "tests/support/FakePrintEngine.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::browser;
using platform::com::CDispArgs;

// A scripting object holding whatever is put, answering what the test stored.
class CFakeHandler : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  CFakeHandler() {
    DISPID id = 1;
    for (const char16_t* name : {u"marginTop", u"marginBottom", u"marginLeft", u"marginRight", u"header", u"footer",
                                 u"orientation", u"printselection", u"pagefrom", u"pageto", u"templateName"}) {
      const std::u16string key = name;
      dispatchTable().property(
          id++, name,
          [this, key](const CDispArgs&, VARIANT* r) {
            auto it = values.find(key);
            return it == values.end() ? DISP_E_MEMBERNOTFOUND : platform::com::putVariant(r, it->second);
          },
          [this, key](const CDispArgs& args, VARIANT*) {
            values[key] = *args.putValue();
            return S_OK;
          });
    }
  }
  BEGIN_COM_MAP(CFakeHandler)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  std::map<std::u16string, CComVariant> values;
};

std::string text(const CComVariant& v) {
  if (v.vt != VT_BSTR || !v.bstrVal) return {};
  std::u16string s(v.bstrVal, SysStringLen(v.bstrVal));
  return std::string(s.begin(), s.end());
}

class PrintLayoutTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    m_request.document = dir() / "doc.html";
    std::ofstream(m_request.document) << "<html><body>x</body></html>";
    m_request.printTemplate = QM_PRINT_TEMPLATE;
    m_request.output = dir() / "out.pdf";
    m_request.setup.paper = kLetter;
    m_request.setup.unprintable = {0.25, 0.25, 0.25, 0.25};
    m_request.time = SYSTEMTIME{2024, 3, 0, 5, 14, 7, 0, 0};
  }
  HRESULT print() { return m_layout->print(m_request, m_result); }

  testsupport::FakePrintEngine m_engine;
  std::unique_ptr<IPrintLayout> m_layout = makePrintLayout(m_engine);
  LayoutRequest m_request;
  LayoutResult m_result;
};

TEST_F(PrintLayoutTest, AMarginGrowsOnlyWhenItsBlockDoesNotFit) {
  struct Case {
    double marginTop, headerHeight, coverHeight;
    double wantTop, wantCoverTop;
  } cases[] = {
      {0.6, 0.2, 0.0, 0.6, 0.6},  // 0.25 + 0.2 fits in 0.6
      {0.6, 0.5, 0.0, 0.75, 0.75},
      {0.6, 0.1, 1.0, 0.6, 1.25},  // only the cover page grows
      {2.0, 0.5, 0.5, 2.0, 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.headerHeight);
    m_request.setup.margins = {c.marginTop, 0.6, 0.6, 0.6};
    m_request.blocks.header = "<b>head " + std::to_string(c.headerHeight) + "</b>";
    m_request.blocks.coverHeader = c.coverHeight > 0 ? "cover" : "";
    m_request.blocks.hasCover = c.coverHeight > 0;
    // Measured in order: header, footer, cover header, cover footer, trailer header, trailer footer;
    // empty areas are not asked.
    m_engine.heights = {c.headerHeight};
    if (c.coverHeight > 0) m_engine.heights.push_back(c.coverHeight);
    ASSERT_EQ(S_OK, print());
    EXPECT_NEAR(c.wantTop, m_result.bodyMargins.top, 1e-9);
    EXPECT_NEAR(c.wantCoverTop, m_result.coverMargins.top, 1e-9);
    EXPECT_EQ(c.coverHeight > 0, m_engine.styles.back().find("@page :first") != std::string::npos);
  }
}

TEST_F(PrintLayoutTest, HeaderStringsReserveTheirLineAndTheTrailerIsRoomedOnEveryPage) {
  m_request.setup.margins = {0.1, 0.6, 0.1, 0.6};
  m_request.setup.header = u"&w&bPage &p of &P";
  m_request.blocks.footer = "f";
  m_request.blocks.trailerFooter = "t";
  m_request.blocks.hasTrailer = true;
  m_engine.heights = {0.1, 0.3, 0.1, 0.1, 0.9};  // header, footer, cover header, trailer header, trailer footer
  ASSERT_EQ(S_OK, print());
  EXPECT_NEAR(0.25 + 0.27, m_result.bodyMargins.top, 1e-9);
  EXPECT_NEAR(0.25 + 0.9, m_result.bodyMargins.bottom, 1e-9);
}

TEST_F(PrintLayoutTest, MarginsLargerThanThePageLeaveTheBodyRoom) {
  m_request.setup.margins = {9.0, 6.0, 9.0, -3.0};
  ASSERT_EQ(S_OK, print());
  EXPECT_NEAR(10.0, m_result.bodyMargins.top + m_result.bodyMargins.bottom, 1e-9);
  EXPECT_NEAR(6.0, m_result.bodyMargins.right, 1e-9);
  EXPECT_EQ(0.0, m_result.bodyMargins.left);
}

TEST_F(PrintLayoutTest, ThePageRangeIsClampedToTheLaidOutPagesAndFromAfterToIsRefused) {
  m_engine.bodyPages = 3;
  struct Case {
    bool selected;
    int from, to;
    HRESULT want;
    std::string overlay;
  } cases[] = {
      {false, 7, 9, S_OK, "overlay 1-3"},  {true, 2, 9, S_OK, "overlay 2-3"}, {true, 5, 9, S_OK, "overlay 3-3"},
      {true, -4, 1, S_OK, "overlay 1-1"},  {true, 3, 2, E_PAGE_RANGE_FROM_AFTER_TO, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    m_engine.calls.clear();
    m_request.range = {c.selected, c.from, c.to};
    EXPECT_EQ(c.want, print());
    if (c.overlay.empty()) {
      EXPECT_TRUE(m_engine.calls.empty()) << "nothing is loaded for a refused range";
    } else {
      EXPECT_EQ(c.overlay, m_engine.calls.back());
    }
  }
}

TEST_F(PrintLayoutTest, BlocksAreMeasuredOncePerTemplateAndContent) {
  m_request.blocks.header = "<p>Subject</p>";
  m_request.setup.header = u"&w&b&t";
  ASSERT_EQ(S_OK, print());
  m_request.time.wMinute = 59;  // another minute measures the same
  ASSERT_EQ(S_OK, print());
  m_request.blocks.header = "<p>Another subject</p>";
  ASSERT_EQ(S_OK, print());
  EXPECT_EQ(2, std::count_if(m_engine.calls.begin(), m_engine.calls.end(),
                             [](const std::string& call) { return call.starts_with("measure"); }));
  // Nothing to decorate: no decoration page at all.
  m_engine.calls.clear();
  m_request.blocks = {};
  m_request.setup.header.clear();
  ASSERT_EQ(S_OK, print());
  EXPECT_EQ(0, std::count(m_engine.calls.begin(), m_engine.calls.end(), "decoration"));
}

// A job to come is measured ahead with the last print's page setup, beside a print, and its own
// print then measures nothing; where the engine cannot measure beside, nothing is kept.
TEST_F(PrintLayoutTest, BlocksMeasuredAheadServeTheJobsPrint) {
  const auto measures = [&] {
    return std::count_if(m_engine.calls.begin(), m_engine.calls.end(),
                         [](const std::string& call) { return call.starts_with("measure"); });
  };
  m_layout->measureAhead(m_request);  // no print yet: no page setup to measure with
  EXPECT_TRUE(m_engine.calls.empty());
  m_request.setup.header = u"&w&b&t";
  m_request.blocks.header = "<p>Subject \xe2\x80\x94 one</p>";  // text outside ASCII: kept by content only
  ASSERT_EQ(S_OK, print());
  ASSERT_EQ(1, measures());

  LayoutRequest next = m_request;
  next.blocks.header = "<p>Subject \xe2\x80\x94 two</p>";
  next.setup = {};  // what the job will read comes from the last print
  m_engine.besideAllowed = false;
  m_layout->measureAhead(next);
  EXPECT_FALSE(m_engine.calls.back().starts_with("printAhead"));  // unmeasured: nothing ahead
  m_engine.besideAllowed = true;
  m_layout->measureAhead(next);
  ASSERT_GE(m_engine.calls.size(), 3u);
  EXPECT_TRUE(m_engine.calls.end()[-3].starts_with("beside measure")) << m_engine.calls.end()[-3];
  // Measured, its body may print ahead: with the rules and settings its print then asks for; and
  // its one-page decoration as soon as the engine can.
  EXPECT_EQ(m_engine.calls.end()[-2], "printAhead " + next.document.string());
  EXPECT_EQ(m_engine.calls.back(), "decorationAhead");
  m_request.blocks.header = next.blocks.header;
  ASSERT_EQ(S_OK, print());
  EXPECT_EQ(1, measures());
  EXPECT_EQ(m_engine.aheadStyle, m_engine.styles.back());
  EXPECT_TRUE(m_engine.aheadSettings == m_engine.lastSettings);

  // The one-page decoration of the job after next prints as a print ends, showing the time it
  // was made at: the job's own print, minutes later, asks for the same page.
  LayoutRequest third = next;
  third.document = dir() / "third.html";
  third.time = {};
  std::ofstream(third.document) << "<html><body>3</body></html>";
  const auto clockAt = [](WORD minute) {
    SYSTEMTIME at{2024, 3, 0, 5, 14, minute, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&at, &ft);
    platform::system::setSystemTimeForTesting(&ft);
  };
  struct RealClock {
    ~RealClock() { platform::system::setSystemTimeForTesting(nullptr); }
  } realClock;
  clockAt(7);
  m_layout->measureAhead(third);
  ASSERT_EQ(S_OK, print());
  ASSERT_EQ(m_engine.calls.end()[-2], "decorationAhead");
  clockAt(9);
  const PageSetup setup = m_request.setup;
  m_request = third;
  m_request.setup = setup;
  ASSERT_EQ(S_OK, print());
  EXPECT_EQ(m_engine.decorations.back(), m_engine.aheadDecoration);
}

// Blocks whose heights held for the narrowest and for wider text of their shape are not measured
// again for other text (the subject, the print time) no longer than that.
TEST_F(PrintLayoutTest, BlocksOfAShapeMeasureOnceForOtherTextThatFits) {
  const auto measures = [&] {
    return std::count_if(m_engine.calls.begin(), m_engine.calls.end(),
                         [](const std::string& call) { return call.starts_with("measure"); });
  };
  // Answers: the header and footer, then their narrow, their wide and their snug probes.
  m_engine.heights = {0.5, 0.4, 0.5, 0.4, 0.5, 0.4};
  const auto job = [&](const std::string& subject, const std::string& time) {
    m_request.blocks.header = "<p class=\"s\">" + subject + "</p>";
    m_request.blocks.footer = "<p>Printed <span>" + time + "</span></p>";
    return print();
  };
  ASSERT_EQ(S_OK, job("Quarterly figures", "Monday 10:11:12 AM"));
  EXPECT_EQ(1, measures());
  ASSERT_EQ(S_OK, job("Lunch &amp; more", "Friday 9:59:01 PM"));
  ASSERT_EQ(S_OK, job("A subject a bit longer", "Friday 9:59:02 PM"));
  EXPECT_EQ(1, measures()) << "other text of the shape, no longer than half again";
  ASSERT_EQ(S_OK, job("A subject very much longer than the first one was", "Friday 9:59:03 PM"));
  EXPECT_EQ(2, measures()) << "longer text";
  // What a shape holds grows with each longer run, whichever block it is in.
  ASSERT_EQ(S_OK, job("Lunch", "Friday the twenty-ninth of a month with a long name, 9:59:04 PM"));
  ASSERT_EQ(S_OK, job("A subject very much longer than the first one was", "Friday 9:59:05 PM"));
  EXPECT_EQ(3, measures());
  ASSERT_EQ(S_OK, job("Quarterly \xC3\xBC", "Monday 10:11:12 AM"));
  ASSERT_EQ(S_OK, job("Quarterly \xC3\xBC", "Monday 10:11:13 AM"));
  EXPECT_EQ(4, measures()) << "text outside ASCII is part of the shape";
  ASSERT_EQ(S_OK, job("<b>Quarterly</b> figures", "Monday 10:11:12 AM"));
  EXPECT_EQ(5, measures()) << "another shape";

  // Much wider text would grow the header: that shape holds only for text about as long as its
  // own (the next second's print time), and where even that grows, for no other text.
  m_engine.heights = {0.5, 0.4, 0.5, 0.4, 0.9, 0.4, 0.5, 0.4};
  ASSERT_EQ(S_OK, job("<i>Tall</i> when wide", "Monday 10:11:12 AM"));
  ASSERT_EQ(S_OK, job("<i>Tall</i> when high", "Monday 10:11:13 AM"));
  EXPECT_EQ(6, measures());
  ASSERT_EQ(S_OK, job("<i>Tall</i> when much higher", "Monday 10:11:14 AM"));
  EXPECT_EQ(7, measures());
  m_engine.heights = {0.5, 0.4, 0.5, 0.4, 0.9, 0.4, 0.9, 0.4};
  ASSERT_EQ(S_OK, job("<u>Tall</u> when wide", "Monday 10:11:12 AM"));
  ASSERT_EQ(S_OK, job("<u>Tall</u> when high", "Monday 10:11:12 AM"));
  EXPECT_EQ(9, measures());
}

TEST_F(PrintLayoutTest, TheOnePageDecorationPrintsBesideTheBodyAndAgainOnlyForALongerBody) {
  m_request.blocks.footer = "F <span id=\"QMPageNo\">x</span>/<span id=\"QMPageTotal\">y</span>";
  const auto index = [&](std::string_view prefix) {
    return std::find_if(m_engine.calls.begin(), m_engine.calls.end(),
                        [&](const std::string& call) { return call.starts_with(prefix); }) -
           m_engine.calls.begin();
  };
  m_engine.bodyPages = 1;
  ASSERT_EQ(S_OK, print());
  ASSERT_EQ(1u, m_engine.decorations.size());
  const auto numbers = [](int no, int total) {
    return "\">" + std::to_string(no) + "</span>/<span id=\"QMPageTotal\">" + std::to_string(total) + "<";
  };
  EXPECT_NE(std::string::npos, m_engine.decorations[0].find(numbers(1, 1)));
  EXPECT_LT(index("decoration"), index("load")) << "started before the body's load";

  const auto printPages = [&](int pages) {
    m_engine.calls.clear();
    m_engine.decorations.clear();
    m_engine.bodyPages = pages;
    return print();
  };
  ASSERT_EQ(S_OK, printPages(3));
  ASSERT_EQ(2u, m_engine.decorations.size());
  EXPECT_NE(std::string::npos, m_engine.decorations[1].find(numbers(3, 3)));
  EXPECT_EQ(std::string::npos, m_engine.decorations[1].find(numbers(1, 1)));
  EXPECT_EQ("overlay 1-3", m_engine.calls.back());

  // A long body's decorations print in runs of pages, numbered through, and are joined.
  ASSERT_EQ(S_OK, printPages(450));
  ASSERT_EQ(4u, m_engine.decorations.size());
  EXPECT_NE(std::string::npos, m_engine.decorations[1].find(numbers(200, 450)));
  EXPECT_NE(std::string::npos, m_engine.decorations[2].find(numbers(201, 450)));
  EXPECT_EQ(std::string::npos, m_engine.decorations[2].find(numbers(200, 450)));
  EXPECT_NE(std::string::npos, m_engine.decorations[3].find(numbers(450, 450)));
  EXPECT_EQ("join 3", m_engine.calls[m_engine.calls.size() - 2]);
}

TEST_F(PrintLayoutTest, PageNumbersCountFromTheCoverAndTheTotalNeverGoesBelowZero) {
  EXPECT_EQ(0, decoratedPageNumber(1, true));
  EXPECT_EQ(4, decoratedPageNumber(5, true));
  EXPECT_EQ(5, decoratedPageNumber(5, false));
  EXPECT_EQ(3, decoratedPageTotal(5, true, true));
  EXPECT_EQ(0, decoratedPageTotal(1, true, true));
  EXPECT_EQ(0, decoratedPageTotal(1, false, true));

  // One page with both a cover and a trailer: the trailer's blocks, page 0 of 0.
  m_engine.bodyPages = 1;
  m_request.blocks.hasCover = m_request.blocks.hasTrailer = true;
  m_request.blocks.coverHeader = "COVER";
  m_request.blocks.trailerHeader = "TRAILER <span id=\"QMPageNo\">x</span>/<span id=\"QMPageTotal\">y</span>";
  ASSERT_EQ(S_OK, print());
  ASSERT_EQ(1u, m_engine.decorations.size());
  const std::string& html = m_engine.decorations[0];
  EXPECT_NE(std::string::npos, html.find("TRAILER <span id=\"QMPageNo\">0</span>/<span id=\"QMPageTotal\">0</span>"));
  EXPECT_EQ(std::string::npos, html.find("COVER"));
}

TEST_F(PrintLayoutTest, TheBodyBackgroundCoversEveryWholePageUnlessItCouldEscapeItsRule) {
  m_request.blocks.background = u"#ffeecc url(\"paper.jpg\")";
  ASSERT_EQ(S_OK, print());
  EXPECT_NE(std::string::npos, m_engine.styles.back().find(";background:#ffeecc url(\"paper.jpg\") !important}"));
  for (const char16_t* hostile : {u"red} body{display:none", u"red;color:red", u"url('x) ", u"red !important"}) {
    m_request.blocks.background = hostile;
    ASSERT_EQ(S_OK, print());
    EXPECT_EQ(std::string::npos, m_engine.styles.back().find("background")) << std::string(hostile, hostile + 3);
  }
}

TEST_F(PrintLayoutTest, SettingsComeFromTheScriptingObjectAndGoBackToIt) {
  auto handler = CComObject<CFakeHandler>::Make();
  handler->values[u"marginTop"] = CComVariant(LONG(100));
  handler->values[u"marginLeft"] = CComVariant(u"25");  // any type that converts
  handler->values[u"header"] = CComVariant(u"&w");
  handler->values[u"orientation"] = CComVariant(u"landscape");
  handler->values[u"printselection"] = CComVariant(LONG(1));
  handler->values[u"pagefrom"] = CComVariant(LONG(2));
  handler->values[u"pageto"] = CComVariant(LONG(3));
  m_request.address = u"file:///home/u/Templates/Memo%20Style.htm";
  ASSERT_EQ(S_OK, m_layout->readSettings(handler, m_request));
  EXPECT_EQ("Memo Style", text(handler->values[u"templateName"]));
  EXPECT_EQ(1.0, m_request.setup.margins.top);
  EXPECT_EQ(0.25, m_request.setup.margins.left);
  EXPECT_EQ(0.6, m_request.setup.margins.bottom);  // not answered: the default stays
  EXPECT_TRUE(m_request.setup.landscape);
  EXPECT_TRUE(m_request.range.selected);
  EXPECT_EQ(2, m_request.range.from);
  EXPECT_EQ(3, m_request.range.to);

  m_request.setup.margins.right = 1.234;
  m_request.setup.footer = u"&d";
  m_request.setup.landscape = false;
  ASSERT_EQ(S_OK, m_layout->writeSettings(handler, m_request.setup));
  EXPECT_EQ(123, handler->values[u"marginRight"].lVal);
  EXPECT_EQ("&d", text(handler->values[u"footer"]));
  EXPECT_EQ("portrait", text(handler->values[u"orientation"]));
}

TEST(TemplateNameTest, ComesFromThePathOrAddressSplitAtEitherSeparator) {
  struct Case {
    const char16_t* address;
    const char16_t* name;
  } cases[] = {
      {u"C:\\Program Files\\Templates\\Memo.htm", u"Memo"},
      {u"/usr/share/quillmark/templates/Memo.htm", u"Memo"},
      {u"file:///C:/Templates/Memo%20Style.htm", u"Memo Style"},
      {u"FILE:///tmp/caf%C3%A9.v2.html", u"café.v2"},
      {u"C:/mixed\\folder/Memo.htm", u"Memo"},
      {u"file:///tmp/a%2Fb.htm", u"a/b"},  // decoded after the split: refused by the object
      {u"/tmp/100%25.htm", u"100%25"},      // a path is not an address
      {u"Memo", u"Memo"},
      {u"/tmp/", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(std::u16string(c.name), templateNameOfAddress(c.address));
}

TEST(PaperSizeTest, TheDefaultPrintersPaperElseTheLocales) {
  struct Case {
    const char* options;
    LCID locale;
    double width;
  } cases[] = {
      {"", 1033, 8.5},
      {"", 1031, kA4.width},
      {"", 2057, kA4.width},
      {"copies=1 media=iso_a4_210x297mm sides=one-sided", 1033, kA4.width},
      {"device-uri=ipp://x media=na_letter_8.5x11in", 1031, 8.5},
      {"PageSize=Legal", 1031, 8.5},
      {"nomedia=A4 job-sheets=none", 1031, kA4.width},
      {"media=custom_weird", 1033, 8.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    detail::setCupsOptionsQueryForTesting([&] { return std::string(c.options); });
    EXPECT_DOUBLE_EQ(c.width, defaultPaperSize(c.locale).width);
  }
  // Without a printer to be used, CUPS is not asked: the locale's paper.
  int asked = 0;
  detail::setCupsOptionsQueryForTesting([&] {
    ++asked;
    return std::string("media=na_letter_8.5x11in");
  });
  EXPECT_DOUBLE_EQ(kA4.width, defaultPaperSize(1031, false).width);
  EXPECT_EQ(asked, 0);
  detail::setCupsOptionsQueryForTesting({});
}

// End to end on the real browser.
class PrintLayoutChromiumTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    if (detail::findChromium().empty()) GTEST_SKIP() << "Chromium is not installed";
    chromiumPrintEngine().setAllowedFolders({dir()});
  }

  static std::string pdfText(const fs::path& pdf, int page) {
    const std::string cmd = "pdftotext -q -layout -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" +
                            pdf.string() + "' -";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
      char buf[4096];
      for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
      ::pclose(p);
    }
    return out;
  }
};

// Five pages: the cover, three pages, the trailer.
const char* kCoverAndTrailer = R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>Quarterly &amp; report</title>
<style>.p{break-after:page} .hidden{display:none}</style></head><body>
<div class="hidden">
<div id="QMHeader">HEAD No <span id="QMPageNo">?</span> of <span id="QMPageTotal">?</span></div>
<div id="QMFooter">FOOT <span id="QMPageNo">?</span></div>
<div id="QMCoverHeader">COVERHEAD <span id="QMPageNo">?</span></div>
<div id="QMCoverFooter">COVERFOOT</div>
<div id="QMTrailerHeader">TRAILERHEAD <span id="QMPageNo">?</span> of <span id="QMPageTotal">?</span></div>
<div id="QMTrailerFooter">TRAILERFOOT</div>
</div>
<div class="p">BODY-1</div><span id="QMCoverEndPage"></span>
<div class="p">BODY-2</div><div class="p">BODY-3</div><div class="p">BODY-4</div>
<span id="QMTrailerEndPage"></span><div>BODY-5</div>
</body></html>)";

TEST_F(PrintLayoutChromiumTest, CoverAndTrailerNumberingAndARangeOfTwoPages) {
  const fs::path doc = dir() / "Cover Memo.htm";
  std::ofstream(doc) << kCoverAndTrailer;
  LayoutRequest request;
  request.document = doc;
  request.address = u"file://" + std::u16string(doc.u16string());
  request.printTemplate = QM_PRINT_TEMPLATE;
  ASSERT_EQ(S_OK, readPrintBlocks(doc, request.blocks));
  EXPECT_TRUE(request.blocks.hasCover);
  EXPECT_TRUE(request.blocks.hasTrailer);
  EXPECT_EQ(u"Quarterly & report", request.blocks.title);
  request.setup.paper = kLetter;
  request.setup.header = u"&w&bPage &p of &P";
  request.time = SYSTEMTIME{2024, 3, 0, 5, 14, 7, 0, 0};
  request.output = dir() / "all.pdf";
  auto layout = makePrintLayout(chromiumPrintEngine());
  LayoutResult result;
  ASSERT_EQ(S_OK, layout->print(request, result));
  ASSERT_EQ(5, result.laidOutPages);

  const std::regex spaces("\\s+");
  const auto page = [&](const fs::path& pdf, int n) { return std::regex_replace(pdfText(pdf, n), spaces, " "); };
  std::string p1 = page(request.output, 1);
  EXPECT_NE(std::string::npos, p1.find("COVERHEAD 0")) << p1;
  EXPECT_NE(std::string::npos, p1.find("COVERFOOT")) << p1;
  EXPECT_NE(std::string::npos, p1.find("BODY-1")) << p1;
  EXPECT_NE(std::string::npos, p1.find("Quarterly & report")) << p1;
  EXPECT_NE(std::string::npos, p1.find("Page 1 of 5")) << p1;
  EXPECT_EQ(std::string::npos, p1.find("HEAD No")) << p1;
  for (int n = 2; n <= 4; ++n) {
    const std::string p = page(request.output, n);
    EXPECT_NE(std::string::npos, p.find("HEAD No " + std::to_string(n - 1) + " of 3")) << p;
    EXPECT_NE(std::string::npos, p.find("FOOT " + std::to_string(n - 1))) << p;
    EXPECT_NE(std::string::npos, p.find("BODY-" + std::to_string(n))) << p;
    EXPECT_EQ(std::string::npos, p.find("COVER")) << p;
  }
  const std::string p5 = page(request.output, 5);
  EXPECT_NE(std::string::npos, p5.find("TRAILERHEAD 4 of 3")) << p5;
  EXPECT_NE(std::string::npos, p5.find("TRAILERFOOT")) << p5;
  EXPECT_NE(std::string::npos, p5.find("BODY-5")) << p5;

  request.range = {true, 2, 3};
  request.output = dir() / "range.pdf";
  ASSERT_EQ(S_OK, layout->print(request, result));
  int pages = 0;
  ASSERT_EQ(S_OK, pdfPageCount(request.output, pages));
  EXPECT_EQ(2, pages);
  EXPECT_NE(std::string::npos, page(request.output, 1).find("HEAD No 1 of 3"));
  EXPECT_NE(std::string::npos, page(request.output, 1).find("BODY-2"));
  EXPECT_NE(std::string::npos, page(request.output, 2).find("HEAD No 2 of 3"));
  EXPECT_NE(std::string::npos, page(request.output, 2).find("BODY-3"));
}

// A body longer than one run of decoration pages: the runs join into one page each, numbered on.
TEST_F(PrintLayoutChromiumTest, ALongBodysDecorationsAreNumberedAcrossTheirRuns) {
  constexpr int kPages = 203;
  std::string html = "<!DOCTYPE html><html><head><style>.p{break-after:page}</style></head><body>";
  for (int i = 1; i < kPages; ++i) html += "<div class=\"p\">BODY-" + std::to_string(i) + "</div>";
  html += "<div>BODY-" + std::to_string(kPages) + "</div></body></html>";
  const fs::path doc = dir() / "long.htm";
  std::ofstream(doc) << html;
  LayoutRequest request;
  request.document = doc;
  request.printTemplate = QM_PRINT_TEMPLATE;
  ASSERT_EQ(S_OK, readPrintBlocks(doc, request.blocks));
  request.setup.paper = kLetter;
  request.setup.footer = u"Page &p of &P";
  request.output = dir() / "long.pdf";
  LayoutResult result;
  ASSERT_EQ(S_OK, makePrintLayout(chromiumPrintEngine())->print(request, result));
  ASSERT_EQ(kPages, result.laidOutPages);
  int pages = 0;
  ASSERT_EQ(S_OK, pdfPageCount(request.output, pages));
  EXPECT_EQ(kPages, pages);
  for (const int n : {1, 200, 201, kPages}) {
    const std::string text = pdfText(request.output, n);
    EXPECT_NE(std::string::npos, text.find("BODY-" + std::to_string(n) + "\n")) << n << text;
    EXPECT_NE(std::string::npos, text.find("Page " + std::to_string(n) + " of " + std::to_string(kPages))) << text;
  }
}

TEST_F(PrintLayoutChromiumTest, ATallHeaderPushesTheBodyDown) {
  const fs::path doc = dir() / "tall.htm";
  std::ofstream(doc) << "<html><body><div style=\"display:none\"><div id=\"QMHeader\">"
                        "<div style=\"height:2in;font-size:10pt\">TALL</div></div></div>BODYTEXT</body></html>";
  LayoutRequest request;
  request.document = doc;
  request.printTemplate = QM_PRINT_TEMPLATE;
  ASSERT_EQ(S_OK, readPrintBlocks(doc, request.blocks));
  request.output = dir() / "tall.pdf";
  LayoutResult result;
  ASSERT_EQ(S_OK, makePrintLayout(chromiumPrintEngine())->print(request, result));
  EXPECT_NEAR(2.25, result.bodyMargins.top, 0.05);
  // The body's text starts below the header block: pdftotext -layout keeps their order.
  const std::string p = pdfText(request.output, 1);
  ASSERT_NE(std::string::npos, p.find("TALL"));
  EXPECT_LT(p.find("TALL"), p.find("BODYTEXT"));
}

}  // namespace
