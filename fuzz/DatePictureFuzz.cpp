// Random pictures and flags into the date and time formatters, random value texts and formats
// into the number and currency formatters: none may crash, and the size each answers for a null
// buffer must be what it then writes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/system/LocaleFormat.h"

namespace {

constexpr LCID kLocales[] = {1033, 2057, 1031, 1036, 1040, 3082, 1043, 1041, 2052, 1049, 1045, 0x400, 0x12345, 3081};

template <typename Call>
void checkTwoStep(Call call) {
  const int size = call(nullptr, 0);
  if (size <= 0) return;
  std::vector<char16_t> buffer(static_cast<std::size_t>(size) + 1, u'#');
  if (call(buffer.data(), size) != size || buffer[static_cast<std::size_t>(size) - 1] != 0 ||
      buffer[static_cast<std::size_t>(size)] != u'#')
    std::abort();
  if (size > 1 && call(buffer.data(), size - 1) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 12) return 0;
  const LCID lcid = kLocales[data[0] % (sizeof kLocales / sizeof kLocales[0])];
  const DWORD flags = static_cast<DWORD>(data[1]) | (static_cast<DWORD>(data[2] & 0x80) << 24);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(1601 + ((data[3] | (data[4] << 8)) % 29300));
  st.wMonth = static_cast<WORD>(data[5] % 14);
  st.wDay = static_cast<WORD>(data[6] % 33);
  st.wHour = static_cast<WORD>(data[7] % 26);
  st.wMinute = static_cast<WORD>(data[8] % 61);
  st.wSecond = static_cast<WORD>(data[9] % 61);
  const bool nullPicture = data[10] & 1;
  const bool nullTime = (data[10] & 6) == 6;
  std::u16string text;
  for (std::size_t i = 12; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  const char16_t* picture = nullPicture ? nullptr : text.c_str();
  const SYSTEMTIME* when = nullTime ? nullptr : &st;

  checkTwoStep([&](LPWSTR b, int n) { return GetDateFormatW(lcid, flags, when, picture, b, n); });
  checkTwoStep([&](LPWSTR b, int n) { return GetTimeFormatW(lcid, flags & 0x8000000F, when, picture, b, n); });
  checkTwoStep([&](LPWSTR b, int n) { return GetNumberFormatW(lcid, 0, text.c_str(), nullptr, b, n); });
  checkTwoStep([&](LPWSTR b, int n) { return GetCurrencyFormatW(lcid, 0, text.c_str(), nullptr, b, n); });

  char16_t dot[] = u",.";
  char16_t group[] = u"\u00A0";
  char16_t symbol[] = u"EUR";
  CURRENCYFMTW format{static_cast<UINT>(data[11] % 11), static_cast<UINT>(data[11] >> 7),
                      static_cast<UINT>(data[3]) * 131u + data[4], dot, group, static_cast<UINT>(data[5] % 17),
                      static_cast<UINT>(data[6] % 5), symbol};
  checkTwoStep([&](LPWSTR b, int n) { return GetCurrencyFormatW(lcid, 0, text.c_str(), &format, b, n); });
  NUMBERFMTW number{format.NumDigits, format.LeadingZero, format.Grouping, dot, group, static_cast<UINT>(data[7] % 6)};
  checkTwoStep([&](LPWSTR b, int n) { return GetNumberFormatW(lcid, 0, text.c_str(), &number, b, n); });
  if (!text.empty()) {
    std::u16string copy = text;
    LCMapStringW(lcid, flags & 1 ? LCMAP_UPPERCASE : LCMAP_LOWERCASE | (flags & 2 ? LCMAP_LINGUISTIC_CASING : 0),
                 copy.data(), static_cast<int>(copy.size()), copy.data(), static_cast<int>(copy.size()));
  }
  return 0;
}
