#include <gtest/gtest.h>

#include <thread>

#include "core/VirtualLoop.h"
#include "hid/HIDLink.h"
#include "sim/VirtualRival500.h"

namespace tandemo {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Reports = std::vector<std::pair<std::uint32_t, Bytes>>;
using Answers = std::vector<std::optional<std::string>>;
using State = HIDLink::KeyboardState;
using Rival500::Packet;
using Rival500::ReportType;

const std::string kTakeOver = "Taking over the mouse's extra buttons";
const std::string kNeedsPermission =
    "Tandemo needs permission to read the mouse's input devices before it can read the extra buttons";
const std::string kExclusive = "another program has the mouse open exclusively";

Packet out(std::uint8_t command) { return {ReportType::output, {command, 0x00}}; }
std::vector<Packet> six() { return {out(1), out(2), out(3), out(4), out(5), out(6)}; }
Bytes padded(std::uint8_t command) {
  Bytes bytes(32, 0x00);
  bytes[0] = command;
  return bytes;
}

class HIDLinkTest : public ::testing::Test {
 protected:
  // Creates the link, then installs the callbacks, as its owner does.
  void start(bool pluggedIn = true) {
    if (!pluggedIn) mouse.unplug();
    loop.runUntilIdle();
    link = std::make_unique<HIDLink>(loop, mouse, "org.tandemo.Tandemo");
    link->log = [this](const std::string& line) { logs.push_back(line); };
    link->onKeyboardState = [this](const State& state) { states.push_back(state); };
    link->onVendorConnection = [this](bool connected) { connections.push_back(connected); };
    link->onKeyboardReport = [this](std::uint32_t id, Bytes bytes) { reports.emplace_back(id, std::move(bytes)); };
  }
  HIDLink::WriteCompletion recordWrite() {
    return [this](HIDLink::WriteResult result) { writes.emplace_back(std::move(result), loop.elapsed()); };
  }
  static HIDLink::FirmwareCompletion record(Answers& into) {
    return [&into](std::optional<std::string> version) { into.push_back(std::move(version)); };
  }

  VirtualLoop loop;
  sim::VirtualRival500 mouse{loop};
  std::vector<std::string> logs;
  std::vector<State> states;
  std::vector<bool> connections;
  Reports reports;
  std::vector<std::pair<HIDLink::WriteResult, MainLoop::Duration>> writes;
  std::unique_ptr<HIDLink> link;  // last: goes before what it uses
};

// ---- discovery and seizing ----

TEST_F(HIDLinkTest, ConnectionAndSeizeFollowTheMouseAcrossReplugging) {
  start(/*pluggedIn=*/false);
  link->write({out(3)}, recordWrite());
  ASSERT_EQ(writes.size(), 1u);  // before write() returned
  EXPECT_EQ(writes[0].first.error().description(), "The Rival 500 is not plugged in.");
  link->setSeizeWanted(true);  // nothing known yet
  const auto replug = [&](IOReturn openResult) {
    mouse.unplug();
    mouse.setConfigurationOpenResult(openResult);
    mouse.plugIn();
    loop.runUntilIdle();
  };
  replug(kIOReturnSuccess);
  EXPECT_TRUE(link->isConnected() && mouse.keyboardSeized());
  replug(kIOReturnExclusiveAccess);
  EXPECT_FALSE(link->isConnected());
  replug(kIOReturnSuccess);  // the interface never opened goes without a word
  EXPECT_TRUE(link->isConnected() && mouse.keyboardSeized());
  const std::string connected = "Rival 500 connected";
  EXPECT_EQ(logs, (std::vector<std::string>{connected, kTakeOver, "Rival 500 disconnected",
                                            "Could not open the configuration interface: " + kExclusive, kTakeOver,
                                            connected, kTakeOver}));  // no release line
  EXPECT_EQ(states, (std::vector<State>{State::idle(), State::seized(), State::absent(), State::idle(),
                                        State::seized(), State::absent(), State::idle(), State::seized()}));
  EXPECT_EQ(connections, (std::vector<bool>{true, false, true}));
}

TEST_F(HIDLinkTest, MouseFoundAtConstructionIsSilentSeizeRefusalsAreNot) {
  start();
  EXPECT_TRUE(link->isConnected());
  EXPECT_EQ(link->keyboardState(), State::idle());  // the keyboard interface is only noted
  EXPECT_TRUE(logs.empty() && states.empty() && connections.empty());
  link->setSeizeWanted(true);
  link->setSeizeWanted(true);
  link->retrySeize();  // already seized: nothing
  link->setSeizeWanted(false);
  mouse.setSeizeResult(kIOReturnNotPermitted);
  link->setSeizeWanted(true);
  link->setSeizeWanted(false);  // nothing to release: the state stays
  mouse.setSeizeResult(kIOReturnNotPrivileged);
  link->setSeizeWanted(true);
  mouse.setSeizeResult(kIOReturnExclusiveAccess);
  link->retrySeize();
  link->retrySeize();  // the same failure again: logged, but no new state
  mouse.setSeizeResult(0xE00002C7);
  link->retrySeize();
  mouse.setSeizeResult(std::nullopt);  // the permission was granted meanwhile
  link->retrySeize();
  EXPECT_TRUE(mouse.keyboardSeized());
  EXPECT_EQ(states, (std::vector<State>{State::seized(), State::idle(), State::needsInputMonitoring(),
                                        State::failed(kExclusive), State::failed("HID error 0xe00002c7"),
                                        State::seized()}));
  const std::string failed = "Could not take over the extra buttons: ";
  EXPECT_EQ(logs, (std::vector<std::string>{kTakeOver, "Released the mouse's extra buttons back to the desktop",
                                            kNeedsPermission, kNeedsPermission, failed + kExclusive,
                                            failed + kExclusive, failed + "HID error 0xe00002c7", kTakeOver}));
}

// The first interface of each kind is the link's; those of a second mouse are ignored.
TEST_F(HIDLinkTest, FirstInterfacesWinAndReportsLoseOnlyALeadingReportIDByte) {
  mouse.setKeyboardUsagePage(std::nullopt);  // no usage page: taken as the keyboard
  start();
  sim::VirtualRival500 other{loop};  // a second mouse, whose interfaces come and go unheeded
  mouse.announce(other.configurationInterface(), true);
  mouse.announce(other.keyboardInterface(), true);
  mouse.announce(other.configurationInterface(), false);
  loop.runUntilIdle();
  link->setSeizeWanted(true);
  link->write({out(3)}, recordWrite());
  loop.advance(1s);
  EXPECT_TRUE(link->isConnected() && mouse.keyboardSeized() && !other.keyboardSeized());
  EXPECT_EQ(mouse.reports().size(), 1u);

  Bytes tooLong(70, 0xAA);
  tooLong[0] = 1;
  const Reports delivered = {{1, {1, 0x00, 0x6E}}, {0, {0x00, 0x04}}, {2, {0x01, 0xE9}}, {2, {0x02}}, {1, {}},
                             {1, tooLong}};
  for (const auto& [id, bytes] : delivered) mouse.sendKeyboardReport(id, bytes);
  loop.runUntilIdle();
  // Unnumbered or not led by the ID: unchanged; cut to 64 bytes before the ID goes.
  EXPECT_EQ(reports, (Reports{{1, {0x00, 0x6E}}, {0, {0x00, 0x04}}, {2, {0x01, 0xE9}}, {2, {}}, {1, {}},
                              {1, Bytes(63, 0xAA)}}));
}

// ---- writing ----

// The pacing of a write that succeeds: OutputReportsArePaddedAndWritesNeverInterleave.
TEST_F(HIDLinkTest, ARefusedPacketOrUnpluggingEndsTheWriteAtOnce) {
  start();
  mouse.refuseReport(3, kIOReturnExclusiveAccess);
  link->write(six(), recordWrite());
  loop.advance(1s);
  EXPECT_EQ(mouse.reports().size(), 3u);  // 4 to 6 never sent
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].second, 100ms);  // no pause after the refusal
  const auto& error = writes[0].first.error();
  EXPECT_EQ(error, (HIDLink::LinkError{HIDLink::LinkError::Write{out(3), kExclusive}}));
  EXPECT_EQ(error.description(), "The mouse refused a packet (03 00): " + kExclusive);

  link->write({out(1), out(2), out(3)}, recordWrite());
  loop.runUntilIdle();
  mouse.unplug();
  mouse.plugIn();
  loop.advance(1s);
  EXPECT_EQ(mouse.reports().size(), 4u);  // the second went to the old interface; the new one got none
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].second, 1050ms);
  EXPECT_EQ(writes[1].first.error().description(), "The mouse refused a packet (02 00): HID error 0xe00002c0");
}

TEST_F(HIDLinkTest, OutputReportsArePaddedAndWritesNeverInterleave) {
  start();
  const Bytes feature(77, 0x5A);
  const Bytes longOutput(40, 0x31);
  link->write({out(0x10), {ReportType::feature, feature}}, recordWrite());  // answered, though nobody asked
  link->write({{ReportType::output, longOutput}, out(4)}, recordWrite());
  loop.advance(1s);
  using Received = std::vector<sim::ReceivedReport>;
  EXPECT_EQ(mouse.reports(), (Received{{HidReportType::output, 0, padded(0x10)}, {HidReportType::feature, 0, feature},
                                       {HidReportType::output, 0, longOutput}, {HidReportType::output, 0, padded(4)}}));
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].second, 100ms);
  EXPECT_EQ(writes[1].second, 200ms);
}

TEST_F(HIDLinkTest, DestroyingTheLinkDropsWhatWasPostedAndQueuedAndDetaches) {
  mouse.refuseReport(1, kIOReturnNotOpen);
  start();
  link->setSeizeWanted(true);
  Answers answers;
  link->write({out(3)}, recordWrite());
  link->readFirmware(record(answers));
  link->write(six(), recordWrite());
  while (mouse.reports().size() < 2) std::this_thread::yield();  // refusal and answer on their way
  link.reset();  // joins the write queue: both are posted by now
  mouse.unplug();
  mouse.plugIn();
  loop.advance(1s);
  EXPECT_EQ(mouse.reports().size(), 2u);
  EXPECT_TRUE(writes.empty());
  EXPECT_TRUE(answers.empty());
  EXPECT_FALSE(mouse.keyboardSeized());
}

// ---- firmware ----

TEST_F(HIDLinkTest, FirmwareVersionIsReadFromTheFirstByteOfTheAnswer) {
  start();
  const std::pair<Bytes, std::optional<std::string>> rows[] = {
      {{107, 0x00, 0x7F}, "1.07"}, {{123, 0x00}, "1.23"}, {{9, 0x00}, "0.09"}, {{255, 0x00}, "2.55"},
      {{0x6B}, std::nullopt}};  // too short: ends the query at once with nothing
  for (const auto& [answer, version] : rows) {
    Answers answers;
    mouse.setFirmwareAnswer(answer);
    link->readFirmware(record(answers));
    loop.advance(50ms);  // the query and its pause
    EXPECT_EQ(answers, Answers{version});
  }
}

TEST_F(HIDLinkTest, EachQueryEndsOnlyItselfAndUnpluggingEndsItOnce) {
  mouse.refuseReport(1, kIOReturnNotOpen);
  start();
  Answers replaced, later, first, second;
  link->readFirmware(record(replaced));
  link->readFirmware(record(later));  // the refusal of the one before must not end this one
  loop.advance(50ms);
  EXPECT_EQ(later, Answers{"1.07"});
  EXPECT_TRUE(replaced.empty());

  mouse.setFirmwareAnswer(std::nullopt);
  link->readFirmware(record(first));
  loop.advance(300ms);
  link->readFirmware(record(second));
  loop.advance(500ms - 1ns);  // the first query's check passed
  EXPECT_TRUE(second.empty());
  loop.advance(1ns);
  EXPECT_EQ(second, Answers{std::nullopt});
  EXPECT_TRUE(first.empty());  // replaced, never called

  Answers unplugged;
  link->readFirmware(record(unplugged));
  mouse.unplug();
  loop.advance(1s);
  EXPECT_EQ(unplugged, Answers{std::nullopt});  // exactly once
  link->readFirmware(record(unplugged));  // not connected: nothing, at once
  EXPECT_EQ(unplugged, (Answers{std::nullopt, std::nullopt}));
}

// The codes the Linux backend's errno tests do not reach, and a packet with no bytes.
TEST(HIDLinkTexts, ReturnCodesAndRefusedPackets) {
  EXPECT_EQ(describe(kIOReturnNotPrivileged), "not permitted");
  EXPECT_EQ(describe(kIOReturnBadArgument), "bad argument");
  EXPECT_EQ(describe(0x1), "HID error 0x00000001");
  const HIDLink::LinkError empty{HIDLink::LinkError::Write{{ReportType::output, {}}, "bad argument"}};
  EXPECT_EQ(empty.description(), "The mouse refused a packet (): bad argument");
}

}  // namespace
}  // namespace tandemo
