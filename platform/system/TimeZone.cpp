#include "platform/system/TimeZone.h"

#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/system/Errors.h"
#include "platform/system/Text.h"

namespace platform::system {
namespace {

constexpr long long kTicksPerSecond = 10000000;
constexpr long long kUnixEpochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
constexpr long long kSecondsPerDay = 86400;
constexpr unsigned long long kMaxTicks = 1ULL << 63;

std::mutex g_clockMutex;
std::optional<unsigned long long> g_fixedNow;

long long daysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool isLeap(long long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(long long y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// 1970-01-01 was a Thursday.
unsigned weekdayOf(long long days1970) { return static_cast<unsigned>(((days1970 % 7) + 7 + 4) % 7); }

unsigned long long nowTicks() {
  {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    if (g_fixedNow) return *g_fixedNow;
  }
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<unsigned long long>(ts.tv_sec + kUnixEpochSeconds) * kTicksPerSecond +
         static_cast<unsigned long long>(ts.tv_nsec / 100);
}

unsigned long long ticksOf(const FILETIME& ft) {
  return (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME fileTimeOf(unsigned long long ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

long long unixSecondsOf(unsigned long long ticks) {
  return static_cast<long long>(ticks / kTicksPerSecond) - kUnixEpochSeconds;
}

// Adds whole seconds to a FILETIME; false when the result leaves FILETIME's range.
bool shifted(unsigned long long ticks, long long seconds, unsigned long long& out) {
  const long long delta = seconds * kTicksPerSecond;
  if (delta < 0 && ticks < static_cast<unsigned long long>(-delta)) return false;
  out = ticks + static_cast<unsigned long long>(delta);
  return out < kMaxTicks;
}

// The zone database's name of the process's zone ("Europe/Berlin"), or empty.
std::string olsonName() {
  std::string tz;
  if (const char* value = std::getenv("TZ")) {
    tz = value;
    if (!tz.empty() && tz[0] == ':') tz.erase(0, 1);
  } else {
    char target[512] = {};
    const ssize_t n = readlink("/etc/localtime", target, sizeof target - 1);
    if (n > 0) tz.assign(target, static_cast<std::size_t>(n));
  }
  if (const std::size_t at = tz.find("zoneinfo/"); at != std::string::npos) tz.erase(0, at + 9);
  return tz;
}

void copyName(const std::u16string& name, WCHAR (&out)[32]) {
  std::fill(std::begin(out), std::end(out), u'\0');
  std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 31), out);
}

void fillNames(TIME_ZONE_INFORMATION& tzi) {
  const std::string olson = olsonName();
  std::u16string standard;
  std::u16string daylight;
  if (!olson.empty()) {
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString windowsId;
    icu::TimeZone::getWindowsID(icu::UnicodeString::fromUTF8(olson), windowsId, status);
    if (U_SUCCESS(status) && windowsId.length() > 0) {
      standard.assign(reinterpret_cast<const char16_t*>(windowsId.getBuffer()), static_cast<std::size_t>(windowsId.length()));
      if (standard == u"UTC") standard = u"Coordinated Universal Time";
      daylight = standard;
      if (const std::size_t at = daylight.find(u"Standard"); at != std::u16string::npos) daylight.replace(at, 8, u"Daylight");
    }
  }
  if (standard.empty()) {
    tzset();
    standard = utf8ToUtf16(tzname[0] ? tzname[0] : "");
    daylight = utf8ToUtf16(tzname[1] ? tzname[1] : "");
  }
  copyName(standard, tzi.StandardName);
  copyName(daylight, tzi.DaylightName);
}

struct Transition {
  long long utc;
  long long before;
  long long after;
};

// The zone's changes of offset during a calendar year: a daily scan, then the exact second.
std::vector<Transition> transitionsIn(long long year) {
  std::vector<Transition> found;
  const long long start = daysFromCivil(year, 1, 1) * kSecondsPerDay;
  const long long end = daysFromCivil(year + 1, 1, 1) * kSecondsPerDay;
  long long previous = localOffsetSeconds(start);
  for (long long t = start + kSecondsPerDay; t <= end; t += kSecondsPerDay) {
    const long long offset = localOffsetSeconds(t);
    if (offset == previous) continue;
    long long lo = t - kSecondsPerDay;  // offset 'previous' here
    long long hi = t;  // the new offset here
    while (hi - lo > 1) {
      const long long mid = lo + (hi - lo) / 2;
      (localOffsetSeconds(mid) == previous ? lo : hi) = mid;
    }
    found.push_back({hi, previous, offset});
    previous = offset;
  }
  return found;
}

// A transition as Windows states it: the wall clock just before it, as "the n-th weekday".
SYSTEMTIME ruleOf(const Transition& t) {
  const long long wall = t.utc + t.before;
  const long long days = wall >= 0 ? wall / kSecondsPerDay : (wall - kSecondsPerDay + 1) / kSecondsPerDay;
  const long long secondOfDay = wall - days * kSecondsPerDay;
  SYSTEMTIME date{};
  FILETIME ft = fileTimeOf(static_cast<unsigned long long>((days * kSecondsPerDay + kUnixEpochSeconds) * kTicksPerSecond));
  SYSTEMTIME civil{};
  FileTimeToSystemTime(&ft, &civil);
  date.wMonth = civil.wMonth;
  date.wDayOfWeek = static_cast<WORD>(weekdayOf(days));
  const unsigned occurrence = (civil.wDay - 1u) / 7u + 1u;
  date.wDay = static_cast<WORD>(civil.wDay + 7u > daysInMonth(civil.wYear, civil.wMonth) ? 5u : occurrence);
  date.wHour = static_cast<WORD>(secondOfDay / 3600);
  date.wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
  date.wSecond = static_cast<WORD>(secondOfDay % 60);
  return date;
}

bool validRule(const SYSTEMTIME& rule) {
  if (rule.wMonth == 0) return true;
  if (rule.wMonth > 12 || rule.wHour > 23 || rule.wMinute > 59 || rule.wSecond > 59) return false;
  return rule.wYear != 0 ? rule.wDay >= 1 && rule.wDay <= 31 : rule.wDay >= 1 && rule.wDay <= 5 && rule.wDayOfWeek <= 6;
}

// The wall-clock moment of a rule in a year, in seconds since 1970; nullopt when the rule does
// not occur that year (an absolute date of another year).
std::optional<long long> ruleMoment(const SYSTEMTIME& rule, long long year) {
  unsigned day;
  if (rule.wYear != 0) {
    if (rule.wYear != year) return std::nullopt;
    day = std::min<unsigned>(rule.wDay, daysInMonth(year, rule.wMonth));
  } else {
    const unsigned first = weekdayOf(daysFromCivil(year, rule.wMonth, 1));
    day = 1 + (rule.wDayOfWeek + 7 - first) % 7 + 7 * (rule.wDay - 1u);
    while (day > daysInMonth(year, rule.wMonth)) day -= 7;
  }
  return daysFromCivil(year, rule.wMonth, day) * kSecondsPerDay + rule.wHour * 3600 + rule.wMinute * 60 + rule.wSecond;
}

long long civilYearOf(long long unixSeconds) {
  const long long days = unixSeconds >= 0 ? unixSeconds / kSecondsPerDay : (unixSeconds - kSecondsPerDay + 1) / kSecondsPerDay;
  const unsigned long long ticks = static_cast<unsigned long long>((days * kSecondsPerDay + kUnixEpochSeconds)) * kTicksPerSecond;
  FILETIME ft = fileTimeOf(ticks);
  SYSTEMTIME st{};
  FileTimeToSystemTime(&ft, &st);
  return st.wYear;
}

// Whether the zone's rule puts a UTC instant in daylight saving.
bool inDaylight(const TIME_ZONE_INFORMATION& tzi, long long utc) {
  if (tzi.DaylightDate.wMonth == 0 || tzi.StandardDate.wMonth == 0) return false;
  const long long standardOffset = -(static_cast<long long>(tzi.Bias) + tzi.StandardBias) * 60;
  const long long daylightOffset = -(static_cast<long long>(tzi.Bias) + tzi.DaylightBias) * 60;
  const long long year = civilYearOf(utc + standardOffset);
  const auto start = ruleMoment(tzi.DaylightDate, year);
  const auto end = ruleMoment(tzi.StandardDate, year);
  if (!start || !end) return false;
  // The daylight date is stated in standard time, the standard date in daylight time.
  const long long startUtc = *start - standardOffset;
  const long long endUtc = *end - daylightOffset;
  if (startUtc < endUtc) return startUtc <= utc && utc < endUtc;
  if (startUtc > endUtc) return !(endUtc <= utc && utc < startUtc);
  return false;
}

long long offsetByRule(const TIME_ZONE_INFORMATION& tzi, long long utc) {
  const LONG bias = tzi.Bias + (inDaylight(tzi, utc) ? tzi.DaylightBias : tzi.StandardBias);
  return -static_cast<long long>(bias) * 60;
}

bool ticksOfSystemTime(const SYSTEMTIME* st, unsigned long long& ticks) {
  FILETIME ft;
  if (!st || !SystemTimeToFileTime(st, &ft)) return false;
  ticks = ticksOf(ft);
  return true;
}

bool systemTimeOfTicks(unsigned long long ticks, SYSTEMTIME* st) {
  const FILETIME ft = fileTimeOf(ticks);
  return FileTimeToSystemTime(&ft, st) != FALSE;
}

BOOL fail() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // namespace

void setSystemTimeForTesting(const FILETIME* now) {
  std::lock_guard<std::mutex> lock(g_clockMutex);
  if (now) g_fixedNow = ticksOf(*now);
  else g_fixedNow.reset();
}

long long localOffsetSeconds(long long utcSeconds) {
  // tzset picks up a TZ changed since the last call; localtime_r alone need not.
  tzset();
  const time_t t = static_cast<time_t>(utcSeconds);
  tm local{};
  if (!localtime_r(&t, &local)) return 0;
  return local.tm_gmtoff;
}

}  // namespace platform::system

using namespace platform::system;

void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  if (lpSystemTimeAsFileTime) *lpSystemTimeAsFileTime = fileTimeOf(nowTicks());
}

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  if (lpSystemTime) systemTimeOfTicks(nowTicks(), lpSystemTime);
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  const unsigned long long now = nowTicks();
  unsigned long long local = now;
  shifted(now, localOffsetSeconds(unixSecondsOf(now)), local);
  systemTimeOfTicks(local, lpSystemTime);
}

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation) {
  if (!lpTimeZoneInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  TIME_ZONE_INFORMATION tzi{};
  fillNames(tzi);
  const long long now = unixSecondsOf(nowTicks());
  const long long nowOffset = localOffsetSeconds(now);
  const std::vector<Transition> transitions = transitionsIn(civilYearOf(now + nowOffset));
  const auto toDaylight = std::find_if(transitions.begin(), transitions.end(), [](const Transition& t) { return t.after > t.before; });
  const auto toStandard = std::find_if(transitions.begin(), transitions.end(), [](const Transition& t) { return t.after < t.before; });
  if (toDaylight == transitions.end() || toStandard == transitions.end()) {
    tzi.Bias = static_cast<LONG>(-nowOffset / 60);
    *lpTimeZoneInformation = tzi;
    return TIME_ZONE_ID_UNKNOWN;
  }
  const long long standardOffset = std::min(toDaylight->before, toStandard->after);
  const long long daylightOffset = std::max(toDaylight->after, toStandard->before);
  tzi.Bias = static_cast<LONG>(-standardOffset / 60);
  tzi.StandardBias = 0;
  tzi.DaylightBias = static_cast<LONG>(-(daylightOffset - standardOffset) / 60);
  tzi.DaylightDate = ruleOf(*toDaylight);
  tzi.StandardDate = ruleOf(*toStandard);
  *lpTimeZoneInformation = tzi;
  return nowOffset == daylightOffset ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpUniversalTime, LPSYSTEMTIME lpLocalTime) {
  unsigned long long ticks;
  if (!lpLocalTime || !ticksOfSystemTime(lpUniversalTime, ticks)) return fail();
  if (lpTimeZoneInformation &&
      (!validRule(lpTimeZoneInformation->StandardDate) || !validRule(lpTimeZoneInformation->DaylightDate)))
    return fail();
  const long long utc = unixSecondsOf(ticks);
  const long long offset = lpTimeZoneInformation ? offsetByRule(*lpTimeZoneInformation, utc) : localOffsetSeconds(utc);
  unsigned long long local;
  if (!shifted(ticks, offset, local) || !systemTimeOfTicks(local, lpLocalTime)) return fail();
  return TRUE;
}

BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpLocalTime, LPSYSTEMTIME lpUniversalTime) {
  unsigned long long ticks;
  if (!lpUniversalTime || !ticksOfSystemTime(lpLocalTime, ticks)) return fail();
  const TIME_ZONE_INFORMATION* tzi = lpTimeZoneInformation;
  if (tzi && (!validRule(tzi->StandardDate) || !validRule(tzi->DaylightDate))) return fail();
  const long long local = unixSecondsOf(ticks);
  auto offsetAt = [&](long long utc) { return tzi ? offsetByRule(*tzi, utc) : localOffsetSeconds(utc); };
  // The offsets in force a day either side; the one that maps back onto this wall clock wins,
  // the larger (earlier instant) when both do, the smaller when neither does (a skipped hour).
  const long long before = offsetAt(local - kSecondsPerDay);
  const long long after = offsetAt(local + kSecondsPerDay);
  const bool beforeFits = offsetAt(local - before) == before;
  const bool afterFits = offsetAt(local - after) == after;
  long long offset;
  if (beforeFits && afterFits) offset = std::max(before, after);
  else if (beforeFits) offset = before;
  else if (afterFits) offset = after;
  else offset = std::min(before, after);
  unsigned long long utc;
  if (!shifted(ticks, -offset, utc) || !systemTimeOfTicks(utc, lpUniversalTime)) return fail();
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  if (!lpFileTime || !lpLocalFileTime) return fail();
  unsigned long long local;
  if (!shifted(ticksOf(*lpFileTime), localOffsetSeconds(unixSecondsOf(nowTicks())), local)) return fail();
  *lpLocalFileTime = fileTimeOf(local);
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
  if (!lpLocalFileTime || !lpFileTime) return fail();
  unsigned long long utc;
  if (!shifted(ticksOf(*lpLocalFileTime), -localOffsetSeconds(unixSecondsOf(nowTicks())), utc)) return fail();
  *lpFileTime = fileTimeOf(utc);
  return TRUE;
}
