#include <gtest/gtest.h>

#include "foundation/Utils.h"
#include "tests/support/TestEnvironment.h"

namespace {

class UtilsTextTest : public testsupport::IsolatedTest {};

std::vector<quilstring> tokens(const std::u16string& text, const std::u16string& delimiters) {
  std::vector<quilstring> out;
  NUtils::tokenize(text, delimiters, out);
  return out;
}

TEST_F(UtilsTextTest, TokenizeDropsEmptyTokensAndKeepsBlanks) {
  EXPECT_EQ(tokens(u";a;;b;", u";"), (std::vector<quilstring>{u"a", u"b"}));
  EXPECT_TRUE(tokens(u";;", u";").empty());
  EXPECT_TRUE(tokens(u"", u";").empty());
  EXPECT_EQ(tokens(u" a ; b", u";"), (std::vector<quilstring>{u" a ", u" b"}));
  EXPECT_EQ(tokens(u"x\\y/z,w;v:u", NUtils::separators()).size(), 6u);
  std::vector<quilstring> appended{u"keep"};
  NUtils::tokenize(u"n", u";", appended);
  EXPECT_EQ(appended.size(), 2u);
}

TEST_F(UtilsTextTest, HexToLongKeepsTheBitPattern) {
  EXPECT_EQ(NUtils::hexToLong(u"0x3A"), 58);
  EXPECT_EQ(NUtils::hexToLong(u"3a"), 58);
  EXPECT_EQ(NUtils::hexToLong(u"  0x1Fzz"), 31);
  EXPECT_EQ(static_cast<std::uint32_t>(NUtils::hexToLong(u"0x8005001F")), 0x8005001Fu);
  EXPECT_EQ(static_cast<std::uint32_t>(NUtils::hexToLong(u"FFFFFFFF")), 0xFFFFFFFFu);
  EXPECT_EQ(NUtils::hexToLong(u"xyz"), 0);
  EXPECT_EQ(NUtils::hexToLong(u""), 0);
  EXPECT_EQ(NUtils::hexToLong(u"0x"), 0);
  // A sign is read as a stream reads it; too many digits give all bits set.
  EXPECT_EQ(NUtils::hexToLong(u"-1A"), -26);
  EXPECT_EQ(NUtils::hexToLong(u" -0x1a"), -26);
  EXPECT_EQ(NUtils::hexToLong(u"+10"), 16);
  EXPECT_EQ(NUtils::hexToLong(u"- 1"), 0);
  EXPECT_EQ(NUtils::hexToLong(u"123456789"), -1);
  EXPECT_EQ(NUtils::hexToLong(u"-123456789"), -1);
}

TEST_F(UtilsTextTest, ToLongReadsLikeWtol) {
  EXPECT_EQ(NUtils::toLong(u"  -42abc"), -42);
  EXPECT_EQ(NUtils::toLong(u"+7"), 7);
  EXPECT_EQ(NUtils::toLong(u"abc"), 0);
  // Past the range the value stops at its limit.
  EXPECT_EQ(NUtils::toLong(u"2147483647"), INT32_MAX);
  EXPECT_EQ(NUtils::toLong(u"2147483648"), INT32_MAX);
  EXPECT_EQ(NUtils::toLong(u"99999999999999999999"), INT32_MAX);
  EXPECT_EQ(NUtils::toLong(u"-2147483648"), INT32_MIN);
  EXPECT_EQ(NUtils::toLong(u"-4294967297"), INT32_MIN);
}

TEST_F(UtilsTextTest, CaseHelpersCoverNonAscii) {
  EXPECT_TRUE(NUtils::equalsNoCase(std::u16string(u"\u00c9t\u00c9"), std::u16string(u"\u00e9T\u00e9")));
  EXPECT_FALSE(NUtils::equalsNoCase(std::u16string(u"abc"), std::u16string(u"abcd")));
  EXPECT_TRUE(NUtils::equalsNoCase(std::string("IPM.Note"), std::string("ipm.note")));
  std::u16string s = u"Stra\u00dfe \u00c4";
  NUtils::toUpper(s);
  EXPECT_EQ(s, u"STRA\u00dfE \u00c4");  // one unit at a time: the length never changes
  NUtils::toLower(s);
  EXPECT_EQ(s, u"stra\u00dfe \u00e4");
}

TEST_F(UtilsTextTest, Utf8ConversionsRefuseEmptyAndInvalidInput) {
  quilstring out(u"unchanged");
  EXPECT_FALSE(NUtils::MultiByteToWide("", out));
  EXPECT_FALSE(NUtils::MultiByteToWide("bad \xff byte", out));
  EXPECT_EQ(out, u"unchanged");
  ASSERT_TRUE(NUtils::MultiByteToWide("Caf\xc3\xa9 \xf0\x9f\x98\x80", out));
  EXPECT_EQ(out, u"Caf\u00e9 \U0001F600");
  std::string bytes;
  ASSERT_TRUE(NUtils::WideToMultiByte(out, bytes));
  EXPECT_EQ(bytes, "Caf\xc3\xa9 \xf0\x9f\x98\x80");
  EXPECT_FALSE(NUtils::WideToMultiByte(std::u16string(1, u'\xD800'), bytes));
}

}  // namespace
