#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "foundation/Log.h"
#include "foundation/Utils.h"
#include "platform/shell/XdgShell.h"
#include "platform/system/Errors.h"
#include "platform/system/Text.h"
#include "tests/support/FakeShell.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TestEnvironment.h"

namespace {

const std::vector<quilstring> kNames = {u"Info", u"Error", u"Warning", u"Debug"};

class UtilsFilesTest : public testsupport::IsolatedTest {
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
  }

  std::string log() const { return testsupport::readFile(m_log); }
  bool logged(const std::string& text) const { return log().find(text) != std::string::npos; }

  quilstring write(const std::string& name, std::size_t size) {
    std::ofstream(dir() / name) << std::string(size, 'x');
    return path(name);
  }
  quilstring path(const std::string& name) const { return quilstring::fromUtf8((dir() / name).string()); }

  std::string m_log;
};

TEST_F(UtilsFilesTest, FileSizeTakesTheArgumentAsAName) {
  write("a*", 3);
  write("?", 4);
  write("report.txt", 5);
  write("empty", 0);
  std::filesystem::create_directories(dir() / "folder");
  const struct {
    const char* name;
    std::uint64_t size;
  } cases[] = {
      {"a*", 3}, {"?", 4}, {"report.txt", 5}, {"empty", 0},
      {"*.txt", 0},  // a pattern matches no file
      {"r*", 0},     {"folder", 0}, {"missing.txt", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NUtils::getFileSize(path(c.name)), c.size);
  }
  EXPECT_TRUE(logged("File: " + (dir() / "missing.txt").string() + " return INVALID_HANDLE_VALUE. Last Error (2)"));
  EXPECT_TRUE(logged("File: " + (dir() / "*.txt").string() + " return INVALID_HANDLE_VALUE. Last Error (2)"));
  EXPECT_FALSE(logged("folder return"));
  quilstring cut = path("report.txt");
  cut.insert(cut.size() - 4, 1, u'\0');  // "report\0.txt" is not "report"
  write("report", 9);
  EXPECT_EQ(NUtils::getFileSize(cut), 0u);
}

TEST_F(UtilsFilesTest, AttachmentSelectionSplitsAtTheLastDot) {
  const struct {
    const char16_t* file;
    DWORD state;
    const char16_t* list;
    bool expected;
  } cases[] = {
      {u"Report.PDF", 2, u"pdf", true},
      {u"Report.PDF", 2, u"*.pdf", true},
      {u"Report.PDF", 2, u"report.pdf", true},
      {u"Report.PDF", 2, u"report", false},  // an extension, not a name
      {u"Report.PDF", 2, u"my.report.pdf", false},
      {u"my.report.pdf", 2, u"my.report.pdf", true},
      {u"my.report.pdf", 2, u"MY.Report.PDF", true},
      {u"my.report.pdf", 2, u"pdf", true},
      {u"my.report.pdf", 2, u"*.pdf", true},
      {u"my.report.pdf", 2, u"report.pdf", false},
      {u"/tmp/q/my.report.pdf", 2, u"doc;;my.report.pdf;", true},
      {u"/tmp/q.d/readme", 2, u"d", false},  // a dot in the folder is not the extension
      {u"notes.txt", 2, u"doc;xls", false},
      {u"notes.txt", 3, u"doc;xls", true},
      {u"notes.txt", 3, u"doc;TXT", false},
      {u"notes.txt", 3, u"", true},
      {u"notes.txt", 2, u"", false},
      {u"notes.txt", 1, u"", true},
      {u"notes.txt", 0, u"txt", false},
      {u"notes.txt", 4, u"txt", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(quilstring(c.file).toUtf8() + " / " + quilstring(c.list).toUtf8() + " / " + std::to_string(c.state));
    EXPECT_EQ(NUtils::printAttachment(c.file, c.state, c.list), c.expected);
  }
}

TEST_F(UtilsFilesTest, ShellExecuteFillsTheRequestAndLogs) {
  testsupport::FakeShell shell;
  EXPECT_TRUE(NUtils::shellExecute(0x40, u"", u"/data/in/x.pdf", u"", u""));
  EXPECT_TRUE(NUtils::printFile(u"/data/in/y.doc"));
  ASSERT_EQ(shell.requests().size(), 2u);
  const platform::shell::ShellRequest& first = shell.requests()[0];
  EXPECT_EQ(first.verb, u"");
  EXPECT_EQ(first.directory, u"/data/in/");  // the file's folder
  EXPECT_EQ(first.mask, 0x40u);
  EXPECT_EQ(first.show, SW_HIDE);
  const platform::shell::ShellRequest& print = shell.requests()[1];
  EXPECT_EQ(print.verb, u"Print");
  EXPECT_EQ(print.mask, 0x500u);
  EXPECT_EQ(print.parameters, u"");
  EXPECT_TRUE(logged("ShellExecute() of \"Print\" on /data/in/y.doc succeeded"));

  shell.setAnswer(ERROR_NO_ASSOCIATION);
  EXPECT_FALSE(NUtils::printFile(u"/data/in/z.xyz"));
  EXPECT_TRUE(logged("ShellExecute() of \"Print\" on /data/in/z.xyz failed. Reason: No application is associated "
                     "with the specified file for this operation."));
  shell.setThrows(true);
  EXPECT_FALSE(NUtils::shellExecute(0, u"open", u"/data/in/x.pdf", u"-p", u"/elsewhere"));
  EXPECT_EQ(shell.requests().back().directory, u"/elsewhere");
  EXPECT_EQ(shell.requests().back().parameters, u"-p");
}

TEST_F(UtilsFilesTest, MissingPrintHelperIsAFailureNotACrash) {
  const char* saved = std::getenv("PATH");
  const std::string oldPath = saved ? saved : "";
  std::filesystem::create_directories(dir() / "empty");
  setenv("PATH", (dir() / "empty").c_str(), 1);
  platform::shell::XdgShell desktop;
  platform::shell::SetForTesting(&desktop);
  const quilstring file = write("attachment.pdf", 10);
  EXPECT_FALSE(NUtils::printFile(file));
  platform::shell::SetForTesting(nullptr);
  setenv("PATH", oldPath.c_str(), 1);
  EXPECT_TRUE(logged("ShellExecute() of \"Print\" on " + file.toUtf8() + " failed. Reason: No application"));
}

TEST_F(UtilsFilesTest, BrowseRemembersTheFolderPerFilterAndCancelKeepsThePath) {
  testsupport::ScriptedUi ui;
  const quilstring filter(u"HTML Files (*.htm,*.html)\0*.htm;*.html", 38);
  quilstring path = u"/srv/templates/memo.htm";
  ui.queueFile(u"/srv/other/table.htm");
  ASSERT_TRUE(NUtils::browseForFile(filter, 1, nullptr, testsupport::testModule(), 0x1804, u"", path));
  EXPECT_EQ(path, u"/srv/other/table.htm");
  const platform::ui::OpenFileRequest& first = ui.fileRequests().at(0);
  EXPECT_EQ(first.initialDir, u"/srv/templates/");
  EXPECT_EQ(first.fileName, u"memo.htm");
  EXPECT_EQ(first.title, u"Hello");
  EXPECT_EQ(first.flags, 0x1804u);
  ASSERT_EQ(first.filters.size(), 1u);
  EXPECT_EQ(first.filters[0].patterns, u"*.htm;*.html");
  EXPECT_TRUE(logged("NUtils::browseForFile -- filter=HTML Files (*.htm,*.html), defext=(None), start=/srv/templates/memo.htm"));
  EXPECT_TRUE(logged("Browse successful -- storing FileType=HTML Files (*.htm,*.html), StartPath=/srv/other/"));

  quilstring empty;
  ui.queueFile(std::nullopt);
  EXPECT_FALSE(NUtils::browseForFile(filter, 600, nullptr, testsupport::testModule(), 0, u"htm", empty));
  EXPECT_EQ(empty, u"");
  const platform::ui::OpenFileRequest& second = ui.fileRequests().at(1);
  EXPECT_EQ(second.initialDir, u"/srv/other/");
  EXPECT_EQ(second.fileName, u"");
  EXPECT_EQ(second.title.size(), 519u);  // at most 520 with the terminator
  EXPECT_EQ(second.defaultExtension, u"htm");
  EXPECT_TRUE(logged("No start -- looking for last path used"));
  EXPECT_TRUE(logged("Last path used found to be /srv/other/"));

  quilstring kept = u"/srv/keep.log";
  ui.queueFile(std::nullopt);
  EXPECT_FALSE(NUtils::browseForFile(u"Logs", 1, nullptr, testsupport::testModule(), 0, u"", kept));
  EXPECT_EQ(kept, u"/srv/keep.log");
}

TEST_F(UtilsFilesTest, BrowseWithoutAnyPathStartsInTheDocumentsFolder) {
  testsupport::ScriptedUi ui;
  const char* saved = std::getenv("HOME");
  const std::string oldHome = saved ? saved : "";
  setenv("HOME", dir().c_str(), 1);
  std::filesystem::create_directories(dir() / "Documents");
  quilstring path;
  EXPECT_FALSE(NUtils::browseForFile(u"", 1, nullptr, testsupport::testModule(), 0, u"", path));
  setenv("HOME", oldHome.c_str(), 1);
  EXPECT_EQ(ui.fileRequests().at(0).initialDir, quilstring::fromUtf8((dir() / "Documents").string()));
  EXPECT_TRUE(logged("No start or last path -- using CSIDL_PERSONAL folder (" + (dir() / "Documents").string() + ")"));
  EXPECT_TRUE(logged("filter=(None), defext=(None), start="));
}

}  // namespace
