#include "engine/formatters/StringFormatter.h"

#include <gtest/gtest.h>

#include <functional>

#include "foundation/Utils.h"
#include "tests/engine/FormatterTestSupport.h"

namespace {

using formattertest::CFakeFieldSource;
using formattertest::MapiError;
using formattertest::utf8;

class StringFormatterTest : public formattertest::FormatterTest {};

constexpr ULONG kSubjectW = 0x0037001F;
constexpr ULONG kSubjectA = 0x0037001E;
constexpr ULONG kKeywordsW = 0x8001101F;
constexpr ULONG kKeywordsA = 0x8001101E;

std::string utf16le(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

TEST_F(StringFormatterTest, ReadsTheTextAndWritesItAsHtml) {
  struct Case {
    const char* name;
    const char16_t* settings;
    std::function<void(CFakeFieldSource&)> setup;
    const char* html;
  };
  const Case cases[] = {
      {"by DISPID with line breaks", u"NAME=Subject",
       [](auto& s) { s.byId[0x37] = quilstring(u"one\r\ntwo\nthree"); }, "one<br>two<br>three"},
      {"by name", u"NAME=Note|PROP_TYPE=ITEM", [](auto& s) { s.byName[u"Note"] = quilstring(u"a & b"); },
       "a &amp; b"},
      {"missing", u"NAME=Subject", [](auto&) {}, ""},
      {"MAPI one-property read", u"NAME=0x0037001F|PROP_TYPE=MAPI",
       [](auto& s) { s.mapi[kSubjectW] = std::u16string(u"Hello"); }, "Hello"},
      {"MAPI error value", u"NAME=0x0037001F|PROP_TYPE=MAPI",
       [](auto& s) { s.mapi[kSubjectW] = MapiError{E_FAIL}; }, ""},
      {"an empty object-model text falls back to MAPI", u"NAME=0x0037001F|PROP_TYPE=MAPI",
       [](auto& s) { s.mapi[kSubjectW] = std::u16string(u"from MAPI"); }, "from MAPI"},
      {"8-bit by the message's code page", u"NAME=0x0037001E|PROP_TYPE=MAPI",
       [](auto& s) {
         s.codePage = 1251;
         s.mapi[kSubjectA] = std::string("\xCF\xF0\xE8\xE2\xE5\xF2");
       },
       "Привет"},
      {"8-bit without a code page as Windows-1252", u"NAME=0x0037001E|PROP_TYPE=MAPI",
       [](auto& s) { s.mapi[kSubjectA] = std::string("caf\xE9"); }, "café"},
      {"multi-valued", u"NAME=0x8001101F|PROP_TYPE=MAPI",
       [](auto& s) { s.mapi[kKeywordsW] = std::vector<std::u16string>{u"A", u"B"}; }, "A, B"},
      {"multi-valued with a separator", u"NAME=0x8001101F|PROP_TYPE=MAPI|VALUE_SEPARATOR=;",
       [](auto& s) { s.mapi[kKeywordsW] = std::vector<std::u16string>{u"A", u"B"}; }, "A;B"},
      // The separator is template HTML; the values are item text.
      {"multi-valued, one per line", u"NAME=0x8001101F|PROP_TYPE=MAPI|VALUE_SEPARATOR=<BR>",
       [](auto& s) { s.mapi[kKeywordsW] = std::vector<std::u16string>{u"<x>", u"B"}; }, "&lt;x&gt;<br>B"},
      {"multi-valued 8-bit", u"NAME=0x8001101E|PROP_TYPE=MAPI",
       [](auto& s) { s.mapi[kKeywordsA] = std::vector<std::string>{"\xE0", "b"}; }, "à, b"},
      {"translated by its raw text", u"NAME=Subject|POSSIBLE_VALUES=R&D:<i>Research",
       [](auto& s) { s.byId[0x37] = quilstring(u"R&D"); }, "<i>Research</i>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeFieldSource source;
    c.setup(source);
    CStringPropertyFormatter formatter(kKindString);
    bool answer = false;
    EXPECT_EQ(utf8(run(formatter, c.settings, source, &answer)), c.html);
    EXPECT_EQ(answer, *c.html != '\0');
  }
}

TEST_F(StringFormatterTest, AHostileValueBecomesInertText) {
  const quilstring hostile = u"<img src=x onerror=alert(1)><script>alert(2)</script>";
  const char16_t* settings[] = {u"NAME=Subject", u"NAME=Subject|UPPER_CASE", u"NAME=Subject|FORMAT_STRING=<b>%s</b>"};
  for (const char16_t* text : settings) {
    SCOPED_TRACE(utf8(text));
    CFakeFieldSource source;
    source.byId[0x37] = hostile;
    CStringPropertyFormatter formatter(kKindString);
    run(formatter, text, source);
    EXPECT_EQ(m_last.all().tags(u"img").length(), 0);
    EXPECT_EQ(m_last.all().tags(u"script").length(), 0);
    quilstring shown = hostile;
    if (text == settings[1]) NUtils::toUpper(shown);
    EXPECT_EQ(utf8(m_last.innerText()), utf8(shown));
  }
}

// Long values come through a stream, read whole but bounded, as UTF-16 or by code page.
TEST_F(StringFormatterTest, ReadsStreamsWholeAndBounded) {
  const std::u16string longText(100000, u'x');
  {
    CFakeFieldSource source;
    source.streams[kSubjectW] = utf16le(longText);
    CStringPropertyFormatter formatter(kKindString);
    EXPECT_EQ(run(formatter, u"NAME=0x0037001F|PROP_TYPE=MAPI", source), longText);
    EXPECT_EQ(source.reads, (std::vector<std::string>{"stream 0x37001f"}));
  }
  {
    // No terminator in the stream, an odd last byte, and a size that Stat understates.
    CFakeFieldSource source;
    source.streams[kSubjectW] = utf16le(u"AB") + "C";
    source.streamStatSizes[kSubjectW] = 1;
    CStringPropertyFormatter formatter(kKindString);
    EXPECT_EQ(utf8(run(formatter, u"NAME=0x0037001F|PROP_TYPE=MAPI", source)), "AB");
  }
  {
    // A size that Stat overstates allocates nothing of it.
    CFakeFieldSource source;
    source.streams[kSubjectW] = utf16le(u"short");
    source.streamStatSizes[kSubjectW] = 1ull << 40;
    CStringPropertyFormatter formatter(kKindString);
    EXPECT_EQ(utf8(run(formatter, u"NAME=0x0037001F|PROP_TYPE=MAPI", source)), "short");
  }
  {
    CFakeFieldSource source;
    source.codePage = 932;
    source.streams[kSubjectA] = std::string("\x93\xfa\x96\x7b\x8c\xea");
    CStringPropertyFormatter formatter(kKindString);
    EXPECT_EQ(utf8(run(formatter, u"NAME=0x0037001E|PROP_TYPE=MAPI", source)), "日本語");
  }
  {
    // An endless stream stops at the bound.
    CFakeFieldSource source;
    source.streams[kSubjectW] = utf16le(u"ab");
    source.endlessStreams[kSubjectW] = true;
    CStringPropertyFormatter formatter(kKindString);
    const std::u16string html = run(formatter, u"NAME=0x0037001F|PROP_TYPE=MAPI", source);
    EXPECT_EQ(html.size(), CStringPropertyFormatter::kMaxStreamBytes / 2);
  }
}

}  // namespace
