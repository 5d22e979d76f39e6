#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/com/Activation.h"
#include "platform/com/Com.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

class InstallTest : public testsupport::IsolatedTest {
 protected:
  // Runs the real command in its own process, as an installer would be run.
  int quillmark(const std::string& args) {
    return testsupport::runCommand(std::string(QM_QUILLMARK_BINARY) + " " + args, dir());
  }
  static std::u16string text(HKEY root, const char16_t* path, const char16_t* name) {
    CRegKey key;
    if (key.Open(root, path, KEY_READ) != ERROR_SUCCESS) return u"<missing key>";
    char16_t buffer[1024];
    DWORD type = 0, size = sizeof buffer;
    if (key.QueryValue(name, &type, buffer, &size) != ERROR_SUCCESS || type != REG_SZ) return u"<missing value>";
    return std::u16string(buffer, size / 2 - 1);
  }
};

TEST_F(InstallTest, RegistersEveryShippedTemplateAndCopiesIt) {
  ASSERT_EQ(quillmark("install"), 0) << testsupport::readFile(dir() / "err.txt");
  const fs::path program = testsupport::quillmarkHome() / "program";
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvessa", u"InstallDir"),
            platform::system::utf8ToUtf16(program.string() + "/"));
  const char16_t* defaults = u"SOFTWARE\\Corvessa\\QuillMark For Outlook\\Install defaults\\Templates\\1033";
  const std::u16string mail = std::u16string(defaults) + u"\\IPM.Note\\Template1";
  const std::u16string list = std::u16string(defaults) + u"\\IPM.Note\\Template2";
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, mail.c_str(), u"Printing template"),
            platform::system::utf8ToUtf16((program / "Templates" / "Mail.htm").string()));
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, list.c_str(), u"DisplayName"), u"Mail List");
  CRegKey listKey;
  ASSERT_EQ(listKey.Open(HKEY_LOCAL_MACHINE, list.c_str(), KEY_READ), ERROR_SUCCESS);
  DWORD isFolder = 0;
  EXPECT_EQ(listKey.QueryDWORDValue(u"IsFolder", isFolder), ERROR_SUCCESS);
  EXPECT_EQ(isFolder, 1u);
  for (const char* file : {"Mail.htm", "MailList.htm", "Contact.htm", "TaskRequest.htm", "MeetingRequest.htm"}) {
    EXPECT_GT(fs::file_size(program / "Templates" / file), 100u) << file;
  }
}

TEST_F(InstallTest, ReinstallKeepsAnAdministratorsChoices) {
  ASSERT_EQ(quillmark("install"), 0);
  {
    CRegKey product;
    ASSERT_EQ(product.Open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvessa\\QuillMark For Outlook"), ERROR_SUCCESS);
    ASSERT_EQ(product.SetDWORDValue(u"Allow users to modify settings", 0), ERROR_SUCCESS);
  }
  ASSERT_EQ(quillmark("install"), 0);
  CRegKey product;
  ASSERT_EQ(product.Open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvessa\\QuillMark For Outlook", KEY_READ), ERROR_SUCCESS);
  DWORD allow = 1;
  ASSERT_EQ(product.QueryDWORDValue(u"Allow users to modify settings", allow), ERROR_SUCCESS);
  EXPECT_EQ(allow, 0u);
}

TEST_F(InstallTest, InstallsRunningAtOnceIntoOneHomeAllSucceed) {
  const fs::path failures = dir() / "failures.txt";
  for (int round = 0; round < 3; ++round) {
    std::string command;
    for (int i = 0; i < 8; ++i)
      command += std::string("(") + QM_QUILLMARK_BINARY + " install >/dev/null 2>>" + (dir() / "err.txt").string() +
                 " || echo failed >>" + failures.string() + ") & ";
    ASSERT_EQ(std::system((command + "wait").c_str()), 0);
  }
  EXPECT_FALSE(fs::exists(failures)) << testsupport::readFile(dir() / "err.txt");
  platform::registry::resetForTesting();
  const fs::path templates = testsupport::quillmarkHome() / "program" / "Templates";
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(templates)) {
    EXPECT_EQ(entry.path().extension(), ".htm") << entry.path();  // nothing half-written left beside them
    ++files;
  }
  EXPECT_EQ(files, 10u);
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE,
                 u"SOFTWARE\\Corvessa\\QuillMark For Outlook\\Install defaults\\Templates\\1033\\IPM.Note\\Template2",
                 u"DisplayName"),
            u"Mail List");
}

TEST_F(InstallTest, RelativeHomeIsStoredAsAnAbsolutePath) {
  // Prints started from any other folder find the templates.
  const std::string command =
      "cd " + dir().string() + " && QUILLMARK_HOME=home " + QM_QUILLMARK_BINARY + " install >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  platform::registry::resetForTesting();
  const fs::path program = testsupport::quillmarkHome() / "program";
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvessa", u"InstallDir"),
            platform::system::utf8ToUtf16(program.string() + "/"));
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE,
                 u"SOFTWARE\\Corvessa\\QuillMark For Outlook\\Install defaults\\Templates\\1033\\IPM.Note\\Template1",
                 u"Printing template"),
            platform::system::utf8ToUtf16((program / "Templates" / "Mail.htm").string()));
}

TEST_F(InstallTest, FailureIsReportedWithAStatus) {
  fs::create_directories(dir() / "blocked");
  std::ofstream(dir() / "blocked" / "Templates") << "a file where the folder should be";
  EXPECT_EQ(quillmark("install --program-dir " + (dir() / "blocked").string()), 1);
  EXPECT_NE(testsupport::readFile(dir() / "err.txt").find("cannot create"), std::string::npos);
  EXPECT_EQ(quillmark("frobnicate"), 2);
}

TEST_F(InstallTest, InstallRegistersTheAddinForOutlookAndUninstallTakesItBack) {
  CRegKey classes;
  ASSERT_EQ(classes.Create(HKEY_CLASSES_ROOT, u"CLSID"), ERROR_SUCCESS);
  classes.Close();
  const auto classesRoot = [&](const char* name) {
    EXPECT_EQ(platform::registry::exportKey(HKEY_CLASSES_ROOT, dir() / name), ERROR_SUCCESS);
    return testsupport::readFile(dir() / name);
  };
  const std::string before = classesRoot("before.reg");

  ASSERT_EQ(quillmark("install"), 0) << testsupport::readFile(dir() / "err.txt");
  const char16_t* addin = u"Software\\Microsoft\\Office\\Outlook\\Addins\\quillMark.Connect";
  CRegKey key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, addin, KEY_READ), ERROR_SUCCESS);
  DWORD loadBehavior = 0;
  EXPECT_EQ(key.QueryDWORDValue(u"LoadBehavior", loadBehavior), ERROR_SUCCESS);
  EXPECT_EQ(loadBehavior, 3u);
  key.Close();
  EXPECT_EQ(text(HKEY_CURRENT_USER, addin, u"FriendlyName"), u"QuillMark For Outlook");
  // Outlook finds the add-in by the key's name, a ProgID the module's registration serves.
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"quillMark.Connect", &clsid), S_OK);
  CComPtr<IDispatch> connect;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&connect)),
            S_OK);
  connect.Release();
  CoFreeUnusedLibraries();

  ASSERT_EQ(quillmark("uninstall"), 0) << testsupport::readFile(dir() / "err.txt");
  EXPECT_EQ(classesRoot("after.reg"), before);
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, addin, KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&connect)),
            REGDB_E_CLASSNOTREG);
}

}  // namespace
