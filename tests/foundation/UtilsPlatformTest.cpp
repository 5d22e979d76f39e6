#include <gtest/gtest.h>

#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/system/HostFacts.h"
#include "tests/support/TestEnvironment.h"

namespace {

const std::vector<quilstring> kNames = {u"Info", u"Error", u"Warning", u"Debug"};

class UtilsPlatformTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    CLogger::instance().resetForTesting();
    m_log = (dir() / "log.txt").string();
    ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_log)));
    NLog::setLevels(kNames, u"debug");
  }
  void TearDown() override {
    NLog::switchOff();
    CLogger::instance().resetForTesting();
    platform::system::resetHostFacts();
  }
  bool logged(const std::string& text) const {
    return testsupport::readFile(m_log).find(text) != std::string::npos;
  }
  std::string m_log;
};

TEST_F(UtilsPlatformTest, BrowserVersionIsTheHostsAndItsAbsenceIsFatal) {
  EXPECT_FLOAT_EQ(NUtils::getIEVersion(), 11.0f);
  EXPECT_TRUE(logged("MSIE ver = 11.0"));
  platform::system::HostFacts facts;
  facts.ieMajorVersion = 8;
  facts.ieMinorVersion = 5;
  platform::system::setHostFacts(facts);
  EXPECT_FLOAT_EQ(NUtils::getIEVersion(), 8.5f);
  EXPECT_TRUE(logged("MSIE ver = 8.5"));
  EXPECT_FALSE(logged("FATAL!"));
  facts.ieMajorVersion = 0;
  facts.ieMinorVersion = 0;
  platform::system::setHostFacts(facts);
  EXPECT_EQ(NUtils::getIEVersion(), 0.0f);
  EXPECT_TRUE(logged("Error") && logged("FATAL! Failed to load shdocvw.dll -- have you got Microsoft Internet "
                                        "Explorer version 6 or later installed?"));
}

TEST_F(UtilsPlatformTest, SystemVersionIsTheHosts) {
  EXPECT_EQ(NUtils::getOSMajorVersion(), 10u);
  platform::system::HostFacts facts;
  facts.osMajorVersion = 6;
  platform::system::setHostFacts(facts);
  EXPECT_EQ(NUtils::getOSMajorVersion(), 6u);
}

TEST_F(UtilsPlatformTest, ThemeIsAskedOncePerProcess) {
  // Each case runs in a fresh process, where nothing has asked yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto answerWith = [](DWORD osMajor, bool theme) {
    platform::system::HostFacts facts;
    facts.osMajorVersion = osMajor;
    facts.themeActive = theme;
    platform::system::setHostFacts(facts);
    const bool first = NUtils::isThemeActive();
    facts.themeActive = !theme;
    platform::system::setHostFacts(facts);
    std::exit((first ? 1 : 0) + (NUtils::isThemeActive() == first ? 2 : 0));
  };
  EXPECT_EXIT(answerWith(10, true), ::testing::ExitedWithCode(3), "");
  EXPECT_EXIT(answerWith(10, false), ::testing::ExitedWithCode(2), "");
  EXPECT_EXIT(answerWith(4, true), ::testing::ExitedWithCode(2), "");  // no theme library before 5
}

}  // namespace
