#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "AppCommands.h"
#include "FakeApp.h"
#include "Online.h"
#include "Tandemoctl.h"
#include "linux/MouseLock.h"
#include "model/StateCodec.h"

namespace tandemo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using ctl::AppProperties;
using testing::FakeApp;
using Outcome = std::tuple<int, std::string, std::string>;  // exit status, standard output, standard error
using Args = std::vector<std::string>;

class ThroughApp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { bus = std::make_unique<testing::PrivateBus>(); }
  static void TearDownTestSuite() { bus.reset(); }
  void SetUp() override { std::filesystem::create_directories(folder); }
  void TearDown() override { std::filesystem::remove_all(folder); }

  static Outcome run(const Args& args) {
    std::ostringstream out, err;
    const int status = runTandemoctl(args, out, err);
    return {status, out.str(), err.str()};
  }
  std::string stateFile(const AppState& state = AppState::wowDefault()) {
    const std::string path = (folder / ("state" + std::to_string(++files) + ".json")).string();
    std::ofstream(path) << encodeState(state);
    return path;
  }
  // The app's side as `tandemo --simulate` shows it after start-up with the default settings.
  AppProperties app(const std::string& settingsFile) const {
    AppProperties p;
    p.connected = true;
    p.firmware = "1.07";
    p.keyboardState = "idle: the keyboard interface is not held";
    p.activeProfile = "Everywhere else";
    p.simulated = true;
    p.settingsFile = settingsFile;
    return p;
  }

  static inline std::unique_ptr<testing::PrivateBus> bus;
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
      ("tandemoctl-app-" + std::to_string(::getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  // The lock of commands run alone stays inside the test's folder.
  testing::ScopedEnv busAddress{"DBUS_SESSION_BUS_ADDRESS", bus ? bus->address() : ""};
  testing::ScopedEnv runtime{"XDG_RUNTIME_DIR", folder.string()};
  testing::ScopedEnv config{"XDG_CONFIG_HOME", folder.string()};  // never the user's own settings
  int files = 0;
};

TEST_F(ThroughApp, StatusPrintsWhatTheAppServesAsTheCommandDoesAlone) {
  const std::string path = stateFile();
  FakeApp fake(bus->address(), app(path));
  fake.own();
  EXPECT_EQ(run({"status", "--state", path}), run({"status", "--simulate", "--state", stateFile()}));
  fake.change([](AppProperties& p) { p.connected = false, p.firmware = "", p.keyboardState = "absent: no mouse"; },
              {"Connected", "Firmware", "KeyboardState"});
  EXPECT_EQ(run({"status"}), run({"status", "--simulate", "--simulate-unplugged", "--state", stateFile()}));
  fake.change([](AppProperties& p) { p.activeProfile = ""; }, {});
  EXPECT_EQ(run({"status"}), Outcome(3, "connected: no\nfirmware: unknown\nkeyboard: absent\nprofile: none\n",
                                     "The Rival 500 is not plugged in.\n"));
  // Against the real backend, status adds this process's own scan of the mouse's nodes.
  fake.change([](AppProperties& p) {
    p.connected = true, p.firmware = "1.07", p.keyboardState = "seized: held", p.activeProfile = "WoW";
    p.simulated = false;
  }, {});
  const auto [status, out, err] = run({"status"});
  EXPECT_EQ(std::tie(status, err), std::tuple(0, ""));
  EXPECT_THAT(out, StartsWith("connected: yes\nfirmware: 1.07\nkeyboard: seized\nprofile: WoW\ninterface"));
  EXPECT_NE(out.find("\nhotplug: "), std::string::npos);
  EXPECT_THAT(fake.calls(), IsEmpty());
}

TEST(KeyboardWords, NameTheServedStatesAsStatusDoesAlone) {
  const std::pair<std::string, std::string> cases[] = {
      {"absent: no keyboard interface", "absent"}, {"idle", "idle"}, {"seized: held for the bridge", "seized"},
      {"needsInputMonitoring: grant it", "needs Input Monitoring"},
      {"failed: Permission denied", "failed: Permission denied"}, {"failed", "failed: "},
      {"sleeping: a newer state", "sleeping: a newer state"}};
  for (const auto& [served, words] : cases) EXPECT_EQ(keyboardWords(served), words) << served;
}

// Each row: the command through the app, the app's answer, the call it received, and the same
// command alone against the virtual mouse, which must print the same.
TEST_F(ThroughApp, CommandsAnswerAsTheyDoAlone) {
  const std::string refused = "The mouse refused a packet (04 00): another program has the mouse open exclusively";
  const std::string unplugged = "The Rival 500 is not plugged in.";
  struct Row {
    Args args;
    std::string method;
    FakeApp::Answer answer;
    std::string call;
    Args alone;
  };
  const Row rows[] = {
      {{"write", "--no-save"}, "Write", {"", "Written to the mouse"}, "Write false", {"write", "--no-save"}},
      {{"write", "--save"}, "Write", {"", "Written and saved to the mouse's memory"}, "Write true", {"write", "--save"}},
      {{"write"}, "WriteAsSet", {"", "Written and saved to the mouse's memory"}, "WriteAsSet", {"write"}},
      {{"write"}, "WriteAsSet", {"WriteFailed", refused}, "WriteAsSet", {"write", "--simulate-refuse", "3"}},
      {{"write"}, "WriteAsSet", {"NotConnected", unplugged}, "WriteAsSet", {"write", "--simulate-unplugged"}},
      {{"reset"}, "Reset", {"", "Written and saved to the mouse's memory"}, "Reset", {"reset"}},
      {{"reset"}, "Reset", {"NotConnected", unplugged}, "Reset", {"reset", "--simulate-unplugged"}},
      {{"firmware"}, "ReadFirmware", {"", "1.23"}, "ReadFirmware", {"firmware", "--simulate-firmware", "123"}},
      {{"firmware"}, "ReadFirmware", {"NoAnswer", "The mouse did not answer."}, "ReadFirmware",
       {"firmware", "--simulate-firmware", "none"}},
      {{"firmware"}, "ReadFirmware", {"NotConnected", unplugged}, "ReadFirmware", {"firmware", "--simulate-unplugged"}},
  };
  const std::string path = stateFile();
  FakeApp fake(bus->address(), app(path));
  fake.own();
  std::size_t calls = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args) + " " + row.answer.error);
    fake.answer(row.method, row.answer);
    Args alone = row.alone;
    alone.insert(alone.end(), {"--simulate", "--state", stateFile()});
    EXPECT_EQ(run(row.args), run(alone));
    ASSERT_EQ(fake.calls().size(), ++calls);
    EXPECT_EQ(fake.calls().back(), row.call);
  }
}

TEST_F(ThroughApp, ErrorsWithNoCounterpartAloneKeepTheirStatus) {
  const std::string path = stateFile();
  FakeApp fake(bus->address(), app(path));
  fake.own();
  const std::tuple<Args, std::string, FakeApp::Answer, Outcome> cases[] = {
      {{"write"}, "WriteAsSet", {"AlreadyWriting", "A write to the mouse is already under way."},
       {1, "", "A write to the mouse is already under way.\n"}},
      {{"reset"}, "Reset", {"SaveFailed", "Could not save settings: No space left on device"},
       {1, "", "tandemoctl: Could not save settings: No space left on device\n"}},
      {{"reset"}, "Reset", {"Headless", "a newer error"}, {1, "", "a newer error\n"}},
      {{"pin", "auto"}, "Pin", {}, {0, "", ""}},
      {{"pin", "World of Warcraft"}, "Pin", {}, {0, "", ""}},
  };
  for (const auto& [args, method, answer, outcome] : cases) {
    fake.answer(method, answer);
    EXPECT_EQ(run(args), outcome) << ::testing::PrintToString(args);
  }
  EXPECT_THAT(fake.calls(), ElementsAre("WriteAsSet", "Reset", "Reset", "Pin ", "Pin World of Warcraft"));
}

TEST_F(ThroughApp, StateNamingAnotherFileThanTheAppsIsRefused) {
  const std::string path = stateFile(), other = stateFile();
  std::filesystem::create_symlink(path, folder / "link.json");
  FakeApp fake(bus->address(), app(path));
  fake.own();
  fake.answer("Write", {"", "Written to the mouse"});
  EXPECT_EQ(run({"write", "--no-save", "--state", other}),
            Outcome(2, "", "tandemoctl: the running Tandemo owns the settings file " + path + "; quit it to use " +
                               other + ", or leave out --state\n"));
  EXPECT_EQ(std::get<0>(run({"pin", "auto", "--state", other})), 2);
  EXPECT_THAT(fake.calls(), IsEmpty());
  // The same file, however it is spelled, goes through the app.
  const std::filesystem::path relative = std::filesystem::relative(path);
  for (const std::string& same : {(folder / "." / std::filesystem::path(path).filename()).string(),
                                  (folder / "link.json").string(), relative.string()}) {
    EXPECT_EQ(run({"write", "--no-save", "--state", same}), Outcome(0, "Written to the mouse\n", "")) << same;
  }
  EXPECT_EQ(fake.calls().size(), 3u);
}

TEST_F(ThroughApp, PinMakesTheSameChangeAndErrorsWithoutTheApp) {
  AppState state = AppState::wowDefault();
  state.profiles.push_back(state.profiles.front());
  state.profiles.back().id = Uuid::parse("00000000-0000-4000-8000-000000000001").value();
  const std::string shared = state.profiles.front().name, path = stateFile(state);
  const std::string ambiguous = resolveProfile(state, shared).error();
  EXPECT_THAT(ambiguous, ::testing::HasSubstr(state.profiles.back().id.string()));
  FakeApp fake(bus->address(), app(path));
  const std::pair<Args, FakeApp::Answer> errors[] = {
      {{"pin", "Nope", "--state", path}, {"UnknownProfile", "No profile is named \"Nope\"."}},
      {{"pin", shared, "--state", path}, {"AmbiguousProfile", ambiguous}},
  };
  for (const auto& [args, answer] : errors) {
    fake.own();
    fake.answer("Pin", answer);
    const Outcome through = run(args);
    fake.disown();
    EXPECT_EQ(through, run(args));
    EXPECT_EQ(through, Outcome(1, "", answer.text + "\n"));
  }
  EXPECT_EQ(fake.calls().size(), 2u);  // the alone runs asked nobody
  testing::ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder / "no-bus").string());
  const Uuid other = state.profiles[1].id;
  EXPECT_EQ(run({"pin", other.string(), "--state", path}), Outcome(0, "", ""));
  const auto pinned = [&path] {
    std::ifstream in(path);
    return decodeState(std::string(std::istreambuf_iterator<char>(in), {})).value().pinnedProfileID;
  };
  EXPECT_EQ(pinned(), other);
  EXPECT_EQ(run({"pin", "auto", "--state", path}), Outcome(0, "", ""));
  EXPECT_EQ(pinned(), std::nullopt);
  // A file that cannot be used is not replaced by default settings for the sake of a pin.
  const std::string broken = (folder / "broken.json").string();
  std::ofstream(broken) << "{ not json";
  const auto [status, out, err] = run({"pin", "auto", "--state", broken});
  EXPECT_EQ(status, 1);
  EXPECT_THAT(err, ::testing::EndsWith("; nothing was pinned\n"));
  EXPECT_EQ(std::filesystem::file_size(broken), 10u);
  EXPECT_EQ(std::get<0>(run({"pin", ""})), 2);
}

TEST_F(ThroughApp, WithoutTheAppCommandsRunAloneAndWaitForTheMouseLock) {
  const std::string path = stateFile();
  FakeApp fake(bus->address(), app(path));  // on the bus, but not owning the name
  OnlineOptions options;
  options.command = OnlineOptions::Command::firmware;
  options.stateFile = path;
  options.lockWait = std::chrono::milliseconds(0);
  std::ostringstream out, err;
  {
    linux_platform::MouseLockOptions lockOptions;
    lockOptions.command = "tandemoctl";
    lockOptions.wait = std::chrono::milliseconds(0);
    auto held = linux_platform::MouseLock::acquire(lockOptions);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->file(), folder / "tandemo" / "mouse.lock");
    EXPECT_EQ(runOnline(options, out, err), 1);
    EXPECT_EQ(err.str(), "tandemoctl: the mouse is in use by tandemoctl (pid " + std::to_string(::getpid()) + ")\n");
    // The virtual mouse is private to its command: no lock.
    EXPECT_EQ(run({"firmware", "--simulate", "--state", path}), Outcome(0, "1.07\n", ""));
  }
  err.str("");
  EXPECT_EQ(runOnline(options, out, err), 3);  // the real mouse, which is not here
  EXPECT_EQ(err.str(), "The Rival 500 is not plugged in.\n");
  EXPECT_THAT(fake.calls(), IsEmpty());
}

}  // namespace
}  // namespace tandemo
