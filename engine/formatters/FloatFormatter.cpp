#include "engine/formatters/FloatFormatter.h"

#include <boost/make_shared.hpp>

bool CFloatPropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                     platform::html::CHtmlElement element) {
  CMessageFieldSource source(message);
  return formatFrom(settings, source, std::move(element));
}

void CFloatPropertyFormatter::registerPrototypes() { add(boost::make_shared<CFloatPropertyFormatter>(kKindFloat)); }

bool CFloatPropertyFormatter::formatFrom(CElementSettings& settings, IFieldSource& source,
                                         platform::html::CHtmlElement element) {
  // No MAPI step: a float is read from the object model only.
  float value = 0.0f;
  readItemValue(settings, source, &IFieldSource::getFloat, &IFieldSource::getFloatByName, value);
  quilstring text;
  text.Format(u"%.02f", static_cast<double>(value));
  return finish(settings, std::move(text), std::move(element));
}
