#pragma once
// OLE dates (DATE: days since 1899-12-30, the time of day as the fraction's magnitude), SYSTEMTIME
// and FILETIME (100 ns units since 1601-01-01), and the calls that convert between them. No time
// zone is applied anywhere: the values keep whatever clock they were taken from.

#include "platform/Export.h"
#include "platform/WinTypes.h"

using DATE = double;

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;


// The DATE range OLE accepts: 0100-01-01 to 9999-12-31 23:59:59.
constexpr DATE kMinOleDate = -657434.0;
constexpr DATE kMaxOleDate = 2958465.99998843;

// Rounds to the nearest second (wMilliseconds is 0) and fills wDayOfWeek; FALSE outside the range.
QM_PLATFORM_API INT VariantTimeToSystemTime(DATE vtime, LPSYSTEMTIME lpSystemTime);
// Milliseconds are ignored. FALSE for a field out of range (month 1-12, day within the month,
// hour < 24, minute and second < 60) or a year outside 100-9999; wDayOfWeek is not read.
QM_PLATFORM_API INT SystemTimeToVariantTime(const SYSTEMTIME* lpSystemTime, DATE* pvtime);

// FALSE for a FILETIME at or above 2^63 (100 ns units).
QM_PLATFORM_API BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
// FALSE for a field out of range or a year outside 1601-30827; wDayOfWeek is not read.
QM_PLATFORM_API BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
