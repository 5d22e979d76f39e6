#include "engine/formatters/FloatFormatter.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/engine/FormatterTestSupport.h"

namespace {

using formattertest::CFakeFieldSource;
using formattertest::utf8;

class FloatFormatterTest : public formattertest::FormatterTest {};

TEST_F(FloatFormatterTest, TwoDecimalsWithAPointWhateverTheLocale) {
  struct Case {
    const char16_t* settings;
    std::function<void(CFakeFieldSource&)> setup;
    const char* html;
  };
  const Case cases[] = {
      {u"NAME=0x8534|PROP_TYPE=DISPID", [](auto& s) { s.byId[0x8534] = 1.5f; }, "1.50"},
      {u"NAME=0x8534|PROP_TYPE=DISPID", [](auto& s) { s.byId[0x8534] = -0.126f; }, "-0.13"},
      {u"NAME=0x8534|PROP_TYPE=DISPID", [](auto&) {}, "0.00"},
      {u"NAME=Ratio|PROP_TYPE=ITEM", [](auto& s) { s.byName[u"Ratio"] = 1e10f; }, "10000000000.00"},
      {u"NAME=Ratio|PROP_TYPE=ITEM|FORMAT_STRING=%s km", [](auto& s) { s.byName[u"Ratio"] = 2.0f; }, "2.00 km"},
  };
  NGlobals::setThreadLocale(1031);
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.settings));
    CFakeFieldSource source;
    c.setup(source);
    CFloatPropertyFormatter formatter(kKindFloat);
    bool answer = false;
    EXPECT_EQ(utf8(run(formatter, c.settings, source, &answer)), c.html);
    EXPECT_TRUE(answer);
    // No MAPI step for floats.
    for (const auto& read : source.reads) EXPECT_EQ(read.find("mapi"), std::string::npos);
  }
}

}  // namespace
