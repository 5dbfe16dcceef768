// The six packets of a full write, built from the factory configuration.

#include <benchmark/benchmark.h>

#include "model/HardwareConfig.h"

namespace {

void BM_PacketsFactory(benchmark::State& state) {
  const tandemo::HardwareConfig config = tandemo::HardwareConfig::factory();
  for (auto _ : state) {
    auto packets = config.packets();
    benchmark::DoNotOptimize(packets);
  }
}
BENCHMARK(BM_PacketsFactory);

// The same with every control assigned and two three-color lights, as after a user's edits.
void BM_PacketsEdited(benchmark::State& state) {
  using namespace tandemo::Rival500;
  tandemo::HardwareConfig config = tandemo::HardwareConfig::factory();
  for (Button button : allButtons) {
    config.assignments[button] = nativeMouseButton(button) ? factoryDefault(button) : Assignment::bridge();
  }
  config.wheel.stops = {{0, 255, 0, 0}, {33, 0, 255, 0}, {66, 0, 0, 255}};
  for (auto _ : state) {
    auto packets = config.packets();
    benchmark::DoNotOptimize(packets);
  }
}
BENCHMARK(BM_PacketsEdited);

}  // namespace
