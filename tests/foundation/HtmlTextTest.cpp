#include "foundation/HtmlText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "platform/browser/ChromiumProcess.h"
#include "platform/browser/PrintEngine.h"
#include "platform/com/HResult.h"
#include "platform/html/HtmlDocument.h"
#include "platform/registry/Registry.h"
#include "tests/support/TestEnvironment.h"

namespace {

class HtmlTextTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    CLogger::instance().resetForTesting();
    m_log = dir() / "log.txt";
    ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_log.string())));
    NLog::setLevels({u"Info", u"Error", u"Warning", u"Debug"}, u"Debug");
  }
  void TearDown() override {
    NGlobals::resetForTesting();
    NLog::switchOff();
    CLogger::instance().resetForTesting();
  }
  std::string log() const { return testsupport::readFile(m_log); }

  std::filesystem::path m_log;
};

std::u16string html(std::u16string text, bool noBreaks) {
  NUtils::plainTextToHTML(text, noBreaks);
  return text;
}

std::u16string nbsp(std::u16string text) {
  NUtils::spacesToNbsp(text);
  return text;
}

bool contains(const std::u16string& text, const std::u16string& part) { return text.find(part) != std::u16string::npos; }

// Writes Outlook's plain-text font record for Office 16: the height in twips at byte 12, the
// face from byte 26, the record cut to `length` bytes.
void writeTextFont(unsigned height, const std::string& face, std::size_t length = 60) {
  std::vector<BYTE> record(60, 0);
  record[12] = static_cast<BYTE>(height & 0xFF);
  record[13] = static_cast<BYTE>(height >> 8);
  for (std::size_t i = 0; i < face.size() && 26 + i < record.size(); ++i) record[26 + i] = static_cast<BYTE>(face[i]);
  record.resize(length);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Microsoft\\Office\\16.0\\Common\\MailSettings", 0, nullptr,
                            0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, u"TextFontSimple", 0, REG_BINARY, record.data(), static_cast<DWORD>(record.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::u16string shownInElement(const quilstring& text) {
  platform::html::CHtmlDocument document;
  NUtils::setHTMLFromPlainTextToElement(text, document.body());
  return document.body().innerHTML();
}

TEST_F(HtmlTextTest, PlainTextBecomesEscapedLinesJoined) {
  struct Case {
    const char16_t* text;
    bool noBreaks;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"", false, u""},
      {u"one\ntwo\nthree", false, u"one<BR>two<BR>three"},
      {u"one\r\ntwo\r\nthree", false, u"one<BR>two<BR>three"},
      {u"one\r\ntwo\r\n", false, u"one<BR>two"},
      {u"a\n\nb", false, u"a<BR><BR>b"},
      {u"\n", false, u""},
      {u"lone\rcarriage", false, u"lone\rcarriage"},
      {u"one\ntwo\nthree", true, u"one two three"},
      {u"one\r\ntwo", true, u"one two"},
      {u"a<b", false, u"a&lt;b"},
      {u"Tom & Jerry > \"cat\"", false, u"Tom &amp; Jerry &gt; &quot;cat&quot;"},
      {u"<script>alert(1)</script>\n<img src=x onerror=y>", false,
       u"&lt;script&gt;alert(1)&lt;/script&gt;<BR>&lt;img src=x onerror=y&gt;"},
      {u"&amp; stays text", false, u"&amp;amp; stays text"},
      {u"caf\u00e9 \U0001F600 'single'", false, u"caf\u00e9 \U0001F600 'single'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(quilstring(c.text).toUtf8());
    EXPECT_EQ(html(c.text, c.noBreaks), c.expected);
  }
}

TEST_F(HtmlTextTest, SpacesToNbspAlternatesInEachRun) {
  // The rule as designed, applied pair by pair from the start; the one-pass version must agree.
  const auto pairByPair = [](std::u16string text) {
    for (std::size_t at = text.find(u"  "); at != std::u16string::npos; at = text.find(u"  ")) text.replace(at, 2, u" &nbsp;");
    return text;
  };
  const std::u16string samples[] = {u"",       u" ",          u"a  b",        u"    ",           u"a   b    c     d",
                                    u"  lead", u"trail     ", u"\t  \t   x",  u"x\u00a0  \u3000  y", u"&nbsp;  &nbsp;"};
  for (const std::u16string& s : samples) {
    SCOPED_TRACE(quilstring(s).toUtf8());
    EXPECT_EQ(nbsp(s), pairByPair(s));
  }
  EXPECT_EQ(nbsp(u"    "), u" &nbsp; &nbsp;");
  EXPECT_EQ(nbsp(u"a   b"), u"a &nbsp; b");

  // A long run costs one pass; the pattern holds to its end.
  const std::u16string run(200001, u' ');
  const std::u16string out = nbsp(run);
  ASSERT_EQ(out.size(), 100001u + 100000u * 6u);
  EXPECT_EQ(out.substr(0, 8), u" &nbsp; ");
  EXPECT_EQ(out.substr(out.size() - 8), u" &nbsp; ");
}

TEST_F(HtmlTextTest, TidyRepairsUnclosedTagsAndLogsDiagnostics) {
  std::u16string text = u"<p><b>bold<i>caf\u00e9</p>";
  NUtils::tidyHTML(text);
  EXPECT_TRUE(contains(text, u"<html>"));
  EXPECT_TRUE(contains(text, u"<body>"));
  EXPECT_TRUE(contains(text, u"<p><b>bold<i>caf\u00e9</i></b></p>"));
  EXPECT_TRUE(contains(text, u"</html>"));
  const std::string lines = log();
  EXPECT_NE(lines.find("Debug   HTMLTidy: Diagnostics: line 1 column "), std::string::npos) << lines;
  EXPECT_NE(lines.find("missing </i> before </p>"), std::string::npos) << lines;
}

TEST_F(HtmlTextTest, TidyForcesOutputWhenItFindsErrors) {
  std::u16string text = u"<foo>bar</foo><p>x";
  NUtils::tidyHTML(text);
  EXPECT_TRUE(contains(text, u"bar"));
  EXPECT_TRUE(contains(text, u"<p>x</p>"));
  EXPECT_NE(log().find("Error: <foo> is not recognized!"), std::string::npos);
}

TEST_F(HtmlTextTest, TidyOutputIsTakenWhole) {
  // A numeric reference to U+0000 puts a zero byte in Tidy's output; what follows it stays.
  std::u16string text = u"<p>a&#0;b</p><p>end</p>";
  NUtils::tidyHTML(text);
  EXPECT_TRUE(contains(text, std::u16string(u"a\0b</p>", 7)));
  EXPECT_TRUE(contains(text, u"<p>end</p>"));
  EXPECT_TRUE(contains(text, u"</html>"));
}

TEST_F(HtmlTextTest, TidyDropsNulCharactersAndKeepsWhatFollowsThem) {
  std::u16string text(u"<p>a\0b</p>\0<p>end</p>", 21);
  NUtils::tidyHTML(text);
  EXPECT_TRUE(contains(text, u"<p>ab</p>"));
  EXPECT_TRUE(contains(text, u"<p>end</p>"));
  std::u16string nuls(3, u'\0');
  NUtils::tidyHTML(nuls);
  EXPECT_EQ(nuls, std::u16string(3, u'\0'));
}

TEST_F(HtmlTextTest, TidyLeavesUnconvertibleTextAlone) {
  std::u16string empty;
  NUtils::tidyHTML(empty);
  EXPECT_EQ(empty, u"");
  std::u16string lone = u"<p>\xd800</p>";
  NUtils::tidyHTML(lone);
  EXPECT_EQ(lone, u"<p>\xd800</p>");
  EXPECT_EQ(log().find("HTMLTidy"), std::string::npos);
}

TEST_F(HtmlTextTest, EscapedPlainTextSurvivesTidyAsText) {
  std::u16string text = u"if a<b && c>\"d\" then\n<script>x()</script>";
  NUtils::plainTextToHTML(text, false);
  NUtils::tidyHTML(text);
  EXPECT_TRUE(contains(text, u"if a&lt;b &amp;"));
  EXPECT_TRUE(contains(text, u" c&gt;\"d\" then<br>"));
  EXPECT_TRUE(contains(text, u"&lt;script&gt;x()&lt;/script&gt;"));
  EXPECT_FALSE(contains(text, u"<script"));
}

TEST_F(HtmlTextTest, TidyFreesWhatItLeaksOnMalformedInput) {
  // Tidy itself leaves a node behind on this declaration; the leak checker of the sanitizer
  // build fails the test process if any of it survives.
  for (const char16_t* text : {u"<?xml e", u"<?xml version=\"1.<![CDATA[x\"><html><o:p></e>"}) {
    std::u16string html = text;
    NUtils::tidyHTML(html);
    EXPECT_TRUE(contains(html, u"</html>"));
  }
}

TEST_F(HtmlTextTest, TidySurvivesBodiesThatCrashItsParser) {
  // Each of these recursed in Tidy's parser until the stack ran out.
  for (const char16_t* text : {u"<button><!D a><p", u"<p><button><!DOCTYPE a><p>x", u"<button>b<!doc a>x<p>y</p>"}) {
    SCOPED_TRACE(quilstring(text).toUtf8());
    std::u16string html = text;
    NUtils::tidyHTML(html);
    EXPECT_TRUE(contains(html, u"</html>"));
  }
  std::u16string leading = u"<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01//EN\"><p>x";
  NUtils::tidyHTML(leading);
  EXPECT_TRUE(contains(leading, u"<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01//EN\">"));
}

TEST_F(HtmlTextTest, TidyRunThatNeverEndsAllocatingIsStopped) {
  // Tidy loops allocating on this table until memory runs out, then ends the process itself.
  const std::u16string body =
      u"<html><h?\??\??\??\?&<b<xmx>table><tr>x<p><b>y<i>z?\??\?><pw<&<b<xmx>table><tr>x<p><b>y<i>z</tatable>@<tr><dtx><p><b</tatable><tr><dtx><p><input><dl><b>y<i>z</table>&<u<<d";
  std::u16string text = body;
  NUtils::tidyHTML(text);
  EXPECT_EQ(text, body);
  EXPECT_NE(log().find("Error   Exception caught in tidyHTML"), std::string::npos);
}

TEST_F(HtmlTextTest, TidyOutOfMemoryLeavesTheTextAndTheProcess) {
  std::u16string body;
  while (body.size() < 100000) body += u"<p><b>unclosed <i>text ";
  NUtils::setTidyMemoryLimitForTesting(64 * 1024);
  std::u16string text = body;
  NUtils::tidyHTML(text);
  NUtils::setTidyMemoryLimitForTesting(0);
  EXPECT_EQ(text, body);
  EXPECT_NE(log().find("Error   Exception caught in tidyHTML"), std::string::npos);
  NUtils::tidyHTML(text);
  EXPECT_TRUE(contains(text, u"</html>"));
}

// A body cleaned ahead, on another thread, is the one cleaned in turn, and what its run found is
// logged when it is taken, failures included; one dropped for later ones is cleaned in turn.
TEST_F(HtmlTextTest, TidyAheadGivesWhatTidyInTurnGivesAndLogsWhenTaken) {
  const auto count = [](const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  const std::u16string body = u"<p><b>bold<i>caf\u00e9</p>";
  std::u16string inTurn = body;
  NUtils::tidyHTML(inTurn);
  NUtils::tidyHTMLAhead(body);
  for (int n = 0; n < 5; ++n) NUtils::tidyHTMLAhead(u"<p>other " + quilstring::fromUtf8(std::to_string(n)));
  NUtils::tidyHTMLAhead(body);  // dropped first, started again
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(count(log(), "HTMLTidy: Diagnostics"), 1u);
  std::u16string ahead = body;
  NUtils::tidyHTML(ahead);
  EXPECT_EQ(ahead, inTurn);
  EXPECT_EQ(count(log(), "HTMLTidy: Diagnostics"), 2u);
  std::u16string dropped = u"<p>other 0";
  NUtils::tidyHTML(dropped);
  EXPECT_TRUE(contains(dropped, u"<p>other 0</p>"));

  std::u16string big;
  while (big.size() < 100000) big += u"<p><b>unclosed <i>text ";
  NUtils::setTidyMemoryLimitForTesting(64 * 1024);
  NUtils::tidyHTMLAhead(big);
  std::u16string text = big;
  NUtils::tidyHTML(text);
  NUtils::setTidyMemoryLimitForTesting(0);
  EXPECT_EQ(text, big);
  EXPECT_NE(log().find("Error   Exception caught in tidyHTML"), std::string::npos);
}

TEST_F(HtmlTextTest, PlainTextFontComesFromTheOfficeVersionsMailSettings) {
  NGlobals::setOfficeMajorVersion(16);
  quilstring face(u"unchanged");
  int size = 99;
  EXPECT_FALSE(NUtils::GetPlainTextFormatting(face, size));
  EXPECT_EQ(face, u"unchanged");

  writeTextFont(200, "Consolas");
  EXPECT_TRUE(NUtils::GetPlainTextFormatting(face, size));
  EXPECT_EQ(face, u"Consolas");
  EXPECT_EQ(size, 10);

  writeTextFont(230 + 0x1000, "Lucida Console");
  EXPECT_TRUE(NUtils::GetPlainTextFormatting(face, size));
  EXPECT_EQ(size, (230 + 0x1000) / 20);

  size = 99;
  writeTextFont(10, "Courier New");
  EXPECT_TRUE(NUtils::GetPlainTextFormatting(face, size));
  EXPECT_EQ(size, 99);  // under one point: the size stays

  NGlobals::setOfficeMajorVersion(15);
  EXPECT_FALSE(NUtils::GetPlainTextFormatting(face, size));
}

TEST_F(HtmlTextTest, PlainTextFontIsReadOnlyFromABinaryRecordOfItsSize) {
  NGlobals::setOfficeMajorVersion(16);
  quilstring face(u"unchanged");
  int size = 99;
  writeTextFont(200, "Consolas", 30);  // cut inside the face
  EXPECT_FALSE(NUtils::GetPlainTextFormatting(face, size));
  EXPECT_EQ(face, u"unchanged");
  EXPECT_EQ(size, 99);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Microsoft\\Office\\16.0\\Common\\MailSettings", 0,
                          KEY_WRITE, &key),
            ERROR_SUCCESS);
  const std::u16string text(40, u'y');
  ASSERT_EQ(RegSetValueExW(key, u"TextFontSimple", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_FALSE(NUtils::GetPlainTextFormatting(face, size));
  EXPECT_EQ(face, u"unchanged");
  EXPECT_EQ(size, 99);
  // A face without its zero byte ends with the record's face field.
  writeTextFont(200, std::string(40, 'F'));
  EXPECT_TRUE(NUtils::GetPlainTextFormatting(face, size));
  EXPECT_EQ(face, std::u16string(32, u'F'));
}

TEST_F(HtmlTextTest, PlainTextShowsAsOneBlockPerLineWithValidCss) {
  const std::u16string span = u"<span style=\"font-size:11pt; font-family:'Calibri'\">";
  const std::u16string line = u"<div>" + span;
  EXPECT_EQ(shownInElement(u"a<b &  c\r\nline two"), line + u"a&lt;b &amp; &nbsp;c<br>line two</span></div>");
  EXPECT_EQ(shownInElement(u"a\n\n \nb\n"), line + u"a<br><br> <br>b<br></span></div>");
  EXPECT_EQ(shownInElement(u"\n"), line + u"<br></span></div>");
  EXPECT_EQ(shownInElement(u""), line + u"</span></div>");
  // The first and the last two shown lines together; a blank line keeps its height by its <br>.
  EXPECT_EQ(shownInElement(u"1\n2\n\n4\n5\n6\n"),
            u"<div style=\"widows:1\">" + span + u"1<br>2</span></div><div style=\"orphans:1; widows:1\"><div>" +
                line + u"<br></span></div>" + line + u"4</span></div></div></div><div style=\"orphans:1\">" + span +
                u"5<br>6<br></span></div>");
  NGlobals::setOfficeMajorVersion(16);
  writeTextFont(200, "Courier New");
  EXPECT_EQ(shownInElement(u"x"), u"<div><span style=\"font-size:10pt; font-family:'Courier New'\">x</span></div>");
  // A face cannot end the style text or the attribute.
  writeTextFont(200, "A\"><script>';}x");
  const std::u16string shown = shownInElement(u"x");
  EXPECT_EQ(shown, u"<div><span style=\"font-size:10pt; font-family:'Ascriptx'\">x</span></div>");
}

// Printed by the browser, the lines as blocks break and paginate as one span of <BR> lines did
// (inside the templates' body element, whose own font sets each line's strut).
TEST_F(HtmlTextTest, PlainTextPrintsTheLinesAndPagesOfOneSpanOfBreaks) {
  if (platform::browser::detail::findChromium().empty()) GTEST_SKIP() << "Chromium is not installed";
  const std::string head = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><div style=\"font-family:"
                           "'Times New Roman'; font-size:10pt\">";
  const auto print = [&](const std::u16string& body, const std::string& name, int& pages) {
    const std::filesystem::path html = dir() / (name + ".htm"), pdf = dir() / (name + ".pdf");
    std::ofstream(html) << head << quilstring(body).toUtf8() << "</div></body></html>";
    platform::browser::IPrintEngine& engine = platform::browser::chromiumPrintEngine();
    engine.setAllowedFolders({dir()});
    EXPECT_EQ(engine.loadDocument(html, 30000), S_OK);
    EXPECT_EQ(engine.printBody({}, pdf), S_OK);
    EXPECT_EQ(engine.pageCount(pdf, pages), S_OK);
    return testsupport::pdfText(pdf, 0, true);
  };
  // Page breaks land on wrapped, blank and single lines, and near the text's first and last lines.
  for (const int offset : {0, 1, 2, 4, 9}) {
    SCOPED_TRACE(offset);
    std::u16string text;
    for (int i = offset; i < 150 + 2 * offset; ++i) {
      if (i % 7 == 3)
        text += u"\r\n";
      else if (i % 11 == 5)
        text += u"   \r\n";
      else if (i % 13 == 0)
        text += u"Long " + std::u16string(40, u'w') + u" words  spaced   out and wrapping over the width of the page " +
                std::u16string(30, u'x') + u"\r\n";
      else
        text += u"Line " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u"  <&> of the text\r\n";
    }
    if (offset % 2) text += u"Long " + std::u16string(200, u'z') + u" last";
    std::u16string spanned = text;
    NUtils::plainTextToHTML(spanned, false);
    NUtils::spacesToNbsp(spanned);
    int before = 0, after = 0;
    const std::string old =
        print(u"<span style=\"font-size:11pt; font-family:'Calibri'\">" + spanned + u"</span>", "span", before);
    const std::string shown = print(shownInElement(text), "blocks", after);
    EXPECT_GT(before, 1);
    EXPECT_EQ(before, after);
    EXPECT_EQ(old, shown);
  }
}

TEST_F(HtmlTextTest, PlainTextRefusedByTheElementIsLogged) {
  platform::html::CHtmlDocument document;
  ASSERT_EQ(document.loadFromString(u"<table><tr><td>cell</td></tr></table>"), S_OK);
  const platform::html::CHtmlElement row = document.body().all().tags(u"tr").item(0);
  NUtils::setHTMLFromPlainTextToElement(u"text", row);
  EXPECT_EQ(row.innerText(), u"cell");
  EXPECT_NE(log().find("Error   Exception caught in setHTMLFromPlainTextToElement"), std::string::npos);
}

}  // namespace
