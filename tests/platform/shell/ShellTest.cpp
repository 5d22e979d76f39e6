#include "platform/shell/Shell.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/com/HResult.h"
#include "platform/shell/XdgShell.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/Errors.h"
#include "platform/system/Text.h"
#include "tests/support/FakeShell.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::shell::HelperPrograms;
using platform::shell::ShellRequest;
using platform::shell::XdgShell;
using platform::system::utf8ToUtf16;

class ShellTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    for (const char* name : {"PATH", "HOME", "XDG_CONFIG_HOME"}) {
      const char* value = std::getenv(name);
      m_saved.emplace_back(name, value ? value : "");
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : m_saved) {
      if (value.empty()) unsetenv(name);
      else setenv(name, value.c_str(), 1);
    }
  }

  // A helper that writes its working folder and its arguments, one a line, then exits with code.
  std::string helper(const std::string& name, int code, const std::string& extra = "") {
    const auto path = dir() / name;
    std::ofstream(path) << "#!/bin/sh\npwd > \"" << (dir() / (name + ".out")).string()
                        << "\"\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \""
                        << (dir() / (name + ".out")).string() << "\"\n"
                        << extra << "exit " << code << "\n";
    ::chmod(path.c_str(), 0755);
    return path.string();
  }
  std::vector<std::string> output(const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(testsupport::readFile(dir() / (name + ".out")));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::u16string file(const std::string& name) {
    std::ofstream(dir() / name) << "content";
    return utf8ToUtf16((dir() / name).string());
  }

  std::vector<std::pair<const char*, std::string>> m_saved;
};

TEST_F(ShellTest, FileReachesTheHelperAsOneArgumentNeverThroughAShell) {
  HelperPrograms programs;
  programs.open = helper("open", 0);
  XdgShell shell(programs);
  const std::string name = "x $(touch pwned); rm -rf ~ `id` \"q\".pdf";
  const std::u16string path = file(name);
  ShellRequest request;
  request.file = path;
  EXPECT_EQ(shell.execute(request), static_cast<DWORD>(ERROR_SUCCESS));
  const auto lines = output("open");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], (dir() / name).string());
  EXPECT_FALSE(std::filesystem::exists(dir() / "pwned"));
}

TEST_F(ShellTest, RelativeFileRunsInItsDirectoryAndPrintUsesLp) {
  HelperPrograms programs;
  programs.print = helper("lp", 0);
  XdgShell shell(programs);
  std::filesystem::create_directories(dir() / "sub");
  std::ofstream(dir() / "sub" / "-d") << "x";
  ShellRequest request;
  request.verb = u"Print";
  request.file = u"-d";  // could read as an option if passed as it is
  request.directory = utf8ToUtf16((dir() / "sub").string());
  EXPECT_EQ(shell.execute(request), static_cast<DWORD>(ERROR_SUCCESS));
  const auto lines = output("lp");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], (dir() / "sub").string());
  EXPECT_EQ(lines[1], (dir() / "sub" / "-d").string());
}

TEST_F(ShellTest, PrintGivesCupsTypesToLpAndOthersToTheirApplication) {
  HelperPrograms programs;
  programs.print = helper("lp", 0);
  std::string askedType;
  programs.typePrinter = [&](const std::string& type) -> std::vector<std::string> {
    askedType = type;
    if (type == "application/vnd.openxmlformats-officedocument.wordprocessingml.document")
      return {helper("office", 0), "-p"};
    return {};
  };
  XdgShell shell(programs);
  EXPECT_EQ(shell.execute({u"print", file("notes.txt"), u"", u""}), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(shell.execute({u"print", file("scan.png"), u"", u""}), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(output("lp").size(), 2u);  // the folder, then the last file
  EXPECT_TRUE(askedType.empty());

  EXPECT_EQ(shell.execute({u"print", file("report.docx"), u"", u""}), static_cast<DWORD>(ERROR_SUCCESS));
  const auto office = output("office");
  ASSERT_EQ(office.size(), 3u);  // the folder, then the arguments
  EXPECT_EQ(office[1], "-p");
  EXPECT_EQ(office[2], (dir() / "report.docx").string());

  // A type nobody prints is refused, and the failure names the file.
  EXPECT_EQ(shell.execute({u"print", file("drawing.xcf"), u"", u""}), static_cast<DWORD>(ERROR_NO_ASSOCIATION));
  EXPECT_NE(platform::diag::lastFailure().find("drawing.xcf"), std::string::npos);
  EXPECT_TRUE(platform::shell::detail::cupsPrints("text/x-csrc"));
  EXPECT_FALSE(platform::shell::detail::cupsPrints("text/html"));
}

TEST_F(ShellTest, FailuresAnswerWin32Codes) {
  const std::u16string path = file("doc.pdf");
  struct Case {
    const char* what;
    HelperPrograms programs;
    ShellRequest request;
    LONG expected;
  };
  HelperPrograms missing;
  missing.open = "qm-no-such-helper";
  missing.print = (dir() / "no-such-lp").string();
  HelperPrograms failing;
  failing.open = helper("open3", 3);
  failing.print = helper("lp1", 1);
  HelperPrograms gone;
  gone.open = helper("open2", 2);
  const Case cases[] = {
      {"missing open helper", missing, {u"open", path, u"", u""}, ERROR_NO_ASSOCIATION},
      {"missing print helper", missing, {u"print", path, u"", u""}, ERROR_NO_ASSOCIATION},
      {"xdg-open without a tool", failing, {u"", path, u"", u""}, ERROR_NO_ASSOCIATION},
      {"lp fails", failing, {u"print", path, u"", u""}, ERROR_GEN_FAILURE},
      {"xdg-open says no file", gone, {u"open", path, u"", u""}, ERROR_FILE_NOT_FOUND},
      {"unknown verb", failing, {u"explore", path, u"", u""}, ERROR_NO_ASSOCIATION},
      {"missing file", failing, {u"open", path + u".gone", u"", u""}, ERROR_FILE_NOT_FOUND},
      {"missing directory", failing, {u"open", u"doc.pdf", u"", u"/no/such/dir"}, ERROR_PATH_NOT_FOUND},
      {"empty file", failing, {u"open", u"", u"", u""}, ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    XdgShell shell(c.programs);
    EXPECT_EQ(shell.execute(c.request), static_cast<DWORD>(c.expected));
  }
}

TEST_F(ShellTest, DesktopShellWithoutHelpersInPathFails) {
  std::filesystem::create_directories(dir() / "empty");
  setenv("PATH", (dir() / "empty").c_str(), 1);
  const std::u16string path = file("doc.pdf");
  XdgShell shell;
  EXPECT_EQ(shell.execute({u"open", path, u"", u""}), static_cast<DWORD>(ERROR_NO_ASSOCIATION));
  EXPECT_EQ(shell.execute({u"print", path, u"", u""}), static_cast<DWORD>(ERROR_NO_ASSOCIATION));
}

TEST_F(ShellTest, AddressesOpenWithoutAFileCheckAndSlowHelpersCountAsStarted) {
  HelperPrograms programs;
  // Far slower than the wait, so that a loaded machine's slow start is not taken for the helper's.
  programs.open = helper("slow", 0, "exec >/dev/null 2>&1 </dev/null\nsleep 10\n");
  programs.wait = std::chrono::milliseconds(200);
  XdgShell shell(programs);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(shell.execute({u"open", u"https://example.com/help?a=1&b=2", u"", u""}),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(9));
}

TEST_F(ShellTest, ShellExecuteExPassesTheRequestAndReportsFailure) {
  testsupport::FakeShell fake;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpFile = u"/tmp/a.pdf";
  info.lpVerb = u"Print";
  info.nShow = SW_HIDE;
  ASSERT_TRUE(ShellExecuteExW(&info));
  EXPECT_GT(reinterpret_cast<std::intptr_t>(info.hInstApp), 32);
  ASSERT_EQ(fake.requests().size(), 1u);
  EXPECT_EQ(fake.requests()[0].verb, u"Print");
  EXPECT_EQ(fake.requests()[0].file, u"/tmp/a.pdf");
  EXPECT_EQ(fake.requests()[0].parameters, u"");
  EXPECT_EQ(fake.requests()[0].mask, 0x500u);

  fake.setAnswer(ERROR_NO_ASSOCIATION);
  EXPECT_FALSE(ShellExecuteExW(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_ASSOCIATION));
  EXPECT_EQ(reinterpret_cast<std::intptr_t>(info.hInstApp), SE_ERR_NOASSOC);

  fake.setThrows(true);
  EXPECT_FALSE(ShellExecuteExW(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));

  info.cbSize = 60;
  EXPECT_FALSE(ShellExecuteExW(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(fake.requests().size(), 3u);
  EXPECT_FALSE(ShellExecuteExW(nullptr));
}

TEST_F(ShellTest, DocumentsFolderFollowsTheUserDirs) {
  setenv("HOME", dir().c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir() / "config").c_str(), 1);
  char16_t path[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, path), S_OK);
  EXPECT_EQ(std::u16string(path), utf8ToUtf16(dir().string()));
  std::filesystem::create_directories(dir() / "Documents");
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, path), S_OK);
  EXPECT_EQ(std::u16string(path), utf8ToUtf16((dir() / "Documents").string()));
  std::filesystem::create_directories(dir() / "config");
  std::filesystem::create_directories(dir() / "Papiere");
  std::ofstream(dir() / "config" / "user-dirs.dirs") << "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n";
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, path), S_OK);
  EXPECT_EQ(std::u16string(path), utf8ToUtf16((dir() / "Papiere").string()));
  EXPECT_EQ(SHGetFolderPathW(nullptr, 0x1A, nullptr, 0, path), E_INVALIDARG);
}

}  // namespace
