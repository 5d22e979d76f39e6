#include "platform/com/detail/VariantText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/com/OleTime.h"

namespace platform::com::detail {
namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0; }

std::u16string_view trim(std::u16string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

char16_t lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool equalsAsciiNoCase(std::u16string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (lower(text[i]) != static_cast<char16_t>(word[i])) return false;
  return true;
}

std::u16string widen(const char* text, std::size_t n) { return std::u16string(text, text + n); }

// The power of ten of the first significant digit of "digits[.digits][e[+-]digits]".
long decimalMagnitude(const std::string& ascii) {
  const std::size_t e = ascii.find('e');
  long exponent = 0;
  if (e != std::string::npos) {
    const bool negative = ascii[e + 1] == '-';
    for (std::size_t i = e + 1; i < ascii.size(); ++i) {
      if (ascii[i] >= '0' && ascii[i] <= '9' && exponent < 100000) exponent = exponent * 10 + (ascii[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  const std::string mantissa = ascii.substr(0, e);
  const std::size_t point = mantissa.find('.');
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string::npos) return -100000;  // zero
  const long pointAt = static_cast<long>(point == std::string::npos ? mantissa.size() : point);
  const long at = static_cast<long>(first);
  return (at < pointAt ? pointAt - at - 1 : pointAt - at) + exponent;
}

}  // namespace

bool parseNumber(std::u16string_view text, ParsedNumber& out) {
  text = trim(text);
  if (text.empty()) return false;
  bool negative = false;
  if (text.front() == u'+' || text.front() == u'-') {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  if (text.size() > 2 && text[0] == u'&' && (lower(text[1]) == u'h' || lower(text[1]) == u'o')) {
    const int base = lower(text[1]) == u'h' ? 16 : 8;
    std::uint64_t value = 0;
    for (char16_t c : text.substr(2)) {
      int digit = -1;
      if (c >= u'0' && c <= u'9') digit = c - u'0';
      else if (base == 16 && lower(c) >= u'a' && lower(c) <= u'f') digit = lower(c) - u'a' + 10;
      if (digit < 0 || digit >= base) return false;
      if (value > (UINT64_MAX - static_cast<unsigned>(digit)) / static_cast<unsigned>(base)) return false;
      value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    if (negative) {
      if (value > (std::uint64_t{1} << 63)) return false;
      out = ParsedNumber{ParsedNumber::kInt, static_cast<std::int64_t>(0 - value), 0, 0};
    } else if (value > static_cast<std::uint64_t>(INT64_MAX)) {
      out = ParsedNumber{ParsedNumber::kUInt, 0, value, 0};
    } else {
      out = ParsedNumber{ParsedNumber::kInt, static_cast<std::int64_t>(value), 0, 0};
    }
    return true;
  }
  // Collect an ASCII form without the thousands separators.
  std::string ascii;
  std::size_t i = 0, digits = 0;
  bool whole = true;
  while (i < text.size() && ((text[i] >= u'0' && text[i] <= u'9') || (text[i] == u',' && digits > 0))) {
    if (text[i] != u',') {
      ascii += static_cast<char>(text[i]);
      ++digits;
    }
    ++i;
  }
  if (i < text.size() && text[i] == u'.') {
    whole = false;
    ascii += '.';
    ++i;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
      ascii += static_cast<char>(text[i++]);
      ++digits;
    }
  }
  if (digits == 0) return false;
  if (i < text.size() && (lower(text[i]) == u'e' || lower(text[i]) == u'd')) {
    whole = false;
    ascii += 'e';
    ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ascii += static_cast<char>(text[i++]);
    std::size_t expDigits = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
      ascii += static_cast<char>(text[i++]);
      ++expDigits;
    }
    if (expDigits == 0) return false;
  }
  if (i != text.size()) return false;
  if (whole) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (ec == std::errc() && end == ascii.data() + ascii.size()) {
      if (negative) {
        if (value <= (std::uint64_t{1} << 63)) {
          out = ParsedNumber{ParsedNumber::kInt, static_cast<std::int64_t>(0 - value), 0, 0};
          return true;
        }
      } else {
        out = value > static_cast<std::uint64_t>(INT64_MAX) ? ParsedNumber{ParsedNumber::kUInt, 0, value, 0}
                                                            : ParsedNumber{ParsedNumber::kInt, static_cast<std::int64_t>(value), 0, 0};
        return true;
      }
    }
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (end != ascii.data() + ascii.size()) return false;
  // Too large reads as infinity, which the conversions answer with an overflow; too small is 0.
  if (ec == std::errc::result_out_of_range) value = decimalMagnitude(ascii) > 0 ? HUGE_VAL : 0.0;
  else if (ec != std::errc()) return false;
  out = ParsedNumber{ParsedNumber::kDouble, 0, 0, negative ? -value : value};
  return true;
}

bool parseBoolWord(std::u16string_view text, bool& out) {
  text = trim(text);
  if (equalsAsciiNoCase(text, "true")) {
    out = true;
    return true;
  }
  if (equalsAsciiNoCase(text, "false")) {
    out = false;
    return true;
  }
  return false;
}

namespace {

constexpr std::string_view kMonths[] = {"january", "february", "march",     "april",   "may",      "june",
                                        "july",    "august",   "september", "october", "november", "december"};
constexpr std::string_view kWeekdays[] = {"sunday",   "monday", "tuesday", "wednesday",
                                          "thursday", "friday", "saturday"};

// A word that is the start (at least three letters) of a name in the list: its index, else -1.
int matchName(std::u16string_view word, const std::string_view* names, int count) {
  if (word.size() < 3) return -1;
  for (int n = 0; n < count; ++n) {
    const std::string_view name = names[n];
    if (word.size() <= name.size() && equalsAsciiNoCase(word, name.substr(0, word.size()))) return n;
  }
  return -1;
}

struct Token {
  enum Kind { kNumber, kWord, kSeparator } kind;
  std::u16string_view text;
  unsigned value = 0;
};

bool tokenize(std::u16string_view text, std::vector<Token>& tokens) {
  std::size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c >= u'0' && c <= u'9') {
      std::size_t j = i;
      unsigned value = 0;
      while (j < text.size() && text[j] >= u'0' && text[j] <= u'9') {
        if (j - i >= 5) return false;  // no field of a date has more than four digits
        value = value * 10 + (text[j] - u'0');
        ++j;
      }
      tokens.push_back({Token::kNumber, text.substr(i, j - i), value});
      i = j;
    } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
      std::size_t j = i;
      while (j < text.size() && ((text[j] >= u'a' && text[j] <= u'z') || (text[j] >= u'A' && text[j] <= u'Z'))) ++j;
      tokens.push_back({Token::kWord, text.substr(i, j - i), 0});
      i = j;
    } else if (c == u'/' || c == u'-' || c == u'.' || c == u':' || c == u',' || isBlank(c)) {
      tokens.push_back({Token::kSeparator, text.substr(i, 1), 0});
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

bool isSep(const std::vector<Token>& t, std::size_t i, char16_t c) {
  return i < t.size() && t[i].kind == Token::kSeparator && t[i].text[0] == c;
}

}  // namespace

bool parseDate(std::u16string_view text, double& out) {
  std::vector<Token> tokens;
  text = trim(text);
  if (text.empty() || !tokenize(text, tokens)) return false;

  std::vector<std::size_t> numbers;  // indexes of the date's number tokens
  int month = -1;
  std::optional<unsigned> hour, minute, second;
  int meridiem = 0;  // 1 AM, 2 PM
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == Token::kSeparator) continue;
    if (t.kind == Token::kWord) {
      if (equalsAsciiNoCase(t.text, "am") || equalsAsciiNoCase(t.text, "a")) {
        if (meridiem) return false;
        meridiem = 1;
      } else if (equalsAsciiNoCase(t.text, "pm") || equalsAsciiNoCase(t.text, "p")) {
        if (meridiem) return false;
        meridiem = 2;
      } else if (equalsAsciiNoCase(t.text, "t")) {
        // ISO's separator between date and time.
      } else if (const int m = matchName(t.text, kMonths, 12); m >= 0) {
        if (month >= 0) return false;
        month = m + 1;
      } else if (matchName(t.text, kWeekdays, 7) < 0) {
        return false;
      }
      continue;
    }
    // h:mm[:ss] is the time; any other number belongs to the date.
    if (isSep(tokens, i + 1, u':') && i + 2 < tokens.size() && tokens[i + 2].kind == Token::kNumber) {
      if (hour) return false;
      hour = t.value;
      minute = tokens[i + 2].value;
      i += 2;
      if (isSep(tokens, i + 1, u':') && i + 2 < tokens.size() && tokens[i + 2].kind == Token::kNumber) {
        second = tokens[i + 2].value;
        i += 2;
      }
      continue;
    }
    numbers.push_back(i);
  }
  // "3 PM": a lone number right before the meridiem is an hour.
  if (meridiem && !hour && !numbers.empty()) {
    const std::size_t last = numbers.back();
    std::size_t next = last + 1;
    while (next < tokens.size() && tokens[next].kind == Token::kSeparator) ++next;
    if (next < tokens.size() && tokens[next].kind == Token::kWord &&
        (equalsAsciiNoCase(tokens[next].text, "am") || equalsAsciiNoCase(tokens[next].text, "a") ||
         equalsAsciiNoCase(tokens[next].text, "pm") || equalsAsciiNoCase(tokens[next].text, "p"))) {
      hour = tokens[last].value;
      minute = 0;
      numbers.pop_back();
    }
  }
  if (meridiem && !hour) return false;

  SYSTEMTIME st{1899, 12, 0, 30, 0, 0, 0, 0};
  const auto year = [](const Token& t) -> unsigned {
    if (t.text.size() <= 2) return t.value < 30 ? 2000 + t.value : 1900 + t.value;
    return t.value;
  };
  if (month > 0) {
    if (numbers.size() != 2) return false;
    const Token& a = tokens[numbers[0]];
    const Token& b = tokens[numbers[1]];
    // "January 2, 2024" and "2 January 2024" both give the day first; a long field is the year.
    const bool aIsYear = a.text.size() > 2 && b.text.size() <= 2;
    st.wYear = static_cast<WORD>(year(aIsYear ? a : b));
    st.wDay = static_cast<WORD>(aIsYear ? b.value : a.value);
    st.wMonth = static_cast<WORD>(month);
  } else if (numbers.size() == 3) {
    const Token& a = tokens[numbers[0]];
    const Token& b = tokens[numbers[1]];
    const Token& c = tokens[numbers[2]];
    if (a.text.size() > 2) {
      st.wYear = static_cast<WORD>(a.value);
      st.wMonth = static_cast<WORD>(b.value);
      st.wDay = static_cast<WORD>(c.value);
    } else {
      st.wMonth = static_cast<WORD>(a.value);
      st.wDay = static_cast<WORD>(b.value);
      st.wYear = static_cast<WORD>(year(c));
    }
  } else if (!numbers.empty() || !hour) {
    return false;
  }
  if (hour) {
    unsigned h = *hour;
    if (meridiem) {
      if (h == 0 || h > 12) return false;
      h = (h % 12) + (meridiem == 2 ? 12 : 0);
    }
    if (h > 23 || *minute > 59 || second.value_or(0) > 59) return false;
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(*minute);
    st.wSecond = static_cast<WORD>(second.value_or(0));
  }
  return SystemTimeToVariantTime(&st, &out) != FALSE;
}

std::u16string formatSigned(std::int64_t value) {
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return widen(text, static_cast<std::size_t>(end - text));
}

std::u16string formatUnsigned(std::uint64_t value) {
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return widen(text, static_cast<std::size_t>(end - text));
}

std::u16string formatDouble(double value, int digits) {
  if (value == 0) return u"0";  // no "-0"
  char text[40];
  const int n = std::snprintf(text, sizeof text, "%.*G", digits, value);
  return widen(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::u16string formatCy(std::int64_t value) {
  const bool negative = value < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::u16string text = (negative ? u"-" : u"") + formatUnsigned(magnitude / 10000);
  unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  if (fraction) {
    std::u16string decimals;
    for (int i = 0; i < 4; ++i) {
      decimals.insert(decimals.begin(), static_cast<char16_t>(u'0' + fraction % 10));
      fraction /= 10;
    }
    while (decimals.back() == u'0') decimals.pop_back();
    text += u'.';
    text += decimals;
  }
  return text;
}

bool formatDate(double date, std::u16string& out) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(date, &st)) return false;
  const bool dayZero = st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30;
  const bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
  char text[48];
  int n = 0;
  if (!dayZero) n = std::snprintf(text, sizeof text, "%u/%u/%u", st.wMonth, st.wDay, st.wYear);
  if (dayZero || !midnight) {
    const unsigned h12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
    n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "%s%u:%02u:%02u %s", n ? " " : "", h12,
                       st.wMinute, st.wSecond, st.wHour < 12 ? "AM" : "PM");
  }
  out = widen(text, static_cast<std::size_t>(n));
  return true;
}

}  // namespace platform::com::detail
