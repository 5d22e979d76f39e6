#include "engine/formatters/BooleanFormatter.h"

#include <boost/make_shared.hpp>

#include "foundation/Log.h"

bool CBooleanPropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                       platform::html::CHtmlElement element) {
  CMessageFieldSource source(message);
  return formatFrom(settings, source, std::move(element));
}

void CBooleanPropertyFormatter::registerPrototypes() {
  add(boost::make_shared<CBooleanPropertyFormatter>(kKindBoolean));
}

bool CBooleanPropertyFormatter::formatFrom(CElementSettings& settings, IFieldSource& source,
                                           platform::html::CHtmlElement element) {
  bool value = false;
  bool read = readItemValue(settings, source, &IFieldSource::getBool, &IFieldSource::getBoolByName, value);
  if (!read) {
    if (const auto mapi = readMAPIValue(settings, source, {PT_BOOLEAN})) {
      value = mapi->Value.b != 0;
      read = true;
    }
  }
  quilstring text;
  if (read) text = value ? u"1" : u"0";
  if (settings.possibleValues().empty()) {
    LOG_DEBUG(u"Using default possible values for boolean property");
    settings.setPossibleValues({{u"0", u"False"}, {u"1", u"True"}});
  }
  return finish(settings, std::move(text), std::move(element));
}
