#include "platform/com/Guid.h"

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

class GuidTest : public testsupport::IsolatedTest {};

TEST_F(GuidTest, FormatsUpperCaseWithBracesAndParsesBack) {
  EXPECT_EQ(platform::com::formatGuid(IID_IDispatch), u"{00020400-0000-0000-C000-000000000046}");
  GUID parsed{};
  ASSERT_TRUE(platform::com::parseGuid(u"{b196b284-bab4-101a-b69c-00aa00341d07}", parsed));
  EXPECT_TRUE(IsEqualGUID(parsed, IID_IConnectionPointContainer));
  ASSERT_TRUE(platform::com::parseGuid(u"00000001-0000-0000-C000-000000000046", parsed));
  EXPECT_EQ(parsed, IID_IClassFactory);
}

TEST_F(GuidTest, RefusesMalformedTextsAndLeavesTheOutputAlone) {
  const char16_t* bad[] = {
      u"",
      u"{00020400-0000-0000-C000-000000000046",    // no closing brace
      u"(00020400-0000-0000-C000-000000000046)",   // wrong brackets
      u"{00020400-0000-0000-C000-00000000004G}",   // not hexadecimal
      u"{00020400-0000-0000-C0000-00000000046}",   // dash misplaced
      u"{00020400-0000-0000-C000-0000000000466}",  // too long
      u"{00020400-0000-0000-C000-00000000004\u0966}",  // a non-ASCII digit
  };
  for (const char16_t* text : bad) {
    SCOPED_TRACE(::testing::PrintToString(std::u16string(text)));
    GUID out = IID_IUnknown;
    EXPECT_FALSE(platform::com::parseGuid(text, out));
    EXPECT_EQ(out, IID_IUnknown);
  }
}

TEST_F(GuidTest, OleTextCallsCheckBuffersAndBraces) {
  char16_t buffer[39];
  EXPECT_EQ(StringFromGUID2(IID_IUnknown, buffer, 38), 0);
  EXPECT_EQ(StringFromGUID2(IID_IUnknown, buffer, 39), 39);
  EXPECT_EQ(std::u16string(buffer), u"{00000000-0000-0000-C000-000000000046}");

  CLSID clsid{};
  EXPECT_EQ(CLSIDFromString(buffer, &clsid), S_OK);
  EXPECT_EQ(clsid, IID_IUnknown);
  EXPECT_EQ(CLSIDFromString(u"00000000-0000-0000-C000-000000000046", &clsid), CO_E_CLASSSTRING);
  IID iid{};
  EXPECT_EQ(IIDFromString(u"{nonsense}", &iid), E_INVALIDARG);
}

TEST_F(GuidTest, LiteralsAreCompileTimeConstants) {
  constexpr GUID g = platform::com::guid("{00063078-0000-0000-C000-000000000046}");
  static_assert(g.Data1 == 0x00063078 && g.Data4[0] == 0xC0 && g.Data4[7] == 0x46);
  static_assert(!IsEqualGUID(g, IID_IUnknown));
  EXPECT_FALSE(IsEqualGUID(GUID_NULL, IID_IUnknown));
}

}  // namespace
