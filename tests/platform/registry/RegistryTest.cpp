// The Win32 surface: names, order, value reads, access rights and error texts.
#include <gtest/gtest.h>

#include "tests/platform/registry/RegistryTestSupport.h"

namespace {

using regtest::exists;
using regtest::setDword;
using regtest::setText;
using regtest::subkeys;
using regtest::text;

class RegistryTest : public regtest::RegistryFixture {};

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Corvessa\\QuillMark For Outlook", 0, nullptr, 0,
                            KEY_READ | KEY_WRITE, nullptr, &key, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_EQ(setText(key, u"Log Path", u"/tmp/a.log"), ERROR_SUCCESS);
  EXPECT_EQ(setText(key, u"LOG PATH", u"/tmp/b.log"), ERROR_SUCCESS);
  EXPECT_EQ(text(key, u"log path"), u"/tmp/b.log");
  char16_t name[32];
  DWORD size = 32;
  ASSERT_EQ(RegEnumValueW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Log Path");
  EXPECT_EQ(RegEnumValueW(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);

  HKEY again = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\CORVESSA\\quillmark for outlook\\", 0, nullptr, 0, KEY_READ,
                            nullptr, &again, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software", 0, KEY_READ, &parent), ERROR_SUCCESS);
  EXPECT_EQ(subkeys(parent), std::vector<std::u16string>{u"Corvessa"});
  RegCloseKey(parent);
  RegCloseKey(again);
}

TEST_F(RegistryTest, SubKeysEnumerateInWindowsOrder) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Templates\\1033\\IPM.Note", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr), ERROR_SUCCESS);
  for (int i = 12; i >= 1; --i) {
    HKEY sub = nullptr;
    const std::u16string name = u"Template" + platform::system::utf8ToUtf16(std::to_string(i));
    ASSERT_EQ(RegCreateKeyExW(key, name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &sub, nullptr), ERROR_SUCCESS);
    RegCloseKey(sub);
  }
  // Upper-cased comparison: "_" (0x5F) sorts after letters only once they are upper case.
  for (const char16_t* name : {u"zeta", u"Alpha", u"template_x", u"TEMPLATEa"}) {
    HKEY sub = nullptr;
    ASSERT_EQ(RegCreateKeyExW(key, name, 0, nullptr, 0, KEY_WRITE, nullptr, &sub, nullptr), ERROR_SUCCESS);
    RegCloseKey(sub);
  }
  const std::vector<std::u16string> expected{u"Alpha",      u"Template1", u"Template10", u"Template11", u"Template12",
                                             u"Template2",  u"Template3", u"Template4",  u"Template5",  u"Template6",
                                             u"Template7",  u"Template8", u"Template9",  u"TEMPLATEa",  u"template_x",
                                             u"zeta"};
  EXPECT_EQ(subkeys(key), expected);
  DWORD count = 0;
  DWORD longest = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(count, expected.size());
  EXPECT_EQ(longest, 10u);
  RegCloseKey(key);

  // The order holds after the hive is read back from its file.
  platform::registry::resetForTesting();
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Templates\\1033\\IPM.Note", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(subkeys(key), expected);
  RegCloseKey(key);
}

TEST_F(RegistryTest, QueryAsksTheSizeAndAnswersMoreData) {
  ASSERT_EQ(setText(HKEY_CURRENT_USER, u"Name", u"abcdef"), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, u"name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 14u);
  BYTE small[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, u"Name", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 14u);
  EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, u"Name", nullptr, &type, small, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, u"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);

  // The default value is both the null and the empty name.
  ASSERT_EQ(setText(HKEY_CURRENT_USER, nullptr, u"dflt"), ERROR_SUCCESS);
  EXPECT_EQ(text(HKEY_CURRENT_USER, u""), u"dflt");

  const BYTE blob[] = {0, 1, 2, 0xFF};
  ASSERT_EQ(RegSetValueExW(HKEY_CURRENT_USER, u"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  BYTE out[8] = {};
  size = sizeof out;
  ASSERT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, u"Blob", nullptr, &type, out, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(std::vector<BYTE>(out, out + size), std::vector<BYTE>(blob, blob + 4));
  EXPECT_EQ(RegSetValueExW(HKEY_CURRENT_USER, u"Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  EXPECT_EQ(setText(HKEY_CURRENT_USER, u"Two\nlines", u"x"), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, EnumerationReportsShortBuffers) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"K\\LongerName", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"K", 0, KEY_READ, &key), ERROR_SUCCESS);
  char16_t name[16];
  DWORD size = 10;  // "LongerName" needs 11 with its terminator
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  size = 11;
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(RegEnumKeyExW(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, AccessRightsOfAHandleAreEnforced) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"A", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(setDword(key, u"v", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  RegCloseKey(key);

  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"A", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(setDword(key, u"v", 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(key, u"v"), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key, u"B", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteTreeW(key, nullptr), ERROR_ACCESS_DENIED);
  DWORD value = 0;
  DWORD size = sizeof value;
  EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
  RegCloseKey(key);

  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Nope", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"A\\\\B", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
}

TEST_F(RegistryTest, DeletingKeysAndTrees) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"P\\Locale\\Class\\Template1", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr), ERROR_SUCCESS);
  setText(key, u"Printing template", u"/t/a.htm");
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"P\\Other", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);

  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"P\\Locale"), ERROR_ACCESS_DENIED);  // it has sub-keys
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"P\\Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"p\\other"), ERROR_SUCCESS);
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"P\\Other"));

  // A handle to a key deleted under it answers ERROR_KEY_DELETED.
  HKEY open = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"P\\Locale\\Class", 0, KEY_READ, &open), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"P", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(key, u"LOCALE"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryInfoKeyW(open, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr), ERROR_KEY_DELETED);
  RegCloseKey(open);
  RegCloseKey(key);
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"P\\Locale"));
  EXPECT_TRUE(exists(HKEY_CURRENT_USER, u"P"));

  // Without a sub-key the key is emptied and stays.
  setDword(HKEY_CURRENT_USER, u"top", 1);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"P\\Q", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"P", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  setDword(key, u"inner", 1);
  EXPECT_EQ(RegDeleteTreeW(key, nullptr), ERROR_SUCCESS);
  DWORD subKeys = 9;
  DWORD values = 9;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  EXPECT_EQ(subKeys, 0u);
  EXPECT_EQ(values, 0u);
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u""), ERROR_ACCESS_DENIED);  // a predefined key stays
}

TEST_F(RegistryTest, AHiveTheUserMayNotWriteRefusesWriteOpens) {
  struct ReadOnlyMachine : platform::registry::PosixHiveStorage {
    bool canWrite(const std::filesystem::path& file) override { return file.filename() != "machine.reg"; }
  };
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvessa\\QuillMark For Outlook", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  platform::registry::setStorageForTesting(std::make_shared<ReadOnlyMachine>());

  const char16_t* product = u"SOFTWARE\\Corvessa\\QuillMark For Outlook";
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, product, 0, KEY_READ | KEY_WRITE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(setDword(HKEY_LOCAL_MACHINE, u"x", 1), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, product, 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  // MAXIMUM_ALLOWED gives what the user may have: reading here.
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, product, 0, MAXIMUM_ALLOWED, &key), ERROR_SUCCESS);
  EXPECT_EQ(setDword(key, u"x", 1), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, product, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);

  ACCESS_MASK granted = 0;
  EXPECT_EQ(platform::registry::keyAccessOfCurrentUser(u"MACHINE\\SOFTWARE\\Corvessa\\QuillMark For Outlook", granted),
            ERROR_SUCCESS);
  EXPECT_EQ(granted, KEY_READ);
  EXPECT_EQ(platform::registry::keyAccessOfCurrentUser(u"CURRENT_USER\\software\\corvessa", granted), ERROR_SUCCESS);
  EXPECT_EQ(granted, KEY_ALL_ACCESS);
  EXPECT_EQ(platform::registry::keyAccessOfCurrentUser(u"MACHINE\\SOFTWARE\\Missing", granted), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, FormatMessageGivesTheSystemTexts) {
  char16_t buffer[256];
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  struct Case {
    LONG code;
    const char16_t* text;
  };
  for (const Case& c : {Case{ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
                        Case{ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
                        Case{ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
                        Case{ERROR_DISK_FULL, u"There is not enough space on the disk.\r\n"},
                        Case{ERROR_BADDB, u"The configuration registry database is corrupt.\r\n"}}) {
    const DWORD length = FormatMessageW(flags, nullptr, c.code, 0, buffer, 256, nullptr);
    EXPECT_EQ(std::u16string(buffer, length), c.text);
  }
  const DWORD length = FormatMessageW(flags | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, ERROR_WRITE_FAULT, 0, buffer, 256, nullptr);
  EXPECT_EQ(std::u16string(buffer, length), u"The system cannot write to the specified device.");
  EXPECT_EQ(FormatMessageW(flags, nullptr, 424242, 0, buffer, 256, nullptr), 0u);
  EXPECT_EQ(FormatMessageW(flags, nullptr, ERROR_ACCESS_DENIED, 0, buffer, 10, nullptr), 0u);
}

}  // namespace
