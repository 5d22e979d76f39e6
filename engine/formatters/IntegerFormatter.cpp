#include "engine/formatters/IntegerFormatter.h"

#include <boost/make_shared.hpp>

namespace {
constexpr const char16_t* kAttachmentCount = u"AttachmentCount";
}

bool CIntegerPropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                       platform::html::CHtmlElement element) {
  CMessageFieldSource source(message);
  return formatFrom(settings, source, std::move(element));
}

void CIntegerPropertyFormatter::registerPrototypes() {
  add(boost::make_shared<CIntegerPropertyFormatter>(kKindInteger16));
  add(boost::make_shared<CIntegerPropertyFormatter>(kKindInteger));
}

bool CIntegerPropertyFormatter::formatFrom(CElementSettings& settings, IFieldSource& source,
                                           platform::html::CHtmlElement element) {
  LONG value = 0;
  bool read = false;
  if (settings.dispid().empty() && settings.itemName().empty() && settings.specialName() == kAttachmentCount) {
    value = static_cast<LONG>(source.getAttachmentCount());
    read = true;
  } else {
    read = readItemValue(settings, source, &IFieldSource::getLong, &IFieldSource::getLongByName, value);
  }
  if (!read) {
    if (const auto mapi = readMAPIValue(settings, source, {PT_I2, PT_LONG})) {
      value = PROP_TYPE(mapi->ulPropTag) == PT_I2 ? static_cast<LONG>(mapi->Value.i) : mapi->Value.l;
    }
  }
  quilstring text;
  text.Format(u"%ld", static_cast<long>(value));
  return finish(settings, std::move(text), std::move(element));
}
