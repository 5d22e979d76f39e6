#include "engine/formatters/StringFormatter.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include <boost/make_shared.hpp>

#include "foundation/HtmlText.h"
#include "foundation/Utils.h"
#include "platform/mapi/ComBase.h"
#include "platform/system/CodePage.h"

namespace {

// The code page of 8-bit strings when the message names none.
constexpr UINT kDefaultCodePage = 1252;

quilstring decode8Bit(std::string_view bytes, UINT codePage) {
  bytes = bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
  if (auto text = platform::system::toUtf16(codePage ? codePage : kDefaultCodePage, bytes)) return std::move(*text);
  if (auto text = platform::system::toUtf16(kDefaultCodePage, bytes)) return std::move(*text);
  return {};
}

quilstring decodeUtf16(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  text.resize(std::min(text.find(u'\0'), text.size()));
  return text;
}

// The stream's bytes, read to its end but no further than the bound.
bool readStream(IStream* stream, std::size_t bound, std::string& bytes) {
  STATSTG stat{};
  if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME))) {
    bytes.reserve(static_cast<std::size_t>(std::min<ULONGLONG>(stat.cbSize.QuadPart, bound)));
  }
  char chunk[16384];
  while (bytes.size() < bound) {
    ULONG read = 0;
    const ULONG wanted = static_cast<ULONG>(std::min(sizeof chunk, bound - bytes.size()));
    if (FAILED(stream->Read(chunk, wanted, &read))) return false;
    if (read == 0) break;
    bytes.append(chunk, std::min<std::size_t>(read, wanted));
  }
  return true;
}

// A long string property through a stream, a shorter one by a one-property read.
quilstring readMAPIString(IFieldSource& source, ULONG tag) {
  const bool wide = PROP_TYPE(tag) == PT_UNICODE;
  platform::mapi::ComRef<IStream> stream;
  if (source.openMAPIProperty(tag, &IID_IStream, 0, 0, reinterpret_cast<LPUNKNOWN*>(stream.receive())) && stream) {
    std::string bytes;
    if (!readStream(stream.get(), CStringPropertyFormatter::kMaxStreamBytes, bytes)) return {};
    return wide ? decodeUtf16(bytes) : decode8Bit(bytes, source.stringCodePage());
  }
  LPSPropValue raw = nullptr;
  const bool read = source.getMAPIProperty(tag, &raw);
  const platform::mapi::MAPIBuffer<SPropValue> value(raw);
  if (!read || !value || value->ulPropTag != tag) return {};
  if (wide) return value->Value.lpszW ? quilstring(value->Value.lpszW) : quilstring();
  return value->Value.lpszA ? decode8Bit(value->Value.lpszA, source.stringCodePage()) : quilstring();
}

std::vector<quilstring> readMAPIStrings(IFieldSource& source, ULONG tag) {
  std::vector<quilstring> values;
  LPSPropValue raw = nullptr;
  const bool read = source.getMAPIProperty(tag, &raw);
  const platform::mapi::MAPIBuffer<SPropValue> value(raw);
  if (!read || !value || value->ulPropTag != tag) return values;
  if (PROP_TYPE(tag) == PT_MV_UNICODE) {
    const SWStringArray& array = value->Value.MVszW;
    for (ULONG i = 0; array.lppszW && i < array.cValues; ++i) values.emplace_back(array.lppszW[i]);
  } else {
    const UINT codePage = source.stringCodePage();
    const SLPSTRArray& array = value->Value.MVszA;
    for (ULONG i = 0; array.lppszA && i < array.cValues; ++i) {
      values.push_back(array.lppszA[i] ? decode8Bit(array.lppszA[i], codePage) : quilstring());
    }
  }
  return values;
}

quilstring textToHTML(const quilstring& text) {
  std::u16string html = text;
  NUtils::plainTextToHTML(html, false);
  return html;
}

}  // namespace

bool CStringPropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                      platform::html::CHtmlElement element) {
  CMessageFieldSource source(message);
  return formatFrom(settings, source, std::move(element));
}

void CStringPropertyFormatter::registerPrototypes() {
  add(boost::make_shared<CStringPropertyFormatter>(kKindString8));
  add(boost::make_shared<CStringPropertyFormatter>(kKindString));
  add(boost::make_shared<CStringPropertyFormatter>(kKindMultiString8));
  add(boost::make_shared<CStringPropertyFormatter>(kKindMultiString));
}

bool CStringPropertyFormatter::formatFrom(CElementSettings& settings, IFieldSource& source,
                                          platform::html::CHtmlElement element) {
  quilstring text;
  const DISPID id = settings.dispid().empty() ? 0 : dispidOf(settings);
  if (id != 0) {
    source.getString(id, text);
  } else if (!settings.itemName().empty()) {
    source.getStringByName(settings.itemName(), text);
  }
  if (!text.empty()) return finish(settings, text, textToHTML(text), std::move(element));

  const ULONG tag = settings.kind();
  if ((tag >> 16) != 0) {
    switch (PROP_TYPE(tag)) {
      case PT_STRING8:
      case PT_UNICODE:
        text = readMAPIString(source, tag);
        break;
      case PT_MV_STRING8:
      case PT_MV_UNICODE: {
        // The separator is template HTML: each value is made HTML on its own.
        const quilstring& separator =
            settings.valueSeparator().empty() ? NUtils::listSeparator() : settings.valueSeparator();
        quilstring html;
        for (const quilstring& value : readMAPIStrings(source, tag)) {
          if (!text.empty()) {
            text += separator;
            html += separator;
          }
          text += value;
          html += textToHTML(value);
        }
        return finish(settings, std::move(text), std::move(html), std::move(element));
      }
      default:
        break;
    }
  }
  quilstring html = textToHTML(text);
  return finish(settings, std::move(text), std::move(html), std::move(element));
}
