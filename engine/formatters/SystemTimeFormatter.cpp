#include "engine/formatters/SystemTimeFormatter.h"

#include <optional>
#include <string>

#include <boost/make_shared.hpp>

#include "engine/OutlookItem.h"
#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/system/Errors.h"
#include "platform/system/LocaleFormat.h"
#include "platform/system/TimeZone.h"

namespace {

constexpr DISPID kCurrentTimeDispid = 0xFFFF;

// Runs a locale call twice, for the size and for the text; nothing on failure (last error set).
template <class Call>
std::optional<std::u16string> localeText(Call call) {
  const int size = call(nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::u16string buffer(static_cast<std::size_t>(size), u'\0');
  const int written = call(buffer.data(), size);
  if (written <= 0) return std::nullopt;
  buffer.resize(static_cast<std::size_t>(written - 1));
  return buffer;
}

quilstring lastErrorText() { return quilstring(platform::system::errorText(GetLastError())); }

}  // namespace

bool CSysTimePropertyFormatter::format(CElementSettings& settings, CMessage& message,
                                       platform::html::CHtmlElement element) {
  CMessageFieldSource source(message);
  return formatFrom(settings, source, std::move(element));
}

void CSysTimePropertyFormatter::registerPrototypes() {
  add(boost::make_shared<CSysTimePropertyFormatter>(kKindSysTime));
}

bool CSysTimePropertyFormatter::toLocalSystemTime(const FieldTime& time, SYSTEMTIME& local) {
  SYSTEMTIME stored{};
  if (!FileTimeToSystemTime(&time.time, &stored)) return false;
  if (!time.utc) {
    local = stored;
    return true;
  }
  return SystemTimeToTzSpecificLocalTime(nullptr, &stored, &local) != FALSE;
}

quilstring CSysTimePropertyFormatter::dateTimeText(const CElementSettings& settings, const SYSTEMTIME& local) {
  const LCID locale = NGlobals::threadLocale();

  // With flags the picture is passed even when empty: an empty picture leaves the date out, and
  // a picture beside a format flag is refused by the locale call.
  DWORD dateFlags = DATE_LONGDATE;
  const char16_t* datePicture = nullptr;
  if (!settings.dateFlags().empty()) {
    dateFlags = static_cast<DWORD>(NUtils::hexToLong(settings.dateFlags()));
    datePicture = settings.datePicture().c_str();
  }
  quilstring dateText;
  if (auto text = localeText([&](LPWSTR buffer, int size) {
        return GetDateFormatW(locale, dateFlags, &local, datePicture, buffer, size);
      })) {
    dateText = std::move(*text);
  } else {
    LOG_ERROR(u"Error formatting date -- reason: %s", lastErrorText().c_str());
  }

  DWORD timeFlags = 0;
  const char16_t* timePicture = nullptr;
  if (!settings.timeFlags().empty()) {
    timeFlags = static_cast<DWORD>(NUtils::hexToLong(settings.timeFlags()));
    timePicture = settings.timePicture().c_str();
  }
  quilstring timeText;
  if (auto text = localeText([&](LPWSTR buffer, int size) {
        return GetTimeFormatW(locale, timeFlags, &local, timePicture, buffer, size);
      })) {
    timeText = std::move(*text);
  } else {
    LOG_ERROR(u"Error formatting time -- reason: %s", lastErrorText().c_str());
  }

  quilstring text = dateText;
  if (!timeText.empty()) {
    if (!text.empty()) text += u"  ";
    text += timeText;
  }
  return text;
}

bool CSysTimePropertyFormatter::formatFrom(CElementSettings& settings, IFieldSource& source,
                                           platform::html::CHtmlElement element) {
  FieldTime time;
  bool read = false;
  if (!settings.dispid().empty() && dispidOf(settings) == kCurrentTimeDispid) {
    GetSystemTimeAsFileTime(&time.time);
    time.utc = true;
    read = true;
  } else {
    read = readItemValue(settings, source, &IFieldSource::getFileTime, &IFieldSource::getFileTimeByName, time);
    if (!read) {
      // Outlook's "no date" is no value.
      if (const auto mapi = readMAPIValue(settings, source, {key()}); mapi && !isOutlookNoDate(mapi->Value.ft)) {
        time.time = mapi->Value.ft;
        time.utc = true;
        read = true;
      }
    }
  }
  quilstring text;
  SYSTEMTIME local{};
  if (read && toLocalSystemTime(time, local)) text = dateTimeText(settings, local);
  return finish(settings, std::move(text), std::move(element));
}
