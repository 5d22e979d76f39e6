#include "platform/system/Module.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/com/HResult.h"
#include "platform/resources/Resources.h"
#include "platform/system/Errors.h"
#include "platform/system/HostFacts.h"
#include "platform/system/Text.h"
#include "platform/system/Tick.h"
#include "tests/support/TestEnvironment.h"

namespace {

class ModuleTest : public testsupport::IsolatedTest {
 protected:
  void TearDown() override { platform::system::resetHostFacts(); }
};

std::u16string executable() {
  return platform::system::utf8ToUtf16(std::filesystem::canonical("/proc/self/exe").string());
}

TEST_F(ModuleTest, ModulePathIsTheFileHoldingIt) {
  char16_t path[4096];
  // The test module's table is linked into this executable.
  ASSERT_GT(GetModuleFileNameW(testsupport::testModule(), path, 4096), 0u);
  EXPECT_EQ(std::u16string(path), executable());
  ASSERT_GT(GetModuleFileNameW(nullptr, path, 4096), 0u);
  EXPECT_EQ(std::u16string(path), executable());
  const std::u16string library = platform::system::modulePathOf(reinterpret_cast<const void*>(&GetTickCount));
  EXPECT_NE(library.find(u"libquillmark_platform.so"), std::u16string::npos);
}

TEST_F(ModuleTest, ShortBufferGetsATruncatedTerminatedPath) {
  char16_t path[8];
  EXPECT_EQ(GetModuleFileNameW(nullptr, path, 8), 8u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::u16string(path), executable().substr(0, 7));
}

TEST_F(ModuleTest, SystemLibrariesLoadAsTheHostReports) {
  HMODULE shdocvw = LoadLibraryW(u"SHDOCVW");
  ASSERT_NE(shdocvw, nullptr);
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(GetProcAddress(shdocvw, "DllGetVersion"));
  ASSERT_NE(getVersion, nullptr);
  DLLVERSIONINFO info{};
  info.cbSize = sizeof info;
  ASSERT_EQ(getVersion(&info), S_OK);
  EXPECT_EQ(info.dwMajorVersion, 11u);
  EXPECT_EQ(GetProcAddress(shdocvw, "IsThemeActive"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(shdocvw));

  platform::system::HostFacts facts;
  facts.ieMajorVersion = 0;
  facts.osMajorVersion = 4;
  platform::system::setHostFacts(facts);
  EXPECT_EQ(LoadLibraryW(u"shdocvw.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryW(u"uxtheme.dll"), nullptr);
  EXPECT_EQ(LoadLibraryW(u"kernel32.dll"), nullptr);
}

TEST_F(ModuleTest, VersionComesFromTheHostFacts) {
  platform::system::HostFacts facts;
  facts.osMajorVersion = 6;
  facts.osMinorVersion = 1;
  platform::system::setHostFacts(facts);
  OSVERSIONINFOW info{};
  EXPECT_FALSE(GetVersionExW(&info));  // the size must be set
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExW(&info));
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
}

}  // namespace
