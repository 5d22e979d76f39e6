// COutlookItem over fake dispatch items: typed reads by DISPID and by name, the attachment tests,
// Outlook's "no date", and touching an item before its attachments are read.
#include "engine/OutlookItem.h"

#include <gtest/gtest.h>

#include "foundation/Settings.h"
#include "tests/engine/FakeOutlook.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace enginetest;

constexpr DISPID kText = 0x37;
constexpr DISPID kNumber = 0x17;
constexpr DISPID kDouble = 0x8534;
constexpr DISPID kDate = 0x3007;
constexpr DISPID kMoney = 0x8600;
constexpr DISPID kBroken = 0x8601;

DATE oleDate(WORD year, WORD month, WORD day, WORD hour = 0) {
  SYSTEMTIME st{year, month, 0, day, hour, 0, 0, 0};
  DATE date = 0;
  SystemTimeToVariantTime(&st, &date);
  return date;
}

SYSTEMTIME systemOf(const FILETIME& ft) {
  SYSTEMTIME st{};
  FileTimeToSystemTime(&ft, &st);
  return st;
}

CY currency(LONGLONG v) {
  CY cy{};
  cy.int64 = v;
  return cy;
}

class OutlookItemTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    m_fake = makeFake();
    m_fake->text(kText, u"Subject", u"Quarterly report")
        .value(kNumber, u"Importance", CComVariant(LONG{2}))
        .value(kDouble, u"Mileage", CComVariant(41.6))
        .value(kDate, u"CreationTime", CComVariant(oleDate(2024, 3, 5, 14), VT_DATE))
        .value(kMoney, u"Cost", CComVariant(currency(123456)))
        .failing(kBroken, u"Broken");
    m_item = COutlookItem(m_fake);
  }

  void TearDown() override { CSettings::resetForTesting(); }

  FakePtr m_fake;
  COutlookItem m_item;
};

TEST_F(OutlookItemTest, ConvertsValuesReadByDispid) {
  LONG number = 0;
  EXPECT_TRUE(m_item.getLong(kNumber, number));
  EXPECT_EQ(number, 2);
  EXPECT_TRUE(m_item.getLong(kDouble, number));  // a floating value converts, rounded
  EXPECT_EQ(number, 42);
  quilstring text;
  EXPECT_TRUE(m_item.getString(kNumber, text));
  EXPECT_EQ(text, u"2");
  CY money{};
  EXPECT_TRUE(m_item.getCurrency(kMoney, money));
  EXPECT_EQ(money.int64, 123456);
}

TEST_F(OutlookItemTest, FailedReadsAndConversionsKeepTheOutput) {
  LONG number = 7;
  EXPECT_FALSE(m_item.getLong(kText, number));  // text that is no number
  EXPECT_FALSE(m_item.getLong(kBroken, number));
  EXPECT_FALSE(m_item.getLong(0x9999, number));  // no such member
  EXPECT_EQ(number, 7);
  CY money = currency(5);
  EXPECT_FALSE(m_item.getCurrency(kDouble, money));  // VT_R8 is not taken as currency
  EXPECT_EQ(money.int64, 5);
  FILETIME time{1, 2};
  EXPECT_FALSE(m_item.getFileTime(kText, time));
  EXPECT_EQ(time.dwLowDateTime, 1u);

  COutlookItem none;
  quilstring text = u"kept";
  EXPECT_FALSE(none.getString(kText, text));
  EXPECT_EQ(text, u"kept");
  EXPECT_FALSE(none.hasAttachments());
  EXPECT_FALSE(none.getMAPIOBJECT());
  EXPECT_TRUE(none.getMessageClass().empty());
}

TEST_F(OutlookItemTest, EmptyTextReplacesAnEarlierValue) {
  m_fake->value(0x8700, u"Empty", CComVariant(std::u16string_view()));
  quilstring text = u"stale";
  EXPECT_TRUE(m_item.getString(0x8700, text));
  EXPECT_EQ(text, u"");
  m_fake->value(0x8701, u"Nothing", CComVariant());  // VT_EMPTY converts to an empty text
  text = u"stale";
  EXPECT_TRUE(m_item.getString(0x8701, text));
  EXPECT_EQ(text, u"");
}

TEST_F(OutlookItemTest, DatesAreLocalAndTakenUnchanged) {
  FILETIME time{};
  TimeBasis basis = TimeBasis::UTC;
  ASSERT_TRUE(m_item.getFileTime(kDate, time, &basis));
  EXPECT_EQ(basis, TimeBasis::Local);
  const SYSTEMTIME st = systemOf(time);
  EXPECT_EQ(st.wYear, 2024);
  EXPECT_EQ(st.wMonth, 3);
  EXPECT_EQ(st.wDay, 5);
  EXPECT_EQ(st.wHour, 14);  // no zone shift
}

TEST_F(OutlookItemTest, OutlooksNoDateIsNoDate) {
  m_fake->value(0x8502, u"ReminderTime", CComVariant(oleDate(4501, 1, 1), VT_DATE));
  m_fake->value(0x8503, u"Shifted", CComVariant(oleDate(4500, 12, 31, 23), VT_DATE));
  m_fake->value(0x8504, u"LastGoodDay", CComVariant(oleDate(4500, 12, 30, 23), VT_DATE));
  FILETIME time{9, 9};
  EXPECT_FALSE(m_item.getFileTime(0x8502, time));
  EXPECT_FALSE(m_item.getFileTime(0x8503, time));
  EXPECT_EQ(time.dwLowDateTime, 9u);
  EXPECT_TRUE(m_item.getFileTime(0x8504, time));

  FakePtr properties = makeItemProperties({{u"ReminderTime", CComVariant(oleDate(4501, 1, 1), VT_DATE)}});
  m_fake->object(0xFA09, u"ItemProperties", properties);
  EXPECT_FALSE(m_item.getFileTimeByName(u"ReminderTime", time));
}

TEST_F(OutlookItemTest, ReadsByNameAcceptOnlyExactTypes) {
  FakePtr properties = makeItemProperties({{u"Mileage", CComVariant(41.6)},
                                           {u"Importance", CComVariant(SHORT{1})},
                                           {u"Subject", CComVariant(std::u16string_view(u"3/5/2024"))},
                                           {u"Cost", CComVariant(currency(99))},
                                           {u"Sent", CComVariant(oleDate(2024, 1, 2, 3), VT_DATE)},
                                           {u"Flag", CComVariant(false)}});
  m_fake->object(0xFA09, u"ItemProperties", properties);

  LONG number = 5;
  EXPECT_FALSE(m_item.getLongByName(u"Mileage", number));  // VT_R8 is not a whole number here
  EXPECT_EQ(number, 5);
  EXPECT_TRUE(m_item.getLongByName(u"Importance", number));
  EXPECT_EQ(number, 1);
  float real = 0;
  EXPECT_TRUE(m_item.getFloatByName(u"Mileage", real));
  EXPECT_FLOAT_EQ(real, 41.6f);
  FILETIME time{};
  EXPECT_FALSE(m_item.getFileTimeByName(u"Subject", time));  // a text that looks like a date
  TimeBasis basis = TimeBasis::UTC;
  EXPECT_TRUE(m_item.getFileTimeByName(u"Sent", time, &basis));
  EXPECT_EQ(systemOf(time).wHour, 3);
  EXPECT_EQ(basis, TimeBasis::Local);
  CY money{};
  EXPECT_TRUE(m_item.getCurrencyByName(u"Cost", money));
  EXPECT_EQ(money.int64, 99);
  bool flag = true;
  EXPECT_TRUE(m_item.getBoolByName(u"Flag", flag));
  EXPECT_FALSE(flag);
  quilstring text;
  EXPECT_TRUE(m_item.getStringByName(u"Subject", text));
  EXPECT_EQ(text, u"3/5/2024");
  EXPECT_FALSE(m_item.getStringByName(u"Mileage", text));
  EXPECT_FALSE(m_item.getStringByName(u"NoSuchProperty", text));

  COutlookItem bare(makeFake());  // no ItemProperties at all
  EXPECT_FALSE(bare.getStringByName(u"Subject", text));
}

FakePtr attachment(LONG type) {
  FakePtr a = makeFake();
  a->value(0x1, u"Type", CComVariant(type));
  return a;
}

TEST_F(OutlookItemTest, FindsAnOLEAttachmentInOrder) {
  FakePtr attachments = makeFake();
  attachments->collection({attachment(1).p, attachment(5).p, attachment(6).p, attachment(6).p});
  m_fake->object(0xF815, u"Attachments", attachments);
  EXPECT_TRUE(m_item.hasAttachments());
  EXPECT_TRUE(m_item.hasOLEAttachment());
  EXPECT_EQ(attachments->count(u"call Item"), 3u);  // stops at the first OLE object

  FakePtr none = makeFake();
  none->collection({});
  m_fake->object(0xF815, u"Attachments", none);
  EXPECT_FALSE(m_item.hasAttachments());
  EXPECT_FALSE(m_item.hasOLEAttachment());

  m_fake->failing(0xF815, u"Attachments");
  EXPECT_FALSE(m_item.hasAttachments());
  EXPECT_FALSE(m_item.hasOLEAttachment());
}

TEST_F(OutlookItemTest, TouchSavesOnlyAnUnsavedItemWhoseCompaniesReads) {
  m_fake->text(0x853B, u"Companies", u"Acme").method(0xF048, u"Save");
  m_fake->value(0xF0A3, u"Saved", CComVariant(false));
  m_item.touchAndSave();
  EXPECT_EQ(m_fake->count(u"put Companies"), 1u);
  EXPECT_EQ(m_fake->count(u"call Save"), 1u);

  // An item that is saved (one opened from a .msg file) is never written to.
  m_fake->calls.clear();
  m_fake->value(0xF0A3, u"Saved", CComVariant(true));
  m_item.touchAndSave();
  EXPECT_EQ(m_fake->count(u"put Companies"), 0u);
  EXPECT_EQ(m_fake->count(u"call Save"), 0u);

  m_fake->calls.clear();
  m_fake->value(0xF0A3, u"Saved", CComVariant(false));
  m_fake->failing(0x853B, u"Companies");
  m_item.touchAndSave();
  EXPECT_EQ(m_fake->count(u"call Save"), 0u);
}

TEST_F(OutlookItemTest, HTMLBodyIsTidiedWhenTheOptionIsOn) {
  EXPECT_EQ(m_item.getHTMLBody(), u"");  // no HTMLBody
  m_fake->text(0xF404, u"HTMLBody", u"<p>Hello<b>there");
  const quilstring tidied = m_item.getHTMLBody();
  EXPECT_NE(tidied.find(u"<html"), quilstring::npos);
  EXPECT_NE(tidied.find(u"</b>"), quilstring::npos);
  CSettings::instance().getSettingsData().otherOptions.tidyHTML = false;
  EXPECT_EQ(m_item.getHTMLBody(), u"<p>Hello<b>there");
}

}  // namespace
