#include "platform/com/OleTime.h"

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

namespace {

class OleTimeTest : public testsupport::IsolatedTest {};

SYSTEMTIME at(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
  return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

struct DateCase {
  DATE date;
  SYSTEMTIME time;
  WORD dayOfWeek;
};

TEST_F(OleTimeTest, DatesRoundTripAtTheEdges) {
  const DateCase cases[] = {
      {0.0, at(1899, 12, 30), 6},
      {-1.25, at(1899, 12, 29, 6), 5},
      {45293.5, at(2024, 1, 2, 12), 2},
      {949998.0, at(4501, 1, 1), 6},           // Outlook's "no date"
      {-657434.0, at(100, 1, 1), 5},           // first OLE day
      {2958465.0 + 86399.0 / 86400, at(9999, 12, 31, 23, 59, 59), 5},  // last OLE second
      {60.0, at(1900, 2, 28), 3},
      {61.0, at(1900, 3, 1), 4},               // no 29 February 1900
  };
  for (const DateCase& c : cases) {
    SCOPED_TRACE(c.date);
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(c.date, &st));
    EXPECT_EQ(st.wYear, c.time.wYear);
    EXPECT_EQ(st.wMonth, c.time.wMonth);
    EXPECT_EQ(st.wDay, c.time.wDay);
    EXPECT_EQ(st.wHour, c.time.wHour);
    EXPECT_EQ(st.wMinute, c.time.wMinute);
    EXPECT_EQ(st.wSecond, c.time.wSecond);
    EXPECT_EQ(st.wDayOfWeek, c.dayOfWeek);
    DATE back = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &back));
    EXPECT_NEAR(back, c.date, 1e-9);
  }
}

TEST_F(OleTimeTest, NegativeDatesKeepTheTimeRunningForward) {
  SYSTEMTIME st{};
  // -0.5 is noon of day 0, as +0.5 is: the whole part counts days, the fraction's size the time.
  ASSERT_TRUE(VariantTimeToSystemTime(-0.5, &st));
  EXPECT_EQ(st.wDay, 30);
  EXPECT_EQ(st.wHour, 12);
  // 23:59:59.9 on 29 December 1899 rounds into day 0.
  ASSERT_TRUE(VariantTimeToSystemTime(-1.0 - 86399.9 / 86400, &st));
  EXPECT_EQ(st.wDay, 30);
  EXPECT_EQ(st.wHour, 0);
  EXPECT_EQ(st.wSecond, 0);
}

TEST_F(OleTimeTest, RoundsToTheNearestSecondAcrossMidnight) {
  SYSTEMTIME st{};
  ASSERT_TRUE(VariantTimeToSystemTime(45293.0 + 86399.6 / 86400, &st));
  EXPECT_EQ(st.wDay, 3);
  EXPECT_EQ(st.wHour, 0);
  EXPECT_EQ(st.wMilliseconds, 0);
  ASSERT_TRUE(VariantTimeToSystemTime(45293.0 + 0.4 / 86400, &st));
  EXPECT_EQ(st.wDay, 2);
  EXPECT_EQ(st.wSecond, 0);
}

TEST_F(OleTimeTest, RefusesDatesOutsideTheRange) {
  SYSTEMTIME st = at(2000, 1, 1);
  EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &st));
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &st));
  EXPECT_FALSE(VariantTimeToSystemTime(2958465.0 + 86399.9 / 86400, &st));  // rounds past 9999
  EXPECT_FALSE(VariantTimeToSystemTime(std::numeric_limits<double>::quiet_NaN(), &st));
  EXPECT_EQ(st.wYear, 2000);

  DATE d = 7;
  const SYSTEMTIME invalid[] = {at(2023, 2, 29), at(2024, 13, 1), at(2024, 4, 31), at(99, 1, 1),
                                at(10000, 1, 1), at(2024, 1, 1, 24), at(2024, 1, 1, 0, 60), at(2024, 1, 0)};
  for (const SYSTEMTIME& s : invalid) {
    SCOPED_TRACE(::testing::Message() << s.wYear << "-" << s.wMonth << "-" << s.wDay << " " << s.wHour << ":" << s.wMinute);
    EXPECT_FALSE(SystemTimeToVariantTime(&s, &d));
  }
  EXPECT_EQ(d, 7);
  // Milliseconds do not count.
  const SYSTEMTIME withMs = at(2024, 1, 2, 12, 0, 0, 999);
  ASSERT_TRUE(SystemTimeToVariantTime(&withMs, &d));
  EXPECT_EQ(d, 45293.5);
}

TEST_F(OleTimeTest, FileTimesKeepMillisecondsAndTheirRange) {
  const SYSTEMTIME st = at(2024, 1, 2, 10, 15, 2, 123);
  FILETIME ft{};
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  EXPECT_EQ(ticks, 133486641021230000ull);
  SYSTEMTIME back{};
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(back.wMilliseconds, 123);
  EXPECT_EQ(back.wSecond, 2);
  EXPECT_EQ(back.wDayOfWeek, 2);

  const SYSTEMTIME origin = at(1601, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&origin, &ft));
  EXPECT_EQ(ft.dwLowDateTime, 0u);
  EXPECT_EQ(ft.dwHighDateTime, 0u);

  const SYSTEMTIME tooEarly = at(1600, 12, 31);
  const SYSTEMTIME tooLate = at(30828, 1, 1);
  EXPECT_FALSE(SystemTimeToFileTime(&tooEarly, &ft));
  EXPECT_FALSE(SystemTimeToFileTime(&tooLate, &ft));
  const FILETIME highBit{0, 0x80000000u};
  EXPECT_FALSE(FileTimeToSystemTime(&highBit, &back));
}

TEST_F(OleTimeTest, AnItemDateBecomesAFileTimeUnchanged) {
  // The road of an item's date: DATE -> SYSTEMTIME -> FILETIME, no zone applied.
  SYSTEMTIME st{};
  FILETIME ft{};
  ASSERT_TRUE(VariantTimeToSystemTime(949998.0, &st));
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  SYSTEMTIME back{};
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(back.wYear, 4501);
  EXPECT_EQ(back.wHour, 0);
}

}  // namespace
