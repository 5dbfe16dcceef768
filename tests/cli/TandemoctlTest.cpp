#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
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
using ::testing::StartsWith;
using Outcome = std::tuple<int, std::string, std::string>;  // exit status, standard output, standard error
using Args = std::vector<std::string>;

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Every command runs alone here: no session bus, and the lock and default settings inside `folder`.
class Tandemoctl : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder);
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) ::setenv(name, folder.c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (folder / "no-bus").string()).c_str(), 1);
  }
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
  static std::string data(const std::string& name) { return std::string(TANDEMO_TEST_DATA) + "/" + name; }

  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
      ("tandemoctl-" + std::to_string(::getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  int files = 0;
};

// `packets` lists what a write sends, in order; the mouse receives exactly that after the firmware query.
TEST_F(Tandemoctl, WriteSendsWhatPacketsLists) {
  const std::string path = stateFile();
  const auto [status, out, err] = run({"packets", "--state", path});
  EXPECT_EQ(std::tie(status, err), std::tuple(0, ""));
  std::vector<std::pair<std::string, long>> heads;  // each line's type and command, and its byte count
  for (const std::string& line : split(out)) {
    heads.emplace_back(line.substr(0, line.find(' ', line.find(' ') + 1)), std::count(line.begin(), line.end(), ' '));
  }
  EXPECT_THAT(heads, ElementsAre(std::pair("output 03", 6), std::pair("output 03", 6), std::pair("output 04", 3),
                                 std::pair("feature 05", 163), std::pair("feature 05", 163),
                                 std::pair("feature 31", 77)));
  EXPECT_THAT(out, StartsWith("output 03 00 01 07 00 42\n"));
  // The mouse's reports are padded with zeros to their full size.
  const auto unpadded = [](const std::string& text) { return std::regex_replace(text, std::regex("( 00)+\n"), "\n"); };
  for (const bool save : {false, true}) {
    const auto [written, trace, writeErr] =
        run({"write", "--simulate", "--simulate-trace", "--state", path, save ? "--save" : "--no-save"});
    std::vector<std::string> lines = split(trace);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], save ? "Written and saved to the mouse's memory" : "Written to the mouse");
    EXPECT_THAT(lines[1], StartsWith("mouse: output 10"));
    std::string sent;
    for (std::size_t i = 2; i < lines.size(); ++i) sent += lines[i].substr(std::string("mouse: ").size()) + "\n";
    EXPECT_EQ(unpadded(sent), unpadded(save ? out + "output 09 00\n" : out)) << "save " << save;
  }
  EXPECT_EQ(run({"packets", "--state", path, "--save"}), Outcome(0, out + "output 09 00\n", ""));
  AppState dark = AppState::wowDefault();
  dark.hardware.wheel.stops.clear();
  EXPECT_EQ(run({"packets", "--state", stateFile(dark)}), Outcome(1, "", "A light needs at least one color.\n"));
}

// Alone against the virtual mouse: each failure has its message and exit status.
TEST_F(Tandemoctl, OnlineCommandsAloneExitAsDocumented) {
  const std::string path = stateFile(), unplugged = "The Rival 500 is not plugged in.\n";
  const std::pair<Args, Outcome> cases[] = {
      {{"status"}, {0, "connected: yes\nfirmware: 1.07\nkeyboard: idle\nprofile: Everywhere else\n", ""}},
      {{"firmware", "--simulate-firmware", "123"}, {0, "1.23\n", ""}},
      {{"firmware", "--simulate-firmware", "none"}, {1, "", "The mouse did not answer.\n"}},
      {{"write", "--simulate-refuse", "3"},
       {1, "", "The mouse refused a packet (04 00): another program has the mouse open exclusively\n"}},
      {{"status", "--simulate-unplugged"},
       {3, "connected: no\nfirmware: unknown\nkeyboard: absent\nprofile: Everywhere else\n", unplugged}},
      {{"write", "--simulate-unplugged"}, {3, "", unplugged}},
      {{"reset", "--simulate-unplugged"}, {3, "", unplugged}},
      {{"firmware", "--simulate-unplugged"}, {3, "", unplugged}},
  };
  for (auto [args, outcome] : cases) {
    args.insert(args.end(), {"--simulate", "--state", path});
    EXPECT_EQ(run(args), outcome) << ::testing::PrintToString(args);
  }
  EXPECT_EQ(std::get<0>(run({"status", "--state", path})), 3);  // the real mouse, which is not here
}

// Pinning alone edits the file; a file that cannot be used is never replaced for the sake of a pin.
TEST_F(Tandemoctl, PinAloneChangesOnlyThePin) {
  AppState state = AppState::wowDefault();
  const std::string path = stateFile(state);
  const auto pinned = [&path] {
    std::ifstream in(path);
    return decodeState(std::string(std::istreambuf_iterator<char>(in), {})).value().pinnedProfileID;
  };
  const Uuid id = state.profiles.front().id;
  EXPECT_EQ(run({"pin", id.string(), "--state", path}), Outcome(0, "", ""));
  EXPECT_EQ(pinned(), id);
  EXPECT_EQ(std::get<0>(run({"pin", "Nope", "--state", path})), 1);
  EXPECT_EQ(pinned(), id);
  EXPECT_EQ(run({"pin", "auto", "--state", path}), Outcome(0, "", ""));
  EXPECT_EQ(pinned(), std::nullopt);
  const std::string broken = (folder / "broken.json").string();
  std::ofstream(broken) << "{ not json";
  const auto [status, out, err] = run({"pin", "auto", "--state", broken});
  EXPECT_EQ(status, 1);
  EXPECT_THAT(err, EndsWith("; nothing was pinned\n"));
  EXPECT_EQ(std::filesystem::file_size(broken), 10u);
}

TEST_F(Tandemoctl, ShowTsvListsControlsInDisplayOrderThenProfiles) {
  const auto [status, out, err] = run({"show", "--tsv", "--state", data("valid-example.json")});
  EXPECT_EQ(status, 0);
  const auto lines = split(out);
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[13], "control\tbutton9\tThumb · bottom right\tApp-controlled");
  EXPECT_EQ(lines[14], "control\tbutton8\tFlick switch (lockable)\tMouse button 8");
  EXPECT_EQ(lines[15], "profile\t6B1F0C52-3D7E-4A9B-8C21-5F4E3D2C1B0A\tWorld of Warcraft");
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
    const auto [actualStatus, out, err] = run({"validate", path});
    EXPECT_EQ(std::tie(actualStatus, out), std::tie(status, output)) << path;
    EXPECT_THAT(err, StartsWith(error)) << path;
  }
  AppState state = AppState::wowDefault();
  state.autoSwitch = false;
  EXPECT_EQ(decodeState(std::get<1>(run({"state", "--state", stateFile(state)}))).value(), state);
}

// An empty settings file name once meant the default file, which `reset` then overwrote.
TEST_F(Tandemoctl, BadArgumentsExitWithTwo) {
  for (const Args& args : std::vector<Args>{
           {}, {"frobnicate"}, {"packets", "--bogus"}, {"validate"}, {"write", "--simulate", "--save", "--no-save"},
           {"write", "--simulate-refuse", "2"}, {"firmware", "--simulate", "--simulate-firmware", "256"},
           {"reset", "--simulate", "--state", ""}, {"reset", "--simulate", "--state="}, {"state", "--state", ""},
           {"show", "--state="}, {"packets", "--state", ""}, {"validate", ""}, {"pin", ""}}) {
    EXPECT_EQ(std::get<0>(run(args)), 2) << ::testing::PrintToString(args);
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "Tandemo"));
  const auto [status, out, err] = run({"watch"});
  EXPECT_EQ(status, 1);
  EXPECT_THAT(err, StartsWith("tandemoctl: watch needs the session bus: "));
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
  for (const Args& command : std::vector<Args>{{"state"}, {"packets"}, {"show"}, {"show", "--tsv"}}) {
    for (const std::string& file : {data("garbage.json"), data("dpi-below-int64.json"), fifo}) {
      SCOPED_TRACE(::testing::PrintToString(command) + " " + file);
      Args args = command;
      args.insert(args.end(), {"--state", file});
      const auto [status, out, err] = run(args);
      args.back() = missing;
      const auto [defaultStatus, defaultOut, defaultErr] = run(args);
      EXPECT_EQ(std::tie(status, defaultStatus, defaultErr), std::tuple(0, 0, ""));
      EXPECT_THAT(split(err), ElementsAre(AllOf(StartsWith("tandemoctl: " + file + " cannot be used ("),
                                                EndsWith("); using the default settings"))));
      const bool readable = command == Args{"show"};
      EXPECT_EQ(comparable(out, readable), comparable(defaultOut, readable));
    }
  }
}

}  // namespace
}  // namespace tandemo
