#pragma once
// What kernel32 knows of a locale for formatting: default date and time pictures, month and day
// names, time markers, era, and the number and currency conventions. Built once per locale id
// (from Windows' defaults for the locales the product supports, else from ICU) and kept.

#include <array>
#include <string>

#include "platform/WinTypes.h"

namespace platform::system::detail {

struct LocaleInfo {
  LCID lcid = 0;

  // Windows pictures ("dddd, MMMM d, yyyy", "h:mm:ss tt").
  std::u16string shortDate;
  std::u16string longDate;
  std::u16string yearMonth;
  std::u16string monthDay;
  std::u16string time;
  std::u16string am;
  std::u16string pm;
  std::u16string era;

  // January first; the genitive forms are empty where the language has none.
  std::array<std::u16string, 12> months;
  std::array<std::u16string, 12> monthsGenitive;
  std::array<std::u16string, 12> abbrevMonths;
  // Sunday first, as SYSTEMTIME::wDayOfWeek counts.
  std::array<std::u16string, 7> days;
  std::array<std::u16string, 7> abbrevDays;

  // Numbers. Grouping is NUMBERFMTW's form: 3 groups by thousands, 32 as 12,34,56,789.
  std::u16string decimalSep;
  std::u16string thousandSep;
  std::u16string negativeSign;
  UINT digits = 2;
  UINT leadingZero = 1;
  UINT grouping = 3;
  UINT negativeOrder = 1;

  // Currency (CURRENCYFMTW's orders: positive 0-3, negative 0-15).
  std::u16string currencySymbol;
  std::u16string currencyDecimalSep;
  std::u16string currencyThousandSep;
  UINT currencyDigits = 2;
  UINT currencyGrouping = 3;
  UINT currencyPositiveOrder = 0;
  UINT currencyNegativeOrder = 0;
};

// The data of a locale id; the default ids (LOCALE_USER_DEFAULT ...) resolve to the user's locale.
// An id ICU does not know gets 1033's data. The answer lives as long as the process; thread-safe.
const LocaleInfo& localeInfoOf(LCID locale);

}  // namespace platform::system::detail
