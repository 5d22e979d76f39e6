// The condition of Items.Find and Restrict: what parses, what is refused, and how values compare.

#include <gtest/gtest.h>

#include "platform/outlook/ItemFilter.h"
#include "tests/platform/outlook/OutlookTestUtil.h"

namespace {

using platform::outlook::CItemFilter;

class ItemFilterTest : public testsupport::IsolatedTest {};

// An item of a few fixed properties.
bool matches(std::u16string_view text) {
  const auto filter = CItemFilter::parse(text);
  if (!filter) throw std::logic_error("no parse");
  return filter->matches([](std::u16string_view name, CComVariant& value) {
    if (name == u"Email1Address") value = CComVariant(u"O'Brien@Example.com");
    else if (name == u"Importance") value = CComVariant(LONG(2));
    else if (name == u"UnRead") value = CComVariant(true);
    else if (name == u"SentOn") value = CComVariant(44378.5, VT_DATE);  // 2021-07-01 12:00
    else if (name == u"Empty") value.Clear();
    else return false;
    return true;
  });
}

TEST_F(ItemFilterTest, ComparesTextsNumbersBooleansAndDates) {
  const struct {
    const char16_t* text;
    bool expected;
  } cases[] = {
      {u"[Email1Address] = 'o''brien@example.com'", true},
      {u"[Email1Address] = \"o'brien@example.com\"", true},
      {u"[Email1Address] <> 'o''brien@example.com'", false},
      {u"[Importance] = 2", true},
      {u"[Importance] >= '1' And [Importance] < 3", true},
      {u"[Importance] = 1 Or [UnRead] = True", true},
      {u"Not ([Importance] = 1 Or [UnRead] = False)", true},
      {u"[UnRead] = False", false},
      {u"[SentOn] = '7/1/2021 12:00 PM'", true},
      {u"[SentOn] > '7/1/2021 11:59 AM' and [SentOn] < '7/2/2021'", true},
      {u"[Empty] = ''", true},
      {u"  [Importance]=2  AND  [Email1Address]='x'  or [UnRead]=true ", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(outlooktest::utf8(c.text));
    EXPECT_EQ(matches(c.text), c.expected);
  }
}

TEST_F(ItemFilterTest, RefusesWhatIsNotACondition) {
  const char16_t* bad[] = {
      u"", u"[Email1Address]", u"[Email1Address] = ", u"[Email1Address] = 'o'brien@example.com'",
      u"[Email1Address] = 'unterminated", u"Email1Address = 'x'", u"[] = 'x'", u"[A = 'x'",
      u"([A] = 'x'", u"[A] = 'x')", u"[A] = 'x' And", u"[A] == 'x' Or", u"[A] = And",
  };
  for (const char16_t* text : bad) {
    std::u16string error;
    EXPECT_FALSE(CItemFilter::parse(text, &error)) << outlooktest::utf8(text);
    EXPECT_FALSE(error.empty());
  }
  // Bounded nesting and length.
  std::u16string deep(100, u'(');
  deep += u"[A] = 'x'" + std::u16string(100, u')');
  EXPECT_FALSE(CItemFilter::parse(deep));
  EXPECT_FALSE(CItemFilter::parse(std::u16string(CItemFilter::kMaxLength + 1, u' ')));
  // A long chain is not deep: And/Or chains stay flat.
  std::u16string chain = u"[A] = 'x'";
  for (int i = 0; i < 1000; ++i) chain += u" Or [A] = 'x'";
  EXPECT_TRUE(CItemFilter::parse(chain));
}

TEST_F(ItemFilterTest, UnknownPropertiesAndWrongTypesRaise) {
  EXPECT_THROW(matches(u"[Nope] = 'x'"), std::runtime_error);
  EXPECT_THROW(matches(u"[Importance] = 'high'"), std::runtime_error);
  // Or stops at the first match, as the item's own reads would.
  EXPECT_TRUE(matches(u"[Importance] = 2 Or [Nope] = 'x'"));
}

}  // namespace
