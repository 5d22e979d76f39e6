// The formatter runs on every log line and every message; it must stay cheap.
#include <benchmark/benchmark.h>

#include "foundation/QuilString.h"

static void BM_FormatShortLogLine(benchmark::State& state) {
  quilstring s;
  for (auto _ : state) {
    s.Format(u"CPrinter::Print -- status %d for %s (%#lX)", 4, u"IPM.Note", 0x80004005u);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_FormatShortLogLine);

static void BM_FormatLongText(benchmark::State& state) {
  const std::u16string big(static_cast<std::size_t>(state.range(0)), u'x');
  quilstring s;
  for (auto _ : state) {
    s.Format(u"<p>%s</p>", big.c_str());
    benchmark::DoNotOptimize(s);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_FormatLongText)->Arg(256)->Arg(65536);
