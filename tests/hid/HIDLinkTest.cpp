#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FakeHid.h"
#include "core/VirtualLoop.h"
#include "hid/HIDLink.h"

namespace {

using namespace std::chrono_literals;
using namespace tandemo;
using tandemo::fake::FakeHidDevice;
using tandemo::fake::FakeHidManager;
using Bytes = std::vector<std::uint8_t>;
using Duration = MainLoop::Duration;
using State = HIDLink::KeyboardState;
using Rival500::Packet;
using Rival500::ReportType;

const std::string kTakeOver = "Taking over the mouse's extra buttons";
const std::string kRelease = "Released the mouse's extra buttons back to macOS";
const std::string kNeedsPermission = "macOS needs Input Monitoring permission before Tandemo can read the extra buttons";
const std::string kExclusive = "another program has the mouse open exclusively";

Packet out(std::uint8_t command) { return {ReportType::output, {command, 0x00}}; }

class HIDLinkTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeHidDevice> device(std::optional<std::int64_t> usagePage) {
    return std::make_shared<FakeHidDevice>(loop, usagePage);
  }
  // Creates the link, then installs the callbacks, as its owner does.
  void start() {
    link = std::make_unique<HIDLink>(loop, manager, "org.tandemo.Tandemo");
    link->log = [this](const std::string& line) { logs.push_back(line); };
    link->onKeyboardState = [this](const State& state) { states.push_back(state); };
    link->onVendorConnection = [this](bool connected) { connections.push_back(connected); };
    link->onKeyboardReport = [this](std::uint32_t id, Bytes bytes) { reports.emplace_back(id, std::move(bytes)); };
  }
  void startConnected() {
    manager.devices = {vendor, keyboard};
    start();
  }
  HIDLink::WriteCompletion recordWrite() {
    return [this](HIDLink::WriteResult result) { writes.emplace_back(std::move(result), loop.elapsed()); };
  }
  HIDLink::FirmwareCompletion recordFirmware(std::vector<std::optional<std::string>>& into) {
    return [&into](std::optional<std::string> version) { into.push_back(std::move(version)); };
  }
  static std::vector<Duration> times(const FakeHidDevice& d) {
    std::vector<Duration> result;
    for (const auto& report : d.sent()) result.push_back(report.at);
    return result;
  }

  VirtualLoop loop;
  FakeHidManager manager;
  std::shared_ptr<FakeHidDevice> vendor = device(0xFFC0);
  std::shared_ptr<FakeHidDevice> keyboard = device(1);
  std::vector<std::string> logs;
  std::vector<State> states;
  std::vector<bool> connections;
  std::vector<std::pair<std::uint32_t, Bytes>> reports;
  std::vector<std::pair<HIDLink::WriteResult, Duration>> writes;
  std::unique_ptr<HIDLink> link;  // last: goes before what it uses
};

// ---- discovery ----

TEST_F(HIDLinkTest, MousePluggedInBeforeConstructionIsFoundWithoutTellingAnyone) {
  startConnected();
  EXPECT_TRUE(link->isConnected());
  EXPECT_EQ(link->keyboardState(), State::idle());
  EXPECT_EQ(vendor->opens, std::vector<bool>{false});  // shared, not seized
  EXPECT_TRUE(vendor->hasHandler());
  EXPECT_TRUE(keyboard->opens.empty());  // only noted
  EXPECT_TRUE(logs.empty() && states.empty() && connections.empty());
  EXPECT_TRUE(manager.listening());
  EXPECT_EQ(link->writeQueueLabel(), "org.tandemo.Tandemo.hid-write");
}

TEST_F(HIDLinkTest, ConfigurationInterfaceComesAndGoes) {
  start();
  manager.plugIn(vendor);
  auto second = device(0xFFC0);
  manager.plugIn(second);  // one is enough
  manager.unplug(second);  // not ours: ignored
  EXPECT_TRUE(second->opens.empty());
  EXPECT_EQ(logs, std::vector<std::string>{"Rival 500 connected"});
  manager.unplug(vendor);
  EXPECT_FALSE(link->isConnected());
  EXPECT_FALSE(vendor->hasHandler());
  EXPECT_TRUE(vendor->closes.empty());  // gone, not closed
  EXPECT_EQ(logs, (std::vector<std::string>{"Rival 500 connected", "Rival 500 disconnected"}));
  EXPECT_EQ(connections, (std::vector<bool>{true, false}));
}

TEST_F(HIDLinkTest, ConfigurationInterfaceThatCannotBeOpenedIsTriedAgainOnlyWhenItReturns) {
  vendor->openCodes = {kIOReturnExclusiveAccess};
  start();
  manager.plugIn(vendor);
  EXPECT_FALSE(link->isConnected());
  EXPECT_EQ(logs, std::vector<std::string>{"Could not open the configuration interface: " + kExclusive});
  EXPECT_TRUE(connections.empty());
  manager.plugIn(keyboard);
  EXPECT_EQ(vendor->opens.size(), 1u);
  manager.unplug(vendor);  // never opened: nothing to report
  manager.plugIn(vendor);
  EXPECT_TRUE(link->isConnected());
  EXPECT_EQ(connections, std::vector<bool>{true});
}

TEST_F(HIDLinkTest, InterfaceWithoutUsagePageIsTakenAsTheKeyboard) {
  auto bare = device(std::nullopt);
  start();
  manager.plugIn(bare);
  manager.plugIn(keyboard);  // a second keyboard interface is ignored
  link->setSeizeWanted(true);
  EXPECT_EQ(bare->opens, std::vector<bool>{true});
  EXPECT_TRUE(keyboard->opens.empty());
  EXPECT_EQ(states, (std::vector<State>{State::idle(), State::seized()}));
}

// ---- seizing ----

TEST_F(HIDLinkTest, SeizeAndReleaseOnceEach) {
  startConnected();
  link->setSeizeWanted(true);
  link->setSeizeWanted(true);
  link->retrySeize();  // already seized: nothing
  EXPECT_EQ(keyboard->opens, std::vector<bool>{true});
  EXPECT_TRUE(keyboard->hasHandler());
  EXPECT_EQ(states, std::vector<State>{State::seized()});
  EXPECT_EQ(logs, std::vector<std::string>{kTakeOver});

  link->setSeizeWanted(false);
  EXPECT_EQ(keyboard->closes, std::vector<bool>{true});
  EXPECT_FALSE(keyboard->hasHandler());
  EXPECT_EQ(states, (std::vector<State>{State::seized(), State::idle()}));
  EXPECT_EQ(logs, (std::vector<std::string>{kTakeOver, kRelease}));
}

TEST_F(HIDLinkTest, MissingInputMonitoringWaitsForRetry) {
  keyboard->openCodes = {kIOReturnNotPermitted, kIOReturnNotPrivileged};
  startConnected();
  link->setSeizeWanted(true);
  link->setSeizeWanted(false);  // nothing to release: the state stays
  EXPECT_EQ(link->keyboardState(), State::needsInputMonitoring());
  EXPECT_TRUE(keyboard->closes.empty());
  link->setSeizeWanted(true);  // refused again, now as not privileged
  link->retrySeize();          // the permission was granted meanwhile
  EXPECT_EQ(states, (std::vector<State>{State::needsInputMonitoring(), State::seized()}));
  EXPECT_EQ(logs, (std::vector<std::string>{kNeedsPermission, kNeedsPermission, kTakeOver}));
}

TEST_F(HIDLinkTest, OtherRefusalsFailWithTheirText) {
  keyboard->openCodes = {kIOReturnExclusiveAccess, kIOReturnExclusiveAccess, 0xE00002C7};
  startConnected();
  link->setSeizeWanted(true);
  link->retrySeize();  // same failure again: logged, but no new state
  link->retrySeize();
  EXPECT_EQ(states, (std::vector<State>{State::failed(kExclusive), State::failed("IOKit error 0xe00002c7")}));
  EXPECT_EQ(logs, (std::vector<std::string>{"Could not take over the extra buttons: " + kExclusive,
                                            "Could not take over the extra buttons: " + kExclusive,
                                            "Could not take over the extra buttons: IOKit error 0xe00002c7"}));
}

TEST_F(HIDLinkTest, SeizeFollowsTheKeyboardInterfaceAcrossReplugging) {
  start();
  link->setSeizeWanted(true);  // nothing known yet
  EXPECT_TRUE(states.empty());
  manager.plugIn(keyboard);
  EXPECT_EQ(states, (std::vector<State>{State::idle(), State::seized()}));
  manager.unplug(keyboard);
  EXPECT_EQ(link->keyboardState(), State::absent());
  EXPECT_TRUE(keyboard->closes.empty());
  EXPECT_EQ(logs, std::vector<std::string>{kTakeOver});  // no release line
  auto again = device(1);
  manager.plugIn(again);
  EXPECT_EQ(again->opens, std::vector<bool>{true});
  EXPECT_EQ(states, (std::vector<State>{State::idle(), State::seized(), State::absent(), State::idle(),
                                        State::seized()}));
}

// ---- input reports ----

TEST_F(HIDLinkTest, KeyboardReportsLoseOnlyALeadingReportIDByte) {
  startConnected();
  link->setSeizeWanted(true);
  keyboard->input(1, {1, 0x00, 0x6E, 0x00});
  keyboard->input(0, {0x00, 0x00, 0x04});  // unnumbered: unchanged
  keyboard->input(2, {0x01, 0xE9});        // first byte is not the ID: unchanged
  keyboard->input(2, {0x02});
  keyboard->input(1, {});
  EXPECT_EQ(reports, (std::vector<std::pair<std::uint32_t, Bytes>>{
                         {1, {0x00, 0x6E, 0x00}}, {0, {0x00, 0x00, 0x04}}, {2, {0x01, 0xE9}}, {2, {}}, {1, {}}}));
}

TEST_F(HIDLinkTest, ReportsAreCutToSixtyFourBytesBeforeTheIDIsDropped) {
  startConnected();
  link->setSeizeWanted(true);
  Bytes longReport(70, 0xAA);
  longReport[0] = 1;
  keyboard->input(1, longReport);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].second, Bytes(63, 0xAA));
}

// ---- writing ----

TEST_F(HIDLinkTest, WriteWithoutTheMouseFailsAtOnceAnEmptyWriteSucceedsLater) {
  start();
  link->write({out(0x03)}, recordWrite());
  ASSERT_EQ(writes.size(), 1u);  // before write() returned
  EXPECT_EQ(writes[0].first.error().description(), "The Rival 500 is not plugged in.");
  manager.plugIn(vendor);
  link->write({}, recordWrite());
  EXPECT_EQ(writes.size(), 1u);  // through the main loop
  loop.runUntilIdle();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_TRUE(writes[1].first.hasValue());
  EXPECT_TRUE(vendor->sent().empty());
}

TEST_F(HIDLinkTest, SixPacketsArePacedAndCompleteAfterTheLastPause) {
  startConnected();
  link->write({out(1), out(2), out(3), out(4), out(5), out(6)}, recordWrite());
  loop.advance(300ms - 1ns);
  EXPECT_EQ(times(*vendor), (std::vector<Duration>{0ms, 50ms, 100ms, 150ms, 200ms, 250ms}));
  EXPECT_TRUE(writes.empty());
  loop.advance(1ns);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_TRUE(writes[0].first.hasValue());
  EXPECT_EQ(writes[0].second, 300ms);
}

TEST_F(HIDLinkTest, RefusedThirdPacketEndsTheWriteAtOnce) {
  vendor->refusals = {{2, kIOReturnExclusiveAccess}};
  startConnected();
  link->write({out(1), out(2), out(3), out(4), out(5), out(6)}, recordWrite());
  loop.advance(1s);
  EXPECT_EQ(times(*vendor), (std::vector<Duration>{0ms, 50ms, 100ms}));  // 4 to 6 never sent
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].second, 100ms);  // no pause after the refusal
  const auto& error = writes[0].first.error();
  EXPECT_EQ(error, (HIDLink::LinkError{HIDLink::LinkError::Write{out(3), kExclusive}}));
  EXPECT_EQ(error.description(), "The mouse refused a packet (03 00): " + kExclusive);
}

TEST_F(HIDLinkTest, OutputReportsArePaddedToThirtyTwoBytesFeatureReportsAreNot) {
  startConnected();
  const Bytes feature(77, 0x5A);
  const Bytes longOutput(40, 0x31);
  link->write({out(0x10), {ReportType::feature, feature}, {ReportType::output, longOutput}}, recordWrite());
  loop.advance(1s);
  Bytes padded(32, 0);
  padded[0] = 0x10;
  const auto sent = vendor->sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], (fake::SentReport{HidReportType::output, 0, padded, 0ms}));
  EXPECT_EQ(sent[1], (fake::SentReport{HidReportType::feature, 0, feature, 50ms}));
  EXPECT_EQ(sent[2], (fake::SentReport{HidReportType::output, 0, longOutput, 100ms}));
}

TEST_F(HIDLinkTest, SecondWriteWaitsForTheFirstAndNeverInterleaves) {
  startConnected();
  link->write({out(1), out(2)}, recordWrite());
  link->write({out(3), out(4)}, recordWrite());
  loop.advance(1s);
  const auto sent = vendor->sent();
  ASSERT_EQ(sent.size(), 4u);
  for (std::uint8_t i = 0; i < 4; ++i) EXPECT_EQ(sent[i].bytes[0], i + 1);
  EXPECT_EQ(times(*vendor), (std::vector<Duration>{0ms, 50ms, 100ms, 150ms}));
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].second, 100ms);
  EXPECT_EQ(writes[1].second, 200ms);
}

TEST_F(HIDLinkTest, WriteKeepsTheDeviceItTookWhenTheMouseIsUnplugged) {
  startConnected();
  link->write({out(1), out(2), out(3)}, recordWrite());
  loop.runUntilIdle();
  manager.unplug(vendor);
  auto replacement = device(0xFFC0);
  manager.plugIn(replacement);
  loop.advance(1s);
  EXPECT_EQ(vendor->sent().size(), 2u);  // the second attempt went to the old device and was refused
  EXPECT_TRUE(replacement->sent().empty());
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].second, 50ms);
  EXPECT_EQ(writes[0].first.error().description(), "The mouse refused a packet (02 00): IOKit error 0xe00002c0");
}

TEST_F(HIDLinkTest, DestroyingTheLinkStopsAWriteAndDetaches) {
  startConnected();
  link->setSeizeWanted(true);
  link->write({out(1), out(2), out(3), out(4), out(5), out(6)}, recordWrite());
  loop.advance(100ms);
  link.reset();
  loop.advance(1s);
  EXPECT_EQ(vendor->sent().size(), 3u);
  EXPECT_TRUE(writes.empty());
  EXPECT_FALSE(manager.listening());
  EXPECT_FALSE(vendor->hasHandler());
  EXPECT_EQ(keyboard->closes, std::vector<bool>{true});  // given back to the system
}

TEST_F(HIDLinkTest, CompletionPostedBeforeDestructionNeverRuns) {
  vendor->refusals = {{0, kIOReturnNotOpen}};
  startConnected();
  std::vector<std::optional<std::string>> firmware;
  link->write({out(1)}, recordWrite());
  link->readFirmware(recordFirmware(firmware));
  vendor->waitForAttempts(1);
  link.reset();  // joins the write queue: the refusal is posted by now
  loop.advance(1s);
  EXPECT_TRUE(writes.empty());
  EXPECT_TRUE(firmware.empty());
}

// ---- firmware ----

TEST_F(HIDLinkTest, FirmwareAnswerIsReadFromTheFirstByte) {
  startConnected();
  const std::pair<std::uint8_t, std::string> rows[] = {{0x6B, "1.07"}, {123, "1.23"}, {9, "0.09"}, {255, "2.55"}};
  std::vector<std::optional<std::string>> answers;
  for (const auto& [first, text] : rows) {
    link->readFirmware(recordFirmware(answers));
    loop.runUntilIdle();
    vendor->input(0, {first, 0x00, 0x7F});
    EXPECT_EQ(answers.back(), text);
  }
  EXPECT_EQ(answers.size(), 4u);
  Bytes query(32, 0);
  query[0] = 0x10;
  EXPECT_EQ(vendor->sent().at(0).bytes, query);
  EXPECT_EQ(vendor->sent().at(0).type, HidReportType::output);
}

TEST_F(HIDLinkTest, FirmwareAnswersOutsideAQueryAreIgnored) {
  startConnected();
  std::vector<std::optional<std::string>> answers;
  vendor->input(0, {0x6B, 0x00});  // nobody asked
  link->readFirmware(recordFirmware(answers));
  vendor->input(0, {0x6B});  // too short
  vendor->input(0, {0x6B, 0x00});
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{std::nullopt}));
}

TEST_F(HIDLinkTest, UnansweredQueryEndsExactlyAfterHalfASecond) {
  startConnected();
  std::vector<std::optional<std::string>> answers;
  link->readFirmware(recordFirmware(answers));
  loop.advance(500ms - 1ns);
  EXPECT_TRUE(answers.empty());
  loop.advance(1ns);
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{std::nullopt}));
  vendor->input(0, {0x6B, 0x00});  // too late
  EXPECT_EQ(answers.size(), 1u);
}

TEST_F(HIDLinkTest, OverlappingQueriesEachGetTheirOwnHalfSecond) {
  startConnected();
  std::vector<std::optional<std::string>> first, second;
  link->readFirmware(recordFirmware(first));
  loop.advance(300ms);
  link->readFirmware(recordFirmware(second));
  loop.advance(500ms - 1ns);  // the first query's check passed at 0.5 s
  EXPECT_TRUE(second.empty());
  loop.advance(1ns);
  EXPECT_EQ(second, (std::vector<std::optional<std::string>>{std::nullopt}));
  EXPECT_TRUE(first.empty());  // replaced, never called
}

TEST_F(HIDLinkTest, RefusedQueryEndsOnlyItsOwnQuery) {
  vendor->refusals = {{0, kIOReturnNotOpen}};
  startConnected();
  std::vector<std::optional<std::string>> alone, replaced, later;
  link->readFirmware(recordFirmware(alone));
  loop.runUntilIdle();
  EXPECT_EQ(alone, (std::vector<std::optional<std::string>>{std::nullopt}));
  EXPECT_EQ(loop.elapsed(), 0ms);

  vendor->refusals = {{1, kIOReturnNotOpen}};
  link->readFirmware(recordFirmware(replaced));
  link->readFirmware(recordFirmware(later));  // queued behind the refused one
  loop.advance(100ms);
  EXPECT_TRUE(later.empty());
  vendor->input(0, {0x6B, 0x00});
  EXPECT_EQ(later, (std::vector<std::optional<std::string>>{"1.07"}));
  loop.advance(1s);
  EXPECT_TRUE(replaced.empty());
  EXPECT_EQ(alone.size(), 1u);
}

TEST_F(HIDLinkTest, UnpluggingEndsTheQueryExactlyOnce) {
  vendor->refusals = {{0, kIOReturnNoDevice}};  // the query's report finds the mouse gone
  startConnected();
  std::vector<std::optional<std::string>> answers;
  link->readFirmware(recordFirmware(answers));
  manager.unplug(vendor);
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{std::nullopt}));
  loop.advance(1s);
  EXPECT_EQ(answers.size(), 1u);
  link->readFirmware(recordFirmware(answers));  // not connected: nothing, at once
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{std::nullopt, std::nullopt}));
}

// ---- texts ----

TEST(HIDLinkTexts, DescribeReturnCodes) {
  EXPECT_EQ(describe(kIOReturnNotPermitted), "not permitted");
  EXPECT_EQ(describe(kIOReturnNotPrivileged), "not permitted");
  EXPECT_EQ(describe(kIOReturnExclusiveAccess), kExclusive);
  EXPECT_EQ(describe(kIOReturnNotOpen), "device not open");
  EXPECT_EQ(describe(kIOReturnBadArgument), "bad argument");
  EXPECT_EQ(describe(0xE00002C7), "IOKit error 0xe00002c7");
  EXPECT_EQ(describe(0x1), "IOKit error 0x00000001");
}

TEST(HIDLinkTexts, RefusedPacketNamesItsFirstTwoBytes) {
  const auto text = [](Bytes data) {
    return HIDLink::LinkError{HIDLink::LinkError::Write{{ReportType::output, std::move(data)}, "bad argument"}}
        .description();
  };
  EXPECT_EQ(text({0x05, 0x00, 0x01}), "The mouse refused a packet (05 00): bad argument");
  EXPECT_EQ(text({0xAB}), "The mouse refused a packet (AB): bad argument");
  EXPECT_EQ(text({}), "The mouse refused a packet (): bad argument");
}

}  // namespace
