#include <gtest/gtest.h>

#include <string>

#include "platform/rtf/Rtf.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::rtf::deencapsulateHtml;
using platform::rtf::htmlFromRtf;
using platform::rtf::RtfKind;
using platform::rtf::rtfKind;
using platform::system::utf16ToUtf8;

const std::string kHeader =
    "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl\r\n{\\f0\\fswiss Arial;}\r\n"
    "{\\f1\\fmodern Courier New;}\r\n{\\f2\\fnil\\fcharset2 Symbol;}}\r\n"
    "{\\colortbl\\red0\\green0\\blue0;\\red0\\green0\\blue255;}\r\n\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 ";

// The empty paragraph tag every encapsulating writer puts first makes the body encapsulated HTML.
std::string deencapsulated(const std::string& body, const std::string& header = kHeader) {
  const auto html = deencapsulateHtml(header + "{\\*\\htmltag64}" + body + "}");
  return html ? utf16ToUtf8(*html) : std::string("<nothing>");
}

class RtfHtmlTest : public testsupport::IsolatedTest {};

TEST_F(RtfHtmlTest, TellsTheKindFromTheHeader) {
  struct Case {
    const char* rtf;
    RtfKind kind;
  } cases[] = {
      {"{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl}}", RtfKind::FromHtml},
      {"\r\n{\\rtf1\\ansi\\fromhtml1}", RtfKind::FromHtml},
      {"{\\rtf1\\ansi\\ansicpg1252\\fromtext \\fbidis \\deff0{\\fonttbl}}", RtfKind::FromText},
      {"{\\rtf1\\ansi\\fromhtml0 x}", RtfKind::Rtf},
      {"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}hello}", RtfKind::Rtf},
      {"{\\rtf1 some text \\fromhtml1}", RtfKind::Rtf},  // not in the header
      {"{\\rtf1{\\*\\x \\fromhtml1}}", RtfKind::Rtf},
      {"{\\rtf", RtfKind::Rtf},
      {"", RtfKind::NotRtf},
      {"<html>", RtfKind::NotRtf},
      {"{\\rt", RtfKind::NotRtf},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rtf);
    EXPECT_EQ(rtfKind(c.rtf), c.kind);
  }
}

TEST_F(RtfHtmlTest, CopiesTagsAndTextButNotWhatTheConversionAdded) {
  struct Case {
    const char* name;
    std::string body;
    std::string html;
  } cases[] = {
      {"tags and shared text",
       "{\\*\\htmltag19 <html>}{\\*\\htmltag34 <head>}{\\*\\htmltag41 </head>}{\\*\\htmltag50 <body>}"
       "\\htmlrtf \\lang1033 \\htmlrtf0 {\\*\\htmltag64 <p>}Hello {\\*\\htmltag84 <b>}world\\htmlrtf\\par\\htmlrtf0 "
       "{\\*\\htmltag92 </b>}{\\*\\htmltag72 </p>}{\\*\\htmltag58 </body>}{\\*\\htmltag27 </html>}",
       "<html><head></head><body><p>Hello <b>world</b></p></body></html>"},
      {"empty paragraph tag", "{\\*\\htmltag64}{\\*\\htmltag64 <p>}x", "<p>x"},
      {"par, line and tab in a tag", "{\\*\\htmltag241 <style>\\par p \\{ color:red \\}\\tab\\line </style>}",
       "<style>\r\np { color:red }\t\r\n</style>"},
      {"par between tags", "{\\*\\htmltag64 <p>}a\\par b", "<p>a\r\nb"},
      {"escapes", "a\\{b\\}c\\\\d", "a{b}c\\d"},
      {"entity kept, its RTF rendering dropped", "{\\*\\htmltag84 &nbsp;}\\htmlrtf \\'a0\\htmlrtf0 x", "&nbsp;x"},
      {"htmlrtf follows groups",
       "\\htmlrtf {\\htmlrtf0 visible}hidden\\htmlrtf0 shown", "visibleshown"},
      {"htmlrtf1 form", "\\htmlrtf1 no\\htmlrtf0 yes", "yes"},
      {"other destinations skipped",
       "{\\*\\mhtmltag84 <a href=\"cid:x\">}{\\*\\htmltag84 <a href=\"y\">}{\\*\\bkmkstart b}{\\*\\fldinst x}"
       "{\\pict\\pngblip 89504e47}link{\\*\\htmltag92 </a>}",
       "<a href=\"y\">link</a>"},
      {"binary data skipped", "{\\*\\x \\bin6 }}}}}}}a", "a"},
      {"1252 bytes, escaped and raw", "caf\\'e9 \xe0 la {\\*\\htmltag84 <i>\\'e9</i>}", "caf\xc3\xa9 \xc3\xa0 la <i>\xc3\xa9</i>"},
      {"unicode with fallback", "\\u8364?\\uc2 \\u8364\\'80\\'80 {\\uc0\\u8364 }x", "\xe2\x82\xac\xe2\x82\xac \xe2\x82\xacx"},
      {"fallback skip ends with the group", "{\\uc3\\u8364 a}bc", "\xe2\x82\xac" "bc"},
      {"surrogate pair", "\\u-10179?\\u-8704?", "\xf0\x9f\x98\x80"},
      {"symbols", "a\\~b\\_c\\-d\\emdash\\lquote", "a\xc2\xa0" "b\xe2\x80\x91" "cd\xe2\x80\x94\xe2\x80\x98"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(deencapsulated(c.body), c.html);
  }
}

TEST_F(RtfHtmlTest, DecodesMultiByteCodePagesWhole) {
  // CP932: 日 = 93 FA, 本 = 96 7B (a trail byte that reads as '{'), 語 = 8C EA.
  const std::string header =
      "{\\rtf1\\ansi\\ansicpg932\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss\\fcharset128 \\'82\\'6c\\'82\\'72 "
      "\\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}{\\f1\\fswiss\\fcharset0 Arial;}}\\f0 ";
  EXPECT_EQ(deencapsulated("{\\*\\htmltag84 <title>\\'93\\'fa\\'96\\'7b</title>}\\'8c\\'ea", header),
            "<title>\xe6\x97\xa5\xe6\x9c\xac</title>\xe8\xaa\x9e");
  EXPECT_EQ(deencapsulated("\x93\xfa\x96\\'7b\\u12354?", header), "\xe6\x97\xa5\xe6\x9c\xac\xe3\x81\x82");
  // A font of another charset decodes its own bytes; tags stay in the document's code page.
  EXPECT_EQ(deencapsulated("{\\f1 caf\\'e9}{\\*\\htmltag84 \\'93\\'fa}", header), "caf\xc3\xa9\xe6\x97\xa5");
  // A lead byte with nothing after it does not swallow what follows.
  const std::string cut = deencapsulated("\\'93{\\*\\htmltag84 <b>}", header);
  EXPECT_GT(cut.size(), 3u);
  EXPECT_EQ(cut.substr(cut.size() - 3), "<b>");
}

TEST_F(RtfHtmlTest, AnswersNothingForWhatIsNotEncapsulatedHtml) {
  EXPECT_FALSE(deencapsulateHtml("{\\rtf1\\ansi hello}"));
  EXPECT_FALSE(deencapsulateHtml("{\\rtf1\\ansi\\fromtext hello}"));
  EXPECT_FALSE(deencapsulateHtml("plain text"));
  EXPECT_FALSE(deencapsulateHtml(std::string("{\\rtf1\\fromhtml1 ") + std::string(100000, '{')));
  // Marked as HTML but with no tag at all: nothing to de-encapsulate; the conversion takes over.
  EXPECT_FALSE(deencapsulateHtml("{\\rtf1\\ansi\\fromhtml1 just text}"));
  const auto converted = htmlFromRtf("{\\rtf1\\ansi\\fromhtml1 just text}");
  ASSERT_TRUE(converted);
  EXPECT_EQ(converted->kind, RtfKind::FromHtml);
  EXPECT_NE(utf16ToUtf8(converted->html).find("just text"), std::string::npos);
}

TEST_F(RtfHtmlTest, HtmlFromRtfSaysWhichKindItRead) {
  auto html = htmlFromRtf(kHeader + "{\\*\\htmltag64 <p>}x}");
  ASSERT_TRUE(html);
  EXPECT_EQ(html->kind, RtfKind::FromHtml);
  EXPECT_EQ(utf16ToUtf8(html->html), "<p>x");

  html = htmlFromRtf("{\\rtf1\\ansi\\ansicpg1252\\fromtext \\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\plain line one\\par line two\\par}");
  ASSERT_TRUE(html);
  EXPECT_EQ(html->kind, RtfKind::FromText);
  EXPECT_NE(utf16ToUtf8(html->html).find(">line one</p>"), std::string::npos);

  EXPECT_FALSE(htmlFromRtf("not rtf"));
}

TEST_F(RtfHtmlTest, UnterminatedDocumentKeepsWhatItRead) {
  EXPECT_EQ(utf16ToUtf8(*deencapsulateHtml(kHeader + "{\\*\\htmltag64 <p>}abc{\\*\\htmltag84 <b")), "<p>abc<b");
}

}  // namespace
