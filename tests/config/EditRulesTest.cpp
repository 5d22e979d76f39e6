// The typing rules the configuration dialogs share: numbers, page ranges, margins, classes, paths.
#include "config/EditRules.h"

#include <gtest/gtest.h>

namespace {

using namespace NConfig;

TEST(EditRulesTest, PageRangesAreOneNumberOrAnAscendingPairWithinSignedRange) {
  struct Case {
    const char16_t* text;
    bool valid;
    DWORD from;
    DWORD to;
  };
  const Case cases[] = {
      {u"12", true, 12, 12},       {u"5-12", true, 5, 12},  {u"5-5", true, 5, 5},   {u"0004", true, 4, 4},
      {u"2147483647", true, 2147483647, 2147483647},        {u"5-", false, 0, 0},   {u"-5", false, 0, 0},
      {u"5-1-2", false, 0, 0},     {u"5a", false, 0, 0},    {u"", false, 0, 0},     {u"7-2", false, 0, 0},
      {u"99999999999", false, 0, 0}, {u"2147483648", false, 0, 0}, {u" 5", false, 0, 0}, {u"-", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(quilstring(c.text).toUtf8());
    const auto range = parsePageRange(c.text);
    ASSERT_EQ(range.has_value(), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(range->from, c.from);
    EXPECT_EQ(range->to, c.to);
  }
  EXPECT_EQ(formatPageRange(0, 0), u"1");
  EXPECT_EQ(formatPageRange(2, 7), u"2-7");
  EXPECT_EQ(formatPageRange(7, 2), u"7");
  EXPECT_EQ(formatPageRange(0x80000000u, 3), u"1-3");
}

TEST(EditRulesTest, EveryMarginUpToTwentyInchesShowsAndReadsBackToItselfInBothUnits) {
  for (bool inches : {true, false}) {
    for (DWORD v = 0; v <= 2000; ++v) {
      const quilstring shown = formatMargin(v, inches);
      const auto back = parseMargin(shown, inches);
      ASSERT_TRUE(back.has_value()) << shown.toUtf8();
      ASSERT_EQ(*back, v) << (inches ? "inches " : "millimetres ") << shown.toUtf8();
    }
  }
  EXPECT_EQ(formatMargin(60, true), u"0.60");
  EXPECT_EQ(formatMargin(60, false), u"15.24");
  EXPECT_EQ(parseMargin(u"1.5.2", true), std::optional<DWORD>(150));
  EXPECT_EQ(parseMargin(u"0", false), std::optional<DWORD>(0));
  EXPECT_EQ(parseMargin(u"21474836.47", true), std::optional<DWORD>(2147483647));
  for (const char16_t* refused : {u".", u"", u"1,5", u"-1", u"1e3", u"21474836.48", u"99999999999"}) {
    EXPECT_FALSE(parseMargin(refused, true).has_value()) << quilstring(refused).toUtf8();
  }
}

TEST(EditRulesTest, NumbersClassesAndPathParts) {
  EXPECT_EQ(parseBoundedNumber(u"0004"), std::optional<DWORD>(4));
  EXPECT_EQ(parseBoundedNumber(u"429496729", 429496729), std::optional<DWORD>(429496729));
  EXPECT_FALSE(parseBoundedNumber(u"429496730", 429496729).has_value());
  EXPECT_FALSE(parseBoundedNumber(u"4 ").has_value());
  EXPECT_FALSE(parseBoundedNumber(u"").has_value());

  EXPECT_TRUE(isValidMessageClass(u"IPM.Note.Custom Form"));
  EXPECT_TRUE(isValidMessageClass(quilstring(255, u'a')));
  EXPECT_FALSE(isValidMessageClass(quilstring(256, u'a')));
  EXPECT_FALSE(isValidMessageClass(u"IPM\\Note"));
  EXPECT_FALSE(isValidMessageClass(u"  "));
  EXPECT_FALSE(isValidMessageClass(u""));

  EXPECT_EQ(fileNameOf(u"/srv/templates/Memo.htm"), u"Memo.htm");
  EXPECT_EQ(baseNameOf(u"C:\\Templates\\Letter.v2.htm"), u"Letter.v2");
  EXPECT_EQ(baseNameOf(u"/srv/templates/"), u"");
  EXPECT_EQ(folderOf(u"/srv/templates/Memo.htm"), u"/srv/templates/");
}

}  // namespace
