// The UI thread's loop: posting and running a burst of work, and what one timer tick costs the
// thread (CPU time; the wall time is the timer's period).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "platform/loop/MessageLoop.h"

namespace {

namespace loop = platform::loop;

void BM_PostAndRun10000(benchmark::State& state) {
  constexpr int kTasks = 10000;
  for (auto _ : state) {
    int ran = 0;
    for (int i = 0; i < kTasks; ++i) loop::post([&ran] { ++ran; });
    loop::runUntil([&] { return ran == kTasks; }, 10000);
    benchmark::DoNotOptimize(ran);
  }
  state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(BM_PostAndRun10000)->Unit(benchmark::kMillisecond);

// The shortest period there is; each iteration waits for one tick.
void BM_TimerTick(benchmark::State& state) {
  const HWND owner = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xB00));
  int ticks = 0;
  loop::SetTimer(owner, 1, 10, [&](std::uintptr_t) { ++ticks; });
  for (auto _ : state) {
    const int before = ticks;
    loop::runUntil([&] { return ticks != before; }, 1000);
  }
  loop::KillTimer(owner, 1);
}
BENCHMARK(BM_TimerTick)->Iterations(200)->Unit(benchmark::kMicrosecond);

}  // namespace
