#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Tandemoctl.h"
#include "model/StateCodec.h"

namespace tandemo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);) result.push_back(line);
    return result;
  }
};

std::string hexLine(const char* type, const std::vector<int>& bytes) {
  std::string line = type;
  char hex[4];
  for (int byte : bytes) {
    std::snprintf(hex, sizeof hex, " %02x", byte);
    line += hex;
  }
  return line;
}

// The factory light packet's data, from the mouse's documented layout.
std::vector<int> factoryLight(int led) {
  std::vector<int> data = {0x05, 0x00, led, 0x1D, 0x01, 0x02, 0x31, 0x51, 0xFF, 0xC8, 0x00,
                           0x00, 0x00, 0x00, 0x0B, 0xF6, 0x00, 0x4A, 0x01,
                           0x01, 0x00, 0xF4, 0xFF, 0x0C, 0x00, 0x4A, 0x01,
                           0x02, 0x00, 0x0C, 0xF7, 0xFF, 0x00, 0x54, 0x01};
  data.resize(141, 0x00);
  data.insert(data.end(), {0xF0, 0x0F, 0x00, 0x00, 0x10, 0x0E, 0xFF, 0x00, 0xDC, 0x05, 0x8A, 0x02,
                           0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x03, 0x00, 0xE8, 0x03});
  return data;
}

class Tandemoctl : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("tandemoctl-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  Outcome run(std::vector<std::string> args) {
    std::ostringstream out, err;
    Outcome result;
    result.status = runTandemoctl(args, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
  }
  std::string file(const std::string& name) const { return (folder_ / name).string(); }
  std::string stateFile(const AppState& state, const std::string& name = "state.json") {
    std::ofstream(file(name)) << encodeState(state);
    return file(name);
  }
  static AppState factoryState() {
    AppState state = AppState::wowDefault();
    state.hardware = HardwareConfig::factory();
    return state;
  }
  static std::string data(const std::string& name) { return std::string(TANDEMO_TEST_DATA) + "/" + name; }

 private:
  std::filesystem::path folder_;
};

// ---- offline commands ----

TEST_F(Tandemoctl, PacketsOfTheFactoryStateAreByteExact) {
  const std::string path = stateFile(factoryState());
  const Outcome packets = run({"packets", "--state", path});
  EXPECT_EQ(packets.status, 0);
  EXPECT_EQ(packets.err, "");
  EXPECT_THAT(packets.lines(),
              ElementsAre("output 03 00 01 07 00 42", "output 03 00 02 0f 00 42", "output 04 00 01",
                          hexLine("feature", factoryLight(0)), hexLine("feature", factoryLight(1)),
                          hexLine("feature", {0x31, 0x00, 1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0,
                                              5, 0, 0, 0, 0, 6, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                              0x30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x33, 0, 0, 0, 0,
                                              0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0})));

  const Outcome saved = run({"packets", "--state", path, "--save"});
  EXPECT_EQ(saved.out, packets.out + "output 09 00\n");
}

TEST_F(Tandemoctl, UnencodableLightFailsWithoutPrintingPackets) {
  AppState state = factoryState();
  state.hardware.wheel.stops.clear();
  const Outcome result = run({"packets", "--state", stateFile(state)});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "A light needs at least one color.\n");
}

TEST_F(Tandemoctl, ShowTsvListsControlsInDisplayOrderThenProfiles) {
  const Outcome result = run({"show", "--tsv", "--state", data("valid-example.json")});
  EXPECT_EQ(result.status, 0);
  const auto lines = result.lines();
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[0], "control\tbutton1\tLeft click\tLeft click");
  EXPECT_EQ(lines[3], "control\ttiltLeft\tWheel tilt left\tScroll left (tilt)");
  EXPECT_EQ(lines[13], "control\tbutton9\tThumb · bottom right\tApp-controlled");
  EXPECT_EQ(lines[14], "control\tbutton8\tFlick switch (lockable)\tMouse button 8");
  EXPECT_EQ(lines[15], "profile\t6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A\tWorld of Warcraft");
  EXPECT_EQ(lines[16], "action\tbutton9\tMouse button 9\t1");
  EXPECT_EQ(lines[18], "action\tbutton12\t“gg” → wait 50 ms → Mouse 4\t0");
}

TEST_F(Tandemoctl, ValidateTellsValidInvalidAndUnreadableApart) {
  const Outcome valid = run({"validate", data("valid-example.json")});
  EXPECT_EQ(valid.status, 0);
  EXPECT_EQ(valid.out, "valid\n");

  const Outcome invalid = run({"validate", data("unknown-button.json")});
  EXPECT_EQ(invalid.status, 1);
  EXPECT_EQ(invalid.out, "");
  EXPECT_THAT(invalid.err, StartsWith("invalid: profiles[1].actions[6]: "));

  const Outcome missing = run({"validate", file("nothing-here.json")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_THAT(missing.err, StartsWith("tandemoctl: "));
}

TEST_F(Tandemoctl, StatePrintsADocumentThatDecodesToTheLoadedState) {
  AppState state = AppState::wowDefault();
  state.hardware.dpi2 = 2400;
  state.autoSwitch = false;
  const Outcome result = run({"state", "--state", stateFile(state)});
  EXPECT_EQ(result.status, 0);
  auto decoded = decodeState(result.out);
  ASSERT_TRUE(decoded) << decoded.error().describe();
  EXPECT_EQ(*decoded, state);
}

TEST_F(Tandemoctl, BadArgumentsExitWithTwo) {
  EXPECT_EQ(run({}).status, 2);
  EXPECT_EQ(run({"frobnicate"}).status, 2);
  EXPECT_EQ(run({"packets", "--bogus"}).status, 2);
  EXPECT_EQ(run({"validate"}).status, 2);
  EXPECT_EQ(run({"write", "--simulate", "--save", "--no-save"}).status, 2);
  EXPECT_EQ(run({"write", "--simulate-refuse", "2"}).status, 2);  // needs --simulate
  EXPECT_EQ(run({"firmware", "--simulate", "--simulate-firmware", "256"}).status, 2);
}

// ---- commands that talk to the mouse ----

TEST_F(Tandemoctl, WriteWithSaveSendsSevenPacketsAfterTheFirmwareQuery) {
  const Outcome result = run({"write", "--simulate", "--save", "--simulate-trace", "--state", stateFile(factoryState())});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  const auto lines = result.lines();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "Written and saved to the mouse's memory");
  std::vector<std::string> commands;
  for (std::size_t i = 1; i < lines.size(); ++i) commands.push_back(lines[i].substr(0, lines[i].find(" 00")));
  EXPECT_THAT(commands, ElementsAre("mouse: output 10", "mouse: output 03", "mouse: output 03", "mouse: output 04",
                                    "mouse: feature 05", "mouse: feature 05", "mouse: feature 31",
                                    "mouse: output 09"));
}

TEST_F(Tandemoctl, WriteFollowsSaveToOnboardMemoryUnlessTold) {
  AppState state = factoryState();
  state.saveToOnboardMemory = false;
  const std::string path = stateFile(state);
  const Outcome plain = run({"write", "--simulate", "--simulate-trace", "--state", path});
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.lines().front(), "Written to the mouse");
  EXPECT_THAT(plain.out, ::testing::Not(HasSubstr("output 09")));

  const Outcome saved = run({"write", "--simulate", "--save", "--state", path});
  EXPECT_EQ(saved.out, "Written and saved to the mouse's memory\n");
  state.saveToOnboardMemory = true;
  const Outcome unsaved = run({"write", "--simulate", "--no-save", "--state", stateFile(state)});
  EXPECT_EQ(unsaved.out, "Written to the mouse\n");
}

TEST_F(Tandemoctl, WriteFailuresExitWithOne) {
  const std::string path = stateFile(factoryState());
  const Outcome refused = run({"write", "--simulate", "--simulate-refuse", "3", "--state", path});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "The mouse refused a packet (04 00): another program has the mouse open exclusively\n");

  AppState dark = factoryState();
  dark.hardware.logo.durationMs = 30001;
  const Outcome unencodable = run({"write", "--simulate", "--simulate-trace", "--state", stateFile(dark, "dark.json")});
  EXPECT_EQ(unencodable.status, 1);
  EXPECT_EQ(unencodable.err, "Cycle can be at most 30 seconds.\n");
  for (const std::string& line : unencodable.lines()) {
    EXPECT_THAT(line, StartsWith("mouse: output 10 "));  // at most the firmware query at start-up
  }
}

TEST_F(Tandemoctl, NoMouseExitsWithThree) {
  const std::string path = stateFile(factoryState());
  for (const char* command : {"write", "reset", "firmware"}) {
    const Outcome result = run({command, "--simulate", "--simulate-unplugged", "--state", path});
    EXPECT_EQ(result.status, 3) << command;
    EXPECT_EQ(result.out, "") << command;
    EXPECT_EQ(result.err, "The Rival 500 is not plugged in.\n") << command;
  }
  const Outcome status = run({"status", "--simulate", "--simulate-unplugged", "--state", path});
  EXPECT_EQ(status.status, 3);
  EXPECT_THAT(status.lines(), ElementsAre("connected: no", "firmware: unknown", "keyboard: absent",
                                          "profile: Everywhere else"));

  const Outcome noBackend = run({"status", "--state", path});
  EXPECT_EQ(noBackend.status, 3);
  EXPECT_EQ(noBackend.err, "tandemoctl: no device backend is built yet; use --simulate\n");
}

TEST_F(Tandemoctl, StatusAndFirmwareReportTheMouse) {
  const Outcome bridged = run({"status", "--simulate", "--state", stateFile(AppState::wowDefault())});
  EXPECT_EQ(bridged.status, 0);
  EXPECT_THAT(bridged.lines(),
              ElementsAre("connected: yes", "firmware: 1.07", "keyboard: seized", "profile: Everywhere else"));
  AppState pinned = factoryState();
  pinned.pinnedProfileID = pinned.profiles[0].id;
  const Outcome plain = run({"status", "--simulate", "--simulate-firmware", "9", "--state", stateFile(pinned, "p.json")});
  EXPECT_THAT(plain.lines(),
              ElementsAre("connected: yes", "firmware: 0.09", "keyboard: idle", "profile: World of Warcraft"));

  const Outcome firmware = run({"firmware", "--simulate", "--simulate-firmware", "123"});
  EXPECT_EQ(firmware.status, 0);
  EXPECT_EQ(firmware.out, "1.23\n");
  const Outcome silent = run({"firmware", "--simulate", "--simulate-firmware", "none"});
  EXPECT_EQ(silent.status, 1);
  EXPECT_EQ(silent.out, "");
  EXPECT_EQ(silent.err, "The mouse did not answer.\n");
}

TEST_F(Tandemoctl, ResetStoresTheFactoryConfigurationAndKeepsTheRest) {
  AppState state = AppState::wowDefault();
  state.hardware.dpi1 = 3200;
  state.autoSwitch = false;
  const std::string path = stateFile(state);
  const Outcome result = run({"reset", "--simulate", "--simulate-trace", "--state", path});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.lines().front(), "Written and saved to the mouse's memory");
  EXPECT_THAT(result.out, HasSubstr("mouse: output 09 00"));

  std::ifstream saved(path);
  const std::string text{std::istreambuf_iterator<char>(saved), std::istreambuf_iterator<char>()};
  auto decoded = decodeState(text);
  ASSERT_TRUE(decoded) << decoded.error().describe();
  AppState expected = state;
  expected.hardware = HardwareConfig::factory();
  EXPECT_EQ(*decoded, expected);
}

}  // namespace
}  // namespace tandemo
