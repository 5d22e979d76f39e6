#include <gtest/gtest.h>

#include <sstream>

#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryFiles.h"
#include "tests/support/TestEnvironment.h"

namespace {

constexpr const char16_t* kProductKey = u"SOFTWARE\\Corvessa\\QuillMark For Outlook";
constexpr const char16_t* kProductObject = u"MACHINE\\SOFTWARE\\Corvessa\\QuillMark For Outlook";

struct ReadOnlyMachine : platform::registry::PosixHiveStorage {
  bool canWrite(const std::filesystem::path& file) override { return file.filename() != "machine.reg"; }
};

class UtilsRegistryTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
    CLogger::instance().resetForTesting();
    m_log = dir() / "log.txt";
    ASSERT_TRUE(CLogger::instance().redirectTo(quilstring::fromUtf8(m_log.string())));
    NLog::setLevels({u"Info", u"Error", u"Warning", u"Debug"}, u"debug");
  }
  void TearDown() override {
    CLogger::instance().resetForTesting();
    platform::registry::setStorageForTesting(nullptr);
    platform::registry::resetForTesting();
  }

  // The messages logged, without the time, level and source.
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    std::istringstream in(testsupport::readFile(m_log));
    for (std::string line; std::getline(in, line);) {
      // "HH:MM:SS " and the level name padded to "Warning ".
      const std::size_t end = line.rfind(" (");
      out.push_back(line.substr(17, end - 17));
    }
    return out;
  }

  std::filesystem::path m_log;
};

TEST_F(UtilsRegistryTest, MachineKeyRightsFollowWhetherTheUserMayWriteTheMachineHive) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);

  const DWORD writable = NUtils::registryKeyAccessMaskOfCurrentUser(kProductObject);
  EXPECT_EQ(writable, KEY_ALL_ACCESS);
  EXPECT_TRUE(writable & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY));

  platform::registry::setStorageForTesting(std::make_shared<ReadOnlyMachine>());
  const DWORD readOnly = NUtils::registryKeyAccessMaskOfCurrentUser(kProductObject);
  EXPECT_EQ(readOnly, KEY_READ);
  EXPECT_FALSE(readOnly & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY));

  const auto lines = messages();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "NUtils::registryKeyAccessMaskOfCurrentUser");
  EXPECT_EQ(lines[3],
            "Effective rights of client process for MACHINE\\SOFTWARE\\Corvessa\\QuillMark For Outlook are 0X20019 "
            "(KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | READ_CONTROL)");
}

TEST_F(UtilsRegistryTest, AMissingKeyAnswersNoRightsAndLogsTheFailure) {
  EXPECT_EQ(NUtils::registryKeyAccessMaskOfCurrentUser(kProductObject), 0u);
  const auto lines = messages();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1],
            "GetNamedSecurityInfo returned fail (0X2) trying to retrieve SD of "
            "MACHINE\\SOFTWARE\\Corvessa\\QuillMark For Outlook");
}

TEST_F(UtilsRegistryTest, AccessMaskNamesTheSetBitsInOrder) {
  EXPECT_EQ(NUtils::accessMaskToString(0), u"");
  EXPECT_EQ(NUtils::accessMaskToString(KEY_ALL_ACCESS),
            u"KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | "
            u"KEY_CREATE_LINK | DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER");
  EXPECT_EQ(NUtils::accessMaskToString(GENERIC_READ | KEY_WOW64_64KEY | KEY_WOW64_32KEY | MAXIMUM_ALLOWED),
            u"KEY_WOW64_32KEY | KEY_WOW64_64KEY | MAXIMUM_ALLOWED | GENERIC_READ");
}

}  // namespace
