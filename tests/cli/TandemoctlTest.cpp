#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "Tandemoctl.h"
#include "model/StateCodec.h"

namespace tandemo {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::Pair;
using ::testing::StartsWith;
using Outcome = std::tuple<int, std::string, std::string>;  // exit status, standard output, standard error

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

class Tandemoctl : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(folder); }
  void TearDown() override { std::filesystem::remove_all(folder); }
  Outcome run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runTandemoctl(args, out, err);
    return {status, out.str(), err.str()};
  }
  std::string stateFile(const AppState& state = AppState::wowDefault()) {
    const std::string path = (folder / ("state" + std::to_string(++files) + ".json")).string();
    std::ofstream(path) << encodeState(state);
    return path;
  }
  static std::string data(const std::string& name) { return std::string(TANDEMO_TEST_DATA) + "/" + name; }

  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
      ("tandemoctl-" + std::to_string(::getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  int files = 0;
};

TEST_F(Tandemoctl, PacketsPrintsOneLinePerPacketInSendOrder) {
  const std::string path = stateFile();
  const auto [status, out, err] = run({"packets", "--state", path});
  EXPECT_EQ(std::tie(status, err), std::tuple(0, ""));
  std::vector<std::pair<std::string, long>> heads;  // each line's type and command, and its byte count
  for (const std::string& line : split(out)) {
    heads.emplace_back(line.substr(0, line.find(' ', line.find(' ') + 1)), std::count(line.begin(), line.end(), ' '));
  }
  EXPECT_THAT(heads, ElementsAre(Pair("output 03", 6), Pair("output 03", 6), Pair("output 04", 3),
                                 Pair("feature 05", 163), Pair("feature 05", 163), Pair("feature 31", 77)));
  EXPECT_THAT(out, StartsWith("output 03 00 01 07 00 42\n"));
  EXPECT_EQ(run({"packets", "--state", path, "--save"}), Outcome(0, out + "output 09 00\n", ""));

  AppState dark = AppState::wowDefault();
  dark.hardware.wheel.stops.clear();
  EXPECT_EQ(run({"packets", "--state", stateFile(dark)}), Outcome(1, "", "A light needs at least one color.\n"));
}

TEST_F(Tandemoctl, ShowTsvListsControlsInDisplayOrderThenProfiles) {
  const auto [status, out, err] = run({"show", "--tsv", "--state", data("valid-example.json")});
  EXPECT_EQ(status, 0);
  const auto lines = split(out);
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[3], "control\ttiltLeft\tWheel tilt left\tScroll left (tilt)");
  EXPECT_EQ(lines[13], "control\tbutton9\tThumb · bottom right\tApp-controlled");
  EXPECT_EQ(lines[14], "control\tbutton8\tFlick switch (lockable)\tMouse button 8");
  EXPECT_EQ(lines[15], "profile\t6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A\tWorld of Warcraft");
  EXPECT_EQ(lines[16], "action\tbutton9\tMouse button 9\t1");
  EXPECT_EQ(lines[18], "action\tbutton12\t“gg” → wait 50 ms → Mouse 4\t0");
}

TEST_F(Tandemoctl, ValidateTellsValidInvalidAndUnreadableApart) {
  const std::string fifo = (folder / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::tuple<int, std::string, std::string, std::string> cases[] = {  // status, file, output, error start
      {0, data("valid-example.json"), "valid\n", ""},
      {1, data("unknown-button.json"), "", "invalid: profiles[1].actions[6]: "},
      {1, data("dpi-exponent-overflow.json"), "", "invalid: (document): not valid JSON: number overflow"},
      {2, (folder / "nothing-here.json").string(), "", "tandemoctl: "},
      {2, fifo, "", "tandemoctl: cannot read " + fifo + ": it is a FIFO (named pipe), not a regular file\n"}};
  for (const auto& [status, path, output, error] : cases) {
    SCOPED_TRACE(path);
    const auto [actualStatus, out, err] = run({"validate", path});
    EXPECT_EQ(std::tie(actualStatus, out), std::tie(status, output));
    EXPECT_THAT(err, StartsWith(error));
  }
}

TEST_F(Tandemoctl, StatePrintsADocumentThatDecodesToTheLoadedState) {
  AppState state = AppState::wowDefault();
  state.autoSwitch = false;
  const auto [status, out, err] = run({"state", "--state", stateFile(state)});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(decodeState(out).value(), state);
}

// An empty settings file name once meant the default file, which `reset` then overwrote.
TEST_F(Tandemoctl, BadArgumentsExitWithTwo) {
  ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"packets", "--bogus"}, {"validate"}, {"write", "--simulate", "--save", "--no-save"},
           {"write", "--simulate-refuse", "2"}, {"firmware", "--simulate", "--simulate-firmware", "256"},
           {"reset", "--simulate", "--state", ""}, {"reset", "--simulate", "--state="}, {"state", "--state", ""},
           {"show", "--state="}, {"packets", "--state", ""}, {"validate", ""}}) {
    EXPECT_EQ(std::get<0>(run(args)), 2) << ::testing::PrintToString(args);
  }
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_FALSE(std::filesystem::exists(folder / "Tandemo"));
}

// Whatever the command and format, a file that exists but cannot be used gives one warning line
// and the default settings; a missing file gives them silently.
TEST_F(Tandemoctl, OfflineCommandsWarnOnceWhenTheFileCannotBeUsed) {
  const std::string fifo = (folder / "fifo").string(), missing = (folder / "missing.json").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Profile ids of the default settings are new on every load; the first line of `show` names the file.
  const auto comparable = [](const std::string& text, bool dropFirstLine) {
    const std::string masked = std::regex_replace(text, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"), "ID");
    return dropFirstLine ? masked.substr(masked.find('\n')) : masked;
  };
  for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
           {"state"}, {"packets"}, {"show"}, {"show", "--tsv"}}) {
    for (const std::string& file : {data("garbage.json"), data("dpi-below-int64.json"), fifo}) {
      SCOPED_TRACE(::testing::PrintToString(command) + " " + file);
      std::vector<std::string> args = command;
      args.insert(args.end(), {"--state", file});
      const auto [status, out, err] = run(args);
      args.back() = missing;
      const auto [defaultStatus, defaultOut, defaultErr] = run(args);
      EXPECT_EQ(std::tie(status, defaultStatus, defaultErr), std::tuple(0, 0, ""));
      EXPECT_THAT(split(err), ElementsAre(AllOf(StartsWith("tandemoctl: " + file + " cannot be used ("),
                                                EndsWith("); using the default settings"))));
      const bool readable = command == std::vector<std::string>{"show"};
      EXPECT_EQ(comparable(out, readable), comparable(defaultOut, readable));
    }
  }
}

TEST_F(Tandemoctl, WriteWithSaveSendsSevenPacketsAfterTheFirmwareQuery) {
  const auto [status, out, err] = run({"write", "--simulate", "--save", "--simulate-trace", "--state", stateFile()});
  EXPECT_EQ(std::tie(status, err), std::tuple(0, ""));
  std::vector<std::string> lines = split(out);
  for (std::string& line : lines) line = line.substr(0, line.find(" 00"));
  EXPECT_THAT(lines, ElementsAre("Written and saved to the mouse's memory", "mouse: output 10", "mouse: output 03",
                                 "mouse: output 03", "mouse: output 04", "mouse: feature 05", "mouse: feature 05",
                                 "mouse: feature 31", "mouse: output 09"));
}

TEST_F(Tandemoctl, WriteExitsWithOneWhenRefusedAndThreeWithoutTheMouse) {
  const std::string path = stateFile();
  EXPECT_EQ(run({"write", "--simulate", "--simulate-refuse", "3", "--state", path}),
            Outcome(1, "", "The mouse refused a packet (04 00): another program has the mouse open exclusively\n"));
  for (const char* command : {"write", "reset", "firmware"}) {
    EXPECT_EQ(run({command, "--simulate", "--simulate-unplugged", "--state", path}),
              Outcome(3, "", "The Rival 500 is not plugged in.\n")) << command;
  }
  EXPECT_EQ(run({"status", "--simulate", "--simulate-unplugged", "--state", path}),
            Outcome(3, "connected: no\nfirmware: unknown\nkeyboard: absent\nprofile: Everywhere else\n",
                    "The Rival 500 is not plugged in.\n"));
}

TEST_F(Tandemoctl, OnlineCommandsReportTheMouseAndNeedABackend) {
  const std::string path = stateFile();
  // The command line never seizes the keyboard interface, even with controls bridged.
  EXPECT_EQ(run({"status", "--simulate", "--state", path}),
            Outcome(0, "connected: yes\nfirmware: 1.07\nkeyboard: idle\nprofile: Everywhere else\n", ""));
  EXPECT_EQ(run({"firmware", "--simulate", "--simulate-firmware", "123", "--state", path}), Outcome(0, "1.23\n", ""));
  EXPECT_EQ(run({"firmware", "--simulate", "--simulate-firmware", "none", "--state", path}),
            Outcome(1, "", "The mouse did not answer.\n"));
  // The settings ask for saving; --no-save wins, so no save packet follows the configuration.
  const auto [status, out, err] = run({"write", "--simulate", "--no-save", "--simulate-trace", "--state", path});
  EXPECT_EQ(std::tie(status, err), std::tuple(0, ""));
  EXPECT_THAT(split(out).front(), "Written to the mouse");
  EXPECT_EQ(out.find("mouse: output 09"), std::string::npos);
  EXPECT_EQ(std::get<0>(run({"status", "--state", path})), 3);
}

}  // namespace
}  // namespace tandemo
