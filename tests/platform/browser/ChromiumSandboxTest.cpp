// The browser's sandbox and its files, on the real headless Chromium: where the sandbox cannot
// run the print still comes out whole, the browser runs with --no-sandbox and one Warning says
// why; its profile lies inside the process's own temporary folder.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/browser/ChromiumPrintEngine.h"
#include "platform/browser/ChromiumProcess.h"
#include "platform/browser/PrintEngine.h"
#include "platform/browser/RequestRules.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/ProcessFolder.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::browser;

// The running browser's command line, one argument each.
std::vector<std::string> browserArguments() {
  std::ifstream file("/proc/" + std::to_string(detail::chromiumPidForTesting()) + "/cmdline", std::ios::binary);
  std::vector<std::string> args;
  for (std::string arg; std::getline(file, arg, '\0');) args.push_back(arg);
  return args;
}

class ChromiumSandboxTest : public testsupport::IsolatedTest {
 protected:
  void SetUp() override {
    IsolatedTest::SetUp();
    if (detail::findChromium().empty()) GTEST_SKIP() << "Chromium is not installed";
    platform::diag::setSink([this](platform::diag::Level level, std::string_view message, std::string_view, int) {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (level == platform::diag::Level::kWarning) m_warnings.emplace_back(message);
    });
  }
  void TearDown() override {
    platform::diag::setSink({});
    detail::setSandboxCheckForTesting(nullptr);
  }

  // A new browser, started under the check in force now, prints a page; S_OK when it did.
  HRESULT printAfresh(const fs::path& out) {
    if (const pid_t running = detail::chromiumPidForTesting(); running > 0) ::kill(running, SIGKILL);
    const fs::path doc = dir() / "job" / "mail.html";
    fs::create_directories(doc.parent_path());
    std::ofstream(doc) << "<html><body><p>SANDBOX-PAGE</p></body></html>";
    IPrintEngine& engine = chromiumPrintEngine();
    engine.setAllowedFolders({doc.parent_path()});
    if (HRESULT hr = engine.loadDocument(doc, 20000); FAILED(hr)) return hr;
    PdfSettings settings;
    settings.margins = {0.5, 0.5, 0.5, 0.5};
    return engine.printBody(settings, out);
  }
  std::vector<std::string> warnings() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_warnings;
  }

  std::mutex m_mutex;
  std::vector<std::string> m_warnings;
};

TEST_F(ChromiumSandboxTest, WithoutUserNamespacesThePrintIsWholeAndOneWarningSaysWhy) {
  detail::setSandboxCheckForTesting([](std::string& why) {
    why = "no user namespace can be made here (unshare: Operation not permitted)";
    return false;
  });
  ASSERT_EQ(printAfresh(dir() / "first.pdf"), S_OK);
  EXPECT_NE(testsupport::pdfText(dir() / "first.pdf").find("SANDBOX-PAGE"), std::string::npos);
  const std::vector<std::string> args = browserArguments();
  EXPECT_EQ(std::count(args.begin(), args.end(), "--no-sandbox"), 1);

  // The profile lies inside the process's own folder, out of reach of the pages it prints.
  const auto dataDir = std::find_if(args.begin(), args.end(),
                                    [](const std::string& a) { return a.rfind("--user-data-dir=", 0) == 0; });
  ASSERT_NE(dataDir, args.end());
  const fs::path profile = dataDir->substr(16);
  EXPECT_TRUE(detail::isInsideFolder(profile, platform::system::processTempPath())) << profile;
  EXPECT_TRUE(fs::is_directory(profile));

  // A second start in the same process says it no more.
  ASSERT_EQ(printAfresh(dir() / "second.pdf"), S_OK);
  const std::vector<std::string> said = warnings();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0],
            "Chromium: the browser runs without its sandbox (--no-sandbox): no user namespace can be made here "
            "(unshare: Operation not permitted)");
}

TEST_F(ChromiumSandboxTest, TheRealCheckAnswersForThisProcess) {
  // Asked anew, whatever a browser started earlier in this process was told.
  detail::setSandboxCheckForTesting(nullptr);
  std::string why;
  const bool available = detail::sandboxAvailable(why);
  if (::geteuid() == 0) {
    EXPECT_FALSE(available);
    EXPECT_EQ(why, "the process runs as root, where Chromium refuses its sandbox");
  } else {
    EXPECT_EQ(available, why.empty()) << why;
  }
  // Whatever it answered, the browser starts and prints.
  ASSERT_EQ(printAfresh(dir() / "page.pdf"), S_OK);
  const std::vector<std::string> args = browserArguments();
  EXPECT_EQ(std::count(args.begin(), args.end(), "--no-sandbox"), available ? 0 : 1);
  EXPECT_EQ(warnings().size(), available ? 0u : 1u);
}

}  // namespace
