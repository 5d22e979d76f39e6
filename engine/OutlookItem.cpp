#include "engine/OutlookItem.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "engine/detail/DispatchHelpers.h"
#include "foundation/Guard.h"
#include "foundation/HtmlText.h"
#include "foundation/Settings.h"
#include "platform/com/DispatchDriver.h"
#include "platform/loop/MessageLoop.h"
#include "platform/outlook/Dispids.h"

using engine::detail::countOf;
using engine::detail::dispatchOf;
using engine::detail::getItemOf;
using namespace platform::outlook;

namespace {

// Whether the item has changes not yet saved (Outlook's Saved).
constexpr DISPID kDispidSaved = 0xF0A3;

constexpr LONG kOlOLE = 6;

// The year of Outlook's "no date"; the day before is taken too, as a zone shift may move it there.
constexpr WORD kNoDateYear = 4501;

bool dateToFileTime(DATE date, FILETIME& out) {
  SYSTEMTIME system{};
  if (!VariantTimeToSystemTime(date, &system)) return false;
  if (isOutlookNoDate(system)) return false;
  FILETIME converted{};
  if (!SystemTimeToFileTime(&system, &converted)) return false;
  out = converted;
  return true;
}

}  // namespace

bool isOutlookNoDate(const SYSTEMTIME& time) {
  if (time.wYear >= kNoDateYear) return true;
  return time.wYear == kNoDateYear - 1 && time.wMonth == 12 && time.wDay == 31;
}

bool isOutlookNoDate(const FILETIME& time) {
  SYSTEMTIME system{};
  // A FILETIME too large to convert lies far beyond the sentinel.
  if (!FileTimeToSystemTime(&time, &system)) return true;
  return isOutlookNoDate(system);
}

bool COutlookItem::getVariant(DISPID id, VARIANT* out) const {
  if (!m_item || !out) return false;
  return NUtils::guarded(u"COutlookItem::getVariant", false, [&] {
    return SUCCEEDED(CComDispatchDriver::GetProperty(m_item, id, out));
  });
}

bool COutlookItem::getConverted(DISPID id, VARTYPE vt, CComVariant& value) const {
  if (!getVariant(id, value.Receive())) return false;
  return SUCCEEDED(value.ChangeType(vt));
}

bool COutlookItem::getLong(DISPID id, LONG& out) const {
  return NUtils::guarded(u"COutlookItem::getLong", false, [&] {
    CComVariant value;
    if (!getConverted(id, VT_I4, value)) return false;
    out = value.lVal;
    return true;
  });
}

bool COutlookItem::getFloat(DISPID id, float& out) const {
  return NUtils::guarded(u"COutlookItem::getFloat", false, [&] {
    CComVariant value;
    if (!getConverted(id, VT_R4, value)) return false;
    out = value.fltVal;
    return true;
  });
}

bool COutlookItem::getBool(DISPID id, bool& out) const {
  return NUtils::guarded(u"COutlookItem::getBool", false, [&] {
    CComVariant value;
    if (!getConverted(id, VT_BOOL, value)) return false;
    out = value.boolVal != VARIANT_FALSE;
    return true;
  });
}

bool COutlookItem::getFileTime(DISPID id, FILETIME& out, TimeBasis* basis) const {
  return NUtils::guarded(u"COutlookItem::getFileTime", false, [&] {
    CComVariant value;
    if (!getConverted(id, VT_DATE, value)) return false;
    if (!dateToFileTime(value.date, out)) return false;
    if (basis) *basis = TimeBasis::Local;
    return true;
  });
}

bool COutlookItem::getCurrency(DISPID id, CY& out) const {
  return NUtils::guarded(u"COutlookItem::getCurrency", false, [&] {
    CComVariant value;
    if (!getVariant(id, value.Receive()) || value.vt != VT_CY) return false;
    out = value.cyVal;
    return true;
  });
}

bool COutlookItem::getString(DISPID id, quilstring& out) const {
  return NUtils::guarded(u"COutlookItem::getString", false, [&] {
    CComVariant value;
    if (!getConverted(id, VT_BSTR, value)) return false;
    // A null BSTR is the empty text: the output must not keep an earlier value.
    out = quilstring(value.bstrVal, SysStringLen(value.bstrVal));
    return true;
  });
}

bool COutlookItem::getValueByName(const quilstring& name, CComVariant& value) const {
  CComPtr<IDispatch> properties = getItemProperties();
  if (!properties) return false;
  const CComVariant key{std::u16string_view(name)};
  CComVariant member;
  if (FAILED(getItemOf(properties, key, member))) return false;
  CComPtr<IDispatch> property = dispatchOf(member);
  if (!property) return false;
  return SUCCEEDED(CComDispatchDriver(property.p).GetPropertyByName(u"Value", value.Receive()));
}

bool COutlookItem::getLongByName(const quilstring& name, LONG& out) const {
  return NUtils::guarded(u"COutlookItem::getLongByName", false, [&] {
    CComVariant value;
    if (!getValueByName(name, value)) return false;
    if (value.vt == VT_I2) out = value.iVal;
    else if (value.vt == VT_I4) out = value.lVal;
    else return false;
    return true;
  });
}

bool COutlookItem::getFloatByName(const quilstring& name, float& out) const {
  return NUtils::guarded(u"COutlookItem::getFloatByName", false, [&] {
    CComVariant value;
    if (!getValueByName(name, value)) return false;
    if (value.vt == VT_R4) out = value.fltVal;
    else if (value.vt == VT_R8) out = static_cast<float>(value.dblVal);
    else return false;
    return true;
  });
}

bool COutlookItem::getBoolByName(const quilstring& name, bool& out) const {
  return NUtils::guarded(u"COutlookItem::getBoolByName", false, [&] {
    CComVariant value;
    if (!getValueByName(name, value) || value.vt != VT_BOOL) return false;
    out = value.boolVal != VARIANT_FALSE;
    return true;
  });
}

bool COutlookItem::getFileTimeByName(const quilstring& name, FILETIME& out, TimeBasis* basis) const {
  return NUtils::guarded(u"COutlookItem::getFileTimeByName", false, [&] {
    CComVariant value;
    if (!getValueByName(name, value) || value.vt != VT_DATE) return false;
    if (!dateToFileTime(value.date, out)) return false;
    if (basis) *basis = TimeBasis::Local;
    return true;
  });
}

bool COutlookItem::getCurrencyByName(const quilstring& name, CY& out) const {
  return NUtils::guarded(u"COutlookItem::getCurrencyByName", false, [&] {
    CComVariant value;
    if (!getValueByName(name, value) || value.vt != VT_CY) return false;
    out = value.cyVal;
    return true;
  });
}

bool COutlookItem::getStringByName(const quilstring& name, quilstring& out) const {
  return NUtils::guarded(u"COutlookItem::getStringByName", false, [&] {
    CComVariant value;
    if (!getValueByName(name, value) || value.vt != VT_BSTR) return false;
    out = quilstring(value.bstrVal, SysStringLen(value.bstrVal));
    return true;
  });
}

CComPtr<IUnknown> COutlookItem::getMAPIOBJECT() const {
  return NUtils::guarded(u"COutlookItem::getMAPIOBJECT", CComPtr<IUnknown>(), [&]() -> CComPtr<IUnknown> {
    CComVariant value;
    if (!getVariant(kDispidMAPIOBJECT, value.Receive())) return nullptr;
    if ((value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH) && value.punkVal) return CComPtr<IUnknown>(value.punkVal);
    return nullptr;
  });
}

namespace {
CComPtr<IDispatch> objectOf(const COutlookItem& item, DISPID id) {
  return NUtils::guarded(u"COutlookItem::objectOf", CComPtr<IDispatch>(), [&]() -> CComPtr<IDispatch> {
    CComVariant value;
    if (!item.getVariant(id, value.Receive())) return nullptr;
    return dispatchOf(value);
  });
}
}  // namespace

CComPtr<IDispatch> COutlookItem::getUserProperties() const { return objectOf(*this, kDispidUserProperties); }

CComPtr<IDispatch> COutlookItem::getItemProperties() const { return objectOf(*this, kDispidItemProperties); }

CComPtr<IDispatch> COutlookItem::getLinks() const { return objectOf(*this, kDispidLinks); }

quilstring COutlookItem::getMessageClass() const {
  quilstring messageClass;
  if (!getString(kDispidMessageClass, messageClass)) return {};
  return messageClass;
}

quilstring COutlookItem::getHTMLBody() const {
  quilstring html;
  if (!getString(kDispidHTMLBody, html)) return {};
  platform::loop::serviceUrgent();  // between reading and repairing a long body
  const bool read = NUtils::guarded(u"COutlookItem::getHTMLBody", [&] {
    if (CSettings::instance().getTidyHTML()) NUtils::tidyHTML(html);
  });
  return read ? html : quilstring();
}

void COutlookItem::cleanHTMLBodyAhead() const {
  if (!CSettings::instance().getTidyHTML()) return;
  quilstring html;
  if (getString(kDispidHTMLBody, html) && !html.empty()) NUtils::tidyHTMLAhead(std::move(html));
}

namespace {

std::size_t findNoCase(std::u16string_view text, std::u16string_view what, std::size_t from = 0) {
  const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  const auto it = std::search(text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())), text.end(),
                              what.begin(), what.end(), [&](char16_t a, char16_t b) { return lower(a) == lower(b); });
  return it == text.end() ? std::u16string_view::npos : static_cast<std::size_t>(it - text.begin());
}

// The document with its BODY emptied, where that is certain to change nothing but the BODY's
// text: one BODY start tag outside comments and raw-text elements, and nothing inside it but text
// and line breaks (no element Tidy could move into the head, nothing a parser could place
// elsewhere). Empty where that does not hold.
std::optional<quilstring> emptiedTextBody(std::u16string_view html) {
  const std::size_t open = findNoCase(html, u"<body");
  if (open == std::u16string_view::npos || open + 5 >= html.size()) return std::nullopt;
  const char16_t after = html[open + 5];
  if (after != u'>' && after != u' ' && after != u'\t' && after != u'\r' && after != u'\n' && after != u'/')
    return std::nullopt;
  if (findNoCase(html, u"<body", open + 5) != std::u16string_view::npos) return std::nullopt;
  // The BODY tag found must not sit inside a comment or an element whose content is text.
  const std::u16string_view before = html.substr(0, open);
  if (const std::size_t comment = before.rfind(u"<!--");
      comment != std::u16string_view::npos && before.find(u"-->", comment + 4) == std::u16string_view::npos)
    return std::nullopt;
  for (const std::u16string_view raw : {u"script", u"style", u"title", u"textarea", u"xmp", u"noscript", u"noembed",
                                        u"noframes", u"template", u"iframe", u"plaintext"}) {
    const std::u16string opener = u"<" + std::u16string(raw), closer = u"</" + std::u16string(raw);
    for (std::size_t at = findNoCase(before, opener); at != std::u16string_view::npos; at = findNoCase(before, opener, at + 1))
      if (findNoCase(before, closer, at) == std::u16string_view::npos) return std::nullopt;
  }
  std::size_t end = open + 5;
  for (char16_t quote = 0; end < html.size() && (quote || html[end] != u'>'); ++end)
    if (html[end] == u'"' || html[end] == u'\'') quote = quote == html[end] ? 0 : quote ? quote : html[end];
  if (end >= html.size()) return std::nullopt;
  const std::size_t close = findNoCase(html, u"</body", end);
  if (close == std::u16string_view::npos) return std::nullopt;
  for (std::size_t at = html.find(u'<', end + 1); at < close; at = html.find(u'<', at + 1)) {
    const std::u16string_view tag = html.substr(at, 6);
    if (findNoCase(tag, u"<br>") != 0 && findNoCase(tag, u"<br/>") != 0 && findNoCase(tag, u"<br />") != 0)
      return std::nullopt;
  }
  // After the BODY, only its end and the document's.
  const std::u16string_view rest = html.substr(close);
  std::u16string squeezed;
  for (const char16_t c : rest)
    if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n')
      squeezed += c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  if (squeezed != u"</body>" && squeezed != u"</body></html>") return std::nullopt;
  return quilstring(html.substr(0, end + 1)) + quilstring(rest);
}

}  // namespace

quilstring COutlookItem::getHTMLBodyAroundText() const {
  quilstring html;
  if (!getString(kDispidHTMLBody, html)) return {};
  const bool read = NUtils::guarded(u"COutlookItem::getHTMLBodyAroundText", [&] {
    if (std::optional<quilstring> emptied = emptiedTextBody(html)) html = std::move(*emptied);
    if (CSettings::instance().getTidyHTML()) NUtils::tidyHTML(html);
  });
  return read ? html : quilstring();
}

bool COutlookItem::hasAttachments() const {
  return NUtils::guarded(u"COutlookItem::hasAttachments", false, [&] {
    CComPtr<IDispatch> attachments = objectOf(*this, kDispidAttachments);
    if (!attachments) return false;
    LONG count = 0;
    return SUCCEEDED(countOf(attachments, count)) && count > 0;
  });
}

bool COutlookItem::hasOLEAttachment() const {
  return NUtils::guarded(u"COutlookItem::hasOLEAttachment", false, [&] {
    CComPtr<IDispatch> attachments = objectOf(*this, kDispidAttachments);
    if (!attachments) return false;
    LONG count = 0;
    if (FAILED(countOf(attachments, count))) return false;
    for (LONG index = 1; index <= count; ++index) {
      CComVariant member;
      if (FAILED(getItemOf(attachments, CComVariant(index), member))) return false;
      CComPtr<IDispatch> attachment = dispatchOf(member);
      if (!attachment) return false;
      CComVariant type;
      if (FAILED(CComDispatchDriver(attachment.p).GetPropertyByName(u"Type", type.Receive()))) return false;
      if (FAILED(type.ChangeType(VT_I4))) return false;
      if (type.lVal == kOlOLE) return true;
    }
    return false;
  });
}

void COutlookItem::touchAndSave() const {
  if (!m_item) return;
  NUtils::guarded(u"COutlookItem::touchAndSave", [&] {
    bool saved = false;
    if (getBool(kDispidSaved, saved) && saved) return;
    CComVariant companies;
    if (!getVariant(kDispidCompanies, companies.Receive())) return;
    CComDispatchDriver driver(m_item.p);
    driver.PutProperty(kDispidCompanies, &companies);
    driver.Invoke0(kDispidSave);
  });
}
