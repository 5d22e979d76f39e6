#pragma once
// kernel32's locale formatting: dates and times from Windows pictures, numbers and currency
// amounts from value texts, and case mapping by locale. Each answers, as Windows does, the
// number of characters written including the terminator (or needed, when the buffer size is 0),
// and 0 with the thread's last error set on failure: ERROR_INSUFFICIENT_BUFFER,
// ERROR_INVALID_PARAMETER (bad value, time or buffer), ERROR_INVALID_FLAGS. The locale id selects
// the data; the default ids mean the user's locale and an id without a locale formats as 1033.

#include "platform/Export.h"
#include "platform/WinTypes.h"
#include "platform/system/Errors.h"
#include "platform/com/OleTime.h"


constexpr DWORD LOCALE_NOUSEROVERRIDE = 0x80000000;
constexpr DWORD LOCALE_USE_CP_ACP = 0x40000000;

constexpr DWORD DATE_SHORTDATE = 0x00000001;
constexpr DWORD DATE_LONGDATE = 0x00000002;
constexpr DWORD DATE_USE_ALT_CALENDAR = 0x00000004;
constexpr DWORD DATE_YEARMONTH = 0x00000008;
constexpr DWORD DATE_LTRREADING = 0x00000010;
constexpr DWORD DATE_RTLREADING = 0x00000020;
constexpr DWORD DATE_AUTOLAYOUT = 0x00000040;
constexpr DWORD DATE_MONTHDAY = 0x00000080;

constexpr DWORD TIME_NOMINUTESORSECONDS = 0x00000001;
constexpr DWORD TIME_NOSECONDS = 0x00000002;
constexpr DWORD TIME_NOTIMEMARKER = 0x00000004;
constexpr DWORD TIME_FORCE24HOURFORMAT = 0x00000008;

constexpr DWORD LCMAP_LOWERCASE = 0x00000100;
constexpr DWORD LCMAP_UPPERCASE = 0x00000200;
constexpr DWORD LCMAP_LINGUISTIC_CASING = 0x01000000;

// Dates. lpFormat null: the locale's short date, or the long date, year-month or month-day
// picture by DATE_LONGDATE, DATE_YEARMONTH, DATE_MONTHDAY. A picture may not come with any
// flag (ERROR_INVALID_FLAGS); its letters: d dd ddd dddd, M MM MMM MMMM (genitive month names
// beside a day number, where the language has them), y yy yyyy, g gg (era), 'quoted text' with ''
// for a quote inside quotes; everything else is copied. lpDate null means now (local time); its
// wDayOfWeek is not read, its time fields not checked. Years 1601 to 30827.
QM_PLATFORM_API int GetDateFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCWSTR lpFormat,
                                   LPWSTR lpDateStr, int cchDate);

// Times. lpFormat null: the locale's time picture. Letters h hh H HH m mm s ss t tt; the
// TIME_ flags also apply to a given picture (TIME_NOSECONDS drops the seconds and the separator
// before them ...), LOCALE_NOUSEROVERRIDE only without one. The date fields are not read.
QM_PLATFORM_API int GetTimeFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpTime, LPCWSTR lpFormat,
                                   LPWSTR lpTimeStr, int cchTime);

struct NUMBERFMTW {
  UINT NumDigits;
  UINT LeadingZero;
  UINT Grouping;  // 3: 1,234,567; 32: 12,34,567; 0: none
  LPWSTR lpDecimalSep;
  LPWSTR lpThousandSep;
  UINT NegativeOrder;  // 0 (1.1), 1 -1.1, 2 - 1.1, 3 1.1-, 4 1.1 -
};

struct CURRENCYFMTW {
  UINT NumDigits;
  UINT LeadingZero;
  UINT Grouping;
  LPWSTR lpDecimalSep;
  LPWSTR lpThousandSep;
  UINT NegativeOrder;  // 0 ($1.1) ... 15 (1.1 $)
  UINT PositiveOrder;  // 0 $1.1, 1 1.1$, 2 $ 1.1, 3 1.1 $
  LPWSTR lpCurrencySymbol;
};

// Numbers from a value text: an optional leading '-', digits, at most one '.', nothing else
// (ERROR_INVALID_PARAMETER otherwise). Rounded half away from zero to the number of digits; a
// value that rounds to zero loses its sign. lpFormat null: the locale's settings; given, it
// excludes every flag.
QM_PLATFORM_API int GetNumberFormatW(LCID Locale, DWORD dwFlags, LPCWSTR lpValue, const NUMBERFMTW* lpFormat,
                                     LPWSTR lpNumberStr, int cchNumber);
QM_PLATFORM_API int GetCurrencyFormatW(LCID Locale, DWORD dwFlags, LPCWSTR lpValue, const CURRENCYFMTW* lpFormat,
                                       LPWSTR lpCurrencyStr, int cchCurrency);

// Case mapping: LCMAP_UPPERCASE or LCMAP_LOWERCASE, with LCMAP_LINGUISTIC_CASING for the
// locale's own rules (Turkish and Azeri dotted and dotless i). As on Windows the mapping is
// character for character, so the length never changes ("ß" stays "ß" in upper case). cchSrc -1
// reads up to the terminator, which is then mapped and counted too. Source and destination may be
// the same buffer. Other flags answer ERROR_INVALID_FLAGS.
QM_PLATFORM_API int LCMapStringW(LCID Locale, DWORD dwMapFlags, LPCWSTR lpSrcStr, int cchSrc, LPWSTR lpDestStr,
                                 int cchDest);
