// Which code page the 8-bit strings of a message are stored in.
#include "platform/mapi/MsgFile.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/detail/MsgModel.h"
#include "platform/system/CodePage.h"

namespace platform::mapi {

UINT ansiCodePageOfLcid(LCID lcid) {
  const LANGID lang = static_cast<LANGID>(lcid & 0xFFFF);
  const unsigned primary = lang & 0x3FF;
  switch (lang) {
    case 0x0404: case 0x0C04: case 0x1404: return 950;  // Chinese: Taiwan, Hong Kong, Macao
    case 0x0804: case 0x1004: return 936;               // Chinese: PRC, Singapore
    case 0x081A: case 0x141A: case 0x181A: case 0x241A: return 1250;  // Latin Serbian, Bosnian
    case 0x0C1A: case 0x1C1A: case 0x201A: case 0x281A: return 1251;  // Cyrillic Serbian, Bosnian
    case 0x082C: return 1251;                                         // Cyrillic Azeri
    case 0x0843: return 1251;                                         // Cyrillic Uzbek
    default: break;
  }
  switch (primary) {
    case 0x11: return 932;                            // Japanese
    case 0x04: return 936;                            // other Chinese
    case 0x12: return 949;                            // Korean
    case 0x1E: return 874;                            // Thai
    case 0x2A: return 1258;                           // Vietnamese
    case 0x05: case 0x0E: case 0x15: case 0x18:       // Czech, Hungarian, Polish, Romanian
    case 0x1A: case 0x1B: case 0x1C: case 0x24:       // Croatian, Slovak, Albanian, Slovenian
      return 1250;
    case 0x02: case 0x19: case 0x22: case 0x23:       // Bulgarian, Russian, Ukrainian, Belarusian
    case 0x2F: case 0x3F: case 0x40: case 0x44:       // Macedonian, Kazakh, Kyrgyz, Tatar
    case 0x50: case 0x28: case 0x6D: case 0x85:       // Mongolian, Tajik, Bashkir, Sakha
      return 1251;
    case 0x08: return 1253;                           // Greek
    case 0x1F: case 0x2C: case 0x43: case 0x42:       // Turkish, Azeri, Uzbek, Turkmen
      return 1254;
    case 0x0D: return 1255;                           // Hebrew
    case 0x01: case 0x29: case 0x20: case 0x8C:       // Arabic, Farsi, Urdu, Dari
    case 0x92: case 0x80: case 0x59: return 1256;     // Kurdish, Uyghur, Sindhi
    case 0x25: case 0x26: case 0x27: return 1257;     // Estonian, Latvian, Lithuanian
    case 0x00: return 0;
    default: break;
  }
  // The Western European languages and every other language with a Latin script.
  static constexpr unsigned kWestern[] = {0x03, 0x06, 0x07, 0x09, 0x0A, 0x0B, 0x0C, 0x0F, 0x10, 0x13,
                                          0x14, 0x16, 0x1D, 0x21, 0x2D, 0x36, 0x38, 0x3E, 0x41, 0x56,
                                          0x62, 0x6E, 0x3A, 0x3C, 0x2E, 0x34, 0x35, 0x32, 0x52, 0x6A};
  for (unsigned w : kWestern)
    if (w == primary) return 1252;
  return 0;
}

UINT ansiCodePageOfInternetCodePage(UINT codePage) {
  switch (codePage) {
    case 874: case 932: case 936: case 949: case 950:
    case 1250: case 1251: case 1252: case 1253: case 1254: case 1255: case 1256: case 1257: case 1258:
      return codePage;
    case 50220: case 50221: case 50222: case 51932: case 20932: return 932;
    case 52936: case 20936: case 54936: case 50227: return 936;
    case 50225: case 51949: return 949;
    case 51950: return 950;
    case 28591: case 28605: return 1252;
    case 28592: return 1250;
    case 28595: case 20866: case 21866: return 1251;
    case 28597: return 1253;
    case 28599: return 1254;
    case 28598: case 38598: return 1255;
    case 28596: return 1256;
    case 28594: case 28603: return 1257;
    case 28601: return 874;
    default: return 0;  // 65001, 65000, 20127, 1200 ... say nothing of the stored bytes
  }
}

namespace detail {

UINT resolveCodePage(const PropBag& props, UINT inherited) {
  const auto longValue = [&](ULONG tag) -> UINT {
    const auto it = props.find(PROP_ID(tag));
    if (it == props.end() || PROP_TYPE(it->second.tag) != PT_LONG) return 0;
    return readU32(it->second.fixed.data());
  };
  if (const UINT cp = longValue(PR_MESSAGE_CODEPAGE);
      cp != 0 && cp != 1200 && cp != 1201 && platform::system::isCodePageSupported(cp))
    return cp;
  if (const UINT cp = ansiCodePageOfLcid(longValue(PR_MESSAGE_LOCALE_ID)); cp != 0) return cp;
  if (const UINT cp = ansiCodePageOfInternetCodePage(longValue(PR_INTERNET_CPID)); cp != 0) return cp;
  return inherited != 0 ? inherited : 1252;
}

}  // namespace detail
}  // namespace platform::mapi
