// `quillmark outlook --no-gui` in its own process: the add-in comes only through its HKCR
// registration, and every reason it does not load is said; `--list` shows every item's EntryID,
// which `automation print` then prints.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/OutlookCommand.h"
#include "platform/com/Com.h"
#include "platform/outlook/Outlook.h"
#include "platform/outlook/OutlookInterfaces.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Text.h"
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

TEST_F(OutlookCommandTest, ListsEveryItemWithItsEntryIdWhichAutomationPrints) {
  QM_REQUIRE_SHARED_DATA();
  ASSERT_EQ(quillmark("--no-gui install"), 0) << err();
  const fs::path store = dir() / "store";
  const fs::path samples = testsupport::sharedDir() / "testdata" / "msg";
  fs::create_directories(store / "Inbox" / "Projects");
  fs::copy_file(samples / "hht__attachmentFiles.msg", store / "files.msg");
  fs::copy_file(samples / "sicos__TxtSampleEmail.msg", store / "text.msg");
  fs::copy_file(samples / "tika__testMSG_Task.msg", store / "Inbox" / "Projects" / "task.msg");
  fs::copy_file(samples / "sicos__EmailWithSpecialCharsInSubject.msg", store / "Inbox" / "special.msg");

  ASSERT_EQ(quillmark("--no-gui outlook --list --store " + store.string()), 0) << err();
  std::map<std::string, std::vector<std::string>> byFolder;  // folder -> EntryIDs
  std::map<std::string, std::string> subjects;               // EntryID -> subject
  std::istringstream lines(out());
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    ASSERT_EQ(fields.size(), 3u) << line;
    byFolder[fields[1]].push_back(fields[0]);
    subjects[fields[0]] = fields[2];
  }
  EXPECT_EQ(subjects.size(), 4u) << out();
  EXPECT_EQ(byFolder["\\\\Personal Folders"].size(), 2u) << out();
  EXPECT_EQ(byFolder["\\\\Personal Folders\\Inbox"].size(), 1u) << out();
  EXPECT_EQ(byFolder["\\\\Personal Folders\\Inbox\\Projects"].size(), 1u) << out();
  EXPECT_EQ(out().find("connected the add-ins"), std::string::npos) << "listing loads no add-in";

  // Each listed EntryID is the item's own, and automation prints an item by it.
  const auto outlook = platform::outlook::COutlook::open(store);
  ASSERT_TRUE(outlook);
  CComVariant id;
  ASSERT_EQ(CComDispatchDriver(outlook->item(store / "files.msg")).GetPropertyByName(u"EntryID", &id), S_OK);
  const std::string entryId = platform::system::utf16ToUtf8(id.bstrVal);
  ASSERT_TRUE(subjects.contains(entryId)) << out();

  {
    // The machine's autoprint action with the default template; the keys close before the print.
    CRegKey autoprint, action;
    ASSERT_EQ(autoprint.Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvessa\\QuillMark For Outlook\\Autoprint"), ERROR_SUCCESS);
    ASSERT_EQ(action.Create(autoprint.m_hKey, u"1033\\Action1"), ERROR_SUCCESS);
    ASSERT_EQ(action.SetStringValue(u"Display Name", u"print with quillmark"), ERROR_SUCCESS);
    for (const char16_t* name : {u"Template Enabled", u"Use Outlook template"})
      ASSERT_EQ(action.SetDWORDValue(name, 1), ERROR_SUCCESS);
  }
  ASSERT_EQ(quillmark("--no-gui automation print --entry-id " + entryId + " --store " + store.string() + " --out " +
                      (dir() / "pdf").string()),
            0)
      << err();
  std::vector<fs::path> written;
  for (const auto& entry : fs::directory_iterator(dir() / "pdf")) written.push_back(entry.path());
  ASSERT_EQ(written.size(), 1u) << out();
  EXPECT_NE(testsupport::pdfText(written[0]).find(subjects[entryId]), std::string::npos) << subjects[entryId];
}

TEST_F(OutlookCommandTest, TheExplorerOpensWhereTheItemsAre) {
  QM_REQUIRE_SHARED_DATA();
  const fs::path store = dir() / "store";
  fs::create_directories(store / "Inbox");
  fs::create_directories(store / "Archive" / "2019");
  const fs::path sample = testsupport::sharedDir() / "testdata" / "msg" / "sicos__TxtSampleEmail.msg";
  const auto nameOf = [&] {
    const auto outlook = platform::outlook::COutlook::open(store);
    CComVariant name;
    CComDispatchDriver(host::startFolder(*outlook)).GetPropertyByName(u"FolderPath", &name);
    return name.vt == VT_BSTR ? platform::system::utf16ToUtf8(name.bstrVal) : std::string();
  };
  // Nothing anywhere: the Inbox; items only deeper in the tree: their folder; in the Inbox: it.
  EXPECT_EQ(nameOf(), "\\\\Personal Folders\\Inbox");
  fs::copy_file(sample, store / "Archive" / "2019" / "a.msg");
  EXPECT_EQ(nameOf(), "\\\\Personal Folders\\Archive\\2019");
  fs::copy_file(sample, store / "b.msg");
  EXPECT_EQ(nameOf(), "\\\\Personal Folders");
  fs::copy_file(sample, store / "Inbox" / "c.msg");
  EXPECT_EQ(nameOf(), "\\\\Personal Folders\\Inbox");
}

TEST_F(OutlookCommandTest, RefusesAnUnknownOutlookVersion) {
  EXPECT_EQ(quillmark("outlook --outlook-version 9"), 2);
  EXPECT_NE(err().find("unknown Outlook version 9"), std::string::npos) << err();
}

}  // namespace
