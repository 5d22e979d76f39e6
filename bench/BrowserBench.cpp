// Warm printing through the long-lived headless Chromium: load a local document and print it.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/browser/PrintEngine.h"
#include "platform/browser/PrintLayout.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::browser;

struct BenchDir {
  BenchDir() {
    std::string pattern = (fs::temp_directory_path() / "qm-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    path = pattern;
  }
  ~BenchDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

fs::path benchDir() {
  static const BenchDir dir;
  return dir.path;
}

fs::path writeDocument(int pages) {
  const fs::path file = benchDir() / ("doc" + std::to_string(pages) + ".html");
  std::ofstream out(file);
  out << "<!DOCTYPE html><html><head><meta charset=utf-8><style>.p{break-after:page}</style></head><body>";
  for (int i = 0; i < pages; ++i) {
    out << "<div class=p><h1>Page " << i + 1 << "</h1>";
    for (int j = 0; j < 20; ++j) out << "<p>The quick brown fox jumps over the lazy dog, line " << j << ".</p>";
    out << "</div>";
  }
  out << "</body></html>";
  return file;
}

void BM_WarmPrint(benchmark::State& state) {
  IPrintEngine& engine = chromiumPrintEngine();
  engine.setAllowedFolders({benchDir()});
  const fs::path doc = writeDocument(static_cast<int>(state.range(0)));
  const fs::path out = benchDir() / "out.pdf";
  PdfSettings settings;
  settings.margins = {0.75, 0.75, 0.75, 0.75};
  // The first job starts the browser; it is not what this measures.
  if (FAILED(engine.loadDocument(doc, 20000)) || FAILED(engine.printBody(settings, out))) {
    state.SkipWithError("the browser did not print");
    return;
  }
  for (auto _ : state) {
    if (FAILED(engine.loadDocument(doc, 20000)) || FAILED(engine.printBody(settings, out))) {
      state.SkipWithError("print failed");
      return;
    }
  }
}
BENCHMARK(BM_WarmPrint)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OverlayAndRange(benchmark::State& state) {
  IPrintEngine& engine = chromiumPrintEngine();
  engine.setAllowedFolders({benchDir()});
  const fs::path body = benchDir() / "body5.pdf";
  PdfSettings settings;
  if (FAILED(engine.loadDocument(writeDocument(5), 20000)) || FAILED(engine.printBody(settings, body))) {
    state.SkipWithError("the browser did not print");
    return;
  }
  for (auto _ : state) {
    if (FAILED(engine.overlay(body, body, benchDir() / "merged.pdf", 2, 4))) {
      state.SkipWithError("overlay failed");
      return;
    }
  }
}
BENCHMARK(BM_OverlayAndRange)->Unit(benchmark::kMillisecond)->UseRealTime();

// A whole decorated print on a warm browser: the filled document's blocks read, the header string
// and blocks measured (cached after the first job), the body and the decorations printed and
// merged. range(0) pages, the first a cover and the last a trailer.
void BM_WarmDecoratedPrint(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const fs::path doc = benchDir() / ("decorated" + std::to_string(pages) + ".htm");
  {
    std::ofstream out(doc);
    out << "<!DOCTYPE html><html><head><meta charset=utf-8><title>Weekly report</title>"
           "<style>.p{break-after:page}.h{display:none}</style></head><body style=\"background:#fffdf5\">"
           "<div class=h><div id=QMHeader><b>From:</b> Ann Example &mdash; page <span id=QMPageNo></span> of "
           "<span id=QMPageTotal></span></div><div id=QMFooter>Confidential</div>"
           "<div id=QMCoverHeader><h2>Cover</h2></div><div id=QMTrailerFooter>End of report</div></div>";
    for (int i = 0; i < pages; ++i) {
      out << "<div class=p>";
      for (int j = 0; j < 20; ++j) out << "<p>The quick brown fox jumps over the lazy dog, line " << j << ".</p>";
      out << "</div>";
      if (i == 0) out << "<span id=QMCoverEndPage></span>";
    }
    out << "<span id=QMTrailerEndPage></span></body></html>";
  }
  IPrintEngine& engine = chromiumPrintEngine();
  engine.setAllowedFolders({benchDir()});
  auto layout = makePrintLayout(engine);
  LayoutRequest request;
  request.document = doc;
  request.address = u"file:///templates/Report.htm";
  request.printTemplate = QM_PRINT_TEMPLATE;
  request.setup.header = u"&w&bPage &p of &P";
  request.setup.footer = u"&u&b&d";
  request.output = benchDir() / "decorated.pdf";
  LayoutResult result;
  const auto job = [&] {
    return SUCCEEDED(readPrintBlocks(doc, request.blocks)) && SUCCEEDED(layout->print(request, result));
  };
  if (!job()) {
    state.SkipWithError("the browser did not print");
    return;
  }
  for (auto _ : state) {
    if (!job()) {
      state.SkipWithError("print failed");
      return;
    }
  }
  state.counters["pages"] = result.laidOutPages;
}
BENCHMARK(BM_WarmDecoratedPrint)->Arg(1)->Arg(5)->Arg(40)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
