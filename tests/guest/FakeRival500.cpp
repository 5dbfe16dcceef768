#include "FakeRival500.h"

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "sim/VirtualFirmware.h"

namespace tandemo::guest {
namespace {

using Rival500::Assignment;
using Rival500::Button;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t keyboardReportID = 1;
constexpr std::uint8_t consumerReportID = 2;
constexpr std::size_t reportLength = 32;  // input and output reports of the configuration interface
constexpr std::size_t keySlots = 6;

// Vendor page 0xFFC0: 32-byte input and output reports, feature reports up to 163 bytes; no
// report IDs, so hidraw frames every report with a leading 0.
const Bytes configurationDescriptor = {
    0x06, 0xC0, 0xFF,  // Usage Page (0xFFC0)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x20,        //   Report Count (32)
    0x09, 0x01,        //   Usage (1)
    0x81, 0x02,        //   Input (Data, Variable, Absolute): the firmware's answers
    0x09, 0x02,        //   Usage (2)
    0x91, 0x02,        //   Output (Data, Variable, Absolute): 32-byte commands
    0x96, 0xA3, 0x00,  //   Report Count (163)
    0x09, 0x03,        //   Usage (3)
    0xB1, 0x02,        //   Feature (Data, Variable, Absolute): button map and lights
    0xC0,              // End Collection
};

// A boot keyboard report (ID 1: modifiers, reserved, six keys) and a consumer report (ID 2: two
// 16-bit usages), in two application collections of one interface.
const Bytes keyboardDescriptor = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,  // Generic Desktop, Keyboard, Collection (Application)
    0x85, keyboardReportID,              //   Report ID (1)
    0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,  //   Keyboard page, usages E0-E7 (modifiers)
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02,  // 8 one-bit variables
    0x95, 0x01, 0x75, 0x08, 0x81, 0x01,  //   reserved byte (Constant)
    0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x26, 0xFF, 0x00,  // six key slots of 8 bits
    0x05, 0x07, 0x19, 0x00, 0x2A, 0xFF, 0x00, 0x81, 0x00,  //   Input (Data, Array)
    0xC0,                                                  // End Collection
    0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01,  // Consumer, Consumer Control, Collection (Application)
    0x85, consumerReportID,              //   Report ID (2)
    0x15, 0x00, 0x26, 0xFF, 0x00, 0x19, 0x00, 0x2A, 0xFF, 0x00,  // usages 0-255
    0x75, 0x10, 0x95, 0x02, 0x81, 0x00,  //   two 16-bit slots, Input (Data, Array)
    0xC0,                                // End Collection
};

// The ordinary mouse: eight buttons, X, Y and the wheel, one byte each.
const Bytes pointerDescriptor = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01,  // Generic Desktop, Mouse, Collection (Application)
    0x09, 0x01, 0xA1, 0x00,              //   Pointer, Collection (Physical)
    0x05, 0x09, 0x19, 0x01, 0x29, 0x08,  //     Buttons 1-8
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02,
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38,  // X, Y, Wheel
    0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81, 0x06,  // relative
    0xC0, 0xC0,
};

bool isModifier(std::uint8_t usage) { return usage >= 0xE0 && usage <= 0xE7; }

const char* nameOf(Interface kind) {
  constexpr const char* names[] = {"configuration", "keyboard", "pointer"};  // in the enum's order
  return names[static_cast<int>(kind)];
}

void writeEvent(int fd, const uhid_event& event) {
  // A failed write here means the device is already gone (unplug racing a reply): nothing to do.
  [[maybe_unused]] const auto written = ::write(fd, &event, sizeof event);
}

int createDevice(const InterfaceInfo& info) {
  const int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(std::string("open /dev/uhid: ") + std::strerror(errno));
  uhid_event event{};
  event.type = UHID_CREATE2;
  auto& create = event.u.create2;
  std::snprintf(reinterpret_cast<char*>(create.name), sizeof create.name, "SteelSeries Rival 500");
  std::snprintf(reinterpret_cast<char*>(create.phys), sizeof create.phys, "%s", info.phys.c_str());
  create.rd_size = static_cast<std::uint16_t>(info.descriptor.size());
  create.bus = 0x03;  // BUS_USB
  create.vendor = kRival500VendorID;
  create.product = kRival500ProductID;
  create.version = 0x0100;
  std::copy(info.descriptor.begin(), info.descriptor.end(), create.rd_data);
  if (::write(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
    const int error = errno;
    ::close(fd);
    throw std::runtime_error(std::string("UHID_CREATE2: ") + std::strerror(error));
  }
  return fd;
}

}  // namespace

const std::vector<InterfaceInfo>& rival500Interfaces() {
  static const std::vector<InterfaceInfo> interfaces = {
      {Interface::pointer, "usb-0000:00:14.0-2/input0", pointerDescriptor},
      {Interface::configuration, "usb-0000:00:14.0-2/input1", configurationDescriptor},
      {Interface::keyboard, "usb-0000:00:14.0-2/input2", keyboardDescriptor},
  };
  return interfaces;
}

Bytes wireBytes(const Rival500::Packet& packet) {
  Bytes bytes = packet.data;
  if (packet.type == Rival500::ReportType::output) bytes.resize(reportLength, 0);
  return bytes;
}

FakeRival500::~FakeRival500() { unplug(); }

void FakeRival500::plugIn(bool withPointer) {
  unplug();
  std::vector<Device> devices;
  for (const InterfaceInfo& info : rival500Interfaces()) {
    if (info.kind == Interface::pointer && !withPointer) continue;
    devices.push_back({info.kind, createDevice(info)});
  }
  // The kernel starts each device about 25 ms after creating it; nothing can reach it before.
  for (const Device& device : devices) {
    pollfd entry{device.fd, POLLIN, 0};
    uhid_event event{};
    if (::poll(&entry, 1, 3000) != 1 || ::read(device.fd, &event, sizeof event) <= 0 || event.type != UHID_START) {
      throw std::runtime_error(std::string("no UHID_START for the ") + nameOf(device.kind) + " interface");
    }
  }
  std::lock_guard lock(mutex_);
  devices_ = std::move(devices);
  live_ = stored_;
  held_.clear();
  lastInput_.clear();
  opens_.clear();
  stopFd_ = ::eventfd(0, EFD_CLOEXEC);
  thread_ = std::thread([this, stopFd = stopFd_] { run(stopFd); });
}

void FakeRival500::unplug() {
  std::vector<Device> devices;
  {
    std::lock_guard lock(mutex_);
    devices.swap(devices_);
    held_.clear();
    for (const Device& device : devices) {
      uhid_event event{};
      event.type = UHID_DESTROY;
      writeEvent(device.fd, event);
    }
  }
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(stopFd_, &one, sizeof one);
    thread_.join();
  }
  if (stopFd_ >= 0) ::close(stopFd_);
  stopFd_ = -1;
  for (const Device& device : devices) ::close(device.fd);
}

// The devices are fixed while this thread runs: unplug() destroys them before it stops the thread.
void FakeRival500::run(int stopFd) {
  std::vector<Device> devices;
  {
    std::lock_guard lock(mutex_);
    devices = devices_;
  }
  std::vector<pollfd> entries;
  for (const Device& device : devices) entries.push_back({device.fd, POLLIN, 0});
  entries.push_back({stopFd, POLLIN, 0});
  while (true) {
    if (::poll(entries.data(), entries.size(), -1) < 0 && errno != EINTR) return;
    if (entries.back().revents) return;
    for (std::size_t i = 0; i < devices.size(); ++i) {
      if (entries[i].revents & POLLIN) handle(devices[i]);
    }
  }
}

void FakeRival500::handle(const Device& device) {
  uhid_event event{};
  if (::read(device.fd, &event, sizeof event) <= 0) return;
  switch (event.type) {
    case UHID_OPEN:
      with([&] { ++opens_[device.kind]; });
      break;
    case UHID_OUTPUT:
      accept(device, HidReportType::output, 0, event.u.output.data, event.u.output.size);
      break;
    case UHID_SET_REPORT: {
      const auto& request = event.u.set_report;
      uhid_event reply{};
      reply.type = UHID_SET_REPORT_REPLY;
      reply.u.set_report_reply.id = request.id;
      reply.u.set_report_reply.err = accept(device, HidReportType::feature, request.rnum, request.data,
                                            std::min<std::size_t>(request.size, UHID_DATA_MAX));
      writeEvent(device.fd, reply);
      break;
    }
    case UHID_GET_REPORT: {
      // The firmware answers through input reports only.
      uhid_event reply{};
      reply.type = UHID_GET_REPORT_REPLY;
      reply.u.get_report_reply.id = event.u.get_report.id;
      reply.u.get_report_reply.err = EIO;
      writeEvent(device.fd, reply);
      break;
    }
    default:
      break;
  }
}

// Like the USB driver in front of the real mouse: a leading report number 0 is not sent, any
// other first byte would reach the firmware as data, so it is a framing fault here. Returns the
// reply code for SetReport (0 or an errno).
std::uint16_t FakeRival500::accept(const Device& device, HidReportType type, std::uint8_t number,
                                   const std::uint8_t* data, std::size_t size) {
  std::uint16_t error = EIO;
  Bytes answer;
  {
    std::lock_guard lock(mutex_);
    const std::string what = type == HidReportType::output ? "output report" : "SetReport";
    if (device.kind != Interface::configuration) {
      violations_.push_back(what + " on the " + nameOf(device.kind) + " interface");
    } else if (number != 0 || size == 0 || data[0] != 0) {
      violations_.push_back(what + " without the leading report number 0 of an interface without report numbers");
    } else {
      error = receive(type, Bytes(data + 1, data + size), answer);
    }
  }
  if (!answer.empty()) writeInput(device.fd, answer);
  return error;
}

std::uint16_t FakeRival500::receive(HidReportType type, Bytes bytes, Bytes& answer) {
  const bool refused = refusals_.erase(++received_) > 0;
  reports_.push_back({type, 0, bytes, refused ? kIOReturnError : kIOReturnSuccess});
  reportTimes_.push_back(Clock::now());
  if (refused) return EIO;
  auto command = sim::applyReport(live_, type, 0, bytes);
  if (!command) {
    violations_.push_back(command.error());
  } else if (*command == sim::FirmwareCommand::save) {
    stored_ = live_;
    ++saves_;
  } else if (*command == sim::FirmwareCommand::firmwareQuery) {
    ++queries_;
    answer.assign(reportLength, 0);
    answer[0] = firmwareVersion_;
  }
  return 0;
}

void FakeRival500::press(Button button) {
  std::lock_guard lock(mutex_);
  if (devices_.empty() || !held_.insert(button).second) return;
  controlChanged(button);
}

void FakeRival500::release(Button button) {
  std::lock_guard lock(mutex_);
  if (devices_.empty() || held_.erase(button) == 0) return;
  controlChanged(button);
}

// Sends the report of the collection the control belongs to, when it changed. Controls the
// scenarios press are keys, media keys or bridged; the pointer interface only has to be there.
void FakeRival500::controlChanged(Button button) {
  const Assignment& assignment = live_.assignments.at(button);
  Bytes report;
  if (assignment.is<Assignment::Key>() || assignment.is<Assignment::Bridge>()) {
    report = keyboardReport();
  } else if (assignment.is<Assignment::Media>()) {
    report = consumerReport();
  } else {
    return;
  }
  if (lastInput_[report[0]] == report) return;
  lastInput_[report[0]] = report;
  if (const int fd = fdOf(Interface::keyboard); fd >= 0) writeInput(fd, report);
}

Bytes FakeRival500::keyboardReport() const {
  std::uint8_t modifiers = 0;
  Bytes keys;
  for (Button button : held_) {
    const Assignment& assignment = live_.assignments.at(button);
    std::optional<std::uint8_t> usage;
    if (const auto* key = std::get_if<Assignment::Key>(&assignment.value)) usage = key->usage;
    if (assignment.is<Assignment::Bridge>()) usage = Rival500::markerKey(button);
    if (!usage || *usage == 0) continue;
    if (isModifier(*usage)) {
      modifiers = static_cast<std::uint8_t>(modifiers | (1u << (*usage - 0xE0)));
    } else if (std::find(keys.begin(), keys.end(), *usage) == keys.end()) {
      keys.push_back(*usage);
    }
  }
  keys.resize(std::min(keys.size(), keySlots));
  Bytes report = {keyboardReportID, modifiers, 0, 0, 0, 0, 0, 0, 0};
  std::copy(keys.begin(), keys.end(), report.begin() + 3);
  return report;
}

Bytes FakeRival500::consumerReport() const {
  Bytes usages;
  for (Button button : held_) {
    const auto* media = std::get_if<Assignment::Media>(&live_.assignments.at(button).value);
    if (media && std::find(usages.begin(), usages.end(), media->usage) == usages.end()) usages.push_back(media->usage);
  }
  usages.resize(2, 0x00);
  return {consumerReportID, usages[0], 0x00, usages[1], 0x00};
}

int FakeRival500::fdOf(Interface kind) const {
  for (const Device& device : devices_) {
    if (device.kind == kind) return device.fd;
  }
  return -1;
}

void FakeRival500::writeInput(int fd, const Bytes& report) const {
  uhid_event event{};
  event.type = UHID_INPUT2;
  event.u.input2.size = static_cast<std::uint16_t>(report.size());
  std::copy(report.begin(), report.end(), event.u.input2.data);
  writeEvent(fd, event);
}

}  // namespace tandemo::guest
