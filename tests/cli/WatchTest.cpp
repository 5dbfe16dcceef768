#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "FakeApp.h"
#include "Watch.h"

namespace tandemo {
namespace {

using ctl::AppProperties;
using testing::FakeApp;
using Lines = std::vector<std::string>;

// `tandemoctl watch` on a thread of its own, its lines read as they come.
class WatchRun {
 public:
  explicit WatchRun(bool json) {
    thread_ = std::thread([this, json] { status_ = runWatch(WatchOptions{json}, out_, err_, stop_); });
  }
  ~WatchRun() {
    if (thread_.joinable()) finish();
    ::close(stop_);
  }
  Lines next(std::size_t count) {
    Lines lines;
    while (lines.size() < count) lines.push_back(lines_.next());
    return lines;
  }
  // Stops it as SIGINT would; its exit status and what it wrote on stderr.
  std::pair<int, std::string> finish() {
    const std::uint64_t one = 1;
    EXPECT_EQ(::write(stop_, &one, sizeof one), 8);
    thread_.join();
    return {status_, err_.str()};
  }

 private:
  testing::LineQueue lines_;
  std::ostream out_{&lines_};
  std::ostringstream err_;
  int stop_ = ::eventfd(0, EFD_CLOEXEC);
  int status_ = -1;
  std::thread thread_;
};

class Watch : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() { bus = std::make_unique<testing::PrivateBus>(); }
  static void TearDownTestSuite() { bus.reset(); }
  static inline std::unique_ptr<testing::PrivateBus> bus;
};

AppProperties seized() {
  AppProperties p;
  p.connected = true;
  p.firmware = "1.07";
  p.keyboardState = "seized: the mouse's keys reach Tandemo";
  p.activeProfile = "World of Warcraft";
  p.simulated = true;
  p.settingsFile = "/home/someone/.config/Tandemo/state.json";
  return p;
}

nlohmann::json snapshot(const std::optional<AppProperties>& p) {
  if (!p) {
    return {{"running", false}, {"connected", nullptr}, {"firmware", nullptr}, {"keyboard", nullptr},
            {"profile", nullptr}, {"pinned", nullptr}, {"writing", nullptr}, {"lastWrite", nullptr},
            {"pressed", nullptr}};
  }
  return {{"running", true},           {"connected", p->connected},   {"firmware", p->firmware},
          {"keyboard", p->keyboardState}, {"profile", p->activeProfile}, {"pinned", p->pinnedProfile},
          {"writing", p->writing},     {"lastWrite", p->lastWrite},   {"pressed", p->pressedButtons}};
}

// A scripted session of the app: each step, the text lines it must print. With --json, each step
// that prints lines prints one snapshot instead.
TEST_P(Watch, PrintsAppearanceChangesAndDepartureOfTheApp) {
  const bool json = GetParam();
  const std::string address = bus->address();
  const testing::ScopedEnv session("DBUS_SESSION_BUS_ADDRESS", address);
  FakeApp fake(address, seized());
  FakeApp impostor(address, seized());  // on the bus without the name: not the app
  WatchRun watch(json);
  const Lines full = {"running yes",    "connected yes", "firmware 1.07",
                      "keyboard seized: the mouse's keys reach Tandemo", "profile World of Warcraft",
                      "pinned auto",    "writing no",    "lastwrite",     "pressed none"};
  struct Step {
    std::function<void()> act;
    Lines lines;
  };
  const std::vector<Step> steps = {
      {[] {}, {"running no"}},
      {[&] { fake.own(); }, full},
      {[&] { fake.change([](AppProperties& p) { p.pressedButtons = {"button9", "tiltLeft"}; }, {"PressedButtons"}); },
       {"pressed button9 tiltLeft"}},
      {[&] { fake.change([](AppProperties& p) { p.writing = true; }, {"Writing", "LastWrite"}); }, {"writing yes"}},
      {[&] {
         fake.change([](AppProperties& p) { p.writing = false, p.lastWrite = "Written to the mouse"; },
                     {"LastWrite", "Writing"});
       },
       {"writing no", "lastwrite Written to the mouse"}},
      // Neither a change to the same value nor another connection's signal is a change.
      {[&] {
         fake.change([](AppProperties&) {}, {"Connected", "Firmware"});
         impostor.change([](AppProperties& p) { p.connected = false; }, {"Connected"});
         fake.change([](AppProperties& p) { p.activeProfile = p.pinnedProfile = "Raid\nnight"; },
                     {"ActiveProfile", "PinnedProfile"});
       },
       {"profile Raid night", "pinned Raid night"}},
      {[&] { fake.disown(); }, {"running no"}},
      {[&] { fake.own(); },
       {"running yes", "connected yes", "firmware 1.07", "keyboard seized: the mouse's keys reach Tandemo",
        "profile Raid night", "pinned Raid night", "writing no", "lastwrite Written to the mouse",
        "pressed button9 tiltLeft"}},
  };
  bool running = false;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    steps[i].act();
    if (!json) {
      EXPECT_EQ(watch.next(steps[i].lines.size()), steps[i].lines);
      continue;
    }
    if (steps[i].lines.front() == "running no") running = false;
    if (steps[i].lines.front() == "running yes") running = true;
    const std::string line = watch.next(1).front();
    if (i == 1) {
      EXPECT_EQ(line, R"({"running":true,"connected":true,"firmware":"1.07","keyboard":"seized: the mouse's keys )"
                      R"(reach Tandemo","profile":"World of Warcraft","pinned":"","writing":false,"lastWrite":"",)"
                      R"("pressed":[]})");
    }
    EXPECT_EQ(nlohmann::json::parse(line), snapshot(running ? std::optional(fake.properties()) : std::nullopt)) << line;
  }
  EXPECT_EQ(watch.finish(), std::pair(0, std::string()));
}

INSTANTIATE_TEST_SUITE_P(TextAndJson, Watch, ::testing::Bool(),
                         [](const auto& test) { return test.param ? "Json" : "Text"; });

TEST(WatchAlone, NeedsASessionBus) {
  const testing::ScopedEnv session("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tandemo-test-bus");
  std::ostringstream out, err;
  EXPECT_EQ(runWatch({}, out, err, -1), 1);
  EXPECT_THAT(err.str(), ::testing::StartsWith("tandemoctl: watch needs the session bus: "));
}

}  // namespace
}  // namespace tandemo
