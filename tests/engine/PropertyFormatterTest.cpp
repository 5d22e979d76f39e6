#include "engine/PropertyFormatter.h"

#include <gtest/gtest.h>

#include <typeinfo>

#include "engine/formatters/BooleanFormatter.h"
#include "engine/formatters/CurrencyFormatter.h"
#include "engine/formatters/FloatFormatter.h"
#include "engine/formatters/IntegerFormatter.h"
#include "engine/formatters/StringFormatter.h"
#include "engine/formatters/SystemTimeFormatter.h"
#include "engine/formatters/UserPropertyFormatter.h"
#include "tests/engine/FormatterTestSupport.h"

namespace {

using formattertest::FormatterTest;
using formattertest::utf8;

class PropertyFormatterTest : public FormatterTest {};

TEST_F(PropertyFormatterTest, RegistersOneFormatterPerKeyFromTheExemplars) {
  struct Entry {
    DWORD key;
    const std::type_info& type;
  };
  const Entry entries[] = {
      {0x2, typeid(CIntegerPropertyFormatter)},      {0x3, typeid(CIntegerPropertyFormatter)},
      {0x4, typeid(CFloatPropertyFormatter)},        {0x6, typeid(CCurrencyPropertyFormatter)},
      {0xB, typeid(CBooleanPropertyFormatter)},      {0x1E, typeid(CStringPropertyFormatter)},
      {0x1F, typeid(CStringPropertyFormatter)},      {0x101E, typeid(CStringPropertyFormatter)},
      {0x101F, typeid(CStringPropertyFormatter)},    {0x40, typeid(CSysTimePropertyFormatter)},
      {0x200000, typeid(CUserPropertyFormatter)},
  };
  for (const Entry& entry : entries) {
    SCOPED_TRACE(entry.key);
    const CPropertyFormatterPtr formatter = CPropertyFormatter::find(entry.key);
    ASSERT_TRUE(formatter);
    EXPECT_EQ(typeid(*formatter), entry.type);
    EXPECT_EQ(formatter->key(), entry.key);
  }
  // Each key has an instance of its own; exemplars stay out of the registry.
  EXPECT_NE(CPropertyFormatter::find(0x2).get(), CPropertyFormatter::find(0x3).get());
  EXPECT_FALSE(CPropertyFormatter::find(0));
  for (const CPropertyFormatter* exemplar : CPropertyFormatter::exemplars()) EXPECT_EQ(exemplar->key(), 0u);
  EXPECT_GE(CPropertyFormatter::exemplars().size(), 7u);
}

TEST_F(PropertyFormatterTest, AMapiTagAsKindFindsTheFormatterOfItsType) {
  EXPECT_FALSE(CPropertyFormatter::find(kKindMessageDeliveryTime));
  const auto formatter = CPropertyFormatter::findForElement(kKindMessageDeliveryTime, u"NAME=ReceivedTime");
  ASSERT_TRUE(formatter);
  EXPECT_EQ(formatter->key(), kKindSysTime);
  // An unsigned kind with the high bit set is a tag like any other.
  const auto string = CPropertyFormatter::findForElement(0x8005001Fu, u"NAME=0x8005001F|PROP_TYPE=MAPI");
  ASSERT_TRUE(string);
  EXPECT_EQ(string->key(), kKindString);
  EXPECT_TRUE(logLines().empty());
}

TEST_F(PropertyFormatterTest, AnUnresolvedKindFindsNothingAndWarnsWithTheSettingsText) {
  EXPECT_FALSE(CPropertyFormatter::findForElement(0, u"NAME=NoSuchField"));
  EXPECT_FALSE(CPropertyFormatter::findForElement(0x00000102, u"NAME=0x00000102|PROP_TYPE=MAPI"));
  EXPECT_EQ(logLines(), (std::vector<std::string>{
                            "Warning Could not find property processor for \"NAME=NoSuchField\"",
                            "Warning Could not find property processor for \"NAME=0x00000102|PROP_TYPE=MAPI\"",
                        }));
}

// The common post-processing of a raw item value into page HTML.
TEST_F(PropertyFormatterTest, PostProcessing) {
  struct Case {
    const char16_t* settings;
    const char16_t* raw;
    const char16_t* html;
  };
  const Case cases[] = {
      // Translation, then case, then the format.
      {u"NAME=x|POSSIBLE_VALUES=1:Yes|LOWER_CASE|FORMAT_STRING=[%s]", u"1", u"[yes]"},
      {u"NAME=x|POSSIBLE_VALUES=yes:Ja", u"Yes", u"Yes"},
      {u"NAME=x|FORMAT_STRING=[%s]", u"", u""},
      {u"NAME=x|UPPER_CASE|LOWER_CASE", u"MiXed", u"MIXED"},
      // Item text is escaped with references that survive case mapping.
      {u"NAME=x", u"<img src=x onerror=alert(1)>", u"&#60;img src=x onerror=alert(1)&#62;"},
      {u"NAME=x|UPPER_CASE", u"R&D \"a\"", u"R&#38;D &#34;A&#34;"},
      {u"NAME=x|LOWER_CASE", u"<B>", u"&#60;b&#62;"},
      // The translation matches the raw text; its own text and the format stay template HTML.
      {u"NAME=x|POSSIBLE_VALUES=R&D:<i>Research", u"R&D", u"<i>Research"},
      {u"NAME=x|FORMAT_STRING=<b>%s</b>", u"<x>", u"<b>&#60;x&#62;</b>"},
      // The format is not a printf format.
      {u"NAME=x|FORMAT_STRING=50% of %s %d", u"v", u"50% of v %d"},
      {u"NAME=x|FORMAT_STRING=%s and %s 100%%", u"v", u"v and %s 100%"},
      {u"NAME=x|FORMAT_STRING=%n%x%p", u"v", u"%n%x%p"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.settings));
    const CElementSettings s = settings(c.settings);
    quilstring value = c.raw;
    CPropertyFormatter::postProcess(s, value);
    EXPECT_EQ(utf8(value), utf8(c.html));
  }
}

TEST_F(PropertyFormatterTest, PostProcessingKeepsAnHtmlFormTheFormatterMade) {
  const CElementSettings s = settings(u"NAME=x|POSSIBLE_VALUES=a<b:matched|UPPER_CASE");
  quilstring value = u"line<1\nline2";
  CPropertyFormatter::postProcess(s, value, u"line&#60;1<BR>line2");
  EXPECT_EQ(utf8(value), "LINE&#60;1<BR>LINE2");
  value = u"a<b";
  CPropertyFormatter::postProcess(s, value, u"a&#60;b");
  EXPECT_EQ(utf8(value), "MATCHED");
}

TEST_F(PropertyFormatterTest, ApplyWritesHtmlAndReportsRefusals) {
  const CElementSettings s = settings(u"NAME=x");
  auto target = element();
  EXPECT_TRUE(CPropertyFormatter::apply(u"<b>bold</b>", s, target));
  EXPECT_EQ(utf8(target.innerHTML()), "<b>bold</b>");
  EXPECT_TRUE(CPropertyFormatter::apply(u"", s, target));
  EXPECT_EQ(target.innerHTML(), u"");

  EXPECT_FALSE(CPropertyFormatter::apply(u"x", s, platform::html::CHtmlElement()));
  // MSHTML refuses innerHTML on table structure.
  ASSERT_EQ(m_document.loadFromString(u"<table><tr id=row><td>c</td></tr></table>"), S_OK);
  EXPECT_FALSE(CPropertyFormatter::apply(u"x", s, m_document.all().item(u"row").item(0)));
  EXPECT_EQ(logLines(), (std::vector<std::string>{
                            "Debug Applying formatted property as innerHTML",
                            "Debug Applying formatted property as innerHTML",
                            "Debug Applying formatted property as innerHTML",
                            "Error Couldn't apply as innerHTML: ???",
                            "Debug Applying formatted property as innerHTML",
                            "Error Couldn't apply as innerHTML: ???",
                        }));
}

}  // namespace
