// Locale formatting as Windows does it.
//
// Reference for the expected texts: Microsoft's documented defaults of the Windows 7-era locales
// (LOCALE_SSHORTDATE, LOCALE_SLONGDATE, LOCALE_STIMEFORMAT, LOCALE_S1159/S2359, the number and
// currency settings and LOCALE_SABBREVMONTHNAME*), the same data as Windows exports it through
// .NET (globalize's generated culture files), and for pictures, flags and buffer sizes kernel32's
// behaviour as Wine's conformance tests, run against Windows, record it.
#include "platform/system/LocaleFormat.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/system/Errors.h"
#include "platform/system/Locale.h"
#include "platform/system/Text.h"
#include "platform/system/TimeZone.h"
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

std::string errorName(DWORD code) { return "error " + std::to_string(code); }

// Runs one call through Windows' two-step protocol (size, then text) and answers the text, or
// "error N" when the call fails. A size query that disagrees with the text fails the test.
template <typename Call>
std::string twoStep(Call call) {
  SetLastError(0);
  const int size = call(nullptr, 0);
  if (size == 0) return errorName(GetLastError());
  std::vector<char16_t> buffer(static_cast<std::size_t>(size) + 4, u'#');
  const int written = call(buffer.data(), size);
  EXPECT_EQ(written, size);
  if (written == 0) return errorName(GetLastError());
  EXPECT_EQ(buffer[static_cast<std::size_t>(written) - 1], u'\0');
  EXPECT_EQ(buffer[static_cast<std::size_t>(written)], u'#') << "wrote past its count";
  return platform::system::utf16ToUtf8(std::u16string(buffer.data(), static_cast<std::size_t>(written) - 1));
}

std::string dateOf(LCID lcid, DWORD flags, const SYSTEMTIME& st, const char16_t* picture = nullptr) {
  return twoStep([&](LPWSTR b, int n) { return GetDateFormatW(lcid, flags, &st, picture, b, n); });
}

std::string timeOf(LCID lcid, DWORD flags, const SYSTEMTIME& st, const char16_t* picture = nullptr) {
  return twoStep([&](LPWSTR b, int n) { return GetTimeFormatW(lcid, flags, &st, picture, b, n); });
}

std::string currency(LCID lcid, const char16_t* value, const CURRENCYFMTW* format = nullptr) {
  return twoStep([&](LPWSTR b, int n) { return GetCurrencyFormatW(lcid, 0, value, format, b, n); });
}

std::string number(LCID lcid, const char16_t* value, const NUMBERFMTW* format = nullptr) {
  return twoStep([&](LPWSTR b, int n) { return GetNumberFormatW(lcid, 0, value, format, b, n); });
}

const std::string kInvalidParameter = errorName(ERROR_INVALID_PARAMETER);
const std::string kInvalidFlags = errorName(ERROR_INVALID_FLAGS);

class LocaleFormatTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    for (const char* name : {"LC_ALL", "LANG", "TZ"}) {
      const char* value = std::getenv(name);
      m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    unsetenv("LC_ALL");
    setenv("LANG", "en_US.UTF-8", 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : m_saved) {
      if (value) setenv(name, value->c_str(), 1);
      else unsetenv(name);
    }
    tzset();
    platform::system::setSystemTimeForTesting(nullptr);
  }
  std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

struct LocaleCase {
  LCID lcid;
  const char* shortDate;  // Tuesday 2024-03-05
  const char* longDate;
  const char* afternoon;  // 14:07:09
  const char* morning;  // 09:05:03
  const char* abbreviated;  // "ddd, dd MMM yyyy"
  const char* currency;  // 1234.5
  const char* negativeCurrency;  // -1234.5
};

const LocaleCase kLocales[] = {
    {1033, "3/5/2024", "Tuesday, March 5, 2024", "2:07:09 PM", "9:05:03 AM", "Tue, 05 Mar 2024", "$1,234.50",
     "($1,234.50)"},
    {2057, "05/03/2024", "05 March 2024", "14:07:09", "09:05:03", "Tue, 05 Mar 2024", "£1,234.50", "-£1,234.50"},
    {1031, "05.03.2024", "Dienstag, 5. März 2024", "14:07:09", "09:05:03", "Di, 05 Mrz 2024", "1.234,50 €",
     "-1.234,50 €"},
    {1036, "05/03/2024", "mardi 5 mars 2024", "14:07:09", "09:05:03", "mar., 05 mars 2024", "1\u00A0234,50 €",
     "-1\u00A0234,50 €"},
    {1040, "05/03/2024", "martedì 5 marzo 2024", "14:07:09", "09:05:03", "mar, 05 mar 2024", "€ 1.234,50",
     "-€ 1.234,50"},
    {3082, "05/03/2024", "martes, 05 de marzo de 2024", "14:07:09", "9:05:03", "mar, 05 mar 2024", "1.234,50 €",
     "-1.234,50 €"},
    {1043, "5-3-2024", "dinsdag 5 maart 2024", "14:07:09", "9:05:03", "di, 05 mrt 2024", "€ 1.234,50", "€ -1.234,50"},
    {1041, "2024/03/05", "2024年3月5日", "14:07:09", "9:05:03", "火, 05 3 2024", "¥1,235", "-¥1,235"},
    {2052, "2024/3/5", "2024年3月5日", "14:07:09", "9:05:03", "周二, 05 三月 2024", "¥1,234.50", "¥-1,234.50"},
};

TEST_F(LocaleFormatTest, EachLocalePrintsAsWindowsDoes) {
  const SYSTEMTIME afternoon = at(2024, 3, 5, 14, 7, 9);
  const SYSTEMTIME morning = at(2024, 3, 5, 9, 5, 3);
  for (const LocaleCase& c : kLocales) {
    SCOPED_TRACE(c.lcid);
    EXPECT_EQ(dateOf(c.lcid, DATE_SHORTDATE, afternoon), c.shortDate);
    EXPECT_EQ(dateOf(c.lcid, 0, afternoon), c.shortDate);
    EXPECT_EQ(dateOf(c.lcid, DATE_LONGDATE | LOCALE_NOUSEROVERRIDE, afternoon), c.longDate);
    EXPECT_EQ(timeOf(c.lcid, 0, afternoon), c.afternoon);
    EXPECT_EQ(timeOf(c.lcid, 0, morning), c.morning);
    EXPECT_EQ(dateOf(c.lcid, 0, afternoon, u"ddd, dd MMM yyyy"), c.abbreviated);
    EXPECT_EQ(currency(c.lcid, u"1234.5"), c.currency);
    EXPECT_EQ(currency(c.lcid, u"-1234.5"), c.negativeCurrency);
  }
}

TEST_F(LocaleFormatTest, NamesFollowWindowsWhereIcuDiffers) {
  const SYSTEMTIME sunday = at(2024, 9, 1, 14, 7, 9);
  const struct {
    LCID lcid;
    const char16_t* picture;
    const char* expected;
  } cases[] = {
      {2057, u"ddd d MMM", "Sun 1 Sep"},      // ICU: "Sept"
      {3082, u"ddd d MMM", "dom 1 sep"},      // ICU: "sept"
      {1031, u"ddd d MMM", "So 1 Sep"},       // ICU: "So." and "Sept."
      {1031, u"d. MMM", "1. Sep"},
      {2052, u"MMM", "九月"},                 // ICU: "9月"
      {1041, u"MMMM", "9月"},
      {1033, u"gg yyyy", "A.D. 2024"},        // ICU: "AD"
      {1031, u"gg", "n. Chr."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(dateOf(c.lcid, 0, sunday, c.picture), c.expected);
  }
  // Windows has no time markers for these locales; ICU would print AM/PM or "a. m.".
  EXPECT_EQ(timeOf(1031, 0, sunday, u"h:mm tt"), "2:07 ");
  EXPECT_EQ(timeOf(3082, 0, sunday, u"tt"), "");
  EXPECT_EQ(timeOf(2057, 0, sunday, u"h:mm tt"), "2:07 PM");  // ICU: "pm"
  EXPECT_EQ(timeOf(1041, 0, sunday, u"tt h:mm"), "午後 2:07");
  EXPECT_EQ(timeOf(2052, 0, sunday, u"tth:mm"), "下午2:07");
}

TEST_F(LocaleFormatTest, DatePictureLetters) {
  const SYSTEMTIME st = at(2002, 5, 4, 8, 56, 13);  // a Saturday
  const struct {
    const char16_t* picture;
    const char* expected;
  } cases[] = {
      {u"ddd',' MMM dd yy", "Sat, May 04 02"},
      {u"d dd ddd dddd ddddd", "4 04 Sat Saturday Saturday"},
      {u"M MM MMM MMMM MMMMM", "5 05 May May May"},
      {u"y yy yyy yyyy yyyyy", "2 02 02 2002 2002"},
      {u"g gg", "A.D. A.D."},
      {u"h:mm tt", "h:mm tt"},  // time letters are text in a date
      {u"Q z !", "Q z !"},
      {u"'dd' dd", "dd 04"},
      {u"'It''s' d", "It's 4"},
      {u"'unterminated d", "unterminated d"},
      {u"''", ""},
      {u"''''", "'"},
      {u"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(dateOf(1033, 0, st, c.picture), c.expected);
  }
  // The weekday is computed, whatever the caller put in wDayOfWeek.
  SYSTEMTIME wrongWeekday = st;
  wrongWeekday.wDayOfWeek = 3;
  EXPECT_EQ(dateOf(1033, 0, wrongWeekday, u"dddd"), "Saturday");
  EXPECT_EQ(dateOf(1033, 0, at(1601, 1, 1), u"yyyy dddd"), "1601 Monday");
  EXPECT_EQ(dateOf(1033, 0, at(30827, 12, 31), u"yyyy"), "30827");
}

TEST_F(LocaleFormatTest, TimePictureLettersAndFlags) {
  SYSTEMTIME st = at(2002, 5, 4, 8, 56, 13);
  const struct {
    DWORD flags;
    const char16_t* picture;
    const char* expected;
  } morning[] = {
      {TIME_FORCE24HOURFORMAT, u"tt HH':'mm'@'ss", "AM 08:56@13"},
      {TIME_NOSECONDS, u"h:m:s tt", "8:56 AM"},
      {TIME_NOSECONDS, u"h.@:m.@:s.@:tt", "8.@:56AM"},
      {TIME_NOSECONDS, u"s1s2s3", ""},
      {TIME_NOMINUTESORSECONDS, u"m1s2m3s4", ""},
      {TIME_NOMINUTESORSECONDS, nullptr, "8 AM"},
      {TIME_NOSECONDS, nullptr, "8:56 AM"},
      {TIME_NOTIMEMARKER, nullptr, "8:56:13"},
      {TIME_NOTIMEMARKER, u"'123'tt", ""},
      {0, u"t/tt", "A/AM"},
      {0, u"h:hh:hhh H:HH:HHH m:mm:mmm M:MM:MMM s:ss:sss S:SS:SSS",
       "8:08:08 8:08:08 56:56:56 M:MM:MMM 13:13:13 S:SS:SSS"},
      {0, u"h 'h' H 'H' HH 'HH' m 'm' s 's' t 't' tt 'tt'", "8 h 8 H 08 HH 56 m 13 s A t AM tt"},
      {0, u"'''", "'"},
      {0, u"''''", "'"},
      {0, u"''HHHHHH", "08"},
      {0, u"'''HHHHHH'", "'HHHHHH"},
      {0, u"'''HHHHHH", "'HHHHHH"},
      {0, u"dd/MM/yyyy HH:mm", "dd/MM/yyyy 08:56"},  // date letters are text in a time
      {TIME_NOSECONDS, u"HH:mm", "08:56"},
      {TIME_NOSECONDS, u"", ""},
  };
  for (const auto& c : morning) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(timeOf(1033, c.flags, st, c.picture), c.expected);
  }
  st.wHour = 13;
  EXPECT_EQ(timeOf(1033, TIME_NOTIMEMARKER, st, u"h1t2tt3m"), "156");
  EXPECT_EQ(timeOf(1033, TIME_FORCE24HOURFORMAT, st, u"h:m:s tt"), "13:56:13 PM");
  EXPECT_EQ(timeOf(1033, TIME_FORCE24HOURFORMAT, st, u"h:m:s"), "13:56:13");
  EXPECT_EQ(timeOf(1033, 0, st, u"t/tt"), "P/PM");
  st.wHour = 0;
  EXPECT_EQ(timeOf(1033, 0, st, u"h/H/hh/HH"), "12/0/12/00");
  st.wHour = 12;
  EXPECT_EQ(timeOf(1033, 0, st, u"h tt"), "12 PM");
  // The date fields of a time are not read.
  st.wMonth = 60;
  EXPECT_EQ(timeOf(1033, 0, st, u"h:m:s"), "12:56:13");
}

TEST_F(LocaleFormatTest, GenitiveMonthNamesBesideADayNumber) {
  const SYSTEMTIME st = at(2024, 3, 5);
  const struct {
    LCID lcid;
    const char16_t* picture;
    const char* expected;
  } cases[] = {
      {1049, u"d MMMM yyyy", "5 марта 2024"},
      {1049, u"MMMM yyyy", "март 2024"},
      {1049, u"MMMM d", "марта 5"},
      {1049, u"MMMM ' ' dd", "марта   05"},
      {1049, u"MMMM, d", "март, 5"},
      {1049, u"dddd MMMM", "вторник март"},
      {1045, u"d MMMM", "5 marca"},
      {1045, u"MMMM", "marzec"},
      {1031, u"d MMMM", "5 März"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(dateOf(c.lcid, 0, st, c.picture), c.expected);
  }
}

TEST_F(LocaleFormatTest, OtherLocalesTakeIcuDataInWindowsForm) {
  const SYSTEMTIME st = at(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(dateOf(1049, DATE_SHORTDATE, st), "05.03.2024");
  EXPECT_EQ(timeOf(1049, 0, st), "14:07:09");
  EXPECT_EQ(currency(1049, u"-1234.5"), "-1\u00A0234,50 ₽");
  EXPECT_EQ(currency(1049, u"1234.5"), "1\u00A0234,50 ₽");
  // en-AU's ICU time pattern carries a narrow space before the marker; Windows uses a space.
  EXPECT_EQ(timeOf(3081, 0, st), "2:07:09 pm");
  EXPECT_EQ(currency(3081, u"-2"), "-$2.00");
  // An id without a locale formats as 1033; the default ids follow the user's locale.
  EXPECT_EQ(dateOf(0x12345, DATE_LONGDATE, st), "Tuesday, March 5, 2024");
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(dateOf(LOCALE_USER_DEFAULT, DATE_LONGDATE, st), "Dienstag, 5. März 2024");
  EXPECT_EQ(currency(LOCALE_USER_DEFAULT, u"-1.5000"), "-1,50 €");
  EXPECT_EQ(dateOf(0x10407, 0, st), "05.03.2024");  // German with phone-book sorting
}

TEST_F(LocaleFormatTest, FlagsWindowsRefuses) {
  const SYSTEMTIME st = at(2024, 3, 5, 14, 7, 9);
  // A picture comes without flags; an empty picture is still a picture.
  EXPECT_EQ(dateOf(1033, LOCALE_NOUSEROVERRIDE, st, u"ddd',' MMM dd yy"), kInvalidFlags);
  EXPECT_EQ(dateOf(1033, DATE_SHORTDATE, st, u""), kInvalidFlags);
  EXPECT_EQ(dateOf(1033, DATE_LONGDATE, st, u"d"), kInvalidFlags);
  EXPECT_EQ(dateOf(1033, DATE_SHORTDATE | DATE_LONGDATE, st), kInvalidFlags);
  EXPECT_EQ(dateOf(1033, DATE_LTRREADING | DATE_RTLREADING, st), kInvalidFlags);
  EXPECT_EQ(dateOf(1033, 0x100, st), kInvalidFlags);
  EXPECT_EQ(dateOf(1033, DATE_YEARMONTH, st), "March 2024");
  EXPECT_EQ(dateOf(3082, DATE_YEARMONTH, st), "marzo de 2024");
  EXPECT_EQ(dateOf(1041, DATE_MONTHDAY, st), "3月5日");
  EXPECT_EQ(timeOf(1033, LOCALE_NOUSEROVERRIDE | TIME_FORCE24HOURFORMAT, st, u"HH"), kInvalidFlags);
  EXPECT_EQ(timeOf(1033, 0x10, st), kInvalidFlags);
  EXPECT_EQ(timeOf(1033, LOCALE_NOUSEROVERRIDE | TIME_NOSECONDS, st), "2:07 PM");
}

TEST_F(LocaleFormatTest, InvalidDatesAndTimes) {
  const SYSTEMTIME bad[] = {at(2024, 13, 1), at(2024, 0, 1), at(2023, 2, 29), at(2024, 4, 31), at(1600, 12, 31),
                            at(2024, 1, 0)};
  for (const SYSTEMTIME& st : bad) {
    SCOPED_TRACE(testing::Message() << st.wYear << "-" << st.wMonth << "-" << st.wDay);
    EXPECT_EQ(dateOf(1033, 0, st, u"d"), kInvalidParameter);
  }
  SYSTEMTIME st = at(2024, 2, 29, 23, 59, 59);
  EXPECT_EQ(dateOf(1033, 0, st, u"d"), "29");
  st.wHour = 99;  // a date's time fields are not checked
  EXPECT_EQ(dateOf(1033, 0, st, u"d"), "29");
  for (const auto& [hour, minute, second, ms] : {std::array<WORD, 4>{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0},
                                                  {0, 0, 0, 1000}}) {
    SYSTEMTIME t = at(2024, 1, 1, hour, minute, second);
    t.wMilliseconds = ms;
    EXPECT_EQ(timeOf(1033, 0, t, u"H"), kInvalidParameter);
  }
}

TEST_F(LocaleFormatTest, BufferProtocol) {
  const SYSTEMTIME st = at(2024, 3, 5, 14, 7, 9);
  char16_t buffer[64];
  // "3/5/2024" needs 9 characters with its terminator.
  EXPECT_EQ(GetDateFormatW(1033, 0, &st, nullptr, nullptr, 0), 9);
  SetLastError(0);
  EXPECT_EQ(GetDateFormatW(1033, 0, &st, nullptr, buffer, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetDateFormatW(1033, 0, &st, nullptr, buffer, 9), 9);
  EXPECT_EQ(std::u16string(buffer), u"3/5/2024");
  EXPECT_EQ(GetDateFormatW(1033, 0, &st, nullptr, nullptr, 9), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(GetDateFormatW(1033, 0, &st, nullptr, buffer, -1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(GetTimeFormatW(1033, 0, &st, u" HH", buffer, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetCurrencyFormatW(1033, 0, u"23", nullptr, nullptr, 10), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(GetCurrencyFormatW(1033, 0, u"1234", nullptr, buffer, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  // A very long picture: every character counts, nothing is cut short.
  std::u16string longPicture;
  for (int i = 0; i < 5000; ++i) longPicture += u"dd'-'";
  const std::string text = dateOf(1033, 0, st, longPicture.c_str());
  EXPECT_EQ(text.size(), 15000u);
  EXPECT_EQ(text.substr(0, 6), "05-05-");
}

TEST_F(LocaleFormatTest, NullTimeMeansNowInLocalTime) {
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  SYSTEMTIME utc = at(2024, 7, 1, 12, 0, 0);
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&utc, &ft));
  platform::system::setSystemTimeForTesting(&ft);
  char16_t buffer[64];
  ASSERT_GT(GetTimeFormatW(1031, 0, nullptr, nullptr, buffer, 64), 0);
  EXPECT_EQ(std::u16string(buffer), u"14:00:00");
  ASSERT_GT(GetDateFormatW(1031, DATE_LONGDATE, nullptr, nullptr, buffer, 64), 0);
  EXPECT_EQ(std::u16string(buffer), u"Montag, 1. Juli 2024");
}

TEST_F(LocaleFormatTest, NumberValueTexts) {
  const struct {
    const char16_t* value;
    const char* expected;
  } cases[] = {
      {u"2353", "2,353.00"}, {u"-2353", "-2,353.00"}, {u"-353", "-353.00"}, {u"2353.111", "2,353.11"},
      {u"2353.119", "2,353.12"}, {u"0.005", "0.01"}, {u"-0.004", "0.00"}, {u"-0", "0.00"}, {u".5", "0.50"},
      {u"5.", "5.00"}, {u"000235", "235.00"}, {u"999.995", "1,000.00"}, {u"-1.5000", "-1.50"},
      {u"123456789012345678901234567890", "123,456,789,012,345,678,901,234,567,890.00"},
      {u"23,53", nullptr}, {u"--", nullptr}, {u"0-", nullptr}, {u"0..", nullptr}, {u" 0.1", nullptr},
      {u"", nullptr}, {u"-", nullptr}, {u".", nullptr}, {u"1e5", nullptr}, {u"+1", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::system::utf16ToUtf8(c.value));
    EXPECT_EQ(number(1033, c.value), c.expected ? c.expected : kInvalidParameter);
  }
  EXPECT_EQ(number(1036, u"-12345"), "-12\u00A0345,00");
  EXPECT_EQ(number(1031, u"-1234.5"), "-1.234,50");
  EXPECT_EQ(currency(1033, u"-1.5000"), "($1.50)");
  EXPECT_EQ(currency(1033, u".5000"), "$0.50");
  EXPECT_EQ(currency(1041, u"0.4"), "¥0");
  EXPECT_EQ(currency(1033, u"-0.001"), "$0.00");
  EXPECT_EQ(currency(1033, u"12x"), kInvalidParameter);
  char16_t buffer[32];
  EXPECT_EQ(GetCurrencyFormatW(1033, 0, nullptr, nullptr, buffer, 32), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(LocaleFormatTest, CallerFormats) {
  char16_t dot[] = u".";
  char16_t comma[] = u",";
  char16_t dollar[] = u"$";
  NUMBERFMTW nf{0, 0, 0, dot, comma, 0};
  EXPECT_EQ(number(1033, u"2353", &nf), "2353");
  nf.NumDigits = 1;
  const struct {
    UINT grouping;
    const char16_t* value;
    const char* expected;
  } groupings[] = {
      {2, u"2353", "23,53.0"}, {3, u"235", "235.0"}, {23, u"123456789", "1,234,567,89.0"},
      {230, u"123456789", "1234,567,89.0"}, {203, u"123456789", "1,234,567,,89.0"},
      {2030, u"123456789", "1234,567,,89.0"}, {2003, u"123456789", "1,234,567,,,89.0"},
      {1200, u"123456789", "123456,,78,9.0"}, {31, u"1234567890", "1,2,3,4,5,6,7,890.0"},
      {312, u"1234567890", "12,34,56,7,890.0"}, {310, u"1234567890", "123456,7,890.0"},
  };
  for (const auto& g : groupings) {
    SCOPED_TRACE(g.grouping);
    nf.Grouping = g.grouping;
    EXPECT_EQ(number(1033, g.value, &nf), g.expected);
  }
  nf.Grouping = 3;
  const char* negatives[] = {"(1.0)", "-1.0", "- 1.0", "1.0-", "1.0 -"};
  for (UINT order = 0; order < 5; ++order) {
    nf.NegativeOrder = order;
    EXPECT_EQ(number(1033, u"-1", &nf), negatives[order]);
  }
  nf.LeadingZero = 0;
  EXPECT_EQ(number(1033, u"0.5", &nf), ".5");
  nf.NegativeOrder = 5;
  EXPECT_EQ(number(1033, u"1", &nf), kInvalidParameter);
  NUMBERFMTW empty{};
  EXPECT_EQ(number(1033, u"1", &empty), kInvalidParameter);
  nf.NegativeOrder = 1;
  EXPECT_EQ(twoStep([&](LPWSTR b, int n) { return GetNumberFormatW(1033, LOCALE_NOUSEROVERRIDE, u"1", &nf, b, n); }),
            kInvalidFlags);

  CURRENCYFMTW cf{1, 0, 0, dot, comma, 0, 0, dollar};
  const char* currencyNegatives[] = {"($1.0)", "-$1.0", "$-1.0", "$1.0-", "(1.0$)", "-1.0$", "1.0-$", "1.0$-",
                                     "-1.0 $", "-$ 1.0", "1.0 $-", "$ 1.0-", "$ -1.0", "1.0- $", "($ 1.0)",
                                     "(1.0 $)"};
  for (UINT order = 0; order < 16; ++order) {
    SCOPED_TRACE(order);
    cf.NegativeOrder = order;
    EXPECT_EQ(currency(1033, u"-1", &cf), currencyNegatives[order]);
  }
  const char* positives[] = {"$1.0", "1.0$", "$ 1.0", "1.0 $"};
  for (UINT order = 0; order < 4; ++order) {
    cf.PositiveOrder = order;
    EXPECT_EQ(currency(1033, u"1", &cf), positives[order]);
  }
  cf.PositiveOrder = 4;
  EXPECT_EQ(currency(1033, u"1", &cf), kInvalidParameter);
}

TEST_F(LocaleFormatTest, CaseMappingKeepsLength) {
  auto mapped = [](LCID lcid, DWORD flags, std::u16string text) {
    const int n = LCMapStringW(lcid, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n), u'?');
    EXPECT_EQ(LCMapStringW(lcid, flags, text.data(), static_cast<int>(text.size()), out.data(), n), n);
    return platform::system::utf16ToUtf8(out);
  };
  EXPECT_EQ(mapped(1031, LCMAP_UPPERCASE, u"Straße"), "STRAßE");
  EXPECT_EQ(mapped(1031, LCMAP_LOWERCASE, u"ÄRGER"), "ärger");
  EXPECT_EQ(mapped(1055, LCMAP_UPPERCASE, u"istanbul"), "ISTANBUL");
  EXPECT_EQ(mapped(1055, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, u"istanbul ılık"), "İSTANBUL ILIK");
  EXPECT_EQ(mapped(1055, LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING, u"İSTANBUL ILIK"), "istanbul ılık");
  EXPECT_EQ(mapped(1033, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, u"istanbul"), "ISTANBUL");
  EXPECT_EQ(mapped(1033, LCMAP_UPPERCASE, u"\U00010428x"), "\U00010400X");  // a surrogate pair
  std::u16string lone = u"a\xD800" u"b";
  EXPECT_EQ(mapped(1033, LCMAP_UPPERCASE, lone).size(), 5u);  // A, U+FFFD (3 bytes), B

  char16_t inPlace[] = u"mixed Case";
  EXPECT_EQ(LCMapStringW(1033, LCMAP_UPPERCASE, inPlace, -1, inPlace, 11), 11);
  EXPECT_EQ(std::u16string(inPlace), u"MIXED CASE");
  char16_t small[4];
  EXPECT_EQ(LCMapStringW(1033, LCMAP_UPPERCASE, u"hello", -1, small, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(LCMapStringW(1033, LCMAP_UPPERCASE | LCMAP_LOWERCASE, u"x", -1, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  EXPECT_EQ(LCMapStringW(1033, 0x400 /* sort key */, u"x", -1, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  EXPECT_EQ(LCMapStringW(1033, LCMAP_UPPERCASE, u"x", 0, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
