#include "platform/com/Variant.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>

#include "tests/platform/com/TestObjects.h"
#include "tests/support/TestEnvironment.h"

namespace {

class VariantTest : public testsupport::IsolatedTest {};

CComVariant str(const char16_t* text) { return CComVariant(text); }
CComVariant i4(LONG v) { return CComVariant(v); }
CComVariant r8(double v) { return CComVariant(v); }
CComVariant date(double v) { return CComVariant(v, VT_DATE); }
CComVariant cy(LONGLONG v) { return CComVariant(CY{v}); }
CComVariant boolean(bool v) { return CComVariant(v); }
CComVariant null() {
  CComVariant v;
  v.vt = VT_NULL;
  return v;
}
CComVariant error(SCODE code) { return CComVariant(code, VT_ERROR); }

std::string describe(const VARIANT& v) {
  CComVariant text;
  if (v.vt == VT_BSTR) return "BSTR \"" + ::testing::PrintToString(std::u16string(v.bstrVal, SysStringLen(v.bstrVal))) + "\"";
  if (SUCCEEDED(VariantChangeType(&text, &v, VARIANT_ALPHABOOL, VT_BSTR)))
    return "vt " + std::to_string(v.vt) + " " + ::testing::PrintToString(std::u16string(text.bstrVal, SysStringLen(text.bstrVal)));
  return "vt " + std::to_string(v.vt);
}

struct ChangeCase {
  const char* label;
  CComVariant source;
  VARTYPE target;
  HRESULT hr;
  CComVariant expected;  // compared when hr is S_OK
  USHORT flags = 0;
};

TEST_F(VariantTest, ChangeTypeFollowsOleRules) {
  const ChangeCase cases[] = {
      {"whole number to text", i4(-123), VT_BSTR, S_OK, str(u"-123")},
      {"half rounds to even (down)", r8(2.5), VT_I4, S_OK, i4(2)},
      {"half rounds to even (up)", r8(3.5), VT_I4, S_OK, i4(4)},
      {"negative half rounds to even", r8(-2.5), VT_I4, S_OK, i4(-2)},
      {"double with 15 digits", r8(1.0 / 3), VT_BSTR, S_OK, str(u"0.333333333333333")},
      {"double simple", r8(0.1), VT_BSTR, S_OK, str(u"0.1")},
      {"double large uses exponent", r8(1e20), VT_BSTR, S_OK, str(u"1E+20")},
      {"float with 7 digits", CComVariant(0.1f), VT_BSTR, S_OK, str(u"0.1")},
      {"text with blanks", str(u"  42 "), VT_I4, S_OK, i4(42)},
      {"text with thousands", str(u"1,234.5"), VT_R8, S_OK, r8(1234.5)},
      {"text with exponent", str(u"1.5e3"), VT_I4, S_OK, i4(1500)},
      {"text in hexadecimal", str(u"&H1F"), VT_I4, S_OK, i4(31)},
      {"text negative", str(u"-7"), VT_I2, S_OK, CComVariant(SHORT{-7})},
      {"text not a number", str(u"abc"), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"text empty", str(u""), VT_R8, DISP_E_TYPEMISMATCH, {}},
      {"text with comma decimal is US thousands", str(u"1,5"), VT_I4, S_OK, i4(15)},
      {"text too large", str(u"3000000000"), VT_I4, DISP_E_OVERFLOW, {}},
      {"text huge exponent", str(u"1e999"), VT_R8, DISP_E_OVERFLOW, {}},
      {"text huge through small mantissa", str(u"0.001e400"), VT_R8, DISP_E_OVERFLOW, {}},
      {"text tiny reads as zero", str(u"1e-999"), VT_R8, S_OK, r8(0.0)},
      {"text largest unsigned 64", str(u"18446744073709551615"), VT_UI8, S_OK,
       CComVariant(std::numeric_limits<ULONGLONG>::max())},
      {"I4 to UI1 overflow", i4(300), VT_UI1, DISP_E_OVERFLOW, {}},
      {"negative to UI4 overflow", i4(-1), VT_UI4, DISP_E_OVERFLOW, {}},
      {"I4 to I2 overflow", i4(40000), VT_I2, DISP_E_OVERFLOW, {}},
      {"UI1 to I1 overflow", CComVariant(BYTE{255}), VT_I1, DISP_E_OVERFLOW, {}},
      {"rounding past I4 overflows", r8(2147483647.5), VT_I4, DISP_E_OVERFLOW, {}},
      {"double past float overflows", r8(1e300), VT_R4, DISP_E_OVERFLOW, {}},
      {"UI8 past I8 overflows", CComVariant(std::numeric_limits<ULONGLONG>::max()), VT_I8, DISP_E_OVERFLOW, {}},
      {"I8 negative to UI8 overflows", CComVariant(LONGLONG{-1}), VT_UI8, DISP_E_OVERFLOW, {}},
      {"true is -1", boolean(true), VT_I4, S_OK, i4(-1)},
      {"true as unsigned byte", boolean(true), VT_UI1, S_OK, CComVariant(BYTE{255})},
      {"true to text", boolean(true), VT_BSTR, S_OK, str(u"-1")},
      {"false to text", boolean(false), VT_BSTR, S_OK, str(u"0")},
      {"true to text, alphabetic", boolean(true), VT_BSTR, S_OK, str(u"True"), VARIANT_ALPHABOOL},
      {"text true", str(u"true"), VT_BOOL, S_OK, boolean(true)},
      {"text False", str(u" False "), VT_BOOL, S_OK, boolean(false)},
      {"text zero", str(u"0"), VT_BOOL, S_OK, boolean(false)},
      {"text two", str(u"2"), VT_BOOL, S_OK, boolean(true)},
      {"text yes", str(u"yes"), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
      {"number to bool", i4(7), VT_BOOL, S_OK, boolean(true)},
      {"empty to number", CComVariant(), VT_I4, S_OK, i4(0)},
      {"empty to text", CComVariant(), VT_BSTR, S_OK, str(u"")},
      {"null to number", null(), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"null to text", null(), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
      {"error to number", error(E_FAIL), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {"currency to text", cy(12345), VT_BSTR, S_OK, str(u"1.2345")},
      {"currency trims zeros", cy(15000), VT_BSTR, S_OK, str(u"1.5")},
      {"currency whole", cy(-1000000), VT_BSTR, S_OK, str(u"-100")},
      {"currency half to even", cy(25000), VT_I4, S_OK, i4(2)},
      {"currency half to even up", cy(35000), VT_I4, S_OK, i4(4)},
      {"double to currency rounds", r8(1.23456), VT_CY, S_OK, cy(12346)},
      {"whole number to currency", i4(5), VT_CY, S_OK, cy(50000)},
      {"huge double to currency", r8(1e19), VT_CY, DISP_E_OVERFLOW, {}},
      {"date only", date(45293.0), VT_BSTR, S_OK, str(u"1/2/2024")},
      {"date and time", date(45293.5), VT_BSTR, S_OK, str(u"1/2/2024 12:00:00 PM")},
      {"day zero is a time", date(0.0), VT_BSTR, S_OK, str(u"12:00:00 AM")},
      {"evening", date(0.75), VT_BSTR, S_OK, str(u"6:00:00 PM")},
      {"before day zero", date(-1.0), VT_BSTR, S_OK, str(u"12/29/1899")},
      {"text M/d/yyyy", str(u"1/2/2024"), VT_DATE, S_OK, date(45293.0)},
      {"text ISO with time", str(u"2024-01-02 12:00"), VT_DATE, S_OK, date(45293.5)},
      {"text month name and PM", str(u"January 2, 2024 6:00 PM"), VT_DATE, S_OK, date(45293.75)},
      {"text day month year", str(u"2 Jan 2024"), VT_DATE, S_OK, date(45293.0)},
      {"text two-digit year", str(u"1/2/24"), VT_DATE, S_OK, date(45293.0)},
      {"text time only", str(u"6:00:00 PM"), VT_DATE, S_OK, date(0.75)},
      {"text invalid day", str(u"2/30/2024"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
      {"text not a date", str(u"soon"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
      {"text bare number is not a date", str(u"45293"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
      {"number past the date range", r8(3e6), VT_DATE, DISP_E_OVERFLOW, {}},
      {"date to double", date(45293.5), VT_R8, S_OK, r8(45293.5)},
      {"number to error", i4(5), VT_ERROR, DISP_E_TYPEMISMATCH, {}},
      {"reference target", i4(5), static_cast<VARTYPE>(VT_BYREF | VT_I4), DISP_E_BADVARTYPE, {}},
      {"unknown target", i4(5), static_cast<VARTYPE>(0xFFF), DISP_E_BADVARTYPE, {}},
  };
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.label);
    CComVariant out;
    const HRESULT hr = VariantChangeType(&out, &c.source, c.flags, c.target);
    EXPECT_EQ(hr, c.hr) << std::hex << hr;
    if (c.hr == S_OK) {
      EXPECT_TRUE(out == c.expected) << describe(out) << " expected " << describe(c.expected);
    } else {
      EXPECT_EQ(out.vt, VT_EMPTY);
    }
  }
}

TEST_F(VariantTest, FailureLeavesTheDestinationAndInPlaceWorks) {
  CComVariant dest(u"kept");
  const CComVariant src(u"abc");
  EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(dest == CComVariant(u"kept"));

  CComVariant inPlace(u"12");
  ASSERT_EQ(inPlace.ChangeType(VT_I4), S_OK);
  EXPECT_EQ(inPlace.vt, VT_I4);
  EXPECT_EQ(inPlace.lVal, 12);
  EXPECT_EQ(inPlace.ChangeType(VT_UI1, &src), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(inPlace.lVal, 12);
}

TEST_F(VariantTest, ReferencesAreReadThrough) {
  LONG value = 77;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &value;
  CComVariant out;
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
  EXPECT_TRUE(out == CComVariant(u"77"));

  CComVariant inner(u"3");
  VARIANT refToVariant;
  VariantInit(&refToVariant);
  refToVariant.vt = VT_BYREF | VT_VARIANT;
  refToVariant.pvarVal = &inner;
  CComVariant copied;
  ASSERT_EQ(VariantCopyInd(&copied, &refToVariant), S_OK);
  EXPECT_NE(copied.bstrVal, inner.bstrVal);  // a copy of its own
  EXPECT_TRUE(copied == inner);
  EXPECT_EQ(VariantClear(&refToVariant), S_OK);  // a reference owns nothing
}

TEST_F(VariantTest, ObjectsConvertThroughTheirValueProperty) {
  auto object = CComObject<comtest::CValueObject>::Make(CComVariant(LONG{41}));
  ASSERT_TRUE(object);
  const CComVariant holder(static_cast<IDispatch*>(object.p));
  CComVariant out;
  ASSERT_EQ(VariantChangeType(&out, &holder, 0, VT_BSTR), S_OK);
  EXPECT_TRUE(out == CComVariant(u"41"));
  EXPECT_EQ(VariantChangeType(&out, &holder, VARIANT_NOVALUEPROP, VT_BSTR), DISP_E_TYPEMISMATCH);

  auto noValue = CComObject<comtest::CValueObject>::Make();
  const CComVariant bare(static_cast<IDispatch*>(noValue.p));
  EXPECT_EQ(VariantChangeType(&out, &bare, 0, VT_I4), DISP_E_TYPEMISMATCH);

  CComVariant unknown;
  ASSERT_EQ(VariantChangeType(&unknown, &holder, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(unknown.vt, VT_UNKNOWN);
  EXPECT_EQ(unknown.punkVal, object->GetUnknown());
}

TEST_F(VariantTest, CopiesOwnTheirContent) {
  auto object = CComObject<comtest::CTwoFaces>::Make();
  const int live = comtest::g_liveObjects;
  {
    CComVariant a(static_cast<IUnknown*>(static_cast<comtest::ITestFirst*>(object.p)));
    CComVariant b(a);
    CComVariant c;
    c = b;
    EXPECT_EQ(object->refCount(), 4);
    CComVariant moved(std::move(c));
    EXPECT_EQ(c.vt, VT_EMPTY);
    EXPECT_EQ(object->refCount(), 4);
  }
  EXPECT_EQ(object->refCount(), 1);
  object.Release();
  EXPECT_EQ(comtest::g_liveObjects, live - 1);

  CComVariant text(u"abc");
  CComVariant other(text);
  EXPECT_NE(other.bstrVal, text.bstrVal);
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x7FF;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantCopy(&other, &bad), DISP_E_BADVARTYPE);
  EXPECT_TRUE(other == text);
}

TEST_F(VariantTest, MissingMarksAnOptionalArgument) {
  EXPECT_EQ(vtMissing.vt, VT_ERROR);
  EXPECT_EQ(vtMissing.scode, DISP_E_PARAMNOTFOUND);
}

TEST_F(VariantTest, ReceiveOnAHeldValueStops) {
#ifdef NDEBUG
  GTEST_SKIP() << "checked in debug builds only";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CComVariant held(LONG{1});
  EXPECT_DEATH(held.Receive(), "not empty");
#endif
}

}  // namespace
