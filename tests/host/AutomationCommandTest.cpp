// quillmark automation print, end to end: after `quillmark install` with an autoprint action in
// the settings, a script's call prints a shared sample to a PDF named after the item and its
// attachments through the shell's print helper, and the command returns once the add-in's queue
// is empty; runs side by side never replace each other's PDFs; an item or action that is not
// there, an item Outlook cannot open and an attachment that does not print end the command with
// their reasons.
#include "host/Automation.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/com/Com.h"
#include "platform/outlook/Outlook.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/RegistryFiles.h"
#include "platform/mapi/PropTags.h"
#include "platform/system/Text.h"
#include "tests/support/MsgWriter.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

class AutomationCommandTest : public testsupport::IsolatedTest {
 protected:
  std::string commandLine(const std::string& args) {
    return "env PATH=" + (dir() / "bin").string() + ":\"$PATH\" " + QM_QUILLMARK_BINARY + " --no-gui " + args;
  }
  int quillmark(const std::string& args) { return testsupport::runCommand(commandLine(args), dir()); }
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

  // The entry id and store id a script would have of the item of a file of the store.
  std::pair<std::string, std::string> idsOf(const fs::path& file) {
    const auto outlook = platform::outlook::COutlook::open(dir() / "store");
    if (!outlook) return {};
    const CComPtr<IDispatch> item = outlook->item(file);
    CComVariant id, store;
    if (!item || CComDispatchDriver(item).GetPropertyByName(u"EntryID", &id) != S_OK ||
        CComDispatchDriver(item).GetPropertyByPath(u"Parent.StoreID", &store) != S_OK)
      return {};
    return {platform::system::utf16ToUtf8(id.bstrVal), platform::system::utf16ToUtf8(store.bstrVal)};
  }
  std::string printItem(const fs::path& file) {
    return "automation print --entry-id " + idsOf(file).first + " --store " + (dir() / "store").string() + " --out " +
           (dir() / "pdf").string();
  }
  std::set<std::string> pdfs() {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir() / "pdf", ec)) names.insert(entry.path().filename().string());
    return names;
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
  const std::string toPdf = " --out " + (dir() / "pdf").string();

  ASSERT_EQ(quillmark("automation print --entry-id " + platform::system::utf16ToUtf8(entryId) + " --store-id " +
                      platform::system::utf16ToUtf8(storeId) + store + toPdf),
            0)
      << err();
  ASSERT_EQ(pdfs(), std::set<std::string>{"files.pdf"}) << out();
  EXPECT_NE(out().find("wrote " + (dir() / "pdf" / "files.pdf").string()), std::string::npos) << out();
  EXPECT_NE(testsupport::pdfText(dir() / "pdf" / "files.pdf").find("attachmentFiles"), std::string::npos);
  // Every attachment went to the helper before the command ended.
  std::set<std::string> printed;
  for (const auto& entry : fs::directory_iterator(dir() / "printed")) printed.insert(entry.path().filename().string());
  EXPECT_EQ(printed, (std::set<std::string>{"jpg.jpg", "png.png", "tif.tif"})) << err();

  EXPECT_EQ(quillmark("automation print --entry-id 0000" + store + toPdf), 1);
  EXPECT_NE(err().find("Failed to find matching item for entryid"), std::string::npos) << err();
  EXPECT_EQ(quillmark("automation print --entry-id " + platform::system::utf16ToUtf8(entryId) +
                      " --action 'print everything'" + store + toPdf),
            1);
  EXPECT_NE(err().find("No autoprint action is named print everything"), std::string::npos) << err();
  EXPECT_EQ(pdfs(), std::set<std::string>{"files.pdf"});

  // Two runs at once, one of another item and one of the same: each PDF is named after its item,
  // and neither replaces the other's nor the earlier run's.
  fs::copy_file(testsupport::sharedDir() / "testdata" / "msg" / "hht__test1.msg", inbox / "other.msg");
  ASSERT_EQ(testsupport::runCommand("( " + commandLine(printItem(inbox / "other.msg")) + " & other=$!; " +
                                        commandLine(printItem(inbox / "files.msg")) +
                                        "; files=$?; wait $other; exit $(( $? | files )) )",
                                    dir()),
            0)
      << err();
  EXPECT_EQ(pdfs(), (std::set<std::string>{"files.pdf", "files (2).pdf", "other.pdf"})) << out();
  for (const char* name : {"files (2).pdf", "other.pdf"})
    EXPECT_NE(out().find("wrote " + (dir() / "pdf" / name).string()), std::string::npos) << out();
  EXPECT_NE(testsupport::pdfText(dir() / "pdf" / "other.pdf").find("to@example.com"), std::string::npos);
}

// Items Outlook cannot open (random bytes, an empty file, a link to a system file, a file the
// user may not read) are refused by the object model: the command says why, exits 1 and prints
// nothing, where it used to print an empty page and succeed.
TEST_F(AutomationCommandTest, ItemsOutlookCannotOpenAreRefusedWithTheirReason) {
  ASSERT_EQ(quillmark("install"), 0) << err();
  writeAction();
  const fs::path inbox = dir() / "store" / "Inbox";
  fs::create_directories(inbox);
  {
    std::ofstream garbage(inbox / "garbage.msg", std::ios::binary);
    for (unsigned i = 0; i < 4096; ++i) garbage.put(static_cast<char>((i * 2654435761u) >> 13));
  }
  std::ofstream(inbox / "empty.msg").close();
  fs::create_symlink("/etc/passwd", inbox / "passwd.msg");
  for (const char* name : {"garbage", "empty", "passwd"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(quillmark(printItem(inbox / (std::string(name) + ".msg"))), 1);
    EXPECT_NE(err().find("Failed to find matching item for entryid: " + (inbox / name).string() +
                         ".msg is not a valid .msg file"),
              std::string::npos)
        << err();
  }
  EXPECT_TRUE(pdfs().empty());

  // Unreadable: root reads any file, so the command runs as nobody then.
  testsupport::MsgDescription mail;
  mail.messageClass = "IPM.Note";
  mail.props = {testsupport::unicodeProp(PR_SUBJECT_W, u"Locked away")};
  ASSERT_TRUE(testsupport::writeMsgFile(mail, inbox / "locked.msg"));
  const std::string command = commandLine(printItem(inbox / "locked.msg"));
  fs::permissions(inbox / "locked.msg", fs::perms::none);
  std::string asUser;
  if (::geteuid() == 0) {
    asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    std::ofstream(inbox / "probe.txt") << "readable";
    for (fs::path at = dir(); !at.empty() && at != at.root_path(); at = at.parent_path())
      if (at.string().size() >= dir().string().size()) fs::permissions(at, fs::perms::all);
    for (const auto& entry : fs::recursive_directory_iterator(dir()))
      if (entry.path() != inbox / "locked.msg" && !entry.is_symlink())
        fs::permissions(entry.path(), fs::perms::all);
    if (testsupport::runCommand(asUser + "cat " + (inbox / "probe.txt").string(), dir()) != 0)
      GTEST_SKIP() << "nobody cannot reach the test's folder: " << err();
  }
  EXPECT_EQ(testsupport::runCommand(asUser + command, dir()), 1) << err();
  EXPECT_NE(err().find("Failed to find matching item for entryid: " + (inbox / "locked.msg").string() +
                       " cannot be read: Permission denied"),
            std::string::npos)
      << err();
  EXPECT_TRUE(pdfs().empty());
}

// An attachment no application prints (HTML) is named on stderr with why, and the command exits
// 1; the item and the other attachment print.
TEST_F(AutomationCommandTest, AnAttachmentThatDoesNotPrintIsNamedAndFailsTheCommand) {
  installPrintHelper();
  ASSERT_EQ(quillmark("install"), 0) << err();
  writeAction();
  const fs::path inbox = dir() / "store" / "Inbox";
  fs::create_directories(inbox);
  const auto attachment = [](std::u16string_view name, std::string_view data) {
    using namespace testsupport;
    return MsgAttachment{{longProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE), unicodeProp(PR_DISPLAY_NAME_W, name),
                          unicodeProp(PR_ATTACH_LONG_FILENAME_W, name), binaryProp(PR_ATTACH_DATA_BIN, data)},
                         nullptr};
  };
  testsupport::MsgDescription mail;
  mail.messageClass = "IPM.Note";
  mail.props = {testsupport::unicodeProp(PR_SUBJECT_W, u"With a page")};
  mail.attachments = {attachment(u"page.html", "<html><body><p>a page</p></body></html>"),
                      attachment(u"notes.txt", "notes")};
  ASSERT_TRUE(testsupport::writeMsgFile(mail, inbox / "paged.msg"));

  EXPECT_EQ(quillmark(printItem(inbox / "paged.msg")), 1);
  const std::string errors = err();
  const std::size_t line = errors.find("page.html was not printed: no application prints text/html files");
  EXPECT_NE(line, std::string::npos) << errors;
  EXPECT_EQ(errors.find("notes.txt"), std::string::npos) << errors;
  EXPECT_EQ(pdfs(), std::set<std::string>{"paged.pdf"});
  EXPECT_TRUE(fs::exists(dir() / "printed" / "notes.txt"));
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
