// The bridge's hot path: one keyboard report in, its events out through a recording sink.
// Press and release reports of a bridged button alternate; its action is a mouse button and the
// active profile is found the way the controller finds it, among twenty.

#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "core/VirtualLoop.h"
#include "runtime/Bridge.h"
#include "sim/RecordingEventSink.h"

namespace {

using namespace tandemo;
using Rival500::Button;

constexpr std::uint8_t markerButton10 = 0x6E;  // F19
constexpr std::array<std::uint8_t, 8> pressReport = {0, 0, markerButton10, 0, 0, 0, 0, 0};
constexpr std::array<std::uint8_t, 8> releaseReport = {};

// A fallback first, then nineteen application profiles; the front application matches the last.
std::vector<Profile> twentyProfiles() {
  std::vector<Profile> profiles;
  for (int i = 0; i < 20; ++i) {
    Profile profile;
    profile.name = i == 0 ? "Everywhere else" : "Game number " + std::to_string(i);
    if (i > 0) {
      profile.bundleIDs = {"com.example.studio" + std::to_string(i) + ".game", "org.example.tools" + std::to_string(i)};
    }
    for (int b = 0; b < 7; ++b) {
      profile.actions[Rival500::allButtons[static_cast<std::size_t>(9 + b % 6)]] =
          HostAction{HostAction::MouseButton{9 + b}};
    }
    profile.actions[Button::button10] = HostAction{HostAction::MouseButton{10}};
    profiles.push_back(std::move(profile));
  }
  return profiles;
}

// The controller's choice with nothing pinned and automatic switching on: the first profile
// one of whose bundle identifiers prefixes the front application's, else the fallback.
struct ProfileChooser {
  std::vector<Profile> profiles = twentyProfiles();
  std::string front = "com.example.studio19.game";

  const Profile* find() const {
    for (const Profile& profile : profiles) {
      for (const std::string& prefix : profile.bundleIDs) {
        if (front.starts_with(prefix)) return &profile;
      }
    }
    for (const Profile& profile : profiles) {
      if (profile.bundleIDs.empty()) return &profile;
    }
    return nullptr;
  }
  std::optional<Profile> active() const {
    const Profile* profile = find();
    return profile ? std::optional<Profile>(*profile) : std::nullopt;
  }
};

void BM_BridgeReport(benchmark::State& state) {
  VirtualLoop loop;
  RecordingEventSink sink{loop};
  Bridge bridge{loop, sink, "org.tandemo.Tandemo"};
  ProfileChooser chooser;
  bridge.activeProfile = [&chooser] { return chooser.active(); };
  bridge.onButton = [](Button button, bool pressed) { benchmark::DoNotOptimize(button), benchmark::DoNotOptimize(pressed); };
  bool press = true;
  for (auto _ : state) {
    bridge.handle(1, press ? pressReport : releaseReport);
    press = !press;
    sink.clear();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BridgeReport)->Repetitions(9)->ReportAggregatesOnly(true);

// What the press spends choosing and copying the profile alone.
void BM_ActiveProfileCopy(benchmark::State& state) {
  ProfileChooser chooser;
  for (auto _ : state) benchmark::DoNotOptimize(chooser.active());
}
BENCHMARK(BM_ActiveProfileCopy)->Repetitions(9)->ReportAggregatesOnly(true);

// The same choice when only the button's action is copied out of the chosen profile.
void BM_ActiveProfileLookup(benchmark::State& state) {
  ProfileChooser chooser;
  for (auto _ : state) {
    const Profile* profile = chooser.find();
    benchmark::DoNotOptimize(profile ? profile->actions.at(Button::button10) : HostAction{});
  }
}
BENCHMARK(BM_ActiveProfileLookup)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
