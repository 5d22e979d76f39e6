#include "engine/FieldText.h"

#include <gtest/gtest.h>

#include "foundation/Utils.h"
#include "tests/support/TestEnvironment.h"

namespace {

class FieldTextTest : public testsupport::IsolatedTest {};

// FORMAT_STRING is template text, not a printf format: nothing in it may read a second argument.
TEST_F(FieldTextTest, FormatStringTakesTheValueAtItsFirstPlaceholderOnly) {
  const struct {
    const char16_t* format;
    const char16_t* value;
    const char16_t* expected;
  } cases[] = {
      {u"[%s]", u"v", u"[v]"},
      {u" [ %s ] ", u"v", u" [ v ] "},
      {u"%s and %s", u"v", u"v and %s"},
      {u"%d: %s", u"v", u"%d: v"},
      {u"%n%x%p%s", u"v", u"%n%x%pv"},
      {u"50%", u"v", u"50%"},
      {u"%", u"v", u"%"},
      {u"50%% of %s", u"v", u"50% of v"},
      {u"%%s", u"v", u"%s"},
      {u"%%%s", u"v", u"%v"},
      {u"%S %ls %s", u"v", u"%S %ls v"},
      {u"no placeholder", u"v", u"no placeholder"},
      {u"<b>%s</b>", u"a &#38; b", u"<b>a &#38; b</b>"},
      {u"%s", u"%s%%%d", u"%s%%%d"},
      {u"%s", u"", u""},
      {u"", u"v", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(quilstring(c.format).toUtf8());
    EXPECT_EQ(NFieldText::applyFormatString(c.format, c.value), quilstring(c.expected));
  }
}

TEST_F(FieldTextTest, EscapingUsesNumericReferences) {
  const struct {
    const char16_t* text;
    const char16_t* expected;
  } cases[] = {
      {u"", u""},
      {u"plain text", u"plain text"},
      {u"<img src=x onerror=alert(1)>", u"&#60;img src=x onerror=alert(1)&#62;"},
      {u"Tom & \"Jerry\" 'n' co", u"Tom &#38; &#34;Jerry&#34; 'n' co"},
      {u"&amp;", u"&#38;amp;"},
      {u"Stra\u00dfe \u65e5\U0001F600", u"Stra\u00dfe \u65e5\U0001F600"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(quilstring(c.text).toUtf8());
    EXPECT_EQ(NFieldText::escapeHTML(c.text), quilstring(c.expected));
  }
}

// UPPER_CASE and LOWER_CASE run after escaping; the references must come through unchanged.
TEST_F(FieldTextTest, EscapedTextSurvivesCaseConversion) {
  const quilstring escaped = NFieldText::escapeHTML(u"a<b & \"c\">");
  quilstring upper = escaped;
  NUtils::toUpper(upper);
  EXPECT_EQ(upper, NFieldText::escapeHTML(u"A<B & \"C\">"));
  quilstring lower = upper;
  NUtils::toLower(lower);
  EXPECT_EQ(lower, escaped);
}

}  // namespace
