#include "platform/outlook/detail/MessageReader.h"

#include <cmath>
#include <ctime>
#include <system_error>
#include <vector>

#include "platform/mapi/MsgFile.h"
#include "platform/mapi/PropTags.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/rtf/Rtf.h"
#include "platform/system/CodePage.h"
#include "platform/system/Text.h"

namespace platform::outlook::detail {
namespace {

using platform::mapi::MAPIBuffer;

constexpr long long kUnixEpochIn100ns = 116444736000000000LL;
// 4501-01-01 00:00 as a FILETIME: Outlook's "none", and where every later time ends.
constexpr unsigned long long kNoDateFileTime = 0x0CB34557A3DD4000ULL;

unsigned long long ticksOf(const FILETIME& ft) {
  return (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::u16string join(const SWStringArray& values, std::u16string_view joiner) {
  std::u16string out;
  for (ULONG i = 0; i < values.cValues; ++i) {
    if (!values.lppszW[i] || !*values.lppszW[i]) continue;
    if (!out.empty()) out += joiner;
    out += values.lppszW[i];
  }
  return out;
}

// The charset a document's <meta> names, from its first bytes.
UINT metaCodePage(std::string_view html) {
  std::string head(html.substr(0, 4096));
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t at = head.find("charset=");
  if (at == std::string::npos) return 0;
  std::size_t begin = at + 8;
  while (begin < head.size() && (head[begin] == '"' || head[begin] == '\'' || head[begin] == ' ')) ++begin;
  std::size_t end = begin;
  while (end < head.size() && (std::isalnum(static_cast<unsigned char>(head[end])) || head[end] == '-' ||
                               head[end] == '_' || head[end] == ':' || head[end] == '.'))
    ++end;
  return platform::system::codePageOfCharset(head.substr(begin, end - begin));
}

std::u16string decodeHtmlBytes(std::string_view bytes, LONG internetCodePage) {
  std::vector<UINT> candidates;
  if (internetCodePage > 0) candidates.push_back(static_cast<UINT>(internetCodePage));
  if (const UINT meta = metaCodePage(bytes)) candidates.push_back(meta);
  for (UINT cp : candidates) {
    if (!platform::system::isCodePageSupported(cp)) continue;
    if (auto text = platform::system::toUtf16(cp, bytes)) return *text;
  }
  std::u16string strict;
  if (platform::system::utf8ToUtf16Strict(bytes, strict)) return strict;
  if (auto text = platform::system::toUtf16(1252, bytes)) return *text;
  return platform::system::utf8ToUtf16(bytes);
}

}  // namespace

DATE dateOfFileTime(const FILETIME& local) {
  if (ticksOf(local) >= kNoDateFileTime) return kOutlookNoDate;
  SYSTEMTIME st{};
  DATE out = kOutlookNoDate;
  if (!FileTimeToSystemTime(&local, &st) || !SystemTimeToVariantTime(&st, &out)) return kOutlookNoDate;
  return out;
}

DATE localDateOfUtc(const FILETIME& utc) {
  const unsigned long long ticks = ticksOf(utc);
  if (ticks >= kNoDateFileTime) return kOutlookNoDate;
  const long long sinceEpoch = static_cast<long long>(ticks) - kUnixEpochIn100ns;
  // Whole seconds towards minus infinity, so that times before 1970 shift correctly too.
  long long seconds = sinceEpoch / 10000000;
  if (sinceEpoch % 10000000 < 0) --seconds;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!localtime_r(&t, &local)) return kOutlookNoDate;
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(local.tm_year + 1900);
  st.wMonth = static_cast<WORD>(local.tm_mon + 1);
  st.wDay = static_cast<WORD>(local.tm_mday);
  st.wHour = static_cast<WORD>(local.tm_hour);
  st.wMinute = static_cast<WORD>(local.tm_min);
  st.wSecond = static_cast<WORD>(local.tm_sec);
  DATE out = kOutlookNoDate;
  if (!SystemTimeToVariantTime(&st, &out)) return kOutlookNoDate;
  return out;
}

std::u16string htmlOfPlainText(std::u16string_view text) {
  std::u16string out =
      u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head><body>";
  out.reserve(out.size() + text.size() + text.size() / 8 + 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\r':
        if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        out += u"<br>\r\n";
        break;
      case u'\n': out += u"<br>\r\n"; break;
      default: out += c;
    }
  }
  out += u"</body></html>";
  return out;
}

IMessage* MessageReader::message() {
  if (!m_opened) {
    m_opened = true;
    m_openResult = platform::mapi::openMsgFile(m_file, m_message.receive());
  }
  return m_message.get();
}

std::string MessageReader::openFailure() {
  if (message()) return {};
  return platform::mapi::openFailureText(m_file, FAILED(m_openResult) ? m_openResult : MAPI_E_CORRUPT_DATA);
}

std::uint64_t MessageReader::fileSize() const {
  std::error_code ec;
  const auto size = std::filesystem::file_size(m_file, ec);
  return ec ? 0 : size;
}

MAPIBuffer<SPropValue> MessageReader::read(ULONG tag) {
  IMessage* msg = message();
  if (!msg || tag == 0) return nullptr;
  LPSPropValue value = nullptr;
  if (FAILED(HrGetOneProp(msg, tag, &value))) return nullptr;
  return MAPIBuffer<SPropValue>(value);
}

ULONG MessageReader::namedTag(const GUID& set, LONG lid, ULONG type) {
  IMessage* msg = message();
  if (!msg) return 0;
  MAPINAMEID name{const_cast<GUID*>(&set), MNID_ID, {}};
  name.Kind.lID = lid;
  LPMAPINAMEID names[] = {&name};
  LPSPropTagArray tags = nullptr;
  if (FAILED(msg->GetIDsFromNames(1, names, 0, &tags)) || !tags) return 0;
  MAPIBuffer<SPropTagArray> hold(tags);
  if (tags->cValues != 1 || PROP_TYPE(tags->aulPropTag[0]) == PT_ERROR) return 0;
  return CHANGE_PROP_TYPE(tags->aulPropTag[0], type);
}

ULONG MessageReader::namedTag(const GUID& set, std::u16string_view name, ULONG type) {
  IMessage* msg = message();
  if (!msg) return 0;
  std::u16string copy(name);
  MAPINAMEID id{const_cast<GUID*>(&set), MNID_STRING, {}};
  id.Kind.lpwstrName = copy.data();
  LPMAPINAMEID names[] = {&id};
  LPSPropTagArray tags = nullptr;
  if (FAILED(msg->GetIDsFromNames(1, names, 0, &tags)) || !tags) return 0;
  MAPIBuffer<SPropTagArray> hold(tags);
  if (tags->cValues != 1 || PROP_TYPE(tags->aulPropTag[0]) == PT_ERROR) return 0;
  return CHANGE_PROP_TYPE(tags->aulPropTag[0], type);
}

ULONG MessageReader::tagOf(const PropertyDef& def) {
  switch (def.source) {
    case Source::Tag: return def.tag;
    case Source::NamedId: return def.set ? namedTag(*def.set, def.lid, PROP_TYPE(def.tag)) : 0;
    case Source::NamedString: return def.set ? namedTag(*def.set, def.stringName, PROP_TYPE(def.tag)) : 0;
    case Source::Computed: return 0;
  }
  return 0;
}

bool MessageReader::readStored(const PropertyDef& def, CComVariant& out) {
  const ULONG tag = tagOf(def);
  if (tag == 0) return false;
  switch (def.form) {
    case ValueForm::Text: {
      if (PROP_TYPE(def.tag) & MV_FLAG) {
        auto value = read(CHANGE_PROP_TYPE(tag, PT_MV_UNICODE));
        if (!value) return false;
        out = CComVariant(std::u16string_view(join(value->Value.MVszW, def.joiner)));
        return true;
      }
      auto value = read(CHANGE_PROP_TYPE(tag, PT_UNICODE));
      if (!value || !value->Value.lpszW) return false;
      out = CComVariant(std::u16string_view(value->Value.lpszW));
      return true;
    }
    case ValueForm::Long:
    case ValueForm::Bool:
    case ValueForm::Double: {
      auto value = read(CHANGE_PROP_TYPE(tag, PT_UNSPECIFIED));
      if (!value) return false;
      double number = 0;
      switch (PROP_TYPE(value->ulPropTag)) {
        case PT_LONG: number = value->Value.l; break;
        case PT_I2: number = value->Value.i; break;
        case PT_BOOLEAN: number = value->Value.b ? 1 : 0; break;
        case PT_DOUBLE: number = value->Value.dbl; break;
        case PT_FLOAT: number = value->Value.flt; break;
        default: return false;
      }
      if (!std::isfinite(number)) return false;
      if (def.form == ValueForm::Bool) {
        out = CComVariant(number != 0);
      } else if (def.form == ValueForm::Double) {
        out = CComVariant(number);
      } else {
        if (number < -2147483648.0 || number > 2147483647.0) return false;
        out = CComVariant(static_cast<LONG>(std::lround(number)));
      }
      return true;
    }
    case ValueForm::Date: {
      auto value = read(CHANGE_PROP_TYPE(tag, PT_SYSTIME));
      if (!value) return false;
      out = CComVariant(def.localDate ? dateOfFileTime(value->Value.ft) : localDateOfUtc(value->Value.ft), VT_DATE);
      return true;
    }
    case ValueForm::Object:
    case ValueForm::Method: return false;
  }
  return false;
}

std::optional<std::u16string> MessageReader::text(ULONG tag) {
  auto value = read(CHANGE_PROP_TYPE(tag, PT_UNICODE));
  if (!value || !value->Value.lpszW) return std::nullopt;
  return std::u16string(value->Value.lpszW);
}

std::optional<LONG> MessageReader::number(ULONG tag) {
  auto value = read(tag);
  if (!value) return std::nullopt;
  return value->Value.l;
}

std::optional<std::string> MessageReader::rtf() {
  auto value = read(PR_RTF_COMPRESSED);
  if (!value || value->Value.bin.cb == 0) return std::nullopt;
  auto decoded = platform::rtf::decompressRtf(
      std::string_view(reinterpret_cast<const char*>(value->Value.bin.lpb), value->Value.bin.cb));
  if (!decoded || decoded->rtf.empty()) return std::nullopt;
  return std::move(decoded->rtf);
}

std::u16string MessageReader::body() { return text(PR_BODY).value_or(std::u16string()); }

std::u16string MessageReader::htmlBody() {
  if (auto html = read(PROP_TAG(PT_UNSPECIFIED, 0x1013))) {
    switch (PROP_TYPE(html->ulPropTag)) {
      case PT_BINARY:
        return decodeHtmlBytes(
            std::string_view(reinterpret_cast<const char*>(html->Value.bin.lpb), html->Value.bin.cb),
            number(PR_INTERNET_CPID).value_or(0));
      case PT_UNICODE:
      case PT_STRING8:
        if (auto text = this->text(PROP_TAG(PT_UNICODE, 0x1013))) return *text;
        break;
      default: break;
    }
  }
  if (auto rtf = this->rtf()) {
    switch (platform::rtf::rtfKind(*rtf)) {
      case platform::rtf::RtfKind::FromHtml:
        if (auto html = platform::rtf::deencapsulateHtml(*rtf)) return std::move(*html);
        break;
      case platform::rtf::RtfKind::Rtf:
        if (auto html = platform::rtf::htmlFromTrueRtf(*rtf)) return std::move(*html);
        break;
      default: break;
    }
  }
  const std::u16string plain = body();
  return plain.empty() ? std::u16string() : htmlOfPlainText(plain);
}

LONG MessageReader::bodyFormat() {
  // PR_NATIVE_BODY_INFO: 1 plain, 2 RTF, 3 HTML (4, clear-signed, is HTML too).
  if (auto native = number(PR_NATIVE_BODY_INFO)) {
    switch (*native) {
      case 1: return olFormatPlain;
      case 2: return olFormatRichText;
      case 3:
      case 4: return olFormatHTML;
      default: break;
    }
  }
  if (message() && FPropExists(message(), PROP_TAG(PT_UNSPECIFIED, 0x1013))) return olFormatHTML;
  if (auto rtf = this->rtf()) {
    switch (platform::rtf::rtfKind(*rtf)) {
      case platform::rtf::RtfKind::FromHtml: return olFormatHTML;
      case platform::rtf::RtfKind::Rtf: return olFormatRichText;
      default: break;
    }
  }
  return olFormatPlain;
}

}  // namespace platform::outlook::detail
