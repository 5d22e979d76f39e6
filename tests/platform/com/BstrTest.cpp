#include "platform/com/Bstr.h"

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

class BstrTest : public testsupport::IsolatedTest {};

TEST_F(BstrTest, LengthCountsUnitsAndKeepsEmbeddedNuls) {
  const char16_t text[] = u"a\0b\0";
  BSTR b = SysAllocStringLen(text, 4);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 4u);
  EXPECT_EQ(SysStringByteLen(b), 8u);
  EXPECT_EQ(std::u16string(b, 4), std::u16string(text, 4));
  EXPECT_EQ(b[4], u'\0');  // terminated after its length
  SysFreeString(b);

  // SysAllocString stops at the first NUL.
  b = SysAllocString(text);
  EXPECT_EQ(SysStringLen(b), 1u);
  SysFreeString(b);
}

TEST_F(BstrTest, NullIsTheEmptyText) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR zeros = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(zeros, nullptr);
  EXPECT_EQ(SysStringLen(zeros), 3u);
  EXPECT_EQ(zeros[0], 0);
  EXPECT_EQ(zeros[2], 0);
  SysFreeString(zeros);
  EXPECT_TRUE(CComBSTR() == CComBSTR(u""));
  EXPECT_TRUE(CComBSTR() == static_cast<LPCOLESTR>(nullptr));
}

TEST_F(BstrTest, ByteLengthKeepsOddSizes) {
  BSTR b = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(b), 3u);
  EXPECT_EQ(SysStringLen(b), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b), 3), "abc");
  SysFreeString(b);
}

TEST_F(BstrTest, ReallocationMayReadItsOwnText) {
  BSTR b = SysAllocString(u"abcdef");
  ASSERT_TRUE(SysReAllocStringLen(&b, b + 2, 3));
  EXPECT_EQ(std::u16string(b, SysStringLen(b)), u"cde");
  ASSERT_TRUE(SysReAllocString(&b, nullptr));
  EXPECT_EQ(SysStringLen(b), 0u);
  SysFreeString(b);
}

TEST_F(BstrTest, OwnerCopiesMovesAndAppendsWholeTexts) {
  CComBSTR a(3, u"x\0y");
  CComBSTR copy(a);
  EXPECT_NE(copy.m_str, a.m_str);
  EXPECT_EQ(copy.Length(), 3u);
  EXPECT_TRUE(copy == a);

  CComBSTR moved(std::move(copy));
  EXPECT_EQ(copy.m_str, nullptr);
  EXPECT_EQ(moved.view(), std::u16string_view(u"x\0y", 3));

  ASSERT_EQ(moved.Append(a), S_OK);
  EXPECT_EQ(moved.view(), std::u16string_view(u"x\0yx\0y", 6));
  moved = moved;  // self-assignment keeps the text
  EXPECT_EQ(moved.Length(), 6u);

  BSTR detached = moved.Detach();
  EXPECT_EQ(moved.m_str, nullptr);
  CComBSTR adopted;
  adopted.Attach(detached);
  EXPECT_EQ(adopted.Length(), 6u);
}

TEST_F(BstrTest, ReceiveFillsAnEmptyOwner) {
  CComBSTR out;
  *out.Receive() = SysAllocString(u"filled");
  EXPECT_EQ(out.str(), u"filled");
}

TEST_F(BstrTest, ReceiveOnAHeldTextStops) {
#ifdef NDEBUG
  GTEST_SKIP() << "checked in debug builds only";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CComBSTR held(u"held");
  EXPECT_DEATH(held.Receive(), "not empty");
#endif
}

}  // namespace
