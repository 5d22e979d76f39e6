#include <gtest/gtest.h>

#include <string>

#include "platform/rtf/Rtf.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::rtf::htmlFromTrueRtf;
using platform::system::utf16ToUtf8;

std::string converted(const std::string& rtf) {
  const auto html = htmlFromTrueRtf(rtf);
  return html ? utf16ToUtf8(*html) : std::string("<nothing>");
}

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

const std::string kTables =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\froman\\fcharset0 Times New "
    "Roman;}{\\f2\\fswiss\\fcharset204{\\*\\panose 020b0604020202020204}Arial CYR;}}"
    "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\\viewkind4\\uc1";

class RtfConverterTest : public testsupport::IsolatedTest {};

TEST_F(RtfConverterTest, RendersTheCommonFormatting) {
  struct Case {
    const char* name;
    std::string body;
    std::string part;
  } cases[] = {
      {"bold", "\\pard a \\b bold\\b0  c\\par", "<p style=\"margin:0;white-space:pre-wrap\">a <span style=\"font-weight:bold;\">bold</span> c</p>"},
      {"italic, underline", "\\i it\\i0\\ul u\\ulnone\\uldb d\\ul0 x\\par",
       "<span style=\"font-style:italic;\">it</span><span style=\"text-decoration:underline;\">u</span>"
       "<span style=\"text-decoration:underline;\">d</span>x"},
      {"group restores", "{\\b in}out\\par", "<span style=\"font-weight:bold;\">in</span>out"},
      {"plain resets", "\\b\\i x\\plain y\\par", "x</span>y</p>"},
      {"font, size, colours", "{\\f1\\fs32\\cf1\\highlight2 big}\\par",
       "<span style=\"font-family:'Times New Roman';font-size:16pt;color:#ff0000;background-color:#0000ff;\">big</span>"},
      {"half-point size", "{\\fs21 s}\\par", "font-size:10.5pt;"},
      {"automatic colour", "{\\cf0 auto}\\par", ">auto</p>"},
      {"colour past the table", "{\\cf99 far}\\par", ">far</p>"},
      {"default font on the body", "x\\par", "<body style=\"font-family:'Arial'\">"},
      {"alignment", "\\pard\\qc centred\\par\\pard left\\par",
       "<p style=\"margin:0;white-space:pre-wrap;text-align:center\">centred</p>\r\n<p style=\"margin:0;white-space:pre-wrap\">left</p>"},
      {"line break and tab", "a\\line b\\tab c\\par", ">a<br>b\tc</p>"},
      {"empty paragraph", "\\par x\\par", "<p style=\"margin:0;white-space:pre-wrap\"><br></p>"},
      {"last paragraph without par", "tail", ">tail</p>"},
      {"special characters", "\\ldblquote q\\rdblquote  \\emdash  a\\~b\\bullet", "\xe2\x80\x9cq\xe2\x80\x9d \xe2\x80\x94 a\xc2\xa0" "b\xe2\x80\xa2"},
      {"field result kept, instruction dropped",
       "{\\field{\\*\\fldinst{HYPERLINK \"http://example.com/\"}}{\\fldrslt{\\ul\\cf2 the link}}}\\par", "the link</span>"},
      {"cyrillic font", "{\\f2 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}\\par", "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"},
      {"raw 8-bit bytes", "P\xe1vlovna\\par", "P\xc3\xa1vlovna"},
      {"unicode", "\\u8364?\\uc0\\u8364 x\\par", "\xe2\x82\xac\xe2\x82\xacx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string html = converted(kTables + c.body + "}");
    EXPECT_TRUE(contains(html, c.part)) << html;
  }
}

TEST_F(RtfConverterTest, LeavesOutWhatIsNotText) {
  const std::string html = converted(
      kTables +
      "{\\stylesheet{\\s0 Normal STYLE;}}{\\info{\\title TITLE}{\\author AUTHOR}}"
      "{\\*\\generator GENERATOR;}{\\header HEADER\\par}{\\pict\\wmetafile8 0123456789abcdef}"
      "{\\*\\shppict{\\pict\\pngblip 89504e47}}{\\nonshppict{\\pict\\wmetafile8 PICT}}"
      "{\\object\\objemb{\\*\\objclass Word}{\\objdata 0102}{\\result RESULT}}"
      "{\\pict\\bin5 }}}{}}visible\\par}");
  for (const char* hidden : {"STYLE", "TITLE", "AUTHOR", "GENERATOR", "HEADER", "0123", "PICT", "Word", "0102", "Arial CYR", "020b"}) {
    SCOPED_TRACE(hidden);
    EXPECT_FALSE(contains(html, hidden)) << html;
  }
  EXPECT_TRUE(contains(html, "RESULT"));
  EXPECT_TRUE(contains(html, "visible</p>"));
}

TEST_F(RtfConverterTest, EscapesEverythingTakenFromTheMessage) {
  const std::string html = converted(
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1 Evil'\"><script>alert(1)</script>;}{\\f2 x;color:red\\}"
      "\\'3cimg\\'3e;}}{\\colortbl;\\red999\\green-5\\blue300;}"
      "{\\f1 <script>&amp;\"q\" 'a'}{\\f2 y}{\\cf1 c}\\par}");
  EXPECT_FALSE(contains(html, "<script")) << html;
  EXPECT_FALSE(contains(html, "<img")) << html;
  EXPECT_FALSE(contains(html, "alert(1)")) << html;
  EXPECT_FALSE(contains(html, "color:red")) << html;
  EXPECT_TRUE(contains(html, "&lt;script&gt;&amp;amp;&quot;q&quot; &#39;a&#39;")) << html;
  EXPECT_TRUE(contains(html, "font-family:'Evilscriptalert1script'")) << html;
  EXPECT_TRUE(contains(html, "color:#ff00ff;")) << html;
}

TEST_F(RtfConverterTest, DecodesPerCodePage) {
  // A Japanese document: the document's code page, and a font whose charset names its own.
  const std::string japanese =
      "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fnil\\fcharset128 \\'82\\'6c\\'82\\'72 \\'96\\'be\\'92\\'a9;}"
      "{\\f1\\fswiss\\fcharset0 Arial;}}\\f0 \\'93\\'fa\\'96\\'7b\x8c\xea{\\f1 caf\\'e9}\\par}";
  const std::string html = converted(japanese);
  EXPECT_TRUE(contains(html, "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e")) << html;
  EXPECT_TRUE(contains(html, "caf\xc3\xa9")) << html;
  EXPECT_TRUE(contains(html, "font-family:'\xef\xbc\xad\xef\xbc\xb3 \xe6\x98\x8e\xe6\x9c\x9d'")) << html;

  // \cpgN wins over the charset; an unknown code page falls back to the document's.
  EXPECT_TRUE(contains(converted("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0\\cpg1251 X;}}\\f0\\'c0\\par}"), "\xd0\x90"));
  EXPECT_TRUE(contains(converted("{\\rtf1\\ansi\\ansicpg99999 \\'e9\\par}"), "\xc3\xa9"));
  EXPECT_TRUE(contains(converted("{\\rtf1\\mac \\'8e\\par}"), "\xc3\xa9"));
}

TEST_F(RtfConverterTest, AnswersNothingForWhatItCannotRead) {
  EXPECT_FALSE(htmlFromTrueRtf(""));
  EXPECT_FALSE(htmlFromTrueRtf("Hello, plain text"));
  EXPECT_FALSE(htmlFromTrueRtf("{\\rtf1" + std::string(100000, '{') + "deep"));
  // Damage that a reader can live with still gives the text.
  EXPECT_TRUE(contains(converted("{\\rtf1\\ansi unterminated {\\b group"), "unterminated"));
  EXPECT_TRUE(contains(converted("{\\rtf1 a}}}} trailing"), ">a</p>"));
  EXPECT_FALSE(contains(converted("{\\rtf1 a}}}} trailing"), "trailing"));
  EXPECT_TRUE(contains(converted("{\\rtf1 x\\'zz\\'4 y\\"), "x"));
  EXPECT_TRUE(contains(converted("{\\rtf1\\fs99999999999999 \\u99999999999 \\uc999999 big}"), "<body>"));
}

}  // namespace
