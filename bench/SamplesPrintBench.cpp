// The shared samples printed end to end (read, fill, render, decorate) as `quillmark print FILE
// --out DIR` prints them, one process and one warm browser for all, against a fresh
// chromium-headless-shell --print-to-pdf per mail on the same filled documents; all of them as one
// batch; the same as one `quillmark` process per file; the browser's memory over 300 prints; and mail of 5 MB (a style
// block, a text body) for the cost per page.
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
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "engine/PrintItem.h"
#include "engine/Printer.h"
#include "foundation/Settings.h"
#include "host/Install.h"
#include "host/Print.h"
#include "platform/browser/ChromiumPrintEngine.h"
#include "platform/browser/PdfTools.h"
#include "platform/browser/PrintDestination.h"
#include "platform/html/HtmlDocument.h"
#include "platform/mapi/PropTags.h"
#include "platform/outlook/Outlook.h"
#include "platform/system/Diagnostics.h"
#include "tests/support/MsgWriter.h"

#ifndef QM_SHARED_DIR
#define QM_SHARED_DIR "../shared"
#endif
#ifndef QM_QUILLMARK
#define QM_QUILLMARK "quillmark"
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

// The nearest-rank 90th percentile.
double percentile90(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t rank = (values.size() * 9 + 9) / 10;
  return values[std::min(values.size(), rank) - 1];
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

// The shared samples, each alone in a folder of its own; empty when they are not there.
std::vector<Sample> sampleList() {
  static std::vector<Sample> list = [] {
    std::vector<Sample> found;
    const fs::path samples = fs::path(QM_SHARED_DIR) / "testdata" / "msg";
    std::error_code ec;
    if (!fs::is_directory(samples, ec)) return found;
    for (const auto& entry : fs::directory_iterator(samples)) {
      if (entry.path().extension() != ".msg") continue;
      const fs::path folder = workDir() / "store" / entry.path().stem();
      fs::create_directories(folder, ec);
      Sample sample;
      sample.msg = folder / entry.path().filename();
      fs::create_symlink(fs::absolute(entry.path()), sample.msg, ec);
      if (auto it = kTemplateOf.find(entry.path().filename().string()); it != kTemplateOf.end())
        sample.templateName = it->second;
      found.push_back(sample);
    }
    std::sort(found.begin(), found.end(), [](const Sample& a, const Sample& b) { return a.msg < b.msg; });
    return found;
  }();
  return list;
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

// The add-in prints inside its module; the filled document is taken from this process's own
// engine, printing the sample as the add-in's print service does.
bool captureFilled(Sample& sample) {
  sample.filled = workDir() / "filled" / (sample.msg.stem().string() + ".htm");
  CPrinter::Services services;
  fs::path* into = &sample.filled;
  services.makePrintTemplate = [into](const fs::path&) -> std::unique_ptr<IPrintTemplate> {
    return std::make_unique<CCapture>(into);
  };
  const std::unique_ptr<platform::outlook::COutlook> outlook = platform::outlook::COutlook::open(sample.msg.parent_path());
  if (!outlook) return false;
  const CComPtr<IDispatch> item = outlook->item(sample.msg);
  if (!item) return false;
  CSettings::instance().outlookApplication() = outlook->application();
  quilstring templatePath;
  if (!sample.templateName.empty())
    templatePath = CSettings::instance().getTemplateFolder() + quilstring::fromUtf8(sample.templateName + ".htm");
  CPrintInfo job(item);
  platform::browser::printDestination() = {workDir() / "out", true, u"capture", {}};
  CPrinter::setServicesForTesting(services);
  const int status = CPrintItem(job).printJob(kModePrint, templatePath, [](const CPrintInfo& j, const quilstring& t) {
    return std::unique_ptr<IPrinter>(std::make_unique<CPrinter>(j, t));
  });
  CPrinter::resetServicesForTesting();
  platform::browser::printDestination() = {};
  CSettings::instance().outlookApplication() = nullptr;
  std::error_code ec;
  return status == kStatusPrinted && fs::is_regular_file(sample.filled, ec);
}

// Runs a program with its output thrown away; its exit status, -1 when it could not run or did
// not exit.
int runQuietly(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One fresh browser prints one document and exits.
bool printFresh(const fs::path& html, const fs::path& pdf) {
  return runQuietly({kHeadlessShell, "--headless", "--no-sandbox", "--disable-gpu", "--print-to-pdf=" + pdf.string(),
                     "file://" + html.string()}) == 0;
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
  std::vector<Sample> list = sampleList();
  fs::create_directories(workDir() / "filled", ec);
  fs::create_directories(workDir() / "fresh", ec);
  for (Sample& sample : list) {
    if (!captureFilled(sample)) {
      state.SkipWithError(("cannot fill " + sample.msg.filename().string() + ": " + platform::diag::lastFailure()).c_str());
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
  state.counters["warm_p90_ms"] = percentile90(warm);
  // What a batch's time per file compares with.
  state.counters["warm_mean_ms"] = warm.empty() ? 0.0 : std::accumulate(warm.begin(), warm.end(), 0.0) / warm.size();
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

// The samples as one batch in one process (`quillmark print A B C ... --out DIR`): the add-in
// prints them in turn, loading the next while one prints. The two samples that need a template of
// their own are left out. The first pass warms the browser and the templates.
void BM_SamplesBatch(benchmark::State& state) {
  std::vector<fs::path> batch;
  const fs::path folder = workDir() / "batch";
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (const Sample& sample : sampleList()) {
    if (!sample.templateName.empty()) continue;
    const fs::path link = folder / sample.msg.filename();
    fs::create_symlink(fs::read_symlink(sample.msg, ec), link, ec);
    batch.push_back(link);
  }
  if (batch.empty()) {
    state.SkipWithError("shared samples not found (set QM_SHARED_DIR)");
    return;
  }
  host::PrintCommandLine command;
  command.files = batch;
  command.out = workDir() / "batch-out";
  constexpr int kPasses = 4;
  std::vector<double> perFile;
  for (auto _ : state) {
    for (int pass = 0; pass < kPasses; ++pass) {
      const auto start = Clock::now();
      int status = 0;
      {
        Quiet quiet;
        status = host::runPrint(command);
      }
      if (status != 0) {
        state.SkipWithError("the batch failed");
        return;
      }
      if (pass > 0) perFile.push_back(msSince(start) / static_cast<double>(batch.size()));
    }
    state.SetIterationTime(median(perFile) / 1000.0);
  }
  state.counters["files"] = static_cast<double>(batch.size());
  state.counters["per_file_ms"] = median(perFile);
  state.counters["cores"] = std::thread::hardware_concurrency();
}
BENCHMARK(BM_SamplesBatch)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// One `quillmark print FILE --out DIR` process per sample: the browser starts and stops per file.
int printInProcess(const Sample& sample) {
  std::vector<std::string> args = {QM_QUILLMARK, "print", sample.msg.string(), "--out", (workDir() / "out").string()};
  if (!sample.templateName.empty()) args.insert(args.end(), {"--template", sample.templateName});
  return runQuietly(args);
}

void BM_SamplesProcessPerFile(benchmark::State& state) {
  const std::vector<Sample> list = sampleList();
  if (list.empty() || ::access(QM_QUILLMARK, X_OK) != 0) {
    state.SkipWithError("shared samples or the quillmark command not found");
    return;
  }
  constexpr int kPasses = 2;
  std::vector<double> perFile;
  for (auto _ : state) {
    std::vector<std::vector<double>> byFile(list.size());
    for (int pass = 0; pass < kPasses; ++pass)
      for (std::size_t i = 0; i < list.size(); ++i) {
        const auto start = Clock::now();
        if (printInProcess(list[i]) != 0) {
          state.SkipWithError(("print failed: " + list[i].msg.filename().string()).c_str());
          return;
        }
        byFile[i].push_back(msSince(start));
      }
    perFile.clear();
    for (const auto& times : byFile) perFile.push_back(median(times));
    state.SetIterationTime(median(perFile) / 1000.0);
  }
  state.counters["files"] = static_cast<double>(list.size());
  state.counters["median_ms"] = median(perFile);
  state.counters["p90_ms"] = percentile90(perFile);
  state.counters["cores"] = std::thread::hardware_concurrency();
}
BENCHMARK(BM_SamplesProcessPerFile)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

struct TreeMemory {
  double pss = 0.0;  // MB; its shared part depends on what else maps the same files
  double uss = 0.0;  // MB private to the tree's processes: where growth shows
};

// Proportional and private memory of a process and all its descendants.
TreeMemory treeMemory(pid_t root) {
  std::map<pid_t, std::vector<pid_t>> children;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::FILE* stat = std::fopen((entry.path() / "stat").c_str(), "r");
    if (!stat) continue;
    char buffer[1024] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, stat);
    std::fclose(stat);
    const std::string line(buffer, n);
    const std::size_t close = line.rfind(')');
    int ppid = 0;
    if (close == std::string::npos || std::sscanf(line.c_str() + close + 1, " %*c %d", &ppid) != 1) continue;
    children[ppid].push_back(static_cast<pid_t>(std::stol(name)));
  }
  double pssKb = 0.0, ussKb = 0.0;
  std::vector<pid_t> todo = {root};
  while (!todo.empty()) {
    const pid_t pid = todo.back();
    todo.pop_back();
    if (std::FILE* rollup = std::fopen(("/proc/" + std::to_string(pid) + "/smaps_rollup").c_str(), "r")) {
      char line[256];
      while (std::fgets(line, sizeof line, rollup)) {
        long value = 0;
        if (std::sscanf(line, "Pss: %ld kB", &value) == 1) pssKb += static_cast<double>(value);
        if (std::sscanf(line, "Private_Clean: %ld kB", &value) == 1 || std::sscanf(line, "Private_Dirty: %ld kB", &value) == 1)
          ussKb += static_cast<double>(value);
      }
      std::fclose(rollup);
    }
    for (pid_t child : children[pid]) todo.push_back(child);
  }
  return {pssKb / 1024.0, ussKb / 1024.0};
}

// The browser tree's memory after 30 and after 300 prints of the samples in turn, in one process
// (proportional set size of the browser and all its children).
void BM_SamplesMemoryOverPrints(benchmark::State& state) {
  const std::vector<Sample> list = sampleList();
  if (list.empty()) {
    state.SkipWithError("shared samples not found (set QM_SHARED_DIR)");
    return;
  }
  constexpr int kPrints = 300;
  TreeMemory after30, after300;
  double peak = 0.0;
  for (auto _ : state) {
    const auto start = Clock::now();
    for (int i = 1; i <= kPrints; ++i) {
      if (printSample(list[static_cast<std::size_t>(i - 1) % list.size()]) != 0) {
        state.SkipWithError("print failed");
        return;
      }
      // The tabs are renewed every 40 jobs, so the tree's memory is a sawtooth of that period: each
      // figure is the mean over one whole period, around the 30th print and up to the 300th.
      const bool early = i > 10 && i <= 50, late = i > kPrints - 40;
      if (i % 10 == 0 || early || late) {
        const TreeMemory now = treeMemory(platform::browser::detail::chromiumPidForTesting());
        peak = std::max(peak, now.pss);
        TreeMemory* sum = early ? &after30 : late ? &after300 : nullptr;
        if (sum) sum->pss += now.pss / 40.0, sum->uss += now.uss / 40.0;
      }
    }
    state.SetIterationTime(msSince(start) / 1000.0 / kPrints);
  }
  state.counters["pss_after_30_mb"] = after30.pss;
  state.counters["pss_after_300_mb"] = after300.pss;
  state.counters["pss_peak_mb"] = peak;
  state.counters["pss_growth_pct"] = after30.pss > 0 ? (after300.pss / after30.pss - 1.0) * 100.0 : 0.0;
  state.counters["uss_after_30_mb"] = after30.uss;
  state.counters["uss_after_300_mb"] = after300.uss;
  state.counters["uss_growth_pct"] = after30.uss > 0 ? (after300.uss / after30.uss - 1.0) * 100.0 : 0.0;
}
BENCHMARK(BM_SamplesMemoryOverPrints)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A one-page mail with a <style> block of `megabytes` MB (distinct rules), or a plain-text body of
// that size (about 1,000 pages for 5 MB): the whole print, and its cost per page.
void BM_BigMail(benchmark::State& state, bool style) {
  const std::size_t bytes = static_cast<std::size_t>(state.range(0)) << 20;
  testsupport::MsgDescription mail;
  mail.messageClass = "IPM.Note";
  mail.props.push_back(testsupport::unicodeProp(PR_SUBJECT_W, style ? u"Big style block" : u"Big text body"));
  if (style) {
    std::string html = "<html><head><style>\n";
    for (int i = 0; html.size() < bytes; ++i)
      html += ".c" + std::to_string(i) + " { color: #" + std::to_string(100000 + i % 800000) + "; margin: 1px 2px }\n";
    html += "</style></head><body><p class=\"c1\">Hello, this mail has a big style block.</p></body></html>";
    mail.props.push_back(testsupport::binaryProp(PR_HTML, html));
    mail.props.push_back(testsupport::longProp(PR_INTERNET_CPID, 65001));
  } else {
    std::u16string text;
    static const std::u16string kLine =
        u"The quick brown fox jumps over the lazy dog, and the figures of the quarter follow here.\r\n";
    for (int i = 0; text.size() < bytes; ++i) text += (i % 10 == 9) ? u"\r\n" : kLine;
    mail.props.push_back(testsupport::unicodeProp(PR_BODY_W, text));
  }
  Sample sample;
  const fs::path folder = workDir() / "big" / (style ? "style" : "body");
  std::error_code ec;
  fs::create_directories(folder, ec);
  sample.msg = folder / "big.msg";
  if (!testsupport::writeMsgFile(mail, sample.msg)) {
    state.SkipWithError("cannot write the mail");
    return;
  }
  const fs::path pdf = workDir() / "out" / "big.pdf";
  double ms = 0.0;
  int pages = 0;
  for (auto _ : state) {
    fs::remove_all(workDir() / "out", ec);
    const auto start = Clock::now();
    if (printSample(sample) != 0) {
      state.SkipWithError("print failed");
      return;
    }
    ms = msSince(start);
    state.SetIterationTime(ms / 1000.0);
    for (const auto& entry : fs::directory_iterator(workDir() / "out", ec))
      if (entry.path().extension() == ".pdf") platform::browser::pdfPageCount(entry.path(), pages);
  }
  state.counters["pages"] = pages;
  state.counters["ms_per_page"] = pages > 0 ? ms / pages : 0.0;
}
BENCHMARK_CAPTURE(BM_BigMail, style, true)->Arg(1)->Arg(5)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BigMail, body, false)->Arg(1)->Arg(5)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

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
