// The shared samples printed end to end (read, fill, render, decorate) as `quillmark print FILE
// --out DIR` prints them, one process and one warm browser for all, against a fresh
// chromium-headless-shell --print-to-pdf per mail on the same filled documents.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/Printer.h"
#include "host/Install.h"
#include "host/Print.h"
#include "platform/html/HtmlDocument.h"

#ifndef QM_SHARED_DIR
#define QM_SHARED_DIR "../shared"
#endif

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWarmPasses = 3;
constexpr int kFreshPasses = 1;
constexpr const char* kHeadlessShell = "/usr/bin/chromium-headless-shell";

// The samples the shipped settings give no template: the nearest one, as a user would choose it.
const std::map<std::string, std::string> kTemplateOf = {
    {"tika__testMSG_Task.msg", "TaskRequest"},
    {"bbot__S_MIME_test_message_signed.msg", "Mail"},
};

struct Sample {
  fs::path msg;        // alone in its own folder, so the store opens just this item
  std::string templateName;
  fs::path filled;     // the filled document the browser loads
};

fs::path& workDir() {
  static fs::path dir;
  return dir;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// The command's "wrote" lines and message boxes would bury the figures.
class Quiet {
 public:
  Quiet() {
    std::fflush(stdout);
    std::fflush(stderr);
    m_out = ::dup(1);
    m_err = ::dup(2);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::close(null);
  }
  ~Quiet() {
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(m_out, 1);
    ::dup2(m_err, 2);
    ::close(m_out);
    ::close(m_err);
  }

 private:
  int m_out = -1, m_err = -1;
};

int printSample(const Sample& sample) {
  host::PrintCommandLine command;
  command.files = {sample.msg};
  command.templateName = sample.templateName;
  command.out = workDir() / "out";
  Quiet quiet;
  return host::runPrint(command);
}

// Takes the filled document when the print template opens it, and prints nothing (put in through
// the printer's test seam for one pass before the timed ones).
class CCapture final : public IPrintTemplate {
 public:
  explicit CCapture(fs::path* into) : m_into(into) {}
  HRESULT open(platform::html::CHtmlDocument&, const fs::path& document, const std::vector<fs::path>&,
               const quilstring&) override {
    std::error_code ec;
    fs::copy_file(document, *m_into, fs::copy_options::overwrite_existing, ec);
    return ec ? E_FAIL : S_OK;
  }
  PrintRange defaultRange() const override { return {}; }
  PageSettings pageSettings() const override { return {}; }
  void setPageSettings(const PageSettings&) override {}
  HRESULT print(const PrintRange&, const fs::path&, const fs::path&, int& pages) override {
    pages = 1;
    return S_OK;
  }
  bool hasAttachments() const override { return false; }
  HRESULT showAttachmentsDialog() override { return S_OK; }
  void close() override {}

 private:
  fs::path* m_into;
};

bool captureFilled(Sample& sample) {
  sample.filled = workDir() / "filled" / (sample.msg.stem().string() + ".htm");
  CPrinter::Services services;
  fs::path* into = &sample.filled;
  services.makePrintTemplate = [into](const fs::path&) -> std::unique_ptr<IPrintTemplate> {
    return std::make_unique<CCapture>(into);
  };
  CPrinter::setServicesForTesting(services);
  const int status = printSample(sample);
  CPrinter::resetServicesForTesting();
  std::error_code ec;
  return status == 0 && fs::is_regular_file(sample.filled, ec);
}

// One fresh browser prints one document and exits.
bool printFresh(const fs::path& html, const fs::path& pdf) {
  const std::vector<std::string> args = {kHeadlessShell, "--headless", "--no-sandbox", "--disable-gpu",
                                         "--print-to-pdf=" + pdf.string(), "file://" + html.string()};
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, kHeadlessShell, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void BM_SamplesWarmAgainstFresh(benchmark::State& state) {
  const fs::path samples = fs::path(QM_SHARED_DIR) / "testdata" / "msg";
  std::error_code ec;
  if (!fs::is_directory(samples, ec)) {
    state.SkipWithError("shared samples not found (set QM_SHARED_DIR)");
    return;
  }
  if (::access(kHeadlessShell, X_OK) != 0) {
    state.SkipWithError("chromium-headless-shell not installed");
    return;
  }
  std::vector<Sample> list;
  for (const auto& entry : fs::directory_iterator(samples)) {
    if (entry.path().extension() != ".msg") continue;
    const fs::path folder = workDir() / "store" / entry.path().stem();
    fs::create_directories(folder, ec);
    Sample sample;
    sample.msg = folder / entry.path().filename();
    fs::create_symlink(fs::absolute(entry.path()), sample.msg, ec);
    if (auto it = kTemplateOf.find(entry.path().filename().string()); it != kTemplateOf.end())
      sample.templateName = it->second;
    list.push_back(sample);
  }
  std::sort(list.begin(), list.end(), [](const Sample& a, const Sample& b) { return a.msg < b.msg; });
  fs::create_directories(workDir() / "filled", ec);
  fs::create_directories(workDir() / "fresh", ec);
  for (Sample& sample : list) {
    if (!captureFilled(sample)) {
      state.SkipWithError(("cannot fill " + sample.msg.filename().string()).c_str());
      return;
    }
  }
  // The first pass starts the browser and reads the templates: not what the warm figure is.
  for (const Sample& sample : list) {
    if (printSample(sample) != 0) {
      state.SkipWithError(("cannot print " + sample.msg.filename().string()).c_str());
      return;
    }
  }

  // Parses per print, over one pass of every sample: whole documents (the template, each body,
  // each frame) and innerHTML fragments.
  const platform::html::ParseCounts before = platform::html::parseCounts();
  for (const Sample& sample : list) printSample(sample);
  const platform::html::ParseCounts after = platform::html::parseCounts();
  const double prints = static_cast<double>(list.size());

  std::vector<double> warm, fresh;
  std::string failed;
  for (auto _ : state) {
    std::vector<std::vector<double>> byFile(list.size());
    for (int pass = 0; pass < kWarmPasses && failed.empty(); ++pass) {
      for (std::size_t i = 0; i < list.size() && failed.empty(); ++i) {
        const auto start = Clock::now();
        if (printSample(list[i]) != 0) failed = "print failed: " + list[i].msg.filename().string();
        byFile[i].push_back(msSince(start));
      }
    }
    std::vector<std::vector<double>> freshByFile(list.size());
    for (int pass = 0; pass < kFreshPasses && failed.empty(); ++pass) {
      for (std::size_t i = 0; i < list.size() && failed.empty(); ++i) {
        const fs::path pdf = workDir() / "fresh" / (list[i].msg.stem().string() + ".pdf");
        const auto start = Clock::now();
        if (!printFresh(list[i].filled, pdf)) failed = "fresh print failed: " + list[i].msg.filename().string();
        freshByFile[i].push_back(msSince(start));
      }
    }
    if (!failed.empty()) {
      state.SkipWithError(failed.c_str());
      break;
    }
    warm.clear();
    fresh.clear();
    for (const auto& times : byFile) warm.push_back(median(times));
    for (const auto& times : freshByFile) fresh.push_back(median(times));
    state.SetIterationTime(median(warm) / 1000.0);
  }
  if (!failed.empty()) return;
  const double warmMedian = median(warm), freshMedian = median(fresh);
  state.counters["files"] = static_cast<double>(list.size());
  state.counters["warm_median_ms"] = warmMedian;
  state.counters["warm_max_ms"] = warm.empty() ? 0.0 : *std::max_element(warm.begin(), warm.end());
  state.counters["fresh_median_ms"] = freshMedian;
  state.counters["fresh_over_warm"] = warmMedian > 0 ? freshMedian / warmMedian : 0.0;
  state.counters["document_parses_per_print"] = static_cast<double>(after.documents - before.documents) / prints;
  state.counters["fragment_parses_per_print"] = static_cast<double>(after.fragments - before.fragments) / prints;
  state.counters["cores"] = std::thread::hardware_concurrency();
  if (const char* perFile = std::getenv("QM_BENCH_PER_FILE"); perFile && *perFile) {
    for (std::size_t i = 0; i < list.size(); ++i)
      std::fprintf(stderr, "%-70s warm %7.1f ms  fresh %7.1f ms\n", list[i].msg.filename().c_str(), warm[i], fresh[i]);
  }
}
BENCHMARK(BM_SamplesWarmAgainstFresh)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // A home and templates of its own, installed as `quillmark install` does, before anything reads
  // the settings.
  std::string pattern = (fs::temp_directory_path() / "qm-samples-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return 1;
  workDir() = pattern;
  ::setenv("QUILLMARK_HOME", (workDir() / "home").c_str(), 1);
  const host::InstallResult installed = host::install({});
  if (!installed.ok) {
    std::fprintf(stderr, "install failed: %s\n", installed.message.c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(workDir(), ec);
  return 0;
}
