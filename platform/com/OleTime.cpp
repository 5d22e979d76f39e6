#include "platform/com/OleTime.h"

#include <cmath>
#include <cstdint>

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back (Howard Hinnant's algorithms).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

bool isLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

bool validFields(const SYSTEMTIME& st, unsigned minYear, unsigned maxYear) {
  return st.wYear >= minYear && st.wYear <= maxYear && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 &&
         st.wDay <= daysInMonth(st.wYear, st.wMonth) && st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 &&
         st.wMilliseconds < 1000;
}

// 1899-12-30, day 0 of OLE dates, and 1601-01-01, the origin of FILETIME, in days since 1970.
const std::int64_t kOleEpoch = daysFromCivil(1899, 12, 30);
const std::int64_t kFileTimeEpoch = daysFromCivil(1601, 1, 1);
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kSecondsPerDay = 86400;

void fillFromDays(std::int64_t days1970, std::int64_t secondOfDay, unsigned ms, SYSTEMTIME& st) {
  std::int64_t y;
  unsigned m, d;
  civilFromDays(days1970, y, m, d);
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  // 1970-01-01 was a Thursday (4).
  st.wDayOfWeek = static_cast<WORD>(((days1970 % 7) + 7 + 4) % 7);
  st.wHour = static_cast<WORD>(secondOfDay / 3600);
  st.wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
  st.wSecond = static_cast<WORD>(secondOfDay % 60);
  st.wMilliseconds = static_cast<WORD>(ms);
}

}  // namespace

INT VariantTimeToSystemTime(DATE vtime, LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime || !std::isfinite(vtime) || vtime <= kMinOleDate - 1.0 || vtime >= kMaxOleDate + 1.0 / 86400)
    return FALSE;
  // Before day 0 the whole part counts days back, while the fraction still runs forward in the day.
  const double whole = std::trunc(vtime);
  std::int64_t day = static_cast<std::int64_t>(whole);
  std::int64_t seconds = std::llround(std::fabs(vtime - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++day;
  }
  if (day > static_cast<std::int64_t>(kMaxOleDate)) return FALSE;
  fillFromDays(kOleEpoch + day, seconds, 0, *lpSystemTime);
  return TRUE;
}

INT SystemTimeToVariantTime(const SYSTEMTIME* lpSystemTime, DATE* pvtime) {
  if (!lpSystemTime || !pvtime) return FALSE;
  SYSTEMTIME st = *lpSystemTime;
  st.wMilliseconds = 0;
  if (!validFields(st, 100, 9999)) return FALSE;
  const double day = static_cast<double>(daysFromCivil(st.wYear, st.wMonth, st.wDay) - kOleEpoch);
  const double fraction = (st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond) / kSecondsPerDay;
  *pvtime = day < 0 ? day - fraction : day + fraction;
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime) return FALSE;
  const std::uint64_t ticks = (static_cast<std::uint64_t>(lpFileTime->dwHighDateTime) << 32) | lpFileTime->dwLowDateTime;
  if (ticks >= (std::uint64_t{1} << 63)) return FALSE;
  const std::int64_t totalSeconds = static_cast<std::int64_t>(ticks / kTicksPerSecond);
  const unsigned ms = static_cast<unsigned>(ticks % kTicksPerSecond / 10000);
  fillFromDays(kFileTimeEpoch + totalSeconds / kSecondsPerDay, totalSeconds % kSecondsPerDay, ms, *lpSystemTime);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
  if (!lpSystemTime || !lpFileTime) return FALSE;
  const SYSTEMTIME& st = *lpSystemTime;
  if (!validFields(st, 1601, 30827)) return FALSE;
  const std::int64_t days = daysFromCivil(st.wYear, st.wMonth, st.wDay) - kFileTimeEpoch;
  const std::int64_t seconds = days * kSecondsPerDay + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
  const std::uint64_t ticks = static_cast<std::uint64_t>(seconds) * kTicksPerSecond +
                              static_cast<std::uint64_t>(st.wMilliseconds) * 10000;
  lpFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
  lpFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return TRUE;
}
