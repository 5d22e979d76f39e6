#pragma once
// The text forms of VariantChangeType: numbers, booleans and dates in the US-English form.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::com::detail {

struct ParsedNumber {
  enum Kind { kInt, kUInt, kDouble } kind = kInt;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
};

// Blanks around, a sign, digits with "," between them, "." and decimals, an exponent (e/E/d/D), or
// &H/&O followed by hexadecimal/octal digits. Whole numbers stay exact (kInt, or kUInt above the
// signed range); anything with decimals or an exponent is a double.
bool parseNumber(std::u16string_view text, ParsedNumber& out);
// "True"/"False" in any case, blanks around.
bool parseBoolWord(std::u16string_view text, bool& out);
// US dates and times: "M/d/yyyy", "yyyy-M-d", "January 2, 2024", "2 Jan 2024", each with an
// optional "h:mm[:ss] [AM|PM]"; a time alone is a time on day 0. Two-digit years: 00-29 are 20xx,
// 30-99 are 19xx.
bool parseDate(std::u16string_view text, double& out);

std::u16string formatSigned(std::int64_t value);
std::u16string formatUnsigned(std::uint64_t value);
// printf's %.<digits>G, the form VarBstrFromR8/R4 give.
std::u16string formatDouble(double value, int digits);
// Ten-thousandths as a decimal without trailing zeros.
std::u16string formatCy(std::int64_t value);
// "M/d/yyyy h:mm:ss AM"; day 0 gives the time alone, midnight the date alone. False out of range.
bool formatDate(double date, std::u16string& out);

}  // namespace platform::com::detail
