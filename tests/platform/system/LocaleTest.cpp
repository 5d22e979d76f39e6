#include "platform/system/Locale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "platform/system/Errors.h"
#include "tests/support/TestEnvironment.h"

namespace {

// Saves and restores the locale variables; each test starts with neither set.
class LocaleTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    platform::system::resetThreadLocaleForTesting();
    for (const char* name : {"LC_ALL", "LANG"}) {
      const char* value = std::getenv(name);
      m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : m_saved) {
      if (value) setenv(name, value->c_str(), 1);
      else unsetenv(name);
    }
    platform::system::resetThreadLocaleForTesting();
  }
  std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

TEST_F(LocaleTest, UserLocaleComesFromTheEnvironment) {
  const struct {
    const char* lang;
    LCID expected;
  } cases[] = {
      {"de_DE.UTF-8", 1031}, {"en_GB.UTF-8", 2057}, {"ja_JP.UTF-8", 1041}, {"zh_CN", 2052},
      {"fr_FR.ISO-8859-15@euro", 1036}, {"de", 1031}, {"C.UTF-8", 1033}, {"POSIX", 1033},
      {"xx_YY", 1033}, {"", 1033},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lang);
    setenv("LANG", c.lang, 1);
    EXPECT_EQ(GetUserDefaultLCID(), c.expected);
  }
  unsetenv("LANG");
  EXPECT_EQ(GetUserDefaultLCID(), 1033u);
  setenv("LANG", "de_DE.UTF-8", 1);
  setenv("LC_ALL", "es_ES.UTF-8", 1);
  EXPECT_EQ(GetUserDefaultLCID(), 3082u);
}

TEST_F(LocaleTest, LocaleNamesNeverAnswerRoot) {
  setenv("LANG", "fr_FR.UTF-8", 1);
  EXPECT_EQ(platform::system::localeNameOf(1033), "en_US");
  EXPECT_EQ(platform::system::localeNameOf(2052), "zh_CN");
  EXPECT_EQ(platform::system::localeNameOf(1041), "ja_JP");
  // The reserved ids mean the user's locale, where ICU would say "root".
  for (LCID reserved : {0x0000u, 0x0400u, 0x0800u, 0x0C00u, 0x1000u}) {
    SCOPED_TRACE(reserved);
    EXPECT_EQ(platform::system::localeNameOf(reserved), "fr_FR");
  }
  EXPECT_EQ(platform::system::localeNameOf(0xABCD), "");
}

TEST_F(LocaleTest, ThreadLocaleIsPerThreadAndRefusesUnknownIds) {
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(GetThreadLocale(), 1031u);
  ASSERT_TRUE(SetThreadLocale(1041));
  EXPECT_EQ(GetThreadLocale(), 1041u);
  EXPECT_FALSE(SetThreadLocale(0xABCD));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(GetThreadLocale(), 1041u);
  LCID other = 0;
  std::thread([&] { other = GetThreadLocale(); }).join();
  EXPECT_EQ(other, 1031u);
  ASSERT_TRUE(SetThreadLocale(LOCALE_USER_DEFAULT));
  EXPECT_EQ(GetThreadLocale(), 1031u);
}

TEST_F(LocaleTest, AnsiCodePageFollowsTheLocale) {
  const struct {
    LCID lcid;
    UINT codePage;
  } cases[] = {
      {1033, 1252}, {2057, 1252}, {1031, 1252}, {1036, 1252}, {3082, 1252}, {1041, 932}, {2052, 936},
      {4100, 936},  {1028, 950},  {3076, 950},  {1042, 949},  {1049, 1251}, {1058, 1251}, {1045, 1250},
      {1029, 1250}, {1050, 1250}, {2074, 1250}, {3098, 1251}, {1032, 1253}, {1055, 1254}, {1068, 1254},
      {2092, 1251}, {1037, 1255}, {1025, 1256}, {1065, 1256}, {1061, 1257}, {1054, 874},  {1066, 1258},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lcid);
    EXPECT_EQ(platform::system::ansiCodePageOf(c.lcid), c.codePage);
  }
  setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_EQ(GetACP(), 932u);
  ASSERT_TRUE(SetThreadLocale(1049));
  EXPECT_EQ(platform::system::threadAnsiCodePage(), 1251u);
}

}  // namespace
