#include "platform/system/Locale.h"

#include <unicode/uloc.h>

#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/system/Errors.h"

namespace platform::system {
namespace {

constexpr LCID kFallbackLocale = 1033;

thread_local std::optional<LCID> t_threadLocale;

bool isDefaultId(LCID locale) {
  return locale == LOCALE_NEUTRAL || locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT ||
         locale == LOCALE_CUSTOM_DEFAULT || locale == LOCALE_CUSTOM_UNSPECIFIED;
}

std::string icuNameOf(LCID locale) {
  char buffer[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = uloc_getLocaleForLCID(locale, buffer, sizeof buffer - 1, &status);
  if (U_FAILURE(status) || length <= 0) return {};
  std::string name(buffer, static_cast<std::size_t>(length));
  // ICU names the reserved ids "root" without an error.
  if (name == "root") return {};
  return name;
}

LCID lcidOfIcuName(const char* name) {
  const uint32_t lcid = uloc_getLCID(name);
  return static_cast<LCID>(lcid);
}

// Primary language and sub-language of an id.
WORD primaryLanguage(LCID locale) { return static_cast<WORD>(locale & 0x3FF); }
WORD subLanguage(LCID locale) { return static_cast<WORD>((locale >> 10) & 0x3F); }

}  // namespace

LCID lcidOfLocaleName(const std::string& name) {
  std::string base = name.substr(0, name.find_first_of(".@"));
  if (base.empty() || base == "C" || base == "POSIX") return 0;
  LCID lcid = lcidOfIcuName(base.c_str());
  if (lcid != 0 && subLanguage(lcid) != 0) return lcid;
  // A bare language ("de") names its neutral id; Windows locales always carry a region.
  char likely[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  uloc_addLikelySubtags(base.c_str(), likely, sizeof likely - 1, &status);
  if (U_FAILURE(status)) return lcid;
  char language[ULOC_LANG_CAPACITY] = {};
  char country[ULOC_COUNTRY_CAPACITY] = {};
  uloc_getLanguage(likely, language, sizeof language - 1, &status);
  uloc_getCountry(likely, country, sizeof country - 1, &status);
  if (U_FAILURE(status) || !*language || !*country) return lcid;
  const std::string regional = std::string(language) + "_" + country;
  const LCID full = lcidOfIcuName(regional.c_str());
  return full != 0 ? full : lcid;
}

std::string localeNameOf(LCID locale) {
  if (isDefaultId(locale)) locale = GetUserDefaultLCID();
  return icuNameOf(locale);
}

UINT ansiCodePageOf(LCID locale) {
  if (isDefaultId(locale)) locale = GetUserDefaultLCID();
  const WORD sub = subLanguage(locale);
  switch (primaryLanguage(locale)) {
    case 0x11: return 932;  // Japanese
    case 0x04: return (sub == 0x02 || sub == 0x04) ? 936 : 950;  // PRC and Singapore simplified
    case 0x12: return 949;  // Korean
    case 0x1E: return 874;  // Thai
    case 0x2A: return 1258;  // Vietnamese
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x1C: case 0x24:
      return 1250;  // Czech, Hungarian, Polish, Romanian, Slovak, Albanian, Slovenian
    case 0x1A:  // Croatian, Serbian and Bosnian: Latin or Cyrillic by sub-language
      return (sub == 0x03 || sub == 0x07 || sub == 0x08 || sub == 0x0A || sub == 0x0C) ? 1251 : 1250;
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: case 0x3F: case 0x40: case 0x44:
    case 0x50: case 0x28: case 0x6D: case 0x85:
      return 1251;  // Bulgarian, Russian, Ukrainian, Belarusian, Macedonian, Kazakh, Kyrgyz ...
    case 0x2C: case 0x43: return sub == 0x02 ? 1251 : 1254;  // Azeri and Uzbek: Cyrillic or Latin
    case 0x08: return 1253;  // Greek
    case 0x1F: return 1254;  // Turkish
    case 0x0D: return 1255;  // Hebrew
    case 0x01: case 0x29: case 0x20: case 0x80: case 0x8C: return 1256;  // Arabic, Farsi, Urdu ...
    case 0x25: case 0x26: case 0x27: return 1257;  // Estonian, Latvian, Lithuanian
    default: return 1252;
  }
}

UINT threadAnsiCodePage() { return ansiCodePageOf(GetThreadLocale()); }

void resetThreadLocaleForTesting() { t_threadLocale.reset(); }

}  // namespace platform::system

LCID GetUserDefaultLCID() {
  for (const char* variable : {"LC_ALL", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    const LCID lcid = platform::system::lcidOfLocaleName(value);
    return lcid != 0 ? lcid : platform::system::kFallbackLocale;
  }
  return platform::system::kFallbackLocale;
}

LCID GetSystemDefaultLCID() { return GetUserDefaultLCID(); }

LCID GetThreadLocale() {
  return platform::system::t_threadLocale ? *platform::system::t_threadLocale : GetUserDefaultLCID();
}

BOOL SetThreadLocale(LCID locale) {
  if (platform::system::isDefaultId(locale)) {
    platform::system::t_threadLocale = GetUserDefaultLCID();
    return TRUE;
  }
  if (platform::system::icuNameOf(locale).empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  platform::system::t_threadLocale = locale;
  return TRUE;
}

UINT GetACP() { return platform::system::ansiCodePageOf(GetSystemDefaultLCID()); }
