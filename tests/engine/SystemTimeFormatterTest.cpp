#include "engine/formatters/SystemTimeFormatter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "tests/engine/FormatterTestSupport.h"

namespace {

using formattertest::CFakeFieldSource;
using formattertest::fileTime;
using formattertest::utf8;

// The en-US short date, as a picture: date flags beside a picture are refused.
const std::u16string kShortDate = u"DATE_FORMAT_FLAGS=0|DATE_FORMAT_PICTURE=M/d/yyyy";

class SystemTimeFormatterTest : public formattertest::FormatterTest {
 protected:
  // 15 March 2024, 14:30:45 UTC.
  void fixClock() {
    const FILETIME now = fileTime(2024, 3, 15, 14, 30, 45);
    platform::system::setSystemTimeForTesting(&now);
  }
};

// Expected texts are what Windows 10 prints through GetDateFormatW and GetTimeFormatW with the
// locales' default pictures (Microsoft's NLS data): en-US long date "dddd, MMMM d, yyyy", short
// date "M/d/yyyy", time "h:mm:ss tt"; de-DE "dddd, d. MMMM yyyy", "dd.MM.yyyy", "HH:mm:ss";
// ja-JP "yyyy'年'M'月'd'日'", "yyyy/MM/dd", "H:mm:ss".
TEST_F(SystemTimeFormatterTest, FormatsInTheStoredLocaleAsWindowsDoes) {
  struct Case {
    LCID lcid;
    const char16_t* settings;
    const char* html;
  };
  const Case cases[] = {
      {1033, u"NAME=CurrentTime", "Friday, March 15, 2024  2:30:45 PM"},
      {1031, u"NAME=CurrentTime", "Freitag, 15. März 2024  14:30:45"},
      {1041, u"NAME=CurrentTime", "2024年3月15日  14:30:45"},
      // With flags the picture is passed even when empty: an empty picture leaves its part out,
      // and a date flag beside a picture (even an empty one) is refused, so the date is left out.
      {1033, u"NAME=CurrentTime|DATE_FORMAT_FLAGS=1", "2:30:45 PM"},
      {1031, u"NAME=CurrentTime|DATE_FORMAT_FLAGS=0", "14:30:45"},
      {1033, u"NAME=CurrentTime|TIME_FORMAT_FLAGS=0", "Friday, March 15, 2024"},
      {1031, u"NAME=CurrentTime|TIME_FORMAT_FLAGS=2", "Freitag, 15. März 2024"},
      {1033, u"NAME=CurrentTime|DATE_FORMAT_FLAGS=0|TIME_FORMAT_FLAGS=0", ""},
      {1041, u"NAME=CurrentTime|DATE_FORMAT_FLAGS=0|DATE_FORMAT_PICTURE=yyyy/MM/dd", "2024/03/15  14:30:45"},
      {1033, u"NAME=CurrentTime|TIME_FORMAT_FLAGS=2|TIME_FORMAT_PICTURE=HH:mm", "Friday, March 15, 2024  14:30"},
      // The shipped task template: the date alone.
      {1033, u"NAME=CurrentTime|DATE_FORMAT_FLAGS=0|DATE_FORMAT_PICTURE=dddd, d MMMM yyyy|TIME_FORMAT_FLAGS=0",
       "Friday, 15 March 2024"},
      // A picture without flags is ignored; flags 0 with a picture use it.
      {1033, u"NAME=CurrentTime|DATE_FORMAT_PICTURE=yyyy", "Friday, March 15, 2024  2:30:45 PM"},
      {1031, u"NAME=CurrentTime|DATE_FORMAT_FLAGS=0|DATE_FORMAT_PICTURE=ddd d MMM", "Fr 15 Mrz  14:30:45"},
      // Windows refuses a picture together with date flags: the date is left out.
      {1033, u"NAME=CurrentTime|DATE_FORMAT_FLAGS=2|DATE_FORMAT_PICTURE=yyyy", "2:30:45 PM"},
      // Picture text is item text like any other: escaped.
      {1033, u"NAME=CurrentTime|DATE_FORMAT_FLAGS=0|DATE_FORMAT_PICTURE='<b>'d", "&lt;b&gt;15  2:30:45 PM"},
  };
  fixClock();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lcid << " " << utf8(c.settings));
    NGlobals::setThreadLocale(c.lcid);
    CFakeFieldSource source;
    CSysTimePropertyFormatter formatter(kKindSysTime);
    bool answer = false;
    EXPECT_EQ(utf8(run(formatter, c.settings, source, &answer)), c.html);
    EXPECT_EQ(answer, *c.html != '\0');
    EXPECT_TRUE(source.reads.empty());
  }
  EXPECT_TRUE(logged("Error Error formatting date -- reason: Invalid flags."));
}

// Only UTC times (MAPI's, the current time) are shifted, each by its zone's rule for its own
// date; the object model's times are local already.
TEST_F(SystemTimeFormatterTest, ShiftsOnlyUtcTimesByTheRuleOfTheirDate) {
  struct Case {
    const char* zone;
    FieldTime time;
    const char* html;
  };
  const Case cases[] = {
      {"Europe/Berlin", {fileTime(2024, 1, 15, 12, 0, 0), false}, "1/15/2024  12:00:00 PM"},
      {"Europe/Berlin", {fileTime(2024, 7, 15, 12, 0, 0), false}, "7/15/2024  12:00:00 PM"},
      {"Europe/Berlin", {fileTime(2024, 1, 15, 12, 0, 0), true}, "1/15/2024  1:00:00 PM"},
      {"Europe/Berlin", {fileTime(2024, 7, 15, 12, 0, 0), true}, "7/15/2024  2:00:00 PM"},
      // The hour after the change, in both directions.
      {"Europe/Berlin", {fileTime(2024, 3, 31, 1, 30, 0), true}, "3/31/2024  3:30:00 AM"},
      {"Europe/Berlin", {fileTime(2024, 10, 27, 0, 30, 0), true}, "10/27/2024  2:30:00 AM"},
      {"Europe/Berlin", {fileTime(2024, 10, 27, 1, 30, 0), true}, "10/27/2024  2:30:00 AM"},
      // Beyond 2038.
      {"Europe/Berlin", {fileTime(2040, 7, 15, 12, 0, 0), true}, "7/15/2040  2:00:00 PM"},
      // A southern zone: daylight saving over the turn of the year.
      {"Australia/Sydney", {fileTime(2024, 1, 15, 0, 0, 0), true}, "1/15/2024  11:00:00 AM"},
      {"Australia/Sydney", {fileTime(2024, 7, 15, 0, 0, 0), true}, "7/15/2024  10:00:00 AM"},
      // A zone whose rule changed: Moscow kept summer time all year in 2011-2014.
      {"Europe/Moscow", {fileTime(2012, 1, 15, 12, 0, 0), true}, "1/15/2012  4:00:00 PM"},
      {"Europe/Moscow", {fileTime(2024, 1, 15, 12, 0, 0), true}, "1/15/2024  3:00:00 PM"},
  };
  const FILETIME summer = fileTime(2024, 7, 1, 12, 0, 0);
  platform::system::setSystemTimeForTesting(&summer);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.zone << " utc " << c.time.utc << " " << c.html);
    setenv("TZ", c.zone, 1);
    CFakeFieldSource source;
    source.byName[u"When"] = c.time;
    CSysTimePropertyFormatter formatter(kKindSysTime);
    EXPECT_EQ(utf8(run(formatter, u"NAME=When|PROP_TYPE=ITEM|" + kShortDate, source)), c.html);
  }
}

TEST_F(SystemTimeFormatterTest, ReadsByDispidNameOrMapiAndShowsNothingWithoutAValue) {
  struct Case {
    std::u16string settings;
    std::function<void(CFakeFieldSource&)> setup;
    const char* html;
    std::vector<std::string> reads;
  };
  const FILETIME local = fileTime(2024, 2, 1, 9, 5, 0);
  const Case cases[] = {
      {u"NAME=CreationTime|" + kShortDate, [&](auto& s) { s.byId[0x3007] = FieldTime{local, false}; },
       "2/1/2024  9:05:00 AM", {"time id 0x3007"}},
      {u"NAME=CreationTime", [](auto&) {}, "", {"time id 0x3007"}},
      {u"NAME=ReceivedTime|" + kShortDate, [&](auto& s) { s.mapi[kKindMessageDeliveryTime] = local; },
       "2/1/2024  9:05:00 AM", {"mapi 0xe060040"}},
      {u"NAME=SentOn", [](auto& s) { s.mapi[kKindClientSubmitTime] = formattertest::MapiError{E_FAIL}; }, "",
       {"mapi 0x390040"}},
      {u"NAME=Due|PROP_TYPE=ITEM|" + kShortDate + u"|TIME_FORMAT_FLAGS=2|TIME_FORMAT_PICTURE=h:mm tt",
       [&](auto& s) { s.byName[u"Due"] = FieldTime{local, false}; }, "2/1/2024  9:05 AM", {"time name Due"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utf8(c.settings));
    CFakeFieldSource source;
    c.setup(source);
    CSysTimePropertyFormatter formatter(kKindSysTime);
    bool answer = false;
    EXPECT_EQ(utf8(run(formatter, c.settings, source, &answer)), c.html);
    EXPECT_EQ(answer, *c.html != '\0');
    EXPECT_EQ(source.reads, c.reads);
  }
}

}  // namespace
