#include "platform/system/CodePage.h"

#include <unicode/ucnv.h>

#include <memory>

#include "platform/system/Text.h"

namespace platform::system {
namespace {

struct ConverterDeleter {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterDeleter>;

// ICU's names for Windows code pages where "windows-N"/"ibm-N" do not resolve as wanted.
const char* icuNameOf(UINT codePage) {
  switch (codePage) {
    case 932: return "windows-31j";
    case 936: return "windows-936";
    case 949: return "windows-949";
    case 950: return "windows-950";
    case 20127: return "US-ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 20932: case 51932: return "EUC-JP";
    case 51936: return "EUC-CN";
    case 51949: return "EUC-KR";
    case 50220: case 50221: case 50222: return "ISO-2022-JP";
    case 50225: return "ISO-2022-KR";
    case 52936: return "HZ-GB-2312";
    case 54936: return "GB18030";
    case 65000: return "UTF-7";
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 10000: return "macintosh";
    case 437: return "ibm-437";
    case 850: return "ibm-850";
    case 866: return "ibm-866";
    case 874: return "windows-874";
    default: break;
  }
  if (codePage >= 1250 && codePage <= 1258) return nullptr;  // windows-125x below
  if (codePage >= 28591 && codePage <= 28606) return nullptr;  // iso-8859-x below
  return nullptr;
}

Converter open(UINT codePage) {
  std::string name;
  if (const char* n = icuNameOf(codePage)) name = n;
  else if (codePage >= 1250 && codePage <= 1258) name = "windows-" + std::to_string(codePage);
  else if (codePage >= 28591 && codePage <= 28606) name = "ISO-8859-" + std::to_string(codePage - 28590);
  else return nullptr;
  UErrorCode status = U_ZERO_ERROR;
  Converter c(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status)) return nullptr;
  return c;
}

bool isUtf8(UINT codePage) { return codePage == 65001 || codePage == 0 || codePage == 3; }

}  // namespace

bool isCodePageSupported(UINT codePage) { return isUtf8(codePage) || open(codePage) != nullptr; }

std::optional<std::u16string> toUtf16(UINT codePage, std::string_view bytes) {
  if (isUtf8(codePage)) return utf8ToUtf16(bytes);
  Converter c = open(codePage);
  if (!c) return std::nullopt;
  std::u16string out(bytes.size() * 2 + 16, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(c.get(), reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                            bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    out.assign(static_cast<std::size_t>(n) + 1, u'\0');
    n = ucnv_toUChars(c.get(), reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), bytes.data(),
                      static_cast<int32_t>(bytes.size()), &status);
  }
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::optional<std::string> fromUtf16(UINT codePage, std::u16string_view text) {
  if (isUtf8(codePage)) return utf16ToUtf8(text);
  Converter c = open(codePage);
  if (!c) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setSubstChars(c.get(), "?", 1, &status);
  status = U_ZERO_ERROR;
  std::string out(text.size() * 4 + 16, '\0');
  int32_t n = ucnv_fromUChars(c.get(), out.data(), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    out.assign(static_cast<std::size_t>(n) + 1, '\0');
    n = ucnv_fromUChars(c.get(), out.data(), static_cast<int32_t>(out.size()),
                        reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &status);
  }
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<std::size_t>(n));
  return out;
}

UINT codePageOfCharset(std::string_view charset) {
  std::string name;
  for (char c : charset) name.push_back(static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c));
  static const struct { const char* name; UINT cp; } kTable[] = {
      {"utf-8", 65001}, {"utf8", 65001}, {"us-ascii", 20127}, {"ascii", 20127},
      {"iso-8859-1", 28591}, {"latin1", 28591}, {"iso-8859-2", 28592}, {"iso-8859-5", 28595},
      {"iso-8859-7", 28597}, {"iso-8859-9", 28599}, {"iso-8859-15", 28605},
      {"windows-1250", 1250}, {"windows-1251", 1251}, {"windows-1252", 1252}, {"windows-1253", 1253},
      {"windows-1254", 1254}, {"windows-1255", 1255}, {"windows-1256", 1256}, {"windows-1257", 1257},
      {"windows-1258", 1258}, {"shift_jis", 932}, {"shift-jis", 932}, {"windows-31j", 932}, {"iso-2022-jp", 50220},
      {"euc-jp", 51932}, {"gb2312", 936}, {"gbk", 936}, {"gb18030", 54936}, {"big5", 950},
      {"euc-kr", 51949}, {"ks_c_5601-1987", 949}, {"koi8-r", 20866}, {"koi8-u", 21866}, {"utf-7", 65000},
  };
  for (const auto& e : kTable) {
    if (name == e.name) return e.cp;
  }
  return 0;
}

}  // namespace platform::system
