#pragma once
// Isolation of every test: its own TMPDIR, QUILLMARK_HOME and TZ, removed afterwards; the path
// of the shared test data; the test module's string table.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/WinTypes.h"

namespace testsupport {

// The folder this test may write in (also $TMPDIR); QUILLMARK_HOME is its "home" sub-folder.
const std::filesystem::path& testDir();
std::filesystem::path quillmarkHome();

// The shared folder beside the checkout, or an empty path when it is absent.
std::filesystem::path sharedDir();

// The module of test texts (ids in TestStrings.rc).
HINSTANCE testModule();

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
// What a shell command writes on its standard output.
std::string commandOutput(const std::string& command);
// Runs a command line as the shell reads it, its output into `folder`/out.txt and its errors into
// `folder`/err.txt; answers its exit status (-1 when it did not exit) after the registry is read
// again, since the command may have written it.
int runCommand(const std::string& commandLine, const std::filesystem::path& folder);
// The text pdftotext reads from a PDF (one page when page > 0; `layout` keeps the page's layout);
// empty when it cannot be read.
std::string pdfText(const std::filesystem::path& pdf, int page = 0, bool layout = false);
// The PDF's page count as pdfinfo reads it; -1 when it cannot be read.
int pdfPages(const std::filesystem::path& pdf);

// A fixture that gives each test a fresh folder (the process-wide one is made by the main).
class IsolatedTest : public ::testing::Test {
 protected:
  void SetUp() override;
  std::filesystem::path dir() const { return testDir(); }
};

}  // namespace testsupport

// Skips the test, with a visible message, when the shared test data is not beside the checkout.
#define QM_REQUIRE_SHARED_DATA()                                                            \
  do {                                                                                      \
    if (testsupport::sharedDir().empty())                                                   \
      GTEST_SKIP() << "shared test data not found (set QM_SHARED_DIR); test skipped";       \
  } while (0)
