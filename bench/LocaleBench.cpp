// A date field and a currency field are formatted for every item printed; the locale's data is
// built once and must not be rebuilt per call.
#include <benchmark/benchmark.h>

#include "platform/system/LocaleFormat.h"
#include "platform/system/TimeZone.h"

namespace {

const SYSTEMTIME kWhen{2024, 3, 2, 5, 14, 7, 9, 0};

void BM_LongDateAndTime(benchmark::State& state) {
  const LCID lcid = static_cast<LCID>(state.range(0));
  char16_t buffer[520];
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetDateFormatW(lcid, DATE_LONGDATE, &kWhen, nullptr, buffer, 520));
    benchmark::DoNotOptimize(GetTimeFormatW(lcid, 0, &kWhen, nullptr, buffer, 520));
  }
}
BENCHMARK(BM_LongDateAndTime)->Arg(1033)->Arg(1031)->Arg(1041)->Arg(1049);

void BM_Currency(benchmark::State& state) {
  const LCID lcid = static_cast<LCID>(state.range(0));
  char16_t buffer[521];
  for (auto _ : state) benchmark::DoNotOptimize(GetCurrencyFormatW(lcid, 0, u"-1234567.5000", nullptr, buffer, 521));
}
BENCHMARK(BM_Currency)->Arg(1033)->Arg(1036)->Arg(1049);

void BM_UtcToLocal(benchmark::State& state) {
  SYSTEMTIME local;
  for (auto _ : state) benchmark::DoNotOptimize(SystemTimeToTzSpecificLocalTime(nullptr, &kWhen, &local));
}
BENCHMARK(BM_UtcToLocal);

}  // namespace

BENCHMARK_MAIN();
