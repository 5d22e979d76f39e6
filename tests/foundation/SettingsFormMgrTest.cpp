#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "foundation/AddinGlobals.h"
#include "foundation/Log.h"
#include "foundation/Settings.h"
#include "platform/com/ComPtr.h"
#include "platform/mapi/FormInfo.h"
#include "platform/mapi/Session.h"
#include "platform/registry/RegistryFiles.h"
#include "tests/support/TestEnvironment.h"

namespace {

class SettingsFormMgrTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    resetAll();
    CSettings::instance();
    // The store switches the log off when the registry does not enable it: capture it afterwards.
    m_log = (dir() / "log.txt").string();
    ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_log)));
    NLog::setLevels({u"Info", u"Error", u"Warning", u"Debug"}, u"debug");
  }
  void TearDown() override {
    resetAll();
    const auto live = platform::mapi::liveMAPIObjectsForTesting();
    EXPECT_EQ(live.sessions, 0u);
    EXPECT_EQ(live.formMgrs, 0u);
    EXPECT_EQ(live.formInfos, 0u);
  }
  static void resetAll() {
    CSettings::resetForTesting();
    CLogger::instance().resetForTesting();
    NGlobals::resetForTesting();
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
    platform::mapi::setLogonFailsForTesting(false);
    platform::mapi::setOpenFormMgrFailureForTesting(S_OK);
  }

  // The Error lines logged, without time and source.
  std::vector<std::string> errors() const {
    std::vector<std::string> out;
    std::istringstream in(testsupport::readFile(m_log));
    for (std::string line; std::getline(in, line);) {
      if (line.compare(9, 6, "Error ") != 0) continue;
      out.push_back(line.substr(17, line.rfind(" (") - 17));
    }
    return out;
  }

  std::string m_log;
};

TEST_F(SettingsFormMgrTest, OpensTheFormLibraryOnceAndKeepsItForTheStore) {
  const ULONG abandoned = platform::mapi::sessionsReleasedWithoutLogoffForTesting();
  IMAPIFormMgr* formMgr = CSettings::instance().getFormMgr();
  ASSERT_NE(formMgr, nullptr);
  EXPECT_EQ(CSettings::instance().getFormMgr(), formMgr);
  // The session was logged off and released at once; the library stays usable.
  EXPECT_EQ(platform::mapi::liveMAPIObjectsForTesting().sessions, 0u);
  EXPECT_EQ(platform::mapi::sessionsReleasedWithoutLogoffForTesting(), abandoned);
  EXPECT_EQ(platform::mapi::liveMAPIObjectsForTesting().formMgrs, 1u);
  CComPtr<IMAPIFormInfo> info;
  EXPECT_EQ(formMgr->ResolveMessageClass("IPM.Contact", 0, nullptr, &info), S_OK);
  info.Release();

  // Cleared at shut-down of the connection: released, and opened anew when asked again.
  CSettings::instance().clearFormMgr();
  EXPECT_EQ(platform::mapi::liveMAPIObjectsForTesting().formMgrs, 0u);
  EXPECT_NE(CSettings::instance().getFormMgr(), nullptr);
  EXPECT_EQ(platform::mapi::liveMAPIObjectsForTesting().formMgrs, 1u);
  EXPECT_TRUE(errors().empty());

  // The store's end releases it too.
  CSettings::resetForTesting();
  EXPECT_EQ(platform::mapi::liveMAPIObjectsForTesting().formMgrs, 0u);
}

TEST_F(SettingsFormMgrTest, WithoutAMapiSessionAnswersNullAndLogsTheFailedLogon) {
  platform::mapi::setLogonFailsForTesting(true);
  EXPECT_EQ(CSettings::instance().getFormMgr(), nullptr);
  // Nothing is kept: the next request tries again.
  EXPECT_EQ(CSettings::instance().getFormMgr(), nullptr);
  EXPECT_EQ(errors(), (std::vector<std::string>{"MAPILogonEx failed", "MAPILogonEx failed"}));

  platform::mapi::setLogonFailsForTesting(false);
  EXPECT_NE(CSettings::instance().getFormMgr(), nullptr);
  EXPECT_EQ(errors().size(), 2u);
}

TEST_F(SettingsFormMgrTest, AFormLibraryThatWillNotOpenIsLoggedAndTheSessionStillEnds) {
  const ULONG abandoned = platform::mapi::sessionsReleasedWithoutLogoffForTesting();
  platform::mapi::setOpenFormMgrFailureForTesting(MAPI_E_NO_ACCESS);
  EXPECT_EQ(CSettings::instance().getFormMgr(), nullptr);
  EXPECT_EQ(errors(), std::vector<std::string>{"MAPIOpenFormMgr failed"});
  EXPECT_EQ(platform::mapi::liveMAPIObjectsForTesting().sessions, 0u);
  EXPECT_EQ(platform::mapi::sessionsReleasedWithoutLogoffForTesting(), abandoned);
}

}  // namespace
