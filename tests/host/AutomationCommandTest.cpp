// quillmark automation print, end to end: after `quillmark install` with an autoprint action in
// the settings, a script's call prints a shared sample to a PDF and its attachments through the
// shell's print helper, and the command returns once the add-in's queue is empty; an item or
// action that is not there ends the command with the add-in's reason.
#include "host/Automation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/com/Com.h"
#include "platform/outlook/Outlook.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/system/Text.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

class AutomationCommandTest : public testsupport::IsolatedTest {
 protected:
  int quillmark(const std::string& args) {
    return testsupport::runCommand(
        "PATH=" + (dir() / "bin").string() + ":\"$PATH\" " + QM_QUILLMARK_BINARY + " --no-gui " + args, dir());
  }
  std::string out() { return testsupport::readFile(dir() / "out.txt"); }
  std::string err() { return testsupport::readFile(dir() / "err.txt"); }

  // The machine's autoprint action: the default template and every attachment, no delay.
  void writeAction() {
    CRegKey autoprint, action;
    ASSERT_EQ(autoprint.Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvessa\\QuillMark For Outlook\\Autoprint"),
              ERROR_SUCCESS);
    ASSERT_EQ(autoprint.SetDWORDValue(u"NumSeconds", 0), ERROR_SUCCESS);
    ASSERT_EQ(action.Create(autoprint.m_hKey, u"1033\\Action1"), ERROR_SUCCESS);
    ASSERT_EQ(action.SetStringValue(u"Display Name", u"print with quillmark"), ERROR_SUCCESS);
    for (const char16_t* name : {u"Template Enabled", u"Use Outlook template", u"Attachment Enabled", u"Attachment State"})
      ASSERT_EQ(action.SetDWORDValue(name, 1), ERROR_SUCCESS);
  }

  // A print helper in place of CUPS's lp: it keeps a copy of each file it is given.
  void installPrintHelper() {
    fs::create_directories(dir() / "bin");
    fs::create_directories(dir() / "printed");
    std::ofstream(dir() / "bin" / "lp") << "#!/bin/sh\ncp \"$1\" '" << (dir() / "printed").string() << "/'\n";
    fs::permissions(dir() / "bin" / "lp", fs::perms::owner_all);
  }
};

TEST_F(AutomationCommandTest, PrintsTheItemAndItsAttachmentsAndEndsWhenTheQueueIsEmpty) {
  QM_REQUIRE_SHARED_DATA();
  installPrintHelper();
  ASSERT_EQ(quillmark("install"), 0) << err();
  writeAction();
  const fs::path inbox = dir() / "store" / "Inbox";
  fs::create_directories(inbox);
  fs::copy_file(testsupport::sharedDir() / "testdata" / "msg" / "hht__attachmentFiles.msg", inbox / "files.msg");
  std::u16string entryId, storeId;
  {
    const auto outlook = platform::outlook::COutlook::open(dir() / "store");
    ASSERT_TRUE(outlook);
    const CComPtr<IDispatch> item = outlook->item(inbox / "files.msg");
    CComVariant id, store;
    ASSERT_EQ(CComDispatchDriver(item).GetPropertyByName(u"EntryID", &id), S_OK);
    ASSERT_EQ(CComDispatchDriver(item).GetPropertyByPath(u"Parent.StoreID", &store), S_OK);
    entryId = id.bstrVal;
    storeId = store.bstrVal;
  }
  const std::string store = " --store " + (dir() / "store").string();
  const std::string pdfs = " --out " + (dir() / "pdf").string();

  ASSERT_EQ(quillmark("automation print --entry-id " + platform::system::utf16ToUtf8(entryId) + " --store-id " +
                      platform::system::utf16ToUtf8(storeId) + store + pdfs),
            0)
      << err();
  std::vector<fs::path> written;
  for (const auto& entry : fs::directory_iterator(dir() / "pdf")) written.push_back(entry.path());
  ASSERT_EQ(written.size(), 1u) << out();
  EXPECT_NE(out().find("wrote " + written[0].string()), std::string::npos) << out();
  EXPECT_NE(testsupport::pdfText(written[0]).find("attachmentFiles"), std::string::npos);
  // Every attachment went to the helper before the command ended.
  std::set<std::string> printed;
  for (const auto& entry : fs::directory_iterator(dir() / "printed")) printed.insert(entry.path().filename().string());
  EXPECT_EQ(printed, (std::set<std::string>{"jpg.jpg", "png.png", "tif.tif"})) << err();

  EXPECT_EQ(quillmark("automation print --entry-id 0000" + store + pdfs), 1);
  EXPECT_NE(err().find("Failed to find matching item for entryid"), std::string::npos) << err();
  EXPECT_EQ(quillmark("automation print --entry-id " + platform::system::utf16ToUtf8(entryId) +
                      " --action 'print everything'" + store + pdfs),
            1);
  EXPECT_NE(err().find("No autoprint action is named print everything"), std::string::npos) << err();
  EXPECT_EQ(written.size(), 1u);
}

TEST_F(AutomationCommandTest, CommandLine) {
  std::string error;
  const auto full = host::parseAutomationCommandLine(
      {"print", "--entry-id", "00AB", "--store-id", "S", "--action", "A", "--out", "o", "--timeout", "5"}, error);
  ASSERT_TRUE(full) << error;
  EXPECT_EQ(full->entryId, u"00AB");
  EXPECT_EQ(full->storeId, u"S");
  EXPECT_EQ(full->action, u"A");
  EXPECT_EQ(full->timeoutSeconds, 5u);
  for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
           {}, {"print"}, {"scan", "--entry-id", "1"}, {"print", "--entry-id"}, {"print", "--entry-id", ""},
           {"print", "--entry-id", "1", "--timeout", "0"}, {"print", "--entry-id", "1", "--colour", "red"}}) {
    EXPECT_FALSE(host::parseAutomationCommandLine(wrong, error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
