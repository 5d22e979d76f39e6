// Random settings texts and format strings with random item values through the value formatters
// (read, post-processing, apply into a template element) and through postProcess directly.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/ElementSettings.h"
#include "engine/PropertyFormatter.h"
#include "engine/formatters/BooleanFormatter.h"
#include "engine/formatters/CurrencyFormatter.h"
#include "engine/formatters/FloatFormatter.h"
#include "engine/formatters/IntegerFormatter.h"
#include "engine/formatters/StringFormatter.h"
#include "engine/formatters/SystemTimeFormatter.h"
#include "engine/formatters/UserPropertyFormatter.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "platform/com/Variant.h"
#include "platform/html/HtmlDocument.h"

namespace {

// Answers every read with one VARIANT: by DISPID converted as the object model does, by name
// only with the exact type, and from MAPI in the type asked for.
class CVariantSource : public IFieldSource {
 public:
  explicit CVariantSource(const VARIANT& value) : m_value(value) {}

  bool getLong(DISPID, LONG& out) override { return convert(VT_I4, [&](const VARIANT& v) { out = v.lVal; }); }
  bool getLongByName(const quilstring&, LONG& out) override {
    if (m_value.vt == VT_I2) out = m_value.iVal;
    else if (m_value.vt == VT_I4) out = m_value.lVal;
    else return false;
    return true;
  }
  bool getFloat(DISPID, float& out) override { return convert(VT_R4, [&](const VARIANT& v) { out = v.fltVal; }); }
  bool getFloatByName(const quilstring&, float& out) override {
    if (m_value.vt != VT_R4) return false;
    out = m_value.fltVal;
    return true;
  }
  bool getBool(DISPID, bool& out) override { return convert(VT_BOOL, [&](const VARIANT& v) { out = v.boolVal != 0; }); }
  bool getBoolByName(const quilstring&, bool& out) override {
    if (m_value.vt != VT_BOOL) return false;
    out = m_value.boolVal != 0;
    return true;
  }
  bool getFileTime(DISPID, FieldTime& out) override { return time(out); }
  bool getFileTimeByName(const quilstring&, FieldTime& out) override { return m_value.vt == VT_DATE && time(out); }
  bool getCurrency(DISPID, CY& out) override { return currency(out); }
  bool getCurrencyByName(const quilstring&, CY& out) override { return currency(out); }
  bool getString(DISPID, quilstring& out) override {
    return convert(VT_BSTR, [&](const VARIANT& v) { out = quilstring(v.bstrVal, SysStringLen(v.bstrVal)); });
  }
  bool getStringByName(const quilstring& name, quilstring& out) override {
    if (m_value.vt != VT_BSTR || name.empty()) return false;
    return getString(0, out);
  }
  bool getMAPIProperty(ULONG tag, LPSPropValue* value) override {
    *value = nullptr;
    void* buffer = nullptr;
    if (FAILED(MAPIAllocateBuffer(sizeof(SPropValue), &buffer))) return false;
    auto* prop = static_cast<SPropValue*>(buffer);
    std::memset(prop, 0, sizeof *prop);
    prop->ulPropTag = tag;
    std::memcpy(&prop->Value, &m_value.llVal, sizeof m_value.llVal);
    switch (PROP_TYPE(tag)) {
      case PT_UNICODE: prop->Value.lpszW = const_cast<char16_t*>(u"mapi <text>"); break;
      case PT_STRING8: prop->Value.lpszA = const_cast<char*>("mapi \xE9"); break;
      case PT_MV_UNICODE: prop->Value.MVszW = {0, nullptr}; break;
      case PT_MV_STRING8: prop->Value.MVszA = {0, nullptr}; break;
      case PT_I2: case PT_LONG: case PT_BOOLEAN: case PT_CURRENCY: case PT_SYSTIME: break;
      default: prop->ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag)); break;
    }
    *value = prop;
    return true;
  }
  bool openMAPIProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* object) override {
    *object = nullptr;
    return false;
  }
  UINT stringCodePage() override { return static_cast<UINT>(m_value.wReserved1); }
  long getAttachmentCount() override { return m_value.lVal; }
  IDispatch* getUserProperties() override { return nullptr; }

 private:
  template <class Take>
  bool convert(VARTYPE vt, Take take) {
    CComVariant converted;
    if (FAILED(VariantChangeType(&converted, &m_value, 0, vt))) return false;
    take(converted);
    return true;
  }
  bool time(FieldTime& out) {
    return convert(VT_DATE, [&](const VARIANT& v) {
      SYSTEMTIME st{};
      if (VariantTimeToSystemTime(v.date, &st)) SystemTimeToFileTime(&st, &out.time);
    });
  }
  bool currency(CY& out) {
    if (m_value.vt != VT_CY) return false;
    out = m_value.cyVal;
    return true;
  }
  const VARIANT& m_value;
};

std::u16string utf16(const uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  return text;
}

CComVariant makeValue(uint8_t type, const uint8_t* payload, const std::u16string& text) {
  int64_t bits = 0;
  std::memcpy(&bits, payload, sizeof bits);
  double real = 0;
  std::memcpy(&real, payload, sizeof real);
  switch (type % 9) {
    case 0: return CComVariant(static_cast<SHORT>(bits));
    case 1: return CComVariant(static_cast<LONG>(bits));
    case 2: return CComVariant(static_cast<FLOAT>(real));
    case 3: return CComVariant(real);
    case 4: return CComVariant(CY{bits});
    case 5: return CComVariant(real, VT_DATE);
    case 6: return CComVariant(bits != 0);
    case 7: return CComVariant(std::u16string_view(text));
    default: return CComVariant();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool logging = [] {
    NLog::setLevels({u"Info", u"Error", u"Warning", u"Debug"}, u"Debug");
    return CLogger::instance().redirectTo(u"/dev/null");
  }();
  (void)logging;
  if (size < 10) return 0;
  static const LCID kLocales[] = {1033, 1031, 1041, 2057, 1036, 3082, 1043, 2052, 1040};
  NGlobals::setThreadLocale(kLocales[data[0] % 9]);
  // Settings text, then U+0001, then the item's text.
  const std::u16string all = utf16(data + 10, size - 10);
  const std::size_t split = all.find(u'\1');
  const quilstring settingsText = all.substr(0, split);
  const std::u16string itemText = split == std::u16string::npos ? std::u16string() : all.substr(split + 1);
  const CComVariant value = makeValue(data[1], data + 2, itemText);

  CElementSettings settings(settingsText, nullptr);
  quilstring processed = itemText;
  CPropertyFormatter::postProcess(settings, processed);

  platform::html::CHtmlDocument document;
  if (FAILED(document.loadFromString(u"<html><body><p><span id=f></span></p></body></html>"))) return 0;
  const platform::html::CHtmlElement element = document.all().item(u"f").item(0);

  CVariantSource source(value);
  CIntegerPropertyFormatter(kKindInteger).formatFrom(settings, source, element);
  CFloatPropertyFormatter(kKindFloat).formatFrom(settings, source, element);
  CCurrencyPropertyFormatter(kKindCurrency).formatFrom(settings, source, element);
  CSysTimePropertyFormatter(kKindSysTime).formatFrom(settings, source, element);
  CStringPropertyFormatter(kKindString).formatFrom(settings, source, element);
  CUserPropertyFormatter(kKindUserProperty).formatFrom(settings, source, element);
  CBooleanPropertyFormatter(kKindBoolean).formatFrom(settings, source, element);
  return 0;
}
