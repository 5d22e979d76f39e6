#include "platform/system/LocaleData.h"

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/decimfmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/smpdtfmt.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "platform/system/Locale.h"

namespace platform::system::detail {
namespace {

// Windows' defaults for the locales the product ships for (Windows 7 era, without user
// overrides): LOCALE_SSHORTDATE, LOCALE_SLONGDATE, LOCALE_SYEARMONTH, LOCALE_SMONTHDAY,
// LOCALE_STIMEFORMAT, LOCALE_S1159/S2359, CAL_SERASTRING, and the number and currency settings.
// Names come from ICU unless Windows spells them differently; those lists are "|"-separated.
struct WindowsDefaults {
  LCID lcid;
  const char16_t* shortDate;
  const char16_t* longDate;
  const char16_t* yearMonth;
  const char16_t* monthDay;
  const char16_t* time;
  const char16_t* am;
  const char16_t* pm;
  const char16_t* era;  // nullptr: ICU's
  const char16_t* abbrevMonths;  // nullptr: ICU's
  const char16_t* abbrevDays;  // nullptr: ICU's
  const char16_t* decimalSep;
  const char16_t* thousandSep;
  const char16_t* currencySymbol;
  UINT currencyDigits;
  UINT currencyPositiveOrder;
  UINT currencyNegativeOrder;
};

constexpr WindowsDefaults kWindowsDefaults[] = {
    {1033, u"M/d/yyyy", u"dddd, MMMM d, yyyy", u"MMMM yyyy", u"MMMM d", u"h:mm:ss tt", u"AM", u"PM", u"A.D.",
     nullptr, nullptr, u".", u",", u"$", 2, 0, 0},
    {2057, u"dd/MM/yyyy", u"dd MMMM yyyy", u"MMMM yyyy", u"dd MMMM", u"HH:mm:ss", u"AM", u"PM", u"A.D.",
     u"Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec", nullptr, u".", u",", u"\u00A3", 2, 0, 1},
    {1031, u"dd.MM.yyyy", u"dddd, d. MMMM yyyy", u"MMMM yyyy", u"dd MMMM", u"HH:mm:ss", u"", u"", u"n. Chr.",
     u"Jan|Feb|Mrz|Apr|Mai|Jun|Jul|Aug|Sep|Okt|Nov|Dez", u"So|Mo|Di|Mi|Do|Fr|Sa", u",", u".", u"\u20AC", 2, 3, 8},
    {1036, u"dd/MM/yyyy", u"dddd d MMMM yyyy", u"MMMM yyyy", u"d MMMM", u"HH:mm:ss", u"", u"", u"ap. J.-C.",
     nullptr, nullptr, u",", u"\u00A0", u"\u20AC", 2, 3, 8},
    {1040, u"dd/MM/yyyy", u"dddd d MMMM yyyy", u"MMMM yyyy", u"dd MMMM", u"HH:mm:ss", u"", u"", u"d.C.",
     nullptr, nullptr, u",", u".", u"\u20AC", 2, 2, 9},
    {3082, u"dd/MM/yyyy", u"dddd, dd' de 'MMMM' de 'yyyy", u"MMMM' de 'yyyy", u"dd MMMM", u"H:mm:ss", u"", u"",
     u"d.C.", u"ene|feb|mar|abr|may|jun|jul|ago|sep|oct|nov|dic", nullptr, u",", u".", u"\u20AC", 2, 3, 8},
    {1043, u"d-M-yyyy", u"dddd d MMMM yyyy", u"MMMM yyyy", u"dd MMMM", u"H:mm:ss", u"", u"", nullptr,
     nullptr, nullptr, u",", u".", u"\u20AC", 2, 2, 12},
    {1041, u"yyyy/MM/dd", u"yyyy'\u5E74'M'\u6708'd'\u65E5'", u"yyyy'\u5E74'M'\u6708'", u"M'\u6708'd'\u65E5'",
     u"H:mm:ss", u"\u5348\u524D", u"\u5348\u5F8C", u"\u897F\u66A6", u"1|2|3|4|5|6|7|8|9|10|11|12", nullptr, u".",
     u",", u"\u00A5", 0, 0, 1},
    {2052, u"yyyy/M/d", u"yyyy'\u5E74'M'\u6708'd'\u65E5'", u"yyyy'\u5E74'M'\u6708'", u"M'\u6708'd'\u65E5'",
     u"H:mm:ss", u"\u4E0A\u5348", u"\u4E0B\u5348", u"\u516C\u5143",
     u"\u4E00\u6708|\u4E8C\u6708|\u4E09\u6708|\u56DB\u6708|\u4E94\u6708|\u516D\u6708|\u4E03\u6708|\u516B\u6708|"
     u"\u4E5D\u6708|\u5341\u6708|\u5341\u4E00\u6708|\u5341\u4E8C\u6708",
     nullptr, u".", u",", u"\u00A5", 2, 0, 2},
};

constexpr LCID kFallbackLocale = 1033;

const WindowsDefaults* findDefaults(LCID lcid) {
  for (const WindowsDefaults& d : kWindowsDefaults)
    if (d.lcid == lcid) return &d;
  return nullptr;
}

std::u16string toU16(const icu::UnicodeString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.getBuffer()), static_cast<std::size_t>(s.length()));
}

// ICU's narrow no-break space (fr grouping, en-US before AM) is a plain no-break space or a
// space on Windows.
std::u16string windowsSpaces(std::u16string s, char16_t narrowTo) {
  for (char16_t& c : s)
    if (c == u'\u202F') c = narrowTo;
  return s;
}

template <std::size_t N>
void splitInto(const char16_t* list, std::array<std::u16string, N>& out) {
  std::u16string_view rest(list);
  for (std::size_t i = 0; i < N; ++i) {
    const std::size_t bar = rest.find(u'|');
    out[i] = std::u16string(rest.substr(0, bar));
    rest = bar == std::u16string_view::npos ? std::u16string_view() : rest.substr(bar + 1);
  }
}

// An ICU date pattern as a Windows picture: ICU letters become their Windows counterparts,
// quoted text stays quoted, letters Windows has no picture for are dropped.
std::u16string pictureFromIcuPattern(const std::u16string& pattern) {
  std::u16string out;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char16_t c = pattern[i];
    if (c == u'\'') {
      // Copy the quoted run, '' included, unchanged: both syntaxes agree.
      std::size_t j = i + 1;
      while (j < pattern.size()) {
        if (pattern[j] == u'\'') {
          if (j + 1 < pattern.size() && pattern[j + 1] == u'\'') {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      out.append(pattern, i, std::min(j + 1, pattern.size()) - i);
      i = j + 1;
      continue;
    }
    if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) {
      out += c == u'\u202F' ? u' ' : c;
      ++i;
      continue;
    }
    std::size_t n = 1;
    while (i + n < pattern.size() && pattern[i + n] == c) ++n;
    switch (c) {
      case u'y': case u'Y': case u'u': out += n == 2 ? u"yy" : u"yyyy"; break;
      case u'M': case u'L': out.append(std::min<std::size_t>(n, 4), u'M'); break;
      case u'd': out.append(std::min<std::size_t>(n, 2), u'd'); break;
      case u'E': case u'c': case u'e': out += n >= 4 ? u"dddd" : u"ddd"; break;
      case u'G': out += u"gg"; break;
      case u'h': case u'K': out.append(std::min<std::size_t>(n, 2), u'h'); break;
      case u'H': case u'k': out.append(std::min<std::size_t>(n, 2), u'H'); break;
      case u'm': out.append(std::min<std::size_t>(n, 2), u'm'); break;
      case u's': out.append(std::min<std::size_t>(n, 2), u's'); break;
      case u'a': case u'b': case u'B': out += u"tt"; break;
      default: break;
    }
    i += n;
  }
  return out;
}

std::u16string icuDatePattern(icu::DateFormat::EStyle dateStyle, icu::DateFormat::EStyle timeStyle,
                              const icu::Locale& locale) {
  std::unique_ptr<icu::DateFormat> format(
      timeStyle == icu::DateFormat::kNone ? icu::DateFormat::createDateInstance(dateStyle, locale)
                                          : icu::DateFormat::createTimeInstance(timeStyle, locale));
  auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format.get());
  if (!simple) return {};
  icu::UnicodeString pattern;
  simple->toPattern(pattern);
  return pictureFromIcuPattern(toU16(pattern));
}

std::u16string icuSkeletonPattern(const char* skeleton, const icu::Locale& locale) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::DateTimePatternGenerator> generator(icu::DateTimePatternGenerator::createInstance(locale, status));
  if (U_FAILURE(status)) return {};
  const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(skeleton, -1, US_INV), status);
  if (U_FAILURE(status)) return {};
  return pictureFromIcuPattern(toU16(pattern));
}

// The NUMBERFMTW grouping of an ICU number pattern ("#,##,##0.00" -> 32).
UINT groupingOf(const icu::DecimalFormat& format) {
  const int32_t primary = format.getGroupingSize();
  const int32_t secondary = format.getSecondaryGroupingSize();
  if (!format.isGroupingUsed() || primary <= 0 || primary > 9) return 0;
  if (secondary > 0 && secondary <= 9 && secondary != primary) return static_cast<UINT>(primary * 10 + secondary);
  return static_cast<UINT>(primary);
}

// Windows' currency orders as shapes: '$' the symbol, 'n' the number, '-' the sign.
constexpr std::u16string_view kPositiveShapes[] = {u"$n", u"n$", u"$ n", u"n $"};
constexpr std::u16string_view kNegativeShapes[] = {u"($n)", u"-$n",  u"$-n",  u"$n-",  u"(n$)",  u"-n$",
                                                   u"n-$",  u"n$-",  u"-n $", u"-$ n", u"n $-", u"$ n-",
                                                   u"$ -n", u"n- $", u"($ n)", u"(n $)"};

// The shape of one ICU currency sub-pattern ("¤#,##0.00", "#,##0.00\u00A0¤", "(¤#,##0.00)").
std::u16string shapeOf(std::u16string_view subpattern) {
  std::u16string shape;
  bool inNumber = false;
  for (const char16_t c : subpattern) {
    const bool numberChar = c == u'#' || c == u'0' || c == u',' || c == u'.' || (c >= u'1' && c <= u'9');
    if (numberChar) {
      if (!inNumber) shape += u'n';
      inNumber = true;
      continue;
    }
    inNumber = false;
    if (c == u'\u00A4') shape += u'$';
    else if (c == u' ' || c == u'\u00A0' || c == u'\u202F') shape += u' ';
    else if (c == u'-' || c == u'(' || c == u')') shape += c;
  }
  return shape;
}

template <std::size_t N>
int orderOf(const std::u16string& shape, const std::u16string_view (&shapes)[N]) {
  for (std::size_t i = 0; i < N; ++i)
    if (shapes[i] == shape) return static_cast<int>(i);
  return -1;
}

void fillNumbersFromIcu(const icu::Locale& locale, LocaleInfo& info) {
  UErrorCode status = U_ZERO_ERROR;
  icu::DecimalFormatSymbols symbols(locale, status);
  if (U_SUCCESS(status)) {
    info.decimalSep = toU16(symbols.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
    info.thousandSep = windowsSpaces(toU16(symbols.getSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol)), u'\u00A0');
    info.currencySymbol = toU16(symbols.getSymbol(icu::DecimalFormatSymbols::kCurrencySymbol));
  }
  status = U_ZERO_ERROR;
  std::unique_ptr<icu::NumberFormat> number(icu::NumberFormat::createInstance(locale, status));
  if (auto* decimal = dynamic_cast<icu::DecimalFormat*>(number.get()); U_SUCCESS(status) && decimal)
    info.grouping = groupingOf(*decimal);
  status = U_ZERO_ERROR;
  std::unique_ptr<icu::NumberFormat> currency(icu::NumberFormat::createCurrencyInstance(locale, status));
  auto* decimal = dynamic_cast<icu::DecimalFormat*>(currency.get());
  if (U_FAILURE(status) || !decimal) return;
  info.currencyDigits = static_cast<UINT>(std::clamp(decimal->getMaximumFractionDigits(), 0, 9));
  info.currencyGrouping = groupingOf(*decimal);
  icu::UnicodeString pattern;
  decimal->toPattern(pattern);
  const std::u16string text = toU16(pattern);
  const std::size_t semicolon = text.find(u';');
  const std::u16string positive = shapeOf(std::u16string_view(text).substr(0, semicolon));
  const std::u16string negative = semicolon == std::u16string::npos
                                      ? u"-" + positive
                                      : shapeOf(std::u16string_view(text).substr(semicolon + 1));
  if (const int order = orderOf(positive, kPositiveShapes); order >= 0) info.currencyPositiveOrder = static_cast<UINT>(order);
  if (const int order = orderOf(negative, kNegativeShapes); order >= 0) info.currencyNegativeOrder = static_cast<UINT>(order);
  else info.currencyNegativeOrder = info.currencyPositiveOrder % 2 == 0 ? (info.currencyPositiveOrder == 2 ? 9 : 1)
                                                                     : (info.currencyPositiveOrder == 3 ? 8 : 5);
}

void fillNamesFromIcu(const icu::Locale& locale, LocaleInfo& info) {
  UErrorCode status = U_ZERO_ERROR;
  icu::DateFormatSymbols symbols(locale, status);
  if (U_FAILURE(status)) return;
  using S = icu::DateFormatSymbols;
  int32_t count = 0;
  // Windows' plain month name is the nominative (stand-alone) form; the format form is the
  // genitive where the two differ (Slavic languages, Greek ...).
  const icu::UnicodeString* standalone = symbols.getMonths(count, S::STANDALONE, S::WIDE);
  for (int32_t i = 0; i < count && i < 12; ++i) info.months[static_cast<std::size_t>(i)] = toU16(standalone[i]);
  const icu::UnicodeString* format = symbols.getMonths(count, S::FORMAT, S::WIDE);
  for (int32_t i = 0; i < count && i < 12; ++i) {
    const std::u16string genitive = toU16(format[i]);
    if (genitive != info.months[static_cast<std::size_t>(i)]) info.monthsGenitive[static_cast<std::size_t>(i)] = genitive;
  }
  const icu::UnicodeString* abbrev = symbols.getMonths(count, S::STANDALONE, S::ABBREVIATED);
  for (int32_t i = 0; i < count && i < 12; ++i) info.abbrevMonths[static_cast<std::size_t>(i)] = toU16(abbrev[i]);
  // Weekdays: index 1 is Sunday, 0 is unused.
  const icu::UnicodeString* days = symbols.getWeekdays(count, S::FORMAT, S::WIDE);
  for (int32_t i = 1; i < count && i <= 7; ++i) info.days[static_cast<std::size_t>(i - 1)] = toU16(days[i]);
  const icu::UnicodeString* abbrevDays = symbols.getWeekdays(count, S::FORMAT, S::ABBREVIATED);
  for (int32_t i = 1; i < count && i <= 7; ++i) info.abbrevDays[static_cast<std::size_t>(i - 1)] = toU16(abbrevDays[i]);
  const icu::UnicodeString* ampm = symbols.getAmPmStrings(count);
  if (count >= 2) {
    info.am = toU16(ampm[0]);
    info.pm = toU16(ampm[1]);
  }
  const icu::UnicodeString* eras = symbols.getEras(count);
  if (count >= 2) info.era = toU16(eras[1]);
}

std::unique_ptr<LocaleInfo> build(LCID lcid, const std::string& icuName) {
  auto info = std::make_unique<LocaleInfo>();
  info->lcid = lcid;
  const icu::Locale locale(icuName.c_str());
  fillNamesFromIcu(locale, *info);
  info->negativeSign = u"-";
  const WindowsDefaults* defaults = findDefaults(lcid);
  if (!defaults) {
    info->shortDate = icuDatePattern(icu::DateFormat::kShort, icu::DateFormat::kNone, locale);
    info->longDate = icuDatePattern(icu::DateFormat::kFull, icu::DateFormat::kNone, locale);
    info->time = icuDatePattern(icu::DateFormat::kNone, icu::DateFormat::kMedium, locale);
    info->yearMonth = icuSkeletonPattern("yMMMM", locale);
    info->monthDay = icuSkeletonPattern("MMMMd", locale);
    fillNumbersFromIcu(locale, *info);
    info->currencyDecimalSep = info->decimalSep;
    info->currencyThousandSep = info->thousandSep;
    return info;
  }
  info->shortDate = defaults->shortDate;
  info->longDate = defaults->longDate;
  info->yearMonth = defaults->yearMonth;
  info->monthDay = defaults->monthDay;
  info->time = defaults->time;
  info->am = defaults->am;
  info->pm = defaults->pm;
  if (defaults->era) info->era = defaults->era;
  if (defaults->abbrevMonths) splitInto(defaults->abbrevMonths, info->abbrevMonths);
  if (defaults->abbrevDays) splitInto(defaults->abbrevDays, info->abbrevDays);
  info->decimalSep = info->currencyDecimalSep = defaults->decimalSep;
  info->thousandSep = info->currencyThousandSep = defaults->thousandSep;
  info->grouping = info->currencyGrouping = 3;
  info->digits = 2;
  info->leadingZero = 1;
  info->negativeOrder = 1;
  info->currencySymbol = defaults->currencySymbol;
  info->currencyDigits = defaults->currencyDigits;
  info->currencyPositiveOrder = defaults->currencyPositiveOrder;
  info->currencyNegativeOrder = defaults->currencyNegativeOrder;
  return info;
}

struct Cache {
  std::mutex mutex;
  std::unordered_map<LCID, std::unique_ptr<LocaleInfo>> built;
  std::unordered_map<LCID, const LocaleInfo*> byLcid;  // unknown ids point at 1033's data
};

Cache& cache() {
  static Cache* instance = new Cache;  // never destroyed: formatting may run during exit
  return *instance;
}

bool isDefaultId(LCID id) {
  return id == LOCALE_NEUTRAL || id == LOCALE_USER_DEFAULT || id == LOCALE_SYSTEM_DEFAULT ||
         id == LOCALE_CUSTOM_DEFAULT || id == LOCALE_CUSTOM_UNSPECIFIED;
}

const LocaleInfo& buildOnce(Cache& c, LCID key, const std::string& name) {
  auto it = c.built.find(key);
  if (it == c.built.end()) it = c.built.emplace(key, build(key, name)).first;
  return *it->second;
}

}  // namespace

const LocaleInfo& localeInfoOf(LCID locale) {
  // The sort id (bits 16-19) does not change formatting.
  LCID key = locale & 0xFFFF;
  if (isDefaultId(key)) key = GetUserDefaultLCID() & 0xFFFF;
  Cache& c = cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  if (auto it = c.byLcid.find(key); it != c.byLcid.end()) return *it->second;
  const std::string name = localeNameOf(key);
  const LocaleInfo& info = name.empty() ? buildOnce(c, kFallbackLocale, "en_US") : buildOnce(c, key, name);
  c.byLcid.emplace(key, &info);
  return info;
}

}  // namespace platform::system::detail
