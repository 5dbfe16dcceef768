// A bridged press on the simulated mouse to the host action's first event, through the real
// poll loop, the controller and the bridge.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "controller/Controller.h"
#include "linux/PollLoop.h"
#include "model/StateStore.h"
#include "sim/FakeServices.h"
#include "sim/ScriptedWorkspace.h"
#include "sim/VirtualRival500.h"

namespace tandemo {
namespace {

using Button = Rival500::Button;
constexpr std::uint16_t kKeyB = 0x0B;

// Counts posted events and wakes the benchmark thread; posts nothing.
class SignallingSink final : public EventSink {
 public:
  bool post(const SynthEvent&) override {
    { std::lock_guard lock(mutex_); ++posted_; }
    changed_.notify_all();
    return true;
  }
  std::optional<Point> cursor() override { return Point{}; }
  bool accessibilityGranted() override { return true; }
  void requestAccessibility() override {}

  std::size_t posted() {
    std::lock_guard lock(mutex_);
    return posted_;
  }
  void waitBeyond(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return posted_ > count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t posted_ = 0;
};

AppState bridgedState() {
  AppState state;
  state.hardware.assignments[Button::button4] = Rival500::Assignment::bridge();
  Profile everywhere{Uuid::random(), "Everywhere", {}, {}};
  everywhere.actions[Button::button4] = HostAction{HostAction::Key{KeyChord{kKeyB, false, true, false, false}}};
  state.profiles = {everywhere};
  return state;
}

void PressToAction(benchmark::State& bench) {
  linux_platform::PollLoop loop;
  sim::MemoryFileSystem files;
  files.put("/state.json", encodeState(bridgedState()));
  StateStore store(files, "/state.json");
  SignallingSink sink;
  sim::ScriptedWorkspace workspace;
  sim::FakeLoginItem loginItem;
  sim::RecordingSystemLog systemLog;
  sim::FixedTimeOfDay timeOfDay;
  std::unique_ptr<sim::VirtualRival500> mouse;
  std::unique_ptr<Controller> controller;
  std::thread thread([&] { loop.run(); });
  const auto onLoop = [&](auto fn) {
    std::promise<void> done;
    loop.post([&] {
      fn();
      done.set_value();
    });
    done.get_future().wait();
  };
  onLoop([&] {
    mouse = std::make_unique<sim::VirtualRival500>(loop);
    controller = std::make_unique<Controller>(
        ControllerServices{loop, *mouse, sink, workspace, loginItem, systemLog, timeOfDay, store});
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the start-up write settles

  std::vector<double> micros;
  for (auto _ : bench) {
    const std::size_t before = sink.posted();
    const auto start = std::chrono::steady_clock::now();
    loop.post([&] { mouse->press(Button::button4); });
    sink.waitBeyond(before);  // the chord's first event
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    bench.SetIterationTime(took.count());
    micros.push_back(took.count() * 1e6);
    const std::size_t held = sink.posted();
    loop.post([&] { mouse->release(Button::button4); });
    sink.waitBeyond(held);
    onLoop([] {});  // the rest of the release has been posted
  }
  std::sort(micros.begin(), micros.end());
  bench.counters["median_us"] = micros[micros.size() / 2];
  bench.counters["p99_us"] = micros[micros.size() * 99 / 100];

  onLoop([&] {
    controller.reset();
    mouse.reset();
  });
  loop.quit();
  thread.join();
}
BENCHMARK(PressToAction)->Iterations(1000)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tandemo
