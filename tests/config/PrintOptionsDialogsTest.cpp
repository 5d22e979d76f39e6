// The print options and page setup dialogs: what they show of the record or the stored page
// settings, what OK refuses, and what the page setup writes (and does not) in the registry.
#include "config/PrintOptionsDialogs.h"

#include "tests/config/ConfigDialogFixture.h"

namespace {

using namespace configtest;

class PrintOptionsDialogsTest : public ConfigDialogTest {
 protected:
  static void storeMargins(const quilstring& name, LCID locale, DWORD top, const char16_t* orientation) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER,
                         (CDialogPageSetup::settingsKeyPath(name) + u"\\" + quilstring::fromUtf8(std::to_string(locale))).c_str()),
              ERROR_SUCCESS);
    key.SetDWORDValue(u"marginTop", top);
    key.SetStringValue(u"orientation", orientation);
  }
  static std::optional<DWORD> storedMargin(const quilstring& name, const char16_t* locale, const char16_t* value) {
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, (CDialogPageSetup::settingsKeyPath(name) + u"\\" + locale).c_str(), KEY_READ) != ERROR_SUCCESS)
      return std::nullopt;
    DWORD v = 0;
    if (key.QueryDWORDValue(value, v) != ERROR_SUCCESS) return std::nullopt;
    return v;
  }
};

TEST_F(PrintOptionsDialogsTest, PrintOptionsShowTheRecordAndAcceptOnlyValidRanges) {
  struct Case {
    PrintOptions given;
    const char16_t* shown;
    int radio;  // 0 none
    bool editOn;
    bool comboOn;
    const char16_t* typed;  // null: OK as shown
    PrintOptions stored;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, u"1", IDC_PRINT_ALL, false, false, nullptr, {1, 1, 0, 0}},
      {{2, 7, 1, 0}, u"2-7", IDC_PRINT_PAGES, true, false, nullptr, {2, 7, 1, 0}},
      {{7, 2, 1, 0}, u"7", IDC_PRINT_PAGES, true, false, nullptr, {7, 7, 1, 0}},
      {{1, 1, 2, 3}, u"1", IDC_PRINT_THREADED, false, true, nullptr, {1, 1, 2, 3}},
      {{1, 1, 3, 1}, u"1", 0, false, true, nullptr, {1, 1, 2, 1}},
      {{1, 1, 1, 0}, u"1", IDC_PRINT_PAGES, true, false, u"5-12", {5, 12, 1, 0}},
      // A stored count the list does not hold selects no entry, which stores CB_ERR.
      {{1, 1, 2, 7}, u"1", IDC_PRINT_THREADED, false, true, nullptr, {1, 1, 2, static_cast<DWORD>(CB_ERR)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(quilstring(c.shown).toUtf8() + " " + std::to_string(c.given.printSelection));
    CDialogPrintOptions dialog(c.given);
    ASSERT_EQ(run(dialog, [&](HWND d) {
                EXPECT_EQ(textOf(d, IDC_PAGE_RANGE), c.shown);
                for (int id : {IDC_PRINT_ALL, IDC_PRINT_PAGES, IDC_PRINT_THREADED}) EXPECT_EQ(isChecked(d, id), id == c.radio);
                EXPECT_EQ(enabled(d, IDC_PAGE_RANGE), c.editOn);
                EXPECT_EQ(enabled(d, IDC_RESPONSES), c.comboOn);
                EXPECT_EQ(SendDlgItemMessageW(d, IDC_RESPONSES, CB_GETCOUNT, 0, 0), 4);
                if (c.typed) retype(d, IDC_PAGE_RANGE, c.typed);
                input::click(at(d, IDOK));
              }),
              IDOK);
    EXPECT_EQ(dialog.getOptions(), c.stored);
  }
  EXPECT_TRUE(m_ui.messageBoxes().empty());

  // Refused texts, also when "All" is chosen after typing them; then a thread with two responses.
  CDialogPrintOptions dialog(PrintOptions{});
  ASSERT_EQ(run(dialog, [](HWND d) {
              input::click(at(d, IDC_PRINT_PAGES));
              for (const char16_t* refused : {u"7-2", u"5-", u"-5", u"5-1-2", u"5a", u"", u"99999999999"}) {
                retype(d, IDC_PAGE_RANGE, refused);
                input::click(at(d, IDOK));
              }
              input::click(at(d, IDC_PRINT_ALL));
              input::click(at(d, IDOK));
              input::click(at(d, IDC_PRINT_THREADED));
              input::selectComboItem(at(d, IDC_RESPONSES), 2);
              input::click(at(d, IDC_PRINT_PAGES));
              retype(d, IDC_PAGE_RANGE, u"12");
              input::click(at(d, IDC_PRINT_THREADED));
              input::click(at(d, IDOK));
            }),
            IDOK);
  EXPECT_EQ(dialog.getOptions(), (PrintOptions{12, 12, 2, 2}));
  ASSERT_EQ(m_ui.messageBoxes().size(), 8u);
  EXPECT_EQ(m_ui.messageBoxes()[0].text, text(IDS_INVALID_PAGE_RANGE));
  EXPECT_EQ(m_ui.messageBoxes()[0].caption, u"Print Options");
}

TEST_F(PrintOptionsDialogsTest, PageSetupShowsStoredMarginsInMillimetresAndWritesTheStoredLocale) {
  CRegKey international;
  ASSERT_EQ(international.Create(HKEY_CURRENT_USER, u"Control Panel\\International"), ERROR_SUCCESS);
  international.SetStringValue(u"iMeasure", u"0");
  NGlobals::setThreadLocale(2057);
  storeMargins(u"Invoice", 1033, 100, u"landscape");  // read through the 1033 fallback

  CDialogPageSetup dialog(u"/srv/t/Invoice.htm");
  ASSERT_EQ(run(dialog, [](HWND d) {
              EXPECT_EQ(captionOf(d), u"Print Options for Template: Invoice");
              EXPECT_EQ(textOf(d, IDC_MARGIN_GROUP), u"Margin (millimeters)");
              EXPECT_EQ(textOf(d, IDC_MARGIN_TOP), u"25.40");
              EXPECT_EQ(textOf(d, IDC_MARGIN_LEFT), u"15.24");
              EXPECT_TRUE(isChecked(d, IDC_LANDSCAPE));
              EXPECT_FALSE(isChecked(d, IDC_PORTRAIT));
              retype(d, IDC_MARGIN_LEFT, u".");
              input::click(at(d, IDOK));  // refused
              retype(d, IDC_MARGIN_LEFT, u"12.7");
              input::click(at(d, IDC_PORTRAIT));
              input::click(at(d, IDOK));
            }),
            IDOK);
  ASSERT_EQ(m_ui.messageBoxes().size(), 1u);
  EXPECT_EQ(m_ui.messageBoxes()[0].text, text(IDS_INVALID_MARGINS));
  EXPECT_EQ(storedMargin(u"Invoice", u"2057", u"marginTop"), std::optional<DWORD>(100));
  EXPECT_EQ(storedMargin(u"Invoice", u"2057", u"marginLeft"), std::optional<DWORD>(50));
  EXPECT_EQ(storedMargin(u"Invoice", u"2057", u"marginRight"), std::optional<DWORD>(60)) << "15.24 mm stays 0.6 inch";
  EXPECT_EQ(storedMargin(u"Invoice", u"1033", u"marginLeft"), std::nullopt);

  // Reset and Cancel write nothing; the default template's name shows as Outlook's style.
  CDialogPageSetup pagePrint(u"/tmp/qm/PAGEPRINT.HTM");
  ASSERT_EQ(run(pagePrint, [](HWND d) {
              EXPECT_EQ(captionOf(d), u"Print Options for Template: Outlook Print Style");
              input::click(at(d, IDC_LANDSCAPE));
              input::click(at(d, IDC_RESET_DEFAULTS));
              EXPECT_TRUE(isChecked(d, IDC_PORTRAIT));
              input::click(at(d, IDCANCEL));
            }),
            IDCANCEL);
  CRegKey absent;
  EXPECT_NE(absent.Open(HKEY_CURRENT_USER, CDialogPageSetup::settingsKeyPath(u"PAGEPRINT").c_str(), KEY_READ), ERROR_SUCCESS);
}

TEST_F(PrintOptionsDialogsTest, PageSetupThatCannotWriteSaysSoAndStaysOpen) {
  struct FullDisk : platform::registry::PosixHiveStorage {
    LONG writeDurably(const std::filesystem::path&, std::string_view) override { return ERROR_DISK_FULL; }
  };
  platform::registry::setStorageForTesting(std::make_shared<FullDisk>());
  CDialogPageSetup dialog(u"/srv/t/Memo.htm");
  ASSERT_EQ(run(dialog, [&](HWND d) {
              EXPECT_EQ(textOf(d, IDC_MARGIN_GROUP), u"Margin (inches)");
              EXPECT_EQ(textOf(d, IDC_MARGIN_TOP), u"0.60");
              input::click(at(d, IDOK));
              EXPECT_TRUE(IsWindowVisible(d)) << "still open after the failed write";
              input::click(at(d, IDCANCEL));
            }),
            IDCANCEL);
  ASSERT_EQ(m_ui.messageBoxes().size(), 1u);
  EXPECT_EQ(m_ui.messageBoxes()[0].text, text(IDS_SAVE_SETTINGS_FAILED));
  EXPECT_EQ(m_ui.messageBoxes()[0].type, MB_ICONERROR);
}

}  // namespace
