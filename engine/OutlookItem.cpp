#include "engine/OutlookItem.h"

#include "engine/detail/DispatchHelpers.h"
#include "foundation/Guard.h"
#include "foundation/HtmlText.h"
#include "foundation/Settings.h"
#include "platform/com/DispatchDriver.h"
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
  const bool read = NUtils::guarded(u"COutlookItem::getHTMLBody", [&] {
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
