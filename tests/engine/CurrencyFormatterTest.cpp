#include "engine/formatters/CurrencyFormatter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>

#include "tests/engine/FormatterTestSupport.h"

namespace {

using formattertest::CFakeFieldSource;
using formattertest::utf8;

class CurrencyFormatterTest : public formattertest::FormatterTest {};

TEST_F(CurrencyFormatterTest, AmountTextHasFourFractionDigits) {
  struct Case {
    LONGLONG amount;
    const char* text;
  };
  const Case cases[] = {
      {5000, ".5000"},
      {12345, "1.2345"},
      {-15000, "-1.5000"},
      {0, ".0000"},
      {-1, "-.0001"},
      {std::numeric_limits<LONGLONG>::max(), "922337203685477.5807"},
      // The most negative amount has no positive counterpart.
      {std::numeric_limits<LONGLONG>::min(), "-922337203685477.5808"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.amount);
    EXPECT_EQ(utf8(CCurrencyPropertyFormatter::amountText(c.amount)), c.text);
  }
}

// Expected texts are what Windows 10 prints through GetCurrencyFormatW with the locales' default
// settings (LOCALE_SCURRENCY, LOCALE_ICURRENCY, LOCALE_INEGCURR, LOCALE_ICURRDIGITS, grouping and
// separators of Microsoft's NLS data): en-US "$1.1" / "($1.1)", de-DE "1.1 €" / "-1.1 €",
// ja-JP "¥1" / "-¥1" with no decimals.
TEST_F(CurrencyFormatterTest, FormatsInTheStoredLocaleAsWindowsDoes) {
  struct Case {
    LCID lcid;
    LONGLONG amount;
    const char* html;
  };
  const Case cases[] = {
      {1033, 12345678912, "$1,234,567.89"},
      {1033, -15000, "($1.50)"},
      {1033, 5000, "$0.50"},
      {1031, 12345678912, "1.234.567,89 €"},
      {1031, -15000, "-1,50 €"},
      {1041, 12345678912, "¥1,234,568"},
      {1041, -15000, "-¥2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lcid << " " << c.amount);
    NGlobals::setThreadLocale(c.lcid);
    CFakeFieldSource source;
    source.byName[u"Price"] = CY{c.amount};
    CCurrencyPropertyFormatter formatter(kKindCurrency);
    bool answer = false;
    EXPECT_EQ(utf8(run(formatter, u"NAME=Price|PROP_TYPE=ITEM", source, &answer)), c.html);
    EXPECT_TRUE(answer);
  }
}

TEST_F(CurrencyFormatterTest, ReadsByDispidNameOrMapiAndShowsNothingWithoutAValue) {
  struct Case {
    const char16_t* settings;
    std::function<void(CFakeFieldSource&)> setup;
    const char* html;
  };
  const Case cases[] = {
      {u"NAME=0x8001|PROP_TYPE=DISPID", [](auto& s) { s.byId[0x8001] = CY{20000}; }, "$2.00"},
      {u"NAME=0x8001|PROP_TYPE=DISPID", [](auto&) {}, ""},
      {u"NAME=0x80010006|PROP_TYPE=MAPI", [](auto& s) { s.mapi[0x80010006] = CY{30000}; }, "$3.00"},
      {u"NAME=0x80010006|PROP_TYPE=MAPI", [](auto& s) { s.mapi[0x80010006] = formattertest::MapiError{E_FAIL}; }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.settings));
    CFakeFieldSource source;
    c.setup(source);
    CCurrencyPropertyFormatter formatter(kKindCurrency);
    bool answer = false;
    EXPECT_EQ(utf8(run(formatter, c.settings, source, &answer)), c.html);
    EXPECT_EQ(answer, *c.html != '\0');
  }
}

}  // namespace
