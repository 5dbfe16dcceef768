// The kernel facts the Linux backend is written against, with no product code in between: when a
// backend scenario fails, these tell a changed kernel from a fault of ours.

#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/input-event-codes.h>
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

// What hidraw's write() or HIDIOCSFEATURE returned for the packet (framed with hidraw's leading
// report number 0 unless `framed` is false), or -errno.
long send(int fd, const Rival500::Packet& packet, bool framed = true) {
  Bytes bytes = wireBytes(packet);
  if (framed) bytes.insert(bytes.begin(), 0);
  const long result = packet.type == Rival500::ReportType::output
                          ? static_cast<long>(::write(fd, bytes.data(), bytes.size()))
                          : ::ioctl(fd, HIDIOCSFEATURE(bytes.size()), bytes.data());
  return result < 0 ? -errno : result;
}

void hidrawFramingAndRefusals(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn(false);
  const std::string node = nodesOf(Interface::configuration).hidraw;
  const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
  if (!t.expect(fd >= 0, "open " + node)) return;
  auto assignments = sim::VirtualRival500::factorySettings().assignments;
  assignments[Button::button4] = Assignment::key(0x04);
  const std::vector<Rival500::Packet> packets = {Rival500::sensitivity(1, 1200), Rival500::buttonsPacket(assignments)};
  for (const auto& packet : packets) {
    t.expect(send(fd, packet) == static_cast<long>(wireBytes(packet).size() + 1), "hidraw takes the framed packet");
  }
  // Without the leading 0 the command byte is taken for a report number.
  t.expect(send(fd, packets[1], false) == -EIO, "an unframed feature report fails with EIO");
  mouse.refuseReport(1);
  const auto start = std::chrono::steady_clock::now();
  t.expect(send(fd, packets[1]) == -EIO, "a refused SetReport fails with EIO");
  // An unanswered SetReport also ends in EIO, but only after about 5 s.
  t.expect(std::chrono::steady_clock::now() - start < 2500ms, "the refusal arrives at once");
  ::close(fd);
  const auto reports = mouse.reports();
  t.expect(reports.size() == 3 && mouse.violations().size() == 1, "two packets and the refused one reached the "
                                                                   "firmware, the unframed one was a framing fault");
  for (std::size_t i = 0; i < std::min<std::size_t>(reports.size(), 2); ++i) {
    t.expect(reports[i].bytes == wireBytes(packets[i]), "packet arrives as built, without the report number");
  }
  t.expect(mouse.settings().dpi1 == 1200 && mouse.settings().assignments == assignments, "applied");
}

void grabAndKeysOnOneNode(Checks& t) {
  FakeRival500 mouse;
  mouse.plugIn();
  mouse.setAssignment(Button::button4, Assignment::key(0x04));   // a
  mouse.setAssignment(Button::button5, Assignment::key(0xE1));   // left shift
  mouse.setAssignment(Button::button6, Assignment::media(0xE9)); // volume up
  mouse.setAssignment(Button::button7, Assignment::bridge());    // its hidden key, F16
  const std::string node = *nodesOf(Interface::keyboard).event;
  EventReader owner(node);
  EventReader other(node);
  t.expect(owner.grab(true), "EVIOCGRAB succeeds");
  t.expect(!other.grab(true), "a second grab is refused");
  const std::vector<std::pair<Button, bool>> presses = {
      {Button::button5, true}, {Button::button4, true},  {Button::button4, false}, {Button::button5, false},
      {Button::button6, true}, {Button::button6, false}, {Button::button7, true},  {Button::button7, false},
  };
  for (const auto& [button, down] : presses) down ? mouse.press(button) : mouse.release(button);
  const std::vector<KeyChange> expected = {
      {KEY_LEFTSHIFT, 1}, {KEY_A, 1}, {KEY_A, 0}, {KEY_LEFTSHIFT, 0},
      {KEY_VOLUMEUP, 1},  {KEY_VOLUMEUP, 0}, {KEY_F16, 1}, {KEY_F16, 0},
  };
  const auto keys = owner.keys(expected.size(), eventLimit);
  t.expect(keys == expected, "modifier, key, media key and hidden key in order on the keyboard's node (got " +
                                 std::to_string(keys.size()) + " changes)");
  t.expect(other.silentFor(quietWindow), "the other reader hears nothing while grabbed");
  t.expect(owner.grab(false), "the grab is released");
  mouse.press(Button::button4);
  mouse.release(Button::button4);
  t.expect(other.keys(2, eventLimit) == std::vector<KeyChange>{{KEY_A, 1}, {KEY_A, 0}}, "then the other reader hears");
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
      {"kernel: hidraw takes packets framed with a leading 0; unframed or refused ones fail with EIO at once",
       hidrawFramingAndRefusals},
      {"kernel: EVIOCGRAB is exclusive; keys, media keys and hidden keys arrive on the keyboard's node",
       grabAndKeysOnOneNode},
  };
}

}  // namespace tandemo::guest
