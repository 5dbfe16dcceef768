#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Descriptors.h"
#include "FakeSysfs.h"
#include "core/VirtualLoop.h"
#include "hid/HIDLink.h"
#include "linux/HidrawManager.h"

namespace tandemo::linux_platform {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kRivalId = "0003:00001038:0000170E";

TEST(HidrawSysfs, HidIdAndUeventValuesAreReadExactly) {
  const std::pair<const char*, std::optional<HidId>> ids[] = {
      {"0003:00001038:0000170E", HidId{3, 0x1038, 0x170E}}, {"0003:00001038:0000170e", HidId{3, 0x1038, 0x170E}},
      {"0005:0000046D:0000B01A", HidId{5, 0x046D, 0xB01A}}, {"", std::nullopt}, {"0003:00001038", std::nullopt},
      {"0003:00001038:0000170E:0", std::nullopt},           {"0003::0000170E", std::nullopt},
      {"0003:0000 1038:0000170E", std::nullopt},            {"0003:00001038:0000170E\n", std::nullopt},
      {"10003:00001038:0000170E", std::nullopt},  // the bus is 16 bits
  };
  for (const auto& [text, id] : ids) EXPECT_EQ(parseHidId(text), id) << text;

  const std::string uevent = "DRIVER=hid-generic\nHID_ID_X=1\nHID_ID=0003:00001038:0000170E\nHID_NAME=A=B";
  EXPECT_EQ(ueventValue(uevent, "HID_ID"), "0003:00001038:0000170E");
  EXPECT_EQ(ueventValue(uevent, "HID_NAME"), "A=B");
  EXPECT_EQ(ueventValue(uevent, "HID"), std::nullopt);
  EXPECT_EQ(ueventValue(uevent, "DEVNAME"), std::nullopt);
}

// The mouse's three interfaces, another vendor's mouse, the Rival over another bus and a Rival
// interface whose descriptor is cut short.
class HidrawTree : public ::testing::Test {
 protected:
  HidrawTree() {
    tree.add("hidraw0", "0003:1038:170E.0001", kRivalId, descriptors::rivalPointer, {2});
    tree.add("hidraw1", "0003:1038:170E.0002", kRivalId, descriptors::rivalKeyboard, {3, 4});
    tree.add("hidraw2", "0003:1038:170E.0003", kRivalId, descriptors::rivalConfiguration);
    tree.add("hidraw3", "0003:046D:C077.0004", "0003:0000046D:0000C077", descriptors::bootMouse, {5});
    tree.add("hidraw4", "0005:1038:170E.0005", "0005:00001038:0000170E", descriptors::rivalConfiguration);
    const Bytes cut(descriptors::rivalConfiguration.begin(), descriptors::rivalConfiguration.end() - 1);
    tree.add("hidraw10", "0003:1038:170E.0006", kRivalId, cut);
  }

  HidrawOptions options(bool root = false) {
    HidrawOptions o;
    o.sysfs = tree.sysfs();
    o.dev = tree.dev();
    o.ruleFiles = {tree.sysfs() / "70-tandemo.rules"};
    o.watchHotplug = false;
    o.root = root;
    return o;
  }
  std::unique_ptr<HidrawManager> manager(bool root = false) {
    auto m = std::make_unique<HidrawManager>(loop, options(root));
    m->setCallbacks([this](const auto& d) { events.push_back("+" + sysname(d)); },
                    [this](const auto& d) { events.push_back("-" + sysname(d)); });
    return m;
  }
  static std::string sysname(const std::shared_ptr<HidDevice>& device) {
    return static_cast<HidrawDevice&>(*device).node().sysname;
  }
  static std::vector<std::string> names(const std::vector<std::shared_ptr<HidDevice>>& devices) {
    std::vector<std::string> result;
    for (const auto& d : devices) result.push_back(sysname(d));
    return result;
  }

  FakeSysfs tree;
  VirtualLoop loop;
  std::vector<std::string> events;
};

TEST_F(HidrawTree, ScanFindsEveryNodeOfTheMouseWithItsRoleAndEvdevNodes) {
  const auto nodes = HidrawSysfs(tree.sysfs(), tree.dev()).scan();
  std::vector<std::tuple<std::string, InterfaceRole, fs::path, std::vector<fs::path>, std::string>> seen;
  for (const auto& n : nodes) seen.emplace_back(n.sysname, n.role, n.devNode, n.inputNodes, n.problem);
  const auto dev = tree.dev();
  EXPECT_THAT(seen, ElementsAre(
      std::tuple("hidraw0", InterfaceRole::pointer, dev / "hidraw0", std::vector{dev / "input/event2"}, ""),
      std::tuple("hidraw1", InterfaceRole::keyboard, dev / "hidraw1",
                 std::vector{dev / "input/event3", dev / "input/event4"}, ""),
      std::tuple("hidraw2", InterfaceRole::configuration, dev / "hidraw2", std::vector<fs::path>{}, ""),
      std::tuple("hidraw10", InterfaceRole::unreadable, dev / "hidraw10", std::vector<fs::path>{},
                 "report descriptor: unbalanced collection at the end")));
  EXPECT_TRUE(nodes[1].descriptor->numbered);
}

TEST_F(HidrawTree, OnlyTheConfigurationAndKeyboardInterfacesArePresentedAndHotplugFollowsThem) {
  auto m = manager();
  const auto present = m->presentDevices();
  EXPECT_THAT(names(present), ElementsAre("hidraw1", "hidraw2"));
  EXPECT_EQ(present[0]->primaryUsagePage(), 1);
  EXPECT_EQ(present[1]->primaryUsagePage(), 0xFFC0);
  EXPECT_TRUE(events.empty());  // found before anyone listened

  for (const char* name : {"hidraw0", "hidraw3", "hidraw4", "hidraw10", "hidraw2", "hidraw99"}) m->uevent("add", name);
  m->uevent("change", "hidraw1");
  EXPECT_TRUE(events.empty());  // pointer, foreign, other bus, unreadable, already known, missing
  m->uevent("remove", "hidraw2");
  m->uevent("remove", "hidraw2");
  m->uevent("add", "hidraw2");
  EXPECT_THAT(events, ElementsAre("-hidraw2", "+hidraw2"));
  EXPECT_EQ(present[1]->open(false), kIOReturnNotOpen);  // the removed object stays closed

  // A lost removal found by a rescan; a reused name that now belongs to another interface.
  events.clear();
  tree.unlink("hidraw1");
  tree.unlink("hidraw2");
  tree.add("hidraw2", "0003:1038:170E.0007", kRivalId, descriptors::rivalKeyboard, {6});
  m->rescan();
  m->uevent("add", "hidraw2");
  EXPECT_THAT(events, ElementsAre("-hidraw1", "-hidraw2", "+hidraw2"));
  EXPECT_THAT(names(m->presentDevices()), ElementsAre("hidraw2"));
}

TEST_F(HidrawTree, InputAccessNeedsTheKeyboardNodesOrTheRuleWithoutAMouse) {
  EXPECT_EQ(manager(/*root=*/true)->inputAccess().detail, "running as root");
  auto m = manager();
  EXPECT_TRUE(m->inputAccess().granted) << m->inputAccess().detail;
  fs::remove(tree.dev() / "input/event4");
  EXPECT_EQ(m->inputAccess().detail,
            "cannot read " + (tree.dev() / "input/event4").string() + " (No such file or directory)");
  EXPECT_FALSE(m->inputMonitoringGranted());
  m->uevent("remove", "hidraw1");
  EXPECT_FALSE(m->inputMonitoringGranted());
  FakeSysfs::write(tree.sysfs() / "70-tandemo.rules", "");
  EXPECT_TRUE(m->inputMonitoringGranted());
  EXPECT_EQ(m->probeKeyboardGrab().result, GrabProbe::noKeyboard);
}

// The link on the hidraw backend; framing, refusals and removal on a real kernel are the guest's.
class HidrawLinkTest : public HidrawTree {
 protected:
  void start() {
    hid = manager();
    link = std::make_unique<HIDLink>(loop, *hid, "org.tandemo.Tandemo");
    link->log = [this](const std::string& line) { logs.push_back(line); };
  }

  std::unique_ptr<HidrawManager> hid;
  std::vector<std::string> logs;
  std::unique_ptr<HIDLink> link;  // last: goes first
};

// The descriptor numbers its reports, so the first byte read is the report ID; the link drops it.
TEST_F(HidrawLinkTest, SeizedKeyboardReportsArriveFromTheHidrawNode) {
  tree.unlink("hidraw1");
  tree.add("hidraw7", "0003:1038:170E.0008", kRivalId, descriptors::rivalKeyboard);  // no evdev node
  fs::remove(tree.dev() / "hidraw7");
  ASSERT_EQ(::mkfifo((tree.dev() / "hidraw7").c_str(), 0600), 0);
  start();
  std::vector<std::pair<std::uint32_t, Bytes>> reports;
  link->onKeyboardReport = [&](std::uint32_t id, Bytes bytes) { reports.emplace_back(id, std::move(bytes)); };
  link->setSeizeWanted(true);
  ASSERT_EQ(link->keyboardState(), HIDLink::KeyboardState::seized());

  const int mouse = ::open((tree.dev() / "hidraw7").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(mouse, 0);
  const Bytes report = {0x01, 0x00, 0x00, 0x6E, 0x00, 0x00, 0x00, 0x00, 0x00};  // F19 held
  ASSERT_EQ(::write(mouse, report.data(), report.size()), static_cast<ssize_t>(report.size()));
  // Whichever descriptor the link reads is the one a poll would call readable.
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (fs::read_symlink(entry.path(), error) == tree.dev() / "hidraw7") {
      loop.notifyReadable(std::stoi(entry.path().filename().string()));
    }
  }
  ::close(mouse);
  EXPECT_THAT(reports, ElementsAre(std::pair(1u, Bytes{0x00, 0x00, 0x6E, 0x00, 0x00, 0x00, 0x00, 0x00})));
  EXPECT_EQ(hid->probeKeyboardGrab().result, GrabProbe::heldHere);
  link->setSeizeWanted(false);
  EXPECT_EQ(logs.back(), "Released the mouse's extra buttons back to the desktop");
}

}  // namespace
}  // namespace tandemo::linux_platform
