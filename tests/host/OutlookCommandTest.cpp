// `quillmark outlook --no-gui` in its own process: the add-in comes only through its HKCR
// registration, and every reason it does not load is said.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

class OutlookCommandTest : public testsupport::IsolatedTest {
 protected:
  int quillmark(const std::string& args) {
    return testsupport::runCommand(std::string(QM_QUILLMARK_BINARY) + " " + args, dir());
  }
  std::string out() const { return testsupport::readFile(dir() / "out.txt"); }
  std::string err() const { return testsupport::readFile(dir() / "err.txt"); }
  std::string outlook() {
    fs::create_directories(dir() / "store" / "Inbox");
    quillmark("--no-gui outlook --store " + (dir() / "store").string());
    return out() + err();
  }
};

TEST_F(OutlookCommandTest, LoadsTheAddInOnlyThroughItsClassRegistration) {
  EXPECT_NE(outlook().find("no add-in is installed"), std::string::npos) << out() << err();

  ASSERT_EQ(quillmark("install"), 0) << err();
  std::string said = outlook();
  // The module was created from its ProgID and connected; the command itself holds nothing of
  // the engine (its classes' names appear only in the module).
  EXPECT_NE(said.find("connected the add-ins quillMark.Connect"), std::string::npos) << said;
  EXPECT_EQ(testsupport::readFile(QM_QUILLMARK_BINARY).find("CPrintItem"), std::string::npos);

  // Without its module's registration the add-in key alone loads nothing.
  CRegKey progId;
  ASSERT_EQ(progId.Open(HKEY_CLASSES_ROOT, u"quillMark.Connect\\CLSID", KEY_READ), ERROR_SUCCESS);
  char16_t clsid[64] = {};
  ULONG size = sizeof clsid;
  DWORD type = 0;
  ASSERT_EQ(progId.QueryValue(nullptr, &type, clsid, &size), ERROR_SUCCESS);
  progId.Close();
  const std::u16string server = u"CLSID\\" + std::u16string(clsid);
  {
    CRegKey classKey;
    ASSERT_EQ(classKey.Open(HKEY_CLASSES_ROOT, server.c_str(), KEY_READ | KEY_WRITE), ERROR_SUCCESS);
    ASSERT_EQ(classKey.RecurseDeleteKey(u"InprocServer32"), ERROR_SUCCESS);
  }
  said = outlook();
  EXPECT_NE(said.find("the add-in quillMark.Connect was not loaded: its module could not be loaded"), std::string::npos)
      << said;
  EXPECT_NE(said.find("no add-in connected"), std::string::npos) << said;

  {
    CRegKey root;
    ASSERT_EQ(root.Open(HKEY_CLASSES_ROOT, u"", KEY_READ | KEY_WRITE), ERROR_SUCCESS);
    ASSERT_EQ(root.RecurseDeleteKey(u"quillMark.Connect"), ERROR_SUCCESS);
  }
  said = outlook();
  EXPECT_NE(said.find("the add-in quillMark.Connect was not loaded: it is not registered"), std::string::npos) << said;
}

TEST_F(OutlookCommandTest, RefusesAnUnknownOutlookVersion) {
  EXPECT_EQ(quillmark("outlook --outlook-version 9"), 2);
  EXPECT_NE(err().find("unknown Outlook version 9"), std::string::npos) << err();
}

}  // namespace
