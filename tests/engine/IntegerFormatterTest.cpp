#include "engine/formatters/IntegerFormatter.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/engine/FormatterTestSupport.h"

namespace {

using formattertest::CFakeFieldSource;
using formattertest::MapiError;
using formattertest::utf8;

class IntegerFormatterTest : public formattertest::FormatterTest {};

TEST_F(IntegerFormatterTest, ReadsInOrderAndAlwaysShowsANumber) {
  struct Case {
    const char* name;
    const char16_t* settings;
    std::function<void(CFakeFieldSource&)> setup;
    const char* html;
    std::vector<std::string> reads;
  };
  const Case cases[] = {
      {"by DISPID", u"NAME=Importance", [](auto& s) { s.byId[0x17] = LONG{2}; }, "2", {"long id 0x17"}},
      {"missing", u"NAME=Importance", [](auto&) {}, "0", {"long id 0x17"}},
      {"negative", u"NAME=0x17|PROP_TYPE=DISPID", [](auto& s) { s.byId[0x17] = LONG{-2147483647 - 1}; },
       "-2147483648", {"long id 0x17"}},
      {"a DISPID of 0 reads nothing", u"NAME=0|PROP_TYPE=DISPID", [](auto& s) { s.byId[0] = LONG{5}; }, "0", {}},
      {"by name", u"NAME=Mileage|PROP_TYPE=ITEM", [](auto& s) { s.byName[u"Mileage"] = LONG{7}; }, "7",
       {"long name Mileage"}},
      {"attachment count", u"NAME=AttachmentCount", [](auto& s) { s.attachmentCount = 2; }, "2", {"attachments"}},
      {"MAPI long", u"NAME=0x0E080003|PROP_TYPE=MAPI", [](auto& s) { s.mapi[0x0E080003] = LONG{51234}; }, "51234",
       {"mapi 0xe080003"}},
      {"MAPI short, sign-extended", u"NAME=0x00170002|PROP_TYPE=MAPI",
       [](auto& s) { s.mapi[0x00170002] = short{-5}; }, "-5", {"mapi 0x170002"}},
      {"MAPI error value", u"NAME=0x0E080003|PROP_TYPE=MAPI",
       [](auto& s) { s.mapi[0x0E080003] = MapiError{static_cast<HRESULT>(0x8004010F)}; }, "0", {"mapi 0xe080003"}},
      {"a kind without a tag has no MAPI step", u"NAME=0x3|PROP_TYPE=MAPI", [](auto&) {}, "0", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeFieldSource source;
    c.setup(source);
    CIntegerPropertyFormatter formatter(kKindInteger);
    bool answer = false;
    EXPECT_EQ(utf8(run(formatter, c.settings, source, &answer)), c.html);
    EXPECT_TRUE(answer);
    EXPECT_EQ(source.reads, c.reads);
  }
}

}  // namespace
