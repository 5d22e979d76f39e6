#pragma once
// kernel32's clock and time-zone calls. The zone is the process's (TZ, else /etc/localtime), read
// again at each call, and its rules are the zone database's for the instant converted: daylight
// saving as it was or will be on that date, in either hemisphere, and beyond 2038.

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/OleTime.h"

struct TIME_ZONE_INFORMATION {
  LONG Bias;  // minutes, UTC = local time + Bias
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;  // wYear 0: day wDay (1-5, 5 = last) of weekday wDayOfWeek in wMonth
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;  // wMonth 0: the zone has no daylight saving
  LONG DaylightBias;
};
using LPTIME_ZONE_INFORMATION = TIME_ZONE_INFORMATION*;

constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;
constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;
constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFF;

QM_PLATFORM_API void GetSystemTime(LPSYSTEMTIME lpSystemTime);
QM_PLATFORM_API void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
// Now in local time, by the zone's rule for now.
QM_PLATFORM_API void GetLocalTime(LPSYSTEMTIME lpSystemTime);

// The zone's rule for the current year: the biases, and the transitions as weekday rules taken
// from that year's changes. Answers whether daylight saving holds now (TIME_ZONE_ID_DAYLIGHT),
// not (TIME_ZONE_ID_STANDARD), or the zone has none (TIME_ZONE_ID_UNKNOWN); TIME_ZONE_ID_INVALID
// for a null pointer (last error ERROR_INVALID_PARAMETER).
QM_PLATFORM_API DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation);

// UTC to local time. A null zone uses the process's zone with its rule for that instant; a given
// zone applies its own weekday rule in the year of the time (any year). FALSE (last error
// ERROR_INVALID_PARAMETER) for a field out of range.
QM_PLATFORM_API BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                                     const SYSTEMTIME* lpUniversalTime, LPSYSTEMTIME lpLocalTime);
// Local time to UTC, the inverse; a local time that occurs twice (the hour repeated when daylight
// saving ends) is taken as the first, one that does not occur (skipped) as standard time.
QM_PLATFORM_API BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                                     const SYSTEMTIME* lpLocalTime, LPSYSTEMTIME lpUniversalTime);

// As on Windows these shift by the zone's offset NOW, whatever the date converted: a winter date
// converted in summer is off by the daylight bias. SystemTimeToTzSpecificLocalTime(nullptr, ...)
// applies the rule of the date itself.
QM_PLATFORM_API BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
QM_PLATFORM_API BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);

namespace platform::system {

// Fixes the clock the calls above read (a UTC FILETIME); nullptr gives the real clock back.
QM_PLATFORM_API void setSystemTimeForTesting(const FILETIME* now);

// The zone's offset from UTC, in seconds, at a UTC instant given in seconds since 1970.
QM_PLATFORM_API long long localOffsetSeconds(long long utcSeconds);

}  // namespace platform::system
