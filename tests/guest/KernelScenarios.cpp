// What the kernel makes of the fake mouse, with no product code in between: these pin down the
// facts the Linux backend is written against (framing, errors, grabbing, where keys arrive).

#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "Scenarios.h"
#include "device/Rival500.h"

namespace tandemo::guest {
namespace {

using Rival500::Assignment;
using Rival500::Button;
using Bytes = std::vector<std::uint8_t>;

// An open hidraw node, closed on destruction.
struct Fd {
  explicit Fd(const std::string& path) : fd(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {
    if (fd < 0) throw std::runtime_error("open " + path + ": " + std::strerror(errno));
  }
  ~Fd() { ::close(fd); }
  Fd(const Fd&) = delete;
  int get() const { return fd; }
  const int fd;
};

// With hidraw's leading report number: 0 on an interface without report numbers.
Bytes framed(const Rival500::Packet& packet) {
  const Bytes wire = wireBytes(packet);
  Bytes bytes(wire.size() + 1, 0);
  std::copy(wire.begin(), wire.end(), bytes.begin() + 1);
  return bytes;
}

// What hidraw's write() or HIDIOCSFEATURE returned for `bytes`, or -errno.
long send(int fd, Rival500::ReportType type, Bytes bytes) {
  const long result = type == Rival500::ReportType::output
                          ? static_cast<long>(::write(fd, bytes.data(), bytes.size()))
                          : ::ioctl(fd, HIDIOCSFEATURE(bytes.size()), bytes.data());
  return result < 0 ? -errno : result;
}

HidReportType reportType(Rival500::ReportType type) {
  return type == Rival500::ReportType::output ? HidReportType::output : HidReportType::feature;
}

void nodesAppearWithTheirIdentity(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn();
  for (const InterfaceInfo& entry : rival500Interfaces()) {
    const bool input = entry.kind != Interface::configuration;
    auto nodes = waitForHidDevice(entry.phys, input, nodeLimit);
    if (!t.expect(nodes.has_value(), "nodes of " + entry.phys)) continue;
    std::printf("    %s: %s %s\n", entry.phys.c_str(), nodes->hidraw.c_str(), nodes->event.value_or("-").c_str());
    t.expect(nodes->event.has_value() == input, "an event node exactly for the input interfaces: " + entry.phys);
    t.expect(readBytes(nodes->sysfs + "/report_descriptor") == entry.descriptor, "report_descriptor of " + entry.phys);
    const std::string uevent = readFile(nodes->sysfs + "/uevent");
    for (const char* line : {"HID_ID=0003:00001038:0000170E\n", "HID_NAME=SteelSeries Rival 500\n", "DRIVER=hid-generic\n"}) {
      t.expect(uevent.find(line) != std::string::npos, entry.phys + " uevent has " + line);
    }
  }
  mouse.unplug();
  for (const InterfaceInfo& entry : rival500Interfaces()) {
    t.expect(waitForHidDeviceGone(entry.phys, nodeLimit), "unplugging removes " + entry.phys);
  }
}

void framedPacketsReachFirmware(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn(false);
  Fd hidraw(nodesOf(Interface::configuration).hidraw);
  auto assignments = sim::VirtualRival500::factorySettings().assignments;
  assignments[Button::button4] = Assignment::key(0x04);
  const Rival500::Lighting wheel{{{0, 10, 20, 30}, {50, 200, 100, 0}}, 2000};
  const std::vector<Rival500::Packet> packets = {
      Rival500::sensitivity(1, 1200),              // output, 32 bytes
      Rival500::pollingRate(500),                  // output, 32 bytes
      Rival500::buttonsPacket(assignments),        // feature, 77 bytes
      *Rival500::lightingPacket(Rival500::LED::wheel, wheel),  // feature, 163 bytes
      Rival500::savePacket(),                      // output, 32 bytes
  };
  for (const auto& packet : packets) {
    const long expected = static_cast<long>(wireBytes(packet).size() + 1);
    t.expect(send(hidraw.get(), packet.type, framed(packet)) == expected, "hidraw takes the framed packet");
  }
  t.expect(mouse.waitUntil([&](const FakeRival500& m) { return m.reports().size() == packets.size(); }, eventLimit),
           "every packet reaches the firmware");
  const auto reports = mouse.reports();
  for (std::size_t i = 0; i < std::min(reports.size(), packets.size()); ++i) {
    t.expect(reports[i].type == reportType(packets[i].type) && reports[i].bytes == wireBytes(packets[i]),
             "packet " + std::to_string(i) + " arrives as built, without the report number");
  }
  for (const std::string& fault : mouse.violations()) t.expect(false, "firmware: " + fault);
  const auto settings = mouse.storedSettings();
  t.expect(settings.dpi1 == 1200 && settings.pollingHz == 500, "DPI and polling rate applied and saved");
  t.expect(settings.assignments == assignments, "button map applied and saved");
  t.expect(mouse.saveCount() == 1, "one save");
}

void wrongFramingIsCaught(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn(false);
  Fd hidraw(nodesOf(Interface::configuration).hidraw);
  const auto output = Rival500::sensitivity(1, 1200);
  const auto feature = Rival500::buttonsPacket(sim::VirtualRival500::factorySettings().assignments);
  // Without the leading 0 the command byte is taken for a report number.
  send(hidraw.get(), output.type, wireBytes(output));
  t.expect(send(hidraw.get(), feature.type, feature.data) == -EIO, "unframed feature report fails with EIO");
  t.expect(mouse.waitUntil([](const FakeRival500& m) { return m.violations().size() == 2; }, eventLimit),
           "both unframed reports are reported as framing faults");
  t.expect(mouse.reports().empty(), "nothing reached the firmware");
  t.expect(mouse.settings() == sim::VirtualRival500::factorySettings(), "settings unchanged");
}

void refusedPacketFailsAtOnce(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn(false);
  Fd hidraw(nodesOf(Interface::configuration).hidraw);
  auto assignments = sim::VirtualRival500::factorySettings().assignments;
  assignments[Button::button5] = Assignment::media(0xE9);
  const auto packet = Rival500::buttonsPacket(assignments);
  mouse.refuseReport(1);
  const auto start = std::chrono::steady_clock::now();
  t.expect(send(hidraw.get(), packet.type, framed(packet)) == -EIO, "a refused SetReport fails with EIO");
  // An unanswered SetReport also ends in EIO, but only after about 5 s.
  t.expect(std::chrono::steady_clock::now() - start < 2500ms, "the refusal arrives at once");
  t.expect(mouse.settings() == sim::VirtualRival500::factorySettings(), "the refused packet is not applied");
  t.expect(send(hidraw.get(), packet.type, framed(packet)) == static_cast<long>(packet.data.size() + 1),
           "the next one is accepted");
  t.expect(mouse.settings().assignments == assignments, "and applied");
  const auto reports = mouse.reports();
  t.expect(reports.size() == 2 && reports[0].answer == kIOReturnError && reports[1].answer == kIOReturnSuccess,
           "the firmware saw the refused packet and the accepted one");
}

void firmwareQueryIsAnswered(Checks& t) {
  FakeRival500 mouse;
  mouse.setFirmwareVersion(108);
  mouse.plugIn(false);
  Fd hidraw(nodesOf(Interface::configuration).hidraw);
  const auto query = Rival500::firmwareQueryPacket();
  t.expect(send(hidraw.get(), query.type, framed(query)) == 33, "query written");
  pollfd entry{hidraw.get(), POLLIN, 0};
  Bytes answer(64);
  if (!t.expect(::poll(&entry, 1, 2000) == 1, "an input report follows")) return;
  const auto size = ::read(hidraw.get(), answer.data(), answer.size());
  // An interface without report numbers: the report comes without a leading number byte.
  t.expect(size == 32 && answer[0] == 108 && answer[1] == 0, "32-byte answer starting {108, 0}");
  t.expect(mouse.firmwareQueries() == 1, "one query counted");
}

void grabSilencesOtherReaders(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn(false);
  mouse.setAssignment(Button::button4, Assignment::key(0x04));
  const std::string node = *nodesOf(Interface::keyboard).event;
  EventReader owner(node);
  EventReader other(node);
  const std::vector<KeyChange> click = {{KEY_A, 1}, {KEY_A, 0}};
  t.expect(owner.grab(true), "EVIOCGRAB succeeds");
  t.expect(!other.grab(true), "a second grab is refused");
  mouse.press(Button::button4);
  mouse.release(Button::button4);
  t.expect(owner.keys(2, eventLimit) == click, "the grabbing reader gets the key");
  t.expect(other.silentFor(quietWindow), "the other reader hears nothing");
  t.expect(owner.grab(false), "the grab is released");
  mouse.press(Button::button4);
  mouse.release(Button::button4);
  t.expect(other.keys(2, eventLimit) == click, "after the release the other reader gets the key");
}

void keysAndMediaKeysShareOneNode(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn();
  mouse.setAssignment(Button::button4, Assignment::key(0x04));   // a
  mouse.setAssignment(Button::button5, Assignment::key(0xE1));   // left shift
  mouse.setAssignment(Button::button6, Assignment::media(0xE9)); // volume up
  mouse.setAssignment(Button::button7, Assignment::bridge());    // its hidden key, F16
  EventReader reader(*nodesOf(Interface::keyboard).event);
  const std::vector<std::pair<Button, bool>> presses = {
      {Button::button5, true}, {Button::button4, true},  {Button::button4, false}, {Button::button5, false},
      {Button::button6, true}, {Button::button6, false}, {Button::button7, true},  {Button::button7, false},
  };
  for (const auto& [button, down] : presses) down ? mouse.press(button) : mouse.release(button);
  const std::vector<KeyChange> expected = {
      {KEY_LEFTSHIFT, 1}, {KEY_A, 1}, {KEY_A, 0}, {KEY_LEFTSHIFT, 0},
      {KEY_VOLUMEUP, 1},  {KEY_VOLUMEUP, 0}, {KEY_F16, 1}, {KEY_F16, 0},
  };
  const auto keys = reader.keys(expected.size(), eventLimit);
  t.expect(keys == expected, "modifier, key, media key and hidden key in order on the keyboard's node (got " +
                                 std::to_string(keys.size()) + " changes)");
  t.expect(mouse.opens(Interface::pointer) == 0, "nobody opened the pointer interface");
}

}  // namespace

HidNodes nodesOf(Interface kind) {
  for (const InterfaceInfo& entry : rival500Interfaces()) {
    if (entry.kind != kind) continue;
    if (auto nodes = waitForHidDevice(entry.phys, kind != Interface::configuration, nodeLimit)) return *nodes;
    throw std::runtime_error("no nodes for " + entry.phys);
  }
  throw std::logic_error("unknown interface");
}

std::vector<Scenario> kernelScenarios() {
  return {
      {"kernel: the interfaces appear as hidraw and event nodes with their descriptor and identity, and vanish on "
       "unplug", nodesAppearWithTheirIdentity},
      {"kernel: packets framed with a leading 0 reach the firmware as built", framedPacketsReachFirmware},
      {"kernel: unframed packets are caught as framing faults", wrongFramingIsCaught},
      {"kernel: a refused packet fails the ioctl with EIO at once", refusedPacketFailsAtOnce},
      {"kernel: the firmware query is answered by an input report", firmwareQueryIsAnswered},
      {"kernel: EVIOCGRAB silences the keyboard node for other readers", grabSilencesOtherReaders},
      {"kernel: keys, media keys and hidden keys arrive on one node", keysAndMediaKeysShareOneNode},
  };
}

}  // namespace tandemo::guest
