#include "hid/HIDLink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "core/Overloaded.h"

namespace tandemo {

namespace {

constexpr auto kPacketPause = std::chrono::milliseconds(50);
constexpr auto kFirmwareTimeout = std::chrono::milliseconds(500);
constexpr std::size_t kOutputReportLength = 32;

// The first two data bytes as "05 00": enough to tell which command was refused.
std::string leadingBytes(const std::vector<std::uint8_t>& data) {
  std::string text;
  for (std::size_t i = 0; i < std::min<std::size_t>(data.size(), 2); ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(data[i]));
    if (i > 0) text += ' ';
    text += hex;
  }
  return text;
}

// Sends the packets on the calling worker, pausing after each. Nothing when the queue stopped.
std::optional<HIDLink::WriteResult> sendPackets(SerialQueue& queue, HidDevice& device,
                                                const std::vector<Rival500::Packet>& packets) {
  using LinkError = HIDLink::LinkError;
  for (const Rival500::Packet& packet : packets) {
    std::vector<std::uint8_t> bytes = packet.data;
    auto type = HidReportType::feature;
    if (packet.type == Rival500::ReportType::output) {
      type = HidReportType::output;
      if (bytes.size() < kOutputReportLength) bytes.resize(kOutputReportLength, 0);
    }
    const IOReturn code = device.setReport(type, 0, bytes);
    if (code != kIOReturnSuccess) return unexpected(LinkError{LinkError::Write{packet, describe(code)}});
    if (!queue.sleep(kPacketPause)) return std::nullopt;
  }
  return HIDLink::WriteResult{};
}

std::span<const std::uint8_t> limited(std::span<const std::uint8_t> bytes) {
  return bytes.first(std::min(bytes.size(), kMaxInputReportLength));
}

}  // namespace

std::string HIDLink::LinkError::description() const {
  return std::visit(Overloaded{
                        [](const Write& write) {
                          return "The mouse refused a packet (" + leadingBytes(write.packet.data) + "): " + write.text;
                        },
                        [](const NotConnected&) { return std::string("The Rival 500 is not plugged in."); },
                    },
                    value);
}

HIDLink::HIDLink(MainLoop& loop, HidManager& manager, const std::string& bundleID)
    : loop_(loop), manager_(manager), writeQueue_(loop, bundleID + ".hid-write") {
  manager_.setCallbacks([this](const std::shared_ptr<HidDevice>& device) { deviceAdded(device); },
                        [this](const std::shared_ptr<HidDevice>& device) { deviceRemoved(device); });
  for (const auto& device : manager_.presentDevices()) deviceAdded(device);
}

HIDLink::~HIDLink() {
  alive_.reset();
  manager_.setCallbacks({}, {});
  if (vendor_) vendor_->setInputHandler({});
  if (keyboard_ && keyboardState_.is<KeyboardState::Seized>()) {
    keyboard_->setInputHandler({});
    keyboard_->close(true);
  }
}

void HIDLink::setSeizeWanted(bool wanted) {
  if (wanted == seizeWanted_) return;
  seizeWanted_ = wanted;
  updateSeize();
}

void HIDLink::retrySeize() {
  if (!keyboardState_.is<KeyboardState::Seized>()) updateSeize();
}

void HIDLink::deviceAdded(const std::shared_ptr<HidDevice>& device) {
  if (device->primaryUsagePage().value_or(0) == kConfigurationUsagePage) {
    if (vendor_) return;
    const IOReturn code = device->open(false);
    if (code != kIOReturnSuccess) {
      emitLog("Could not open the configuration interface: " + describe(code));
      return;
    }
    vendor_ = device;
    vendor_->setInputHandler([this](std::uint32_t, std::span<const std::uint8_t> bytes) {
      const auto report = limited(bytes);
      vendorReport({report.begin(), report.end()});
    });
    emitLog("Rival 500 connected");
    if (onVendorConnection) onVendorConnection(true);
    return;
  }
  if (keyboard_) return;
  keyboard_ = device;
  setKeyboardState(KeyboardState::idle());
  updateSeize();
}

void HIDLink::deviceRemoved(const std::shared_ptr<HidDevice>& device) {
  if (vendor_ && vendor_ == device) {
    // Not closed: it is gone. A write in progress keeps its own reference.
    vendor_->setInputHandler({});
    vendor_.reset();
    if (firmwareWaiter_) std::exchange(firmwareWaiter_, {})(std::nullopt);
    emitLog("Rival 500 disconnected");
    if (onVendorConnection) onVendorConnection(false);
  } else if (keyboard_ && keyboard_ == device) {
    keyboard_->setInputHandler({});
    keyboard_.reset();
    setKeyboardState(KeyboardState::absent());
  }
}

void HIDLink::updateSeize() {
  if (!keyboard_) return;
  const bool seized = keyboardState_.is<KeyboardState::Seized>();
  if (!seizeWanted_) {
    if (!seized) return;  // needsInputMonitoring and failed stay as they are
    keyboard_->setInputHandler({});
    keyboard_->close(true);
    setKeyboardState(KeyboardState::idle());
    emitLog("Released the mouse's extra buttons back to the desktop");
    return;
  }
  if (seized) return;
  const IOReturn code = keyboard_->open(true);
  if (code == kIOReturnSuccess) {
    keyboard_->setInputHandler(
        [this](std::uint32_t reportID, std::span<const std::uint8_t> bytes) { keyboardReport(reportID, bytes); });
    setKeyboardState(KeyboardState::seized());
    emitLog("Taking over the mouse's extra buttons");
  } else if (code == kIOReturnNotPermitted || code == kIOReturnNotPrivileged) {
    setKeyboardState(KeyboardState::needsInputMonitoring());
    emitLog("Tandemo needs permission to read the mouse's input devices before it can read the extra buttons");
  } else {
    setKeyboardState(KeyboardState::failed(describe(code)));
    emitLog("Could not take over the extra buttons: " + describe(code));
  }
}

void HIDLink::setKeyboardState(KeyboardState state) {
  if (state == keyboardState_) return;
  keyboardState_ = std::move(state);
  if (onKeyboardState) onKeyboardState(keyboardState_);
}

void HIDLink::keyboardReport(std::uint32_t reportID, std::span<const std::uint8_t> bytes) {
  const auto report = limited(bytes);
  std::vector<std::uint8_t> body(report.begin(), report.end());
  // Numbered reports arrive with their ID in front; the owner gets the body only.
  if (!body.empty() && reportID != 0 && body.front() == reportID) body.erase(body.begin());
  if (onKeyboardReport) onKeyboardReport(reportID, std::move(body));
}

void HIDLink::write(std::vector<Rival500::Packet> packets, WriteCompletion completion) {
  if (!vendor_) {
    completion(unexpected(LinkError{LinkError::NotConnected{}}));
    return;
  }
  // The job uses only what it captures here: the device taken now, even if it is removed later.
  writeQueue_.async([device = vendor_, packets = std::move(packets), completion = std::move(completion),
                     alive = std::weak_ptr<bool>(alive_)](SerialQueue& queue) mutable {
    auto result = sendPackets(queue, *device, packets);
    if (!result) return;  // the link is going away; nobody is left to tell
    queue.loop().post([alive, completion = std::move(completion), result = std::move(*result)]() mutable {
      if (!alive.expired()) completion(std::move(result));
    });
  });
}

void HIDLink::readFirmware(FirmwareCompletion completion) {
  if (!vendor_) {
    completion(std::nullopt);
    return;
  }
  const std::uint64_t query = ++firmwareQueryId_;
  firmwareWaiter_ = std::move(completion);  // an earlier pending query is dropped unanswered
  // A refusal and the time limit end only this query, never one started after it.
  write({Rival500::firmwareQueryPacket()}, [this, query](const WriteResult& result) {
    if (!result) endFirmwareQuery(query);
  });
  loop_.startTimer(kFirmwareTimeout, [this, query, alive = std::weak_ptr<bool>(alive_)] {
    if (!alive.expired()) endFirmwareQuery(query);
  });
}

void HIDLink::endFirmwareQuery(std::uint64_t query) {
  if (query != firmwareQueryId_ || !firmwareWaiter_) return;
  std::exchange(firmwareWaiter_, {})(std::nullopt);
}

void HIDLink::vendorReport(std::vector<std::uint8_t> bytes) {
  if (!firmwareWaiter_) return;
  auto waiter = std::exchange(firmwareWaiter_, {});
  if (bytes.size() < 2) {
    waiter(std::nullopt);
    return;
  }
  char version[8];
  std::snprintf(version, sizeof version, "%d.%02d", bytes[0] / 100, bytes[0] % 100);
  waiter(std::string(version));
}

void HIDLink::emitLog(const std::string& line) {
  if (log) log(line);
}

}  // namespace tandemo
