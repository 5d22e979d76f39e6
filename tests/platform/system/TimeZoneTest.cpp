// The clock and the time-zone calls: UTC to local time by the zone's rule for the date itself.
#include "platform/system/TimeZone.h"

#include <gtest/gtest.h>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/system/Errors.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace {

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
  SYSTEMTIME st{};
  st.wYear = year;
  st.wMonth = month;
  st.wDay = day;
  st.wHour = hour;
  st.wMinute = minute;
  st.wSecond = second;
  return st;
}

std::string text(const SYSTEMTIME& st) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond);
  return buffer;
}

FILETIME fileTime(const SYSTEMTIME& st) {
  FILETIME ft{};
  EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
  return ft;
}

std::string toLocal(const SYSTEMTIME& utc, const TIME_ZONE_INFORMATION* zone = nullptr) {
  SYSTEMTIME local{};
  if (!SystemTimeToTzSpecificLocalTime(zone, &utc, &local)) return "failed";
  return text(local);
}

class TimeZoneTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    const char* tz = std::getenv("TZ");
    m_savedTz = tz ? std::optional<std::string>(tz) : std::nullopt;
  }
  void TearDown() override {
    if (m_savedTz) setenv("TZ", m_savedTz->c_str(), 1);
    else unsetenv("TZ");
    tzset();
    platform::system::setSystemTimeForTesting(nullptr);
  }
  static void useZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  static void setNow(const SYSTEMTIME& utc) {
    const FILETIME ft = fileTime(utc);
    platform::system::setSystemTimeForTesting(&ft);
  }
  std::optional<std::string> m_savedTz;
};

TEST_F(TimeZoneTest, ConvertsByTheRuleOfThatDate) {
  const struct {
    const char* zone;
    SYSTEMTIME utc;
    const char* local;
  } cases[] = {
      // Europe: last Sunday of March 01:00 UTC, last Sunday of October 01:00 UTC.
      {"Europe/Berlin", at(2024, 1, 15, 12), "2024-01-15 13:00:00"},
      {"Europe/Berlin", at(2024, 7, 15, 12), "2024-07-15 14:00:00"},
      {"Europe/Berlin", at(2024, 3, 31, 0, 59, 59), "2024-03-31 01:59:59"},
      {"Europe/Berlin", at(2024, 3, 31, 1, 0, 0), "2024-03-31 03:00:00"},
      {"Europe/Berlin", at(2024, 10, 27, 0, 59, 59), "2024-10-27 02:59:59"},
      {"Europe/Berlin", at(2024, 10, 27, 1, 0, 0), "2024-10-27 02:00:00"},
      {"Europe/Berlin", at(2024, 12, 31, 23, 30), "2025-01-01 00:30:00"},
      // United States since 2007: second Sunday of March, first Sunday of November, 02:00 local.
      {"America/New_York", at(2024, 3, 10, 6, 59, 59), "2024-03-10 01:59:59"},
      {"America/New_York", at(2024, 3, 10, 7, 0, 0), "2024-03-10 03:00:00"},
      {"America/New_York", at(2024, 11, 3, 5, 59, 59), "2024-11-03 01:59:59"},
      {"America/New_York", at(2024, 11, 3, 6, 0, 0), "2024-11-03 01:00:00"},
      {"America/New_York", at(2024, 1, 1, 3), "2023-12-31 22:00:00"},
      // Before 2007 daylight saving began on the first Sunday of April: 20 March 2006 was winter.
      {"America/New_York", at(2006, 3, 20, 12), "2006-03-20 07:00:00"},
      // Southern hemisphere: summer time from October to April.
      {"Australia/Sydney", at(2024, 1, 15, 0), "2024-01-15 11:00:00"},
      {"Australia/Sydney", at(2024, 7, 15, 0), "2024-07-15 10:00:00"},
      {"Australia/Sydney", at(2024, 4, 6, 15, 59, 59), "2024-04-07 02:59:59"},
      {"Australia/Sydney", at(2024, 4, 6, 16, 0, 0), "2024-04-07 02:00:00"},
      {"Australia/Sydney", at(2024, 10, 5, 15, 59, 59), "2024-10-06 01:59:59"},
      {"Australia/Sydney", at(2024, 10, 5, 16, 0, 0), "2024-10-06 03:00:00"},
      // After 2038.
      {"Europe/Berlin", at(2040, 7, 1, 12), "2040-07-01 14:00:00"},
      {"Europe/Berlin", at(2040, 12, 1, 12), "2040-12-01 13:00:00"},
      {"Europe/Berlin", at(2040, 3, 25, 1, 0, 0), "2040-03-25 03:00:00"},
      {"America/New_York", at(2040, 7, 1, 12), "2040-07-01 08:00:00"},
      {"Australia/Sydney", at(2040, 1, 1, 0), "2040-01-01 11:00:00"},
      {"UTC", at(2040, 1, 1, 0), "2040-01-01 00:00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + text(c.utc));
    useZone(c.zone);
    EXPECT_EQ(toLocal(c.utc), c.local);
  }
}

TEST_F(TimeZoneTest, LocalFileTimeUsesTodaysOffsetAsWindowsDoes) {
  useZone("Europe/Berlin");
  setNow(at(2024, 7, 1, 12));
  const FILETIME winter = fileTime(at(2024, 1, 15, 12));
  FILETIME local{};
  ASSERT_TRUE(FileTimeToLocalFileTime(&winter, &local));
  SYSTEMTIME st{};
  ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
  EXPECT_EQ(text(st), "2024-01-15 14:00:00");  // summer's offset on a winter date
  EXPECT_EQ(toLocal(at(2024, 1, 15, 12)), "2024-01-15 13:00:00");  // the date's own
  FILETIME back{};
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(back.dwLowDateTime, winter.dwLowDateTime);
  EXPECT_EQ(back.dwHighDateTime, winter.dwHighDateTime);
  EXPECT_FALSE(FileTimeToLocalFileTime(nullptr, &local));
}

TEST_F(TimeZoneTest, ZoneInformationDescribesTheRule) {
  const struct {
    const char* zone;
    SYSTEMTIME now;
    LONG bias;
    LONG daylightBias;
    WORD daylightMonth, daylightOccurrence, daylightHour;
    WORD standardMonth, standardOccurrence, standardHour;
    DWORD state;
    const char* standardName;
    const char* daylightName;
  } cases[] = {
      {"Europe/Berlin", at(2024, 7, 1), -60, -60, 3, 5, 2, 10, 5, 3, TIME_ZONE_ID_DAYLIGHT, "W. Europe Standard Time",
       "W. Europe Daylight Time"},
      {"Europe/Berlin", at(2024, 1, 1), -60, -60, 3, 5, 2, 10, 5, 3, TIME_ZONE_ID_STANDARD, "W. Europe Standard Time",
       "W. Europe Daylight Time"},
      {"America/New_York", at(2024, 7, 1), 300, -60, 3, 2, 2, 11, 1, 2, TIME_ZONE_ID_DAYLIGHT,
       "Eastern Standard Time", "Eastern Daylight Time"},
      {"Australia/Sydney", at(2024, 7, 1), -600, -60, 10, 1, 2, 4, 1, 3, TIME_ZONE_ID_STANDARD,
       "AUS Eastern Standard Time", "AUS Eastern Daylight Time"},
      {"Australia/Sydney", at(2045, 1, 1), -600, -60, 10, 1, 2, 4, 1, 3, TIME_ZONE_ID_DAYLIGHT,
       "AUS Eastern Standard Time", "AUS Eastern Daylight Time"},
      {"UTC", at(2024, 7, 1), 0, 0, 0, 0, 0, 0, 0, 0, TIME_ZONE_ID_UNKNOWN, "Coordinated Universal Time",
       "Coordinated Universal Time"},
      {"Asia/Tokyo", at(2024, 7, 1), -540, 0, 0, 0, 0, 0, 0, 0, TIME_ZONE_ID_UNKNOWN, "Tokyo Standard Time",
       "Tokyo Daylight Time"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + text(c.now));
    useZone(c.zone);
    setNow(c.now);
    TIME_ZONE_INFORMATION tzi{};
    EXPECT_EQ(GetTimeZoneInformation(&tzi), c.state);
    EXPECT_EQ(tzi.Bias, c.bias);
    EXPECT_EQ(tzi.StandardBias, 0);
    EXPECT_EQ(tzi.DaylightBias, c.daylightBias);
    EXPECT_EQ(tzi.DaylightDate.wMonth, c.daylightMonth);
    EXPECT_EQ(tzi.DaylightDate.wDay, c.daylightOccurrence);
    EXPECT_EQ(tzi.DaylightDate.wHour, c.daylightHour);
    EXPECT_EQ(tzi.StandardDate.wMonth, c.standardMonth);
    EXPECT_EQ(tzi.StandardDate.wDay, c.standardOccurrence);
    EXPECT_EQ(tzi.StandardDate.wHour, c.standardHour);
    if (c.daylightMonth) {
      EXPECT_EQ(tzi.DaylightDate.wDayOfWeek, 0);  // Sunday
      EXPECT_EQ(tzi.StandardDate.wDayOfWeek, 0);
    }
    EXPECT_EQ(platform::system::utf16ToUtf8(tzi.StandardName), c.standardName);
    EXPECT_EQ(platform::system::utf16ToUtf8(tzi.DaylightName), c.daylightName);
  }
  EXPECT_EQ(GetTimeZoneInformation(nullptr), TIME_ZONE_ID_INVALID);
}

TEST_F(TimeZoneTest, AGivenZoneRuleAppliesInAnyYear) {
  for (const char* zone : {"Europe/Berlin", "America/New_York", "Australia/Sydney"}) {
    SCOPED_TRACE(zone);
    useZone(zone);
    setNow(at(2024, 7, 1));
    TIME_ZONE_INFORMATION tzi{};
    ASSERT_NE(GetTimeZoneInformation(&tzi), TIME_ZONE_ID_INVALID);
    // The current rules hold from 2007 on in every one of these zones, so the structure's
    // weekday rule and the zone database agree every hour of these years, 2038 and later too.
    for (WORD year : {2024, 2039, 2051}) {
      for (unsigned hour = 0; hour < 366 * 24; hour += 7) {
        FILETIME ft = fileTime(at(year, 1, 1));
        const unsigned long long ticks =
            ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) + hour * 36000000000ULL;
        ft = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        SYSTEMTIME utc{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &utc));
        ASSERT_EQ(toLocal(utc, &tzi), toLocal(utc)) << text(utc);
      }
    }
  }
  TIME_ZONE_INFORMATION broken{};
  broken.DaylightDate.wMonth = 13;
  broken.StandardDate.wMonth = 10;
  EXPECT_EQ(toLocal(at(2024, 1, 1), &broken), "failed");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(TimeZoneTest, LocalToUniversalTime) {
  useZone("Europe/Berlin");
  auto toUtc = [](const SYSTEMTIME& local) {
    SYSTEMTIME utc{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc)) return std::string("failed");
    return text(utc);
  };
  EXPECT_EQ(toUtc(at(2024, 1, 15, 13)), "2024-01-15 12:00:00");
  EXPECT_EQ(toUtc(at(2024, 7, 15, 14)), "2024-07-15 12:00:00");
  EXPECT_EQ(toUtc(at(2024, 10, 27, 2, 30)), "2024-10-27 00:30:00");  // repeated hour: the first
  EXPECT_EQ(toUtc(at(2024, 3, 31, 2, 30)), "2024-03-31 01:30:00");  // skipped hour: as standard time
  EXPECT_EQ(toUtc(at(2040, 7, 1, 14)), "2040-07-01 12:00:00");
  SYSTEMTIME bad = at(2024, 2, 30);
  EXPECT_EQ(toUtc(bad), "failed");
}

TEST_F(TimeZoneTest, ClockReadsTheFixedTimeAndZone) {
  useZone("America/New_York");
  setNow(at(2024, 7, 4, 16, 30));
  SYSTEMTIME st{};
  GetSystemTime(&st);
  EXPECT_EQ(text(st), "2024-07-04 16:30:00");
  EXPECT_EQ(st.wDayOfWeek, 4);
  GetLocalTime(&st);
  EXPECT_EQ(text(st), "2024-07-04 12:30:00");
  platform::system::setSystemTimeForTesting(nullptr);
  FILETIME before{}, after{};
  GetSystemTimeAsFileTime(&before);
  GetSystemTime(&st);
  GetSystemTimeAsFileTime(&after);
  EXPECT_GE(st.wYear, 2024);
  EXPECT_LE(before.dwHighDateTime, after.dwHighDateTime);
}

}  // namespace
