#include "engine/formatters/CurrencyFormatter.h"

#include <algorithm>
#include <string>

#include <boost/make_shared.hpp>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "platform/system/Errors.h"
#include "platform/system/LocaleFormat.h"

bool CCurrencyPropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                        platform::html::CHtmlElement element) {
  CMessageFieldSource source(message);
  return formatFrom(settings, source, std::move(element));
}

void CCurrencyPropertyFormatter::registerPrototypes() {
  add(boost::make_shared<CCurrencyPropertyFormatter>(kKindCurrency));
}

quilstring CCurrencyPropertyFormatter::amountText(LONGLONG amount) {
  // The magnitude is taken unsigned, so the most negative amount has one too.
  const bool negative = amount < 0;
  unsigned long long magnitude =
      negative ? 0ull - static_cast<unsigned long long>(amount) : static_cast<unsigned long long>(amount);
  std::u16string reversed;
  int digits = 0;
  do {
    reversed += static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
    if (++digits == 4) reversed += u'.';
  } while (magnitude != 0 || digits < 4);
  if (negative) reversed += u'-';
  std::reverse(reversed.begin(), reversed.end());
  return reversed;
}

bool CCurrencyPropertyFormatter::formatFrom(CElementSettings& settings, IFieldSource& source,
                                            platform::html::CHtmlElement element) {
  CY amount{};
  bool read = readItemValue(settings, source, &IFieldSource::getCurrency, &IFieldSource::getCurrencyByName, amount);
  if (!read) {
    if (const auto mapi = readMAPIValue(settings, source, {key()})) {
      amount = mapi->Value.cur;
      read = true;
    }
  }
  quilstring text;
  if (read) {
    const quilstring value = amountText(amount.int64);
    const LCID locale = NGlobals::threadLocale();
    const int size = GetCurrencyFormatW(locale, 0, value.c_str(), nullptr, nullptr, 0);
    std::u16string buffer(size > 0 ? static_cast<std::size_t>(size) : 0, u'\0');
    const int written = size > 0 ? GetCurrencyFormatW(locale, 0, value.c_str(), nullptr, buffer.data(), size) : 0;
    if (written > 0) {
      buffer.resize(static_cast<std::size_t>(written - 1));
      text = std::move(buffer);
    } else {
      LOG_ERROR(u"Error formatting currency -- reason: %s",
                quilstring(platform::system::errorText(GetLastError())).c_str());
    }
  }
  return finish(settings, std::move(text), std::move(element));
}
