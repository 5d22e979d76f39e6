// Random settings texts through the element settings' parser and kind resolution, on an item
// whose properties answer values of every type, with logging on, under both Outlook branches;
// the parsed FORMAT_STRING is then applied to an escaped value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/ElementSettings.h"
#include "engine/FieldText.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "platform/com/Com.h"
#include "platform/outlook/Dispids.h"

namespace {

using platform::com::CDispArgs;

CComVariant sample(unsigned index) {
  switch (index % 8) {
    case 0: return CComVariant(u"text");
    case 1: return CComVariant(static_cast<LONG>(4));
    case 2: return CComVariant(static_cast<SHORT>(2));
    case 3: return CComVariant(1.5);
    case 4: return CComVariant(45000.5, VT_DATE);
    case 5: return CComVariant(true);
    case 6: return CComVariant(CY{15000});
    default: return CComVariant();
  }
}

class CValue : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  explicit CValue(const VARIANT& value) : m_value(value) {
    dispatchTable().property(DISPID_VALUE, u"Value",
                             [this](const CDispArgs&, VARIANT* r) { return platform::com::putVariant(r, m_value); });
  }
  BEGIN_COM_MAP(CValue)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()
  CComVariant m_value;
};

// Every DISPID answers a value whose type follows the DISPID; ItemProperties answers every name.
class CItem : public CComObjectRootEx<CComSingleThreadModel>, public platform::com::IDispatchTableImpl<IDispatch> {
 public:
  CItem() {
    for (const auto& field : platform::outlook::kItemFieldDispids) {
      const unsigned index = static_cast<unsigned>(field.dispid);
      dispatchTable().property(field.dispid, field.name,
                               [index](const CDispArgs&, VARIANT* r) { return platform::com::putVariant(r, sample(index)); });
    }
    dispatchTable().property(platform::outlook::kDispidItemProperties, u"ItemProperties",
                             [this](const CDispArgs&, VARIANT* r) { return platform::com::putDispatch(r, this); });
    dispatchTable().method(
        0x51, u"Item",
        [](const CDispArgs& args, VARIANT* r) -> HRESULT {
          std::u16string name;
          if (FAILED(args.getText(0, name))) return DISP_E_TYPEMISMATCH;
          if (name.size() % 9 == 8) return E_INVALIDARG;
          auto value = CComObject<CValue>::Make(sample(static_cast<unsigned>(name.size())));
          return platform::com::putDispatch(r, value.p);
        },
        1, 1);
  }
  BEGIN_COM_MAP(CItem)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CComPtr<CComObject<CItem>> item = [] {
    NLog::setLevels({u"Info", u"Error", u"Warning", u"Debug"}, u"Debug");
    CLogger::instance().redirectTo(u"/dev/null");
    return CComObject<CItem>::Make();
  }();
  if (size == 0) return 0;
  NGlobals::setOfficeMajorVersion(data[0] & 1 ? 9 : 12);
  // Bit 2 of the first byte: the rest is UTF-16, else one unit per byte (finds keys sooner).
  std::u16string text;
  if (data[0] & 4) {
    for (std::size_t i = 1; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  } else {
    for (std::size_t i = 1; i < size; ++i) text += static_cast<char16_t>(data[i]);
  }
  const CElementSettings settings(text, (data[0] & 2) ? nullptr : static_cast<IDispatch*>(item.p));
  // Kinds and flags stay within what the formatters expect.
  if (settings.flags() & ~(CElementSettings::kUpperCase | CElementSettings::kLowerCase | CElementSettings::kBodyElement))
    __builtin_trap();
  const quilstring value = NFieldText::escapeHTML(settings.name());
  const quilstring shown = NFieldText::applyFormatString(settings.formatString(), value);
  if (shown.size() > settings.formatString().size() + value.size()) __builtin_trap();
  return 0;
}
