#include "foundation/QuilString.h"

#include <gtest/gtest.h>

#include "foundation/TextFormat.h"
#include "tests/support/TestEnvironment.h"

namespace {

using NUtils::FormatArg;

quilstring fmt(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  quilstring s;
  s.FormatV(format, args);
  va_end(args);
  return s;
}

class QuilStringTest : public testsupport::IsolatedTest {};

TEST_F(QuilStringTest, ConstructionFromNullGivesEmpty) {
  const quilstring* none = nullptr;
  const char16_t* noText = nullptr;
  EXPECT_TRUE(quilstring(none).empty());
  EXPECT_TRUE(quilstring(noText).empty());
  quilstring s(u"x");
  s = none;
  EXPECT_TRUE(s.empty());
  s = u"y";
  s = noText;
  EXPECT_TRUE(s.empty());
  quilstring self(u"keep");
  self = &self;
  EXPECT_EQ(self, u"keep");
}

TEST_F(QuilStringTest, DeletesThroughBasePointerOfItsOwnType) {
  quilstring* p = new quilstring(u"abc");
  delete p;  // the virtual destructor: ASan would see a mismatch otherwise
  static_assert(std::has_virtual_destructor_v<quilstring>);
}

TEST_F(QuilStringTest, FormatsMicrosoftWideConversions) {
  const char16_t* wide = u"wide";
  const char* narrow = "narrow";
  EXPECT_EQ(fmt(u"%s|%S", wide, narrow), u"wide|narrow");
  EXPECT_EQ(fmt(u"%ls|%hs|%ws", wide, narrow, wide), u"wide|narrow|wide");
  EXPECT_EQ(fmt(u"%d %i %u", -5, 7, 4000000000u), u"-5 7 4000000000");
  EXPECT_EQ(fmt(u"%x %X %08X %#x", 255u, 255u, 0xABCu, 16u), u"ff FF 00000ABC 0x10");
  EXPECT_EQ(fmt(u"%#lX", static_cast<LONG>(0x80070005)), u"0X80070005");
  EXPECT_EQ(fmt(u"%ld %lu %lx", static_cast<LONG>(-1), static_cast<ULONG>(3), static_cast<ULONG>(0xdead)), u"-1 3 dead");
  EXPECT_EQ(fmt(u"%lld %I64u", -9000000000LL, 18000000000ULL), u"-9000000000 18000000000");
  EXPECT_EQ(fmt(u"%c%c", u'Z', 0x263A), u"Z\u263A");
  EXPECT_EQ(fmt(u"%f %.2f %.1f", 1.5, 2.345, 7.0), u"1.500000 2.35 7.0");
  EXPECT_EQ(fmt(u"100%%"), u"100%");
  EXPECT_EQ(fmt(u"[%5s][%-5s][%.2s]", u"ab", u"ab", u"abcdef"), u"[   ab][ab   ][ab]");
  EXPECT_EQ(fmt(u"[%*d][%-*d]", 4, 7, 4, 7), u"[   7][7   ]");
  EXPECT_EQ(fmt(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  EXPECT_EQ(fmt(u"non-ASCII %s", u"Stra\u00dfe \u65e5\u672c"), u"non-ASCII Stra\u00dfe \u65e5\u672c");
  EXPECT_EQ(fmt(u"%S", "Caf\xc3\xa9"), u"Caf\u00e9");
}

TEST_F(QuilStringTest, LeavesUnknownAndUnfinishedConversionsAsWritten) {
  EXPECT_EQ(fmt(u"a %y b"), u"a %y b");
  EXPECT_EQ(fmt(u"tail %"), u"tail ");
  EXPECT_EQ(fmt(u"tail %-0"), u"tail %-0");
  int count = 0;
  EXPECT_EQ(fmt(u"%n", &count), u"%n");  // never writes through a pointer
  EXPECT_EQ(count, 0);
}

TEST_F(QuilStringTest, FormatsTextsOfAnyLength) {
  for (std::size_t n : {255u, 256u, 257u, 511u, 512u, 513u, 10000u}) {
    SCOPED_TRACE(n);
    const std::u16string arg(n, u'q');
    const quilstring out = fmt(u"%s", arg.c_str());
    EXPECT_EQ(out.size(), n);
    EXPECT_EQ(out, arg);
    const quilstring framed = fmt(u"<%s>", arg.c_str());
    EXPECT_EQ(framed.size(), n + 2);
    EXPECT_EQ(framed.back(), u'>');
  }
}

TEST_F(QuilStringTest, FormatVCanRunTwiceOverOneArgumentList) {
  // A consumed va_list must not be reused: the second pass has to see the same arguments.
  auto twice = [](const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    quilstring a, b;
    a.FormatV(format, args);
    va_end(args);
    va_start(args, format);
    b.FormatV(format, args);
    va_end(args);
    return a + u"|" + b;
  };
  const std::u16string big(600, u'z');
  EXPECT_EQ(twice(u"%d-%s", 42, big.c_str()), u"42-" + big + u"|42-" + big);
}

TEST_F(QuilStringTest, NullFormatAnswersFalseAndKeepsText) {
  quilstring s(u"keep");
  EXPECT_FALSE(s.Format(nullptr));
  EXPECT_EQ(s, u"keep");
}

TEST_F(QuilStringTest, TypedCoreToleratesMismatchedAndMissingArguments) {
  const FormatArg args[] = {std::int64_t{5}, static_cast<const char16_t*>(u"txt")};
  EXPECT_EQ(NUtils::formatArgs(u"%s %d %s %f", args), u" 0  0.000000");
  EXPECT_EQ(NUtils::formatArgs(u"%d %s", args), u"5 txt");
  EXPECT_EQ(NUtils::formatArgs(u"%d %s %d %s", args), u"5 txt 0 ");
  EXPECT_EQ(NUtils::formatArgs(u"%s", args), u"");  // an integer is never read as a pointer
  EXPECT_EQ(NUtils::formatArgs(u"%99999999999d|", args).size(), 65537u);  // widths are bounded
}

TEST_F(QuilStringTest, LoadsTextsAroundTheBufferSizesWhole) {
  for (UINT id : {253u, 254u, 255u, 256u, 510u, 600u, 1000u}) {
    SCOPED_TRACE(id);
    quilstring s;
    ASSERT_TRUE(s.LoadString(testsupport::testModule(), id));
    EXPECT_EQ(s.size(), id);
    EXPECT_EQ(s.back(), static_cast<char16_t>(u'a' + (id - 1) % 26));
  }
}

TEST_F(QuilStringTest, MissingIdAnswersFalseAndLeavesStringUnchanged) {
  quilstring s(u"before");
  EXPECT_FALSE(s.LoadString(testsupport::testModule(), 4242));
  EXPECT_EQ(s, u"before");
  EXPECT_FALSE(s.FormatResource(testsupport::testModule(), 4242, 1));
  EXPECT_EQ(s, u"before");
  EXPECT_FALSE(s.LoadString(nullptr, 1));
  EXPECT_EQ(s, u"before");
}

TEST_F(QuilStringTest, FormatResourceUsesTheTextAsFormat) {
  quilstring s;
  ASSERT_TRUE(s.FormatResource(testsupport::testModule(), 2, u"one", 3));
  EXPECT_EQ(s, u"Value one of 3, \"quoted\" and \"doubled\"");
  ASSERT_TRUE(s.LoadString(testsupport::testModule(), 3));
  EXPECT_EQ(s, u"Caf\u00e9 \u65e5\u672c");
}

}  // namespace
