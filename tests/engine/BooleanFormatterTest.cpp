#include "engine/formatters/BooleanFormatter.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/engine/FormatterTestSupport.h"

namespace {

using formattertest::CFakeFieldSource;
using formattertest::utf8;

class BooleanFormatterTest : public formattertest::FormatterTest {};

TEST_F(BooleanFormatterTest, ShowsTheTranslationOfOneOrZero) {
  struct Case {
    const char16_t* settings;
    std::function<void(CFakeFieldSource&)> setup;
    const char* html;
    bool answer;
  };
  const Case cases[] = {
      {u"NAME=ReadReceiptRequested", [](auto& s) { s.byId[0x29] = true; }, "True", true},
      {u"NAME=ReadReceiptRequested", [](auto& s) { s.byId[0x29] = false; }, "False", true},
      {u"NAME=ReadReceiptRequested|POSSIBLE_VALUES=0:No/1:Yes", [](auto& s) { s.byId[0x29] = true; }, "Yes", true},
      {u"NAME=ReadReceiptRequested|POSSIBLE_VALUES=0:No", [](auto& s) { s.byId[0x29] = true; }, "1", true},
      {u"NAME=ReadReceiptRequested", [](auto&) {}, "", false},
      {u"NAME=Flag|PROP_TYPE=ITEM|UPPER_CASE", [](auto& s) { s.byName[u"Flag"] = true; }, "TRUE", true},
      {u"NAME=0x0C1B000B|PROP_TYPE=MAPI", [](auto& s) { s.mapi[0x0C1B000B] = true; }, "True", true},
      {u"NAME=0x0C1B000B|PROP_TYPE=MAPI", [](auto& s) { s.mapi[0x0C1B000B] = formattertest::MapiError{E_FAIL}; }, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.settings));
    CFakeFieldSource source;
    c.setup(source);
    CBooleanPropertyFormatter formatter(kKindBoolean);
    bool answer = !c.answer;
    EXPECT_EQ(utf8(run(formatter, c.settings, source, &answer)), c.html);
    EXPECT_EQ(answer, c.answer);
  }
}

TEST_F(BooleanFormatterTest, InstallsTheDefaultPairsOnlyWhenNoneAreGiven) {
  CFakeFieldSource source;
  source.byId[0x29] = true;
  CBooleanPropertyFormatter formatter(kKindBoolean);
  CElementSettings s = settings(u"NAME=ReadReceiptRequested");
  EXPECT_TRUE(formatter.formatFrom(s, source, element()));
  EXPECT_EQ(s.possibleValues(), (std::map<quilstring, quilstring>{{u"0", u"False"}, {u"1", u"True"}}));
  EXPECT_TRUE(logged("Debug Using default possible values for boolean property"));

  CElementSettings given = settings(u"NAME=ReadReceiptRequested|POSSIBLE_VALUES=1:Ja");
  EXPECT_TRUE(formatter.formatFrom(given, source, element()));
  EXPECT_EQ(given.possibleValues().size(), 1u);
}

}  // namespace
