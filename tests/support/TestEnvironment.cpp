#include "tests/support/TestEnvironment.h"

#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/registry/RegistryFiles.h"
#include "platform/resources/Resources.h"

extern const platform::resources::ModuleResources kTestResources;

namespace testsupport {
namespace {

std::filesystem::path g_dir;
bool g_borrowed = false;  // the parent's folder, in a death test's child

}  // namespace

void makeProcessDir(bool deathTestChild) {
  if (const char* parent = std::getenv("QM_TEST_PROCESS_DIR"); deathTestChild && parent && *parent) {
    g_dir = parent;
    g_borrowed = true;
    return;
  }
  const char* base = std::getenv("QM_TEST_TMP_BASE");
  if (!base) base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/qmtest-XXXXXX";
  if (!mkdtemp(pattern.data())) std::abort();
  g_dir = pattern;
  // Children and later tests of this process find the original base again.
  setenv("QM_TEST_TMP_BASE", base && *base ? base : "/tmp", 0);
  std::filesystem::create_directories(g_dir / "home");
  setenv("QM_TEST_PROCESS_DIR", g_dir.c_str(), 1);
  setenv("TMPDIR", g_dir.c_str(), 1);
  setenv("QUILLMARK_HOME", (g_dir / "home").c_str(), 1);
  setenv("TZ", "UTC", 1);
  tzset();
}

void removeProcessDir() {
  std::error_code ec;
  if (!g_dir.empty() && !g_borrowed && !std::getenv("QM_KEEP_TEST_DIRS")) std::filesystem::remove_all(g_dir, ec);
}

const std::filesystem::path& testDir() { return g_dir; }

std::filesystem::path quillmarkHome() { return g_dir / "home"; }

std::filesystem::path sharedDir() {
  std::error_code ec;
  std::filesystem::path dir(QM_SHARED_DIR);
  if (const char* env = std::getenv("QM_SHARED_DIR")) dir = env;
  if (std::filesystem::is_directory(dir / "testdata", ec)) return std::filesystem::canonical(dir, ec);
  return {};
}

HINSTANCE testModule() { return platform::resources::handleOf(kTestResources); }

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string commandOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

int runCommand(const std::string& commandLine, const std::filesystem::path& folder) {
  const std::string command =
      commandLine + " >" + (folder / "out.txt").string() + " 2>" + (folder / "err.txt").string();
  const int status = std::system(command.c_str());
  platform::registry::resetForTesting();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string pdfText(const std::filesystem::path& pdf, int page, bool layout) {
  std::string command = "pdftotext -q";
  if (layout) command += " -layout";
  if (page > 0) command += " -f " + std::to_string(page) + " -l " + std::to_string(page);
  return commandOutput(command + " '" + pdf.string() + "' - 2>/dev/null");
}

int pdfPages(const std::filesystem::path& pdf) {
  const std::string info = commandOutput("pdfinfo '" + pdf.string() + "' 2>/dev/null");
  const std::size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

void IsolatedTest::SetUp() {
  // Each test starts with an empty folder, whatever the earlier tests of the process left.
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(g_dir, ec)) std::filesystem::remove_all(entry.path(), ec);
  std::filesystem::create_directories(g_dir / "home", ec);
  // The registry lives once per process: start each test from the (now empty) hive files.
  platform::registry::setStorageForTesting(nullptr);
  platform::registry::resetForTesting();
}

}  // namespace testsupport
