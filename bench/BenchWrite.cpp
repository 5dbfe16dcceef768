// A full write with the save packet, in real time: seven packets paced 0.05 s apart through the
// link's write queue to the simulated mouse, completion back on a real poll loop. The pacing sets
// a floor of 350 ms; "overhead_ms" is what the write costs beyond it.

#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>

#include "hid/HIDLink.h"
#include "linux/PollLoop.h"
#include "model/HardwareConfig.h"
#include "sim/VirtualRival500.h"

namespace {

using namespace tandemo;

void BM_WriteSevenPackets(benchmark::State& state) {
  linux_platform::PollLoop loop;
  sim::VirtualRival500 mouse(loop);
  HIDLink link(loop, mouse, "org.tandemo.Tandemo");
  auto packets = HardwareConfig::factory().packets();
  if (!packets || !link.isConnected()) {
    state.SkipWithError("no packets or no mouse");
    return;
  }
  packets->push_back(Rival500::savePacket());
  const double floorMs = 50.0 * static_cast<double>(packets->size());

  double overheadMs = 0;
  for (auto _ : state) {
    std::optional<HIDLink::WriteResult> result;
    const auto started = std::chrono::steady_clock::now();
    link.write(*packets, [&](HIDLink::WriteResult r) {
      result = std::move(r);
      loop.quit();
    });
    loop.run();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
    overheadMs += took.count() - floorMs;
    if (!result || !*result) state.SkipWithError("the write failed");
  }
  state.counters["packets"] = static_cast<double>(packets->size());
  state.counters["overhead_ms"] = benchmark::Counter(overheadMs, benchmark::Counter::kAvgIterations);
  if (mouse.saveCount() != static_cast<int>(state.iterations())) state.SkipWithError("a save went missing");
}
BENCHMARK(BM_WriteSevenPackets)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace
