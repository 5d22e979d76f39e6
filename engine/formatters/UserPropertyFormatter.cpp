#include "engine/formatters/UserPropertyFormatter.h"

#include <span>

#include <boost/make_shared.hpp>

#include "foundation/Guard.h"
#include "platform/com/DispatchDriver.h"

namespace {

// UserProperties.Item(name).Value as text; empty when any step fails.
quilstring readUserProperty(IDispatch* properties, const quilstring& name) {
  if (!properties) return {};
  const CComVariant key{std::u16string_view(name)};
  CComVariant member;
  if (FAILED(CComDispatchDriver(properties)
                 .InvokeArgs(u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                             std::span<const VARIANT>(static_cast<const VARIANT*>(&key), 1), &member)) ||
      member.vt != VT_DISPATCH || !member.pdispVal) {
    return {};
  }
  CComVariant value;
  if (FAILED(CComDispatchDriver(member.pdispVal).GetPropertyByName(u"Value", &value))) return {};
  if (value.vt != VT_BSTR && FAILED(value.ChangeType(VT_BSTR))) return {};
  return value.bstrVal ? quilstring(value.bstrVal, SysStringLen(value.bstrVal)) : quilstring();
}

}  // namespace

bool CUserPropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                    platform::html::CHtmlElement element) {
  CMessageFieldSource source(message);
  return formatFrom(settings, source, std::move(element));
}

void CUserPropertyFormatter::registerPrototypes() {
  add(boost::make_shared<CUserPropertyFormatter>(kKindUserProperty));
}

bool CUserPropertyFormatter::formatFrom(CElementSettings& settings, IFieldSource& source,
                                        platform::html::CHtmlElement element) {
  quilstring text;
  if (!settings.name().empty()) {
    // A property that cannot be read shows nothing; the rest of the page still fills.
    if (!NUtils::guarded(u"CUserPropertyFormatter::format",
                         [&] { text = readUserProperty(source.getUserProperties(), settings.name()); }))
      text.clear();
  }
  return finish(settings, std::move(text), std::move(element));
}
