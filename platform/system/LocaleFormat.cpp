#include "platform/system/LocaleFormat.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system/Errors.h"
#include "platform/system/Locale.h"
#include "platform/system/LocaleData.h"
#include "platform/system/TimeZone.h"

namespace platform::system::detail {
namespace {

constexpr DWORD kCommonFlags = LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP;
constexpr DWORD kDateFlags = DATE_SHORTDATE | DATE_LONGDATE | DATE_USE_ALT_CALENDAR | DATE_YEARMONTH |
                             DATE_LTRREADING | DATE_RTLREADING | DATE_AUTOLAYOUT | DATE_MONTHDAY | kCommonFlags;
constexpr DWORD kDateKinds = DATE_SHORTDATE | DATE_LONGDATE | DATE_YEARMONTH | DATE_MONTHDAY;
constexpr DWORD kTimeFlags = TIME_NOMINUTESORSECONDS | TIME_NOSECONDS | TIME_NOTIMEMARKER | TIME_FORCE24HOURFORMAT;

int failWith(DWORD error) {
  SetLastError(error);
  return 0;
}

// The buffer protocol of every call here: cch 0 asks for the size, with the terminator.
int deliver(const std::u16string& text, LPWSTR buffer, int cch) {
  const std::size_t needed = text.size() + 1;
  if (needed > static_cast<std::size_t>(INT32_MAX)) return failWith(ERROR_INSUFFICIENT_BUFFER);
  if (cch == 0) return static_cast<int>(needed);
  if (needed > static_cast<std::size_t>(cch)) return failWith(ERROR_INSUFFICIENT_BUFFER);
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = u'\0';
  return static_cast<int>(needed);
}

bool badBuffer(LPCWSTR buffer, int cch) { return cch < 0 || (cch > 0 && !buffer); }

void appendNumber(std::u16string& out, unsigned value, std::size_t minDigits) {
  char16_t digits[12];
  std::size_t n = 0;
  do {
    digits[n++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (std::size_t i = n; i < minDigits; ++i) out += u'0';
  while (n > 0) out += digits[--n];
}

bool isDateLetter(char16_t c) { return c == u'd' || c == u'M' || c == u'y' || c == u'g'; }
bool isTimeLetter(char16_t c) { return c == u'h' || c == u'H' || c == u'm' || c == u's' || c == u't'; }

// After a long month name: does the picture go on, past spaces and quoted text, with a day number?
bool dayNumberFollows(std::u16string_view picture, std::size_t i) {
  while (i < picture.size()) {
    if (picture[i] == u'\'') {
      ++i;
      while (i < picture.size()) {
        if (picture[i] == u'\'') {
          ++i;
          if (i >= picture.size() || picture[i] != u'\'') break;
        }
        ++i;
      }
      continue;
    }
    if (picture[i] != u' ') break;
    ++i;
  }
  std::size_t n = 0;
  while (i + n < picture.size() && picture[i + n] == u'd') ++n;
  return n == 1 || n == 2;
}

enum class PictureKind { Date, Time };

// Windows' picture interpreter. Fields the TIME_ flags drop take the separators before them
// with them, and while a field is being dropped only spaces of the following literal survive.
std::u16string formatPicture(const LocaleInfo& info, std::u16string_view picture, const SYSTEMTIME& st, DWORD flags,
                             PictureKind kind) {
  std::u16string out;
  std::size_t lastFieldEnd = 0;
  bool skipping = false;
  bool dayNumberBefore = false;
  std::size_t i = 0;
  while (i < picture.size()) {
    const char16_t c = picture[i];
    if (c == u'\'') {
      ++i;
      while (i < picture.size()) {
        if (picture[i] == u'\'') {
          ++i;
          if (i >= picture.size() || picture[i] != u'\'') break;
        }
        if (!skipping) out += picture[i];
        ++i;
      }
      continue;
    }
    const bool field = kind == PictureKind::Date ? isDateLetter(c) : isTimeLetter(c);
    if (!field) {
      if (!skipping || c == u' ') out += c;
      ++i;
      continue;
    }
    std::size_t count = 0;
    while (i < picture.size() && picture[i] == c) {
      ++count;
      ++i;
    }
    skipping = false;
    if (c != u'M') dayNumberBefore = false;
    auto drop = [&] {
      out.resize(lastFieldEnd);
      skipping = true;
    };
    switch (c) {
      case u'd':
        if (count >= 4) out += info.days[st.wDayOfWeek % 7];
        else if (count == 3) out += info.abbrevDays[st.wDayOfWeek % 7];
        else {
          appendNumber(out, st.wDay, count);
          dayNumberBefore = true;
        }
        break;
      case u'M': {
        const std::size_t m = (st.wMonth - 1u) % 12u;
        if (count >= 4) {
          const std::u16string& genitive = info.monthsGenitive[m];
          const bool useGenitive = !genitive.empty() && (dayNumberBefore || dayNumberFollows(picture, i));
          out += useGenitive ? genitive : info.months[m];
        } else if (count == 3) {
          out += info.abbrevMonths[m];
        } else {
          appendNumber(out, st.wMonth, count);
        }
        break;
      }
      case u'y':
        if (count >= 4) appendNumber(out, st.wYear, 4);
        else appendNumber(out, st.wYear % 100u, count == 1 ? 1 : 2);
        break;
      case u'g':
        out += info.era;
        break;
      case u'h':
      case u'H': {
        unsigned hour = st.wHour;
        if (c == u'h' && !(flags & TIME_FORCE24HOURFORMAT)) hour = hour % 12 == 0 ? 12 : hour % 12;
        appendNumber(out, hour, std::min<std::size_t>(count, 2));
        break;
      }
      case u'm':
        if (flags & TIME_NOMINUTESORSECONDS) drop();
        else appendNumber(out, st.wMinute, std::min<std::size_t>(count, 2));
        break;
      case u's':
        if (flags & (TIME_NOSECONDS | TIME_NOMINUTESORSECONDS)) drop();
        else appendNumber(out, st.wSecond, std::min<std::size_t>(count, 2));
        break;
      case u't': {
        if (flags & TIME_NOTIMEMARKER) {
          drop();
          break;
        }
        const std::u16string& marker = st.wHour < 12 ? info.am : info.pm;
        if (count == 1) out.append(marker, 0, std::min<std::size_t>(marker.size(), 1));
        else out += marker;
        break;
      }
      default:
        break;
    }
    if (!skipping) lastFieldEnd = out.size();
  }
  return out;
}

// The date with its weekday computed, the time fields cleared; false outside 1601-30827.
bool normalisedDate(const SYSTEMTIME& in, SYSTEMTIME& out) {
  SYSTEMTIME date{};
  date.wYear = in.wYear;
  date.wMonth = in.wMonth;
  date.wDay = in.wDay;
  FILETIME ft;
  if (!SystemTimeToFileTime(&date, &ft)) return false;
  return FileTimeToSystemTime(&ft, &out) != FALSE;
}

bool validTime(const SYSTEMTIME& st) {
  return st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 && st.wMilliseconds < 1000;
}

// ---- numbers ----

struct ParsedValue {
  bool negative = false;
  std::string whole;  // digits without leading zeros
  std::string fraction;
};

bool parseValue(LPCWSTR text, ParsedValue& value) {
  if (!text) return false;
  std::size_t i = 0;
  if (text[i] == u'-') {
    value.negative = true;
    ++i;
  }
  bool point = false;
  bool anyDigit = false;
  for (; text[i]; ++i) {
    const char16_t c = text[i];
    if (c >= u'0' && c <= u'9') {
      anyDigit = true;
      (point ? value.fraction : value.whole) += static_cast<char>(c);
    } else if (c == u'.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!anyDigit) return false;
  value.whole.erase(0, std::min(value.whole.find_first_not_of('0'), value.whole.size()));
  return true;
}

struct NumberStyle {
  UINT digits;
  UINT leadingZero;
  UINT grouping;
  std::u16string_view decimalSep;
  std::u16string_view thousandSep;
};

// Rounds half away from zero to style.digits, as Windows does on the text itself.
void roundTo(ParsedValue& value, UINT digits) {
  if (value.fraction.size() <= digits) {
    value.fraction.append(digits - value.fraction.size(), '0');
    return;
  }
  const bool up = value.fraction[digits] >= '5';
  value.fraction.resize(digits);
  if (!up) return;
  std::string all = value.whole + value.fraction;
  std::size_t k = all.size();
  while (k > 0) {
    if (all[k - 1] == '9') {
      all[k - 1] = '0';
      --k;
      continue;
    }
    ++all[k - 1];
    break;
  }
  if (k == 0) all.insert(all.begin(), '1');
  value.whole = all.substr(0, all.size() - digits);
  value.fraction = all.substr(all.size() - digits);
}

// Groups the whole part by NUMBERFMTW's Grouping: its decimal digits are the group sizes from
// the point outwards; the last repeats, unless it is 0, which ends the grouping.
std::u16string groupedWhole(const std::string& whole, UINT grouping, std::u16string_view separator) {
  std::vector<unsigned> sizes;
  for (UINT g = grouping; g != 0; g /= 10) sizes.insert(sizes.begin(), g % 10);
  bool repeat = true;
  if (sizes.size() > 1 && sizes.back() == 0) {
    sizes.pop_back();
    repeat = false;
  }
  if (sizes.empty() || (sizes.size() == 1 && sizes[0] == 0)) return std::u16string(whole.begin(), whole.end());
  if (repeat && sizes.back() == 0) repeat = false;
  std::vector<std::string> pieces;  // from the point outwards
  std::size_t end = whole.size();
  for (std::size_t index = 0; end > 0 && (repeat || index < sizes.size()); ++index) {
    const unsigned size = sizes[std::min(index, sizes.size() - 1)];
    const std::size_t take = std::min<std::size_t>(size, end);
    pieces.push_back(whole.substr(end - take, take));
    end -= take;
  }
  if (end > 0) pieces.push_back(whole.substr(0, end));
  std::u16string out;
  for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
    if (it != pieces.rbegin()) out += separator;
    out.append(it->begin(), it->end());
  }
  return out;
}

// The unsigned number text, rounded; 'negative' cleared when it rounds to zero.
std::u16string numberText(ParsedValue value, const NumberStyle& style, bool& negative) {
  roundTo(value, style.digits);
  value.whole.erase(0, std::min(value.whole.find_first_not_of('0'), value.whole.size()));
  negative = value.negative && (value.whole.find_first_not_of('0') != std::string::npos ||
                                value.fraction.find_first_not_of('0') != std::string::npos);
  std::u16string out;
  if (value.whole.empty()) {
    if (style.leadingZero) out = u"0";
  } else {
    out = groupedWhole(value.whole, style.grouping, style.thousandSep);
  }
  if (style.digits > 0) {
    out += style.decimalSep;
    out.append(value.fraction.begin(), value.fraction.end());
  }
  return out;
}

// Fills a shape ('$' the symbol, 'n' the number, '-' the sign).
std::u16string fillShape(std::u16string_view shape, std::u16string_view number, std::u16string_view symbol,
                         std::u16string_view sign) {
  std::u16string out;
  for (const char16_t c : shape) {
    if (c == u'n') out += number;
    else if (c == u'$') out += symbol;
    else if (c == u'-') out += sign;
    else out += c;
  }
  return out;
}

constexpr std::u16string_view kNumberNegative[] = {u"(n)", u"-n", u"- n", u"n-", u"n -"};
constexpr std::u16string_view kCurrencyPositive[] = {u"$n", u"n$", u"$ n", u"n $"};
constexpr std::u16string_view kCurrencyNegative[] = {u"($n)", u"-$n",  u"$-n",  u"$n-",  u"(n$)",  u"-n$",
                                                     u"n-$",  u"n$-",  u"-n $", u"-$ n", u"n $-", u"$ n-",
                                                     u"$ -n", u"n- $", u"($ n)", u"(n $)"};

int numberCommon(DWORD flags, LPCWSTR value, bool formatGiven, LPWSTR buffer, int cch, ParsedValue& parsed) {
  if (badBuffer(buffer, cch) || !value) return failWith(ERROR_INVALID_PARAMETER);
  if ((flags & ~kCommonFlags) || (formatGiven && (flags & LOCALE_NOUSEROVERRIDE))) return failWith(ERROR_INVALID_FLAGS);
  if (!parseValue(value, parsed)) return failWith(ERROR_INVALID_PARAMETER);
  return 1;
}

// ---- case mapping ----

UChar32 mapCase(UChar32 c, bool upper, bool turkic) {
  if (turkic) {
    if (upper && c == u'i') return 0x0130;
    if (upper && c == 0x0131) return u'I';
    if (!upper && c == u'I') return 0x0131;
    if (!upper && c == 0x0130) return u'i';
  }
  return upper ? u_toupper(c) : u_tolower(c);
}

}  // namespace
}  // namespace platform::system::detail

using namespace platform::system::detail;

int GetDateFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCWSTR lpFormat, LPWSTR lpDateStr,
                   int cchDate) {
  if (badBuffer(lpDateStr, cchDate)) return failWith(ERROR_INVALID_PARAMETER);
  const DWORD kind = dwFlags & kDateKinds;
  if ((dwFlags & ~kDateFlags) || (lpFormat && dwFlags) || (kind & (kind - 1)) ||
      (dwFlags & (DATE_LTRREADING | DATE_RTLREADING)) == (DATE_LTRREADING | DATE_RTLREADING))
    return failWith(ERROR_INVALID_FLAGS);
  SYSTEMTIME now;
  if (!lpDate) {
    GetLocalTime(&now);
    lpDate = &now;
  }
  SYSTEMTIME date;
  if (!normalisedDate(*lpDate, date)) return failWith(ERROR_INVALID_PARAMETER);
  const LocaleInfo& info = localeInfoOf(Locale);
  std::u16string_view picture;
  if (lpFormat) picture = lpFormat;
  else if (kind == DATE_LONGDATE) picture = info.longDate;
  else if (kind == DATE_YEARMONTH) picture = info.yearMonth;
  else if (kind == DATE_MONTHDAY) picture = info.monthDay;
  else picture = info.shortDate;
  return deliver(formatPicture(info, picture, date, 0, PictureKind::Date), lpDateStr, cchDate);
}

int GetTimeFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpTime, LPCWSTR lpFormat, LPWSTR lpTimeStr,
                   int cchTime) {
  if (badBuffer(lpTimeStr, cchTime)) return failWith(ERROR_INVALID_PARAMETER);
  if ((dwFlags & ~(kTimeFlags | kCommonFlags)) || (lpFormat && (dwFlags & LOCALE_NOUSEROVERRIDE)))
    return failWith(ERROR_INVALID_FLAGS);
  SYSTEMTIME now;
  if (!lpTime) {
    GetLocalTime(&now);
    lpTime = &now;
  }
  if (!validTime(*lpTime)) return failWith(ERROR_INVALID_PARAMETER);
  const LocaleInfo& info = localeInfoOf(Locale);
  const std::u16string_view picture = lpFormat ? std::u16string_view(lpFormat) : std::u16string_view(info.time);
  return deliver(formatPicture(info, picture, *lpTime, dwFlags, PictureKind::Time), lpTimeStr, cchTime);
}

int GetNumberFormatW(LCID Locale, DWORD dwFlags, LPCWSTR lpValue, const NUMBERFMTW* lpFormat, LPWSTR lpNumberStr,
                     int cchNumber) {
  ParsedValue parsed;
  if (!numberCommon(dwFlags, lpValue, lpFormat != nullptr, lpNumberStr, cchNumber, parsed)) return 0;
  const LocaleInfo& info = localeInfoOf(Locale);
  NumberStyle style{info.digits, info.leadingZero, info.grouping, info.decimalSep, info.thousandSep};
  UINT negativeOrder = info.negativeOrder;
  if (lpFormat) {
    if (lpFormat->NumDigits > 9 || lpFormat->LeadingZero > 1 || lpFormat->NegativeOrder > 4 ||
        !lpFormat->lpDecimalSep || !lpFormat->lpThousandSep)
      return failWith(ERROR_INVALID_PARAMETER);
    style = {lpFormat->NumDigits, lpFormat->LeadingZero, lpFormat->Grouping, lpFormat->lpDecimalSep,
             lpFormat->lpThousandSep};
    negativeOrder = lpFormat->NegativeOrder;
  }
  bool negative = false;
  const std::u16string number = numberText(parsed, style, negative);
  const std::u16string text = negative ? fillShape(kNumberNegative[negativeOrder], number, u"", info.negativeSign) : number;
  return deliver(text, lpNumberStr, cchNumber);
}

int GetCurrencyFormatW(LCID Locale, DWORD dwFlags, LPCWSTR lpValue, const CURRENCYFMTW* lpFormat,
                       LPWSTR lpCurrencyStr, int cchCurrency) {
  ParsedValue parsed;
  if (!numberCommon(dwFlags, lpValue, lpFormat != nullptr, lpCurrencyStr, cchCurrency, parsed)) return 0;
  const LocaleInfo& info = localeInfoOf(Locale);
  NumberStyle style{info.currencyDigits, info.leadingZero, info.currencyGrouping, info.currencyDecimalSep,
                    info.currencyThousandSep};
  UINT positiveOrder = info.currencyPositiveOrder;
  UINT negativeOrder = info.currencyNegativeOrder;
  std::u16string_view symbol = info.currencySymbol;
  if (lpFormat) {
    if (lpFormat->NumDigits > 9 || lpFormat->LeadingZero > 1 || lpFormat->NegativeOrder > 15 ||
        lpFormat->PositiveOrder > 3 || !lpFormat->lpDecimalSep || !lpFormat->lpThousandSep ||
        !lpFormat->lpCurrencySymbol)
      return failWith(ERROR_INVALID_PARAMETER);
    style = {lpFormat->NumDigits, lpFormat->LeadingZero, lpFormat->Grouping, lpFormat->lpDecimalSep,
             lpFormat->lpThousandSep};
    positiveOrder = lpFormat->PositiveOrder;
    negativeOrder = lpFormat->NegativeOrder;
    symbol = lpFormat->lpCurrencySymbol;
  }
  bool negative = false;
  const std::u16string number = numberText(parsed, style, negative);
  const std::u16string_view shape = negative ? kCurrencyNegative[negativeOrder] : kCurrencyPositive[positiveOrder];
  return deliver(fillShape(shape, number, symbol, info.negativeSign), lpCurrencyStr, cchCurrency);
}

int LCMapStringW(LCID Locale, DWORD dwMapFlags, LPCWSTR lpSrcStr, int cchSrc, LPWSTR lpDestStr, int cchDest) {
  if (!lpSrcStr || cchSrc == 0 || badBuffer(lpDestStr, cchDest)) return failWith(ERROR_INVALID_PARAMETER);
  const DWORD caseFlags = dwMapFlags & (LCMAP_UPPERCASE | LCMAP_LOWERCASE);
  if ((dwMapFlags & ~(LCMAP_UPPERCASE | LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING)) || caseFlags == 0 ||
      caseFlags == (LCMAP_UPPERCASE | LCMAP_LOWERCASE))
    return failWith(ERROR_INVALID_FLAGS);
  const std::size_t length =
      cchSrc < 0 ? std::char_traits<char16_t>::length(lpSrcStr) + 1 : static_cast<std::size_t>(cchSrc);
  if (cchDest == 0) return static_cast<int>(std::min<std::size_t>(length, INT32_MAX));
  if (length > static_cast<std::size_t>(cchDest)) return failWith(ERROR_INSUFFICIENT_BUFFER);
  bool turkic = false;
  if (dwMapFlags & LCMAP_LINGUISTIC_CASING) {
    const std::string name = platform::system::localeNameOf(Locale);
    turkic = name.rfind("tr", 0) == 0 || name.rfind("az", 0) == 0;
  }
  const bool upper = caseFlags == LCMAP_UPPERCASE;
  // Character for character, so the source may be the destination.
  std::size_t i = 0;
  while (i < length) {
    UChar32 c;
    const std::size_t start = i;
    U16_NEXT(lpSrcStr, i, length, c);
    const UChar32 mapped = mapCase(c, upper, turkic);
    if (U16_LENGTH(mapped) != i - start) {
      for (std::size_t k = start; k < i; ++k) lpDestStr[k] = lpSrcStr[k];
      continue;
    }
    std::size_t k = start;
    U16_APPEND_UNSAFE(lpDestStr, k, mapped);
  }
  return static_cast<int>(length);
}
