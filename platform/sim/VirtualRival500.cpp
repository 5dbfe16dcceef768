#include "sim/VirtualRival500.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "core/Overloaded.h"
#include "sim/VirtualFirmware.h"

namespace tandemo::sim {
namespace {

using Rival500::Assignment;
using Rival500::Button;

constexpr std::uint32_t keyboardReportID = 1;
constexpr std::uint32_t consumerReportID = 2;
constexpr std::size_t keySlots = 6;

enum class Kind { configuration, keyboard };

// One HID interface of the virtual mouse. Its fields are guarded by the mouse's mutex.
class Interface final : public HidDevice, public std::enable_shared_from_this<Interface> {
 public:
  Interface(std::weak_ptr<VirtualRival500::Core> core, Kind kind) : core_(std::move(core)), kind_(kind) {}

  std::optional<std::int64_t> primaryUsagePage() const override;
  IOReturn open(bool seize) override;
  void close(bool seize) override;
  void setInputHandler(InputHandler handler) override;
  IOReturn setReport(HidReportType type, std::uint32_t reportID, std::span<const std::uint8_t> bytes) override;

  Kind kind() const { return kind_; }

  bool removed = false;
  bool opened = false;
  bool seized = false;
  InputHandler handler;

 private:
  std::weak_ptr<VirtualRival500::Core> core_;
  const Kind kind_;
};

// An input report on its way to the loop.
struct Delivery {
  std::weak_ptr<Interface> target;
  std::uint32_t reportID = 0;
  std::vector<std::uint8_t> bytes;
};

LightEffect factoryLight() {
  return LightEffect{255, 0, 225, {{330, 0, 11, -10}, {330, -12, -1, 12}, {340, 12, -9, -1}}, 1000};
}

bool isModifier(std::uint8_t usage) { return usage >= 0xE0 && usage <= 0xE7; }

}  // namespace

struct VirtualRival500::Core : std::enable_shared_from_this<VirtualRival500::Core> {
  explicit Core(MainLoop& mainLoop) : loop(mainLoop) {}

  MainLoop& loop;
  mutable std::mutex mutex;
  bool plugged = false;
  std::shared_ptr<Interface> configuration;
  std::shared_ptr<Interface> keyboard;
  DeviceCallback added;
  DeviceCallback removed;

  bool inputMonitoring = true;
  int inputMonitoringRequests = 0;
  std::optional<std::int64_t> keyboardUsagePage = 1;
  std::optional<IOReturn> seizeResult;
  IOReturn configurationOpenResult = kIOReturnSuccess;
  std::optional<std::vector<std::uint8_t>> firmwareAnswer = std::vector<std::uint8_t>{107, 0};
  std::vector<std::pair<std::size_t, IOReturn>> refusals;  // (report number, code)

  MouseSettings live = factorySettings();
  MouseSettings stored = factorySettings();
  std::size_t received = 0;
  int saves = 0;
  int queries = 0;
  int dpiPreset = 1;
  std::vector<ReceivedReport> reports;
  std::vector<std::string> violations;

  std::set<Button> held;
  std::vector<std::uint8_t> keyboardReport = emptyKeyboardReport();
  std::vector<std::uint8_t> consumerReport = emptyConsumerReport();
  std::vector<NativeAction> natives;
  std::vector<SystemReport> systemReports;

  static std::vector<std::uint8_t> emptyKeyboardReport() { return {keyboardReportID, 0, 0, 0, 0, 0, 0, 0, 0}; }
  static std::vector<std::uint8_t> emptyConsumerReport() { return {consumerReportID, 0, 0, 0, 0}; }

  IOReturn configurationReport(Interface& device, HidReportType type, std::uint32_t reportID,
                               std::span<const std::uint8_t> bytes);
  void controlChanged(Button button, bool down, std::vector<Delivery>& out);
  std::vector<std::uint8_t> buildKeyboardReport() const;
  std::vector<std::uint8_t> buildConsumerReport() const;
  void post(std::vector<Delivery> deliveries);
  void postDeviceEvent(bool arrival, std::vector<std::shared_ptr<HidDevice>> devices);
};

namespace {

std::optional<std::int64_t> Interface::primaryUsagePage() const {
  if (kind_ == Kind::configuration) return kConfigurationUsagePage;
  auto core = core_.lock();
  if (!core) return std::int64_t{1};
  std::lock_guard lock(core->mutex);
  return core->keyboardUsagePage;
}

IOReturn Interface::open(bool seize) {
  auto core = core_.lock();
  if (!core) return kIOReturnNoDevice;
  std::lock_guard lock(core->mutex);
  if (removed) return kIOReturnNoDevice;
  IOReturn code = kIOReturnSuccess;
  if (kind_ == Kind::configuration) {
    code = core->configurationOpenResult;
  } else if (seize) {
    code = core->seizeResult.value_or(core->inputMonitoring ? kIOReturnSuccess : kIOReturnNotPermitted);
  }
  if (code != kIOReturnSuccess) return code;
  opened = true;
  seized = seized || seize;
  return code;
}

void Interface::close(bool seize) {
  auto core = core_.lock();
  if (!core) return;
  std::lock_guard lock(core->mutex);
  opened = false;
  if (seize) seized = false;
}

void Interface::setInputHandler(InputHandler newHandler) {
  auto core = core_.lock();
  if (!core) return;
  std::lock_guard lock(core->mutex);
  handler = std::move(newHandler);
}

IOReturn Interface::setReport(HidReportType type, std::uint32_t reportID, std::span<const std::uint8_t> bytes) {
  auto core = core_.lock();
  if (!core) return kIOReturnNoDevice;
  return core->configurationReport(*this, type, reportID, bytes);
}

}  // namespace

// Runs on the write queue's thread: decides under the lock, never waits for anything else.
IOReturn VirtualRival500::Core::configurationReport(Interface& device, HidReportType type, std::uint32_t reportID,
                                                    std::span<const std::uint8_t> bytes) {
  std::vector<Delivery> answer;
  IOReturn code = kIOReturnSuccess;
  {
    std::lock_guard lock(mutex);
    if (device.removed) return kIOReturnNoDevice;
    if (device.kind() != Kind::configuration) {
      violations.push_back("report sent to the keyboard interface");
      return kIOReturnBadArgument;
    }
    if (!device.opened) {
      violations.push_back("report sent before the configuration interface was opened");
      return kIOReturnNotOpen;
    }
    ++received;
    for (const auto& [number, refusal] : refusals) {
      if (number == received) code = refusal;
    }
    reports.push_back({type, reportID, {bytes.begin(), bytes.end()}, code});
    if (code != kIOReturnSuccess) return code;
    auto command = applyReport(live, type, reportID, bytes);
    if (!command) {
      violations.push_back(command.error());
    } else if (*command == FirmwareCommand::save) {
      stored = live;
      ++saves;
    } else if (*command == FirmwareCommand::firmwareQuery) {
      ++queries;
      if (firmwareAnswer) answer.push_back({device.weak_from_this(), 0, *firmwareAnswer});
    }
  }
  post(std::move(answer));
  return code;
}

std::vector<std::uint8_t> VirtualRival500::Core::buildKeyboardReport() const {
  std::uint8_t modifiers = 0;
  std::vector<std::uint8_t> keys;
  for (Button button : held) {
    const Assignment& assignment = live.assignments.at(button);
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
  // More keys than slots: the boot protocol's roll-over error in every slot.
  if (keys.size() > keySlots) keys.assign(keySlots, 0x01);
  std::vector<std::uint8_t> report = emptyKeyboardReport();
  report[0] = keyboardReportID;
  report[1] = modifiers;
  std::copy(keys.begin(), keys.end(), report.begin() + 3);
  return report;
}

std::vector<std::uint8_t> VirtualRival500::Core::buildConsumerReport() const {
  std::vector<std::uint8_t> usages;
  for (Button button : held) {
    const auto* media = std::get_if<Assignment::Media>(&live.assignments.at(button).value);
    if (media && std::find(usages.begin(), usages.end(), media->usage) == usages.end()) usages.push_back(media->usage);
  }
  usages.resize(2, 0x00);
  return {consumerReportID, usages[0], 0x00, usages[1], 0x00};
}

void VirtualRival500::Core::controlChanged(Button button, bool down, std::vector<Delivery>& out) {
  const Assignment& assignment = live.assignments.at(button);
  if (assignment.is<Assignment::Disabled>()) return;
  if (assignment.is<Assignment::Key>() || assignment.is<Assignment::Bridge>()) {
    auto report = buildKeyboardReport();
    if (report == keyboardReport) return;
    keyboardReport = report;
    out.push_back({keyboard, keyboardReportID, std::move(report)});
    return;
  }
  if (assignment.is<Assignment::Media>()) {
    auto report = buildConsumerReport();
    if (report == consumerReport) return;
    consumerReport = report;
    out.push_back({keyboard, consumerReportID, std::move(report)});
    return;
  }
  if (assignment.is<Assignment::DpiSwitch>() && down) dpiPreset = dpiPreset == 1 ? 2 : 1;
  natives.push_back({button, assignment, down});
}

// Input reports arrive on the loop, as the system delivers them. The keyboard interface's
// reports reach the system unless it is seized, and the program only while it listens.
void VirtualRival500::Core::post(std::vector<Delivery> deliveries) {
  for (Delivery& delivery : deliveries) {
    loop.post([self = weak_from_this(), delivery = std::move(delivery)] {
      auto core = self.lock();
      auto device = delivery.target.lock();
      if (!core || !device) return;
      HidDevice::InputHandler handler;
      {
        std::lock_guard lock(core->mutex);
        if (device->removed) return;
        if (device->kind() == Kind::keyboard && !device->seized) {
          core->systemReports.push_back({delivery.reportID, delivery.bytes});
        }
        if (device->opened && device->handler) handler = device->handler;
      }
      if (handler) handler(delivery.reportID, delivery.bytes);
    });
  }
}

void VirtualRival500::Core::postDeviceEvent(bool arrival, std::vector<std::shared_ptr<HidDevice>> devices) {
  loop.post([self = weak_from_this(), arrival, devices = std::move(devices)] {
    auto core = self.lock();
    if (!core) return;
    DeviceCallback callback;
    {
      std::lock_guard lock(core->mutex);
      callback = arrival ? core->added : core->removed;
    }
    if (!callback) return;
    for (const auto& device : devices) callback(device);
  });
}

}  // namespace tandemo::sim

namespace tandemo::sim {

MouseSettings VirtualRival500::factorySettings() {
  MouseSettings settings{800, 1600, 1000, {}, factoryLight(), factoryLight()};
  for (Button button : Rival500::allButtons) settings.assignments.emplace(button, Rival500::factoryDefault(button));
  return settings;
}

VirtualRival500::VirtualRival500(MainLoop& loop, bool pluggedIn) : core_(std::make_shared<Core>(loop)) {
  if (pluggedIn) {
    std::lock_guard lock(core_->mutex);
    core_->plugged = true;
    core_->configuration = std::make_shared<Interface>(core_, Kind::configuration);
    core_->keyboard = std::make_shared<Interface>(core_, Kind::keyboard);
  }
}

VirtualRival500::~VirtualRival500() = default;

void VirtualRival500::setCallbacks(DeviceCallback added, DeviceCallback removed) {
  std::lock_guard lock(core_->mutex);
  core_->added = std::move(added);
  core_->removed = std::move(removed);
}

std::vector<std::shared_ptr<HidDevice>> VirtualRival500::presentDevices() {
  std::lock_guard lock(core_->mutex);
  if (!core_->plugged) return {};
  return {core_->configuration, core_->keyboard};
}

bool VirtualRival500::inputMonitoringGranted() {
  std::lock_guard lock(core_->mutex);
  return core_->inputMonitoring;
}

void VirtualRival500::requestInputMonitoring() {
  std::lock_guard lock(core_->mutex);
  ++core_->inputMonitoringRequests;
}

void VirtualRival500::unplug() {
  std::vector<std::shared_ptr<HidDevice>> gone;
  {
    std::lock_guard lock(core_->mutex);
    if (!core_->plugged) return;
    core_->plugged = false;
    for (auto& device : {core_->configuration, core_->keyboard}) {
      device->removed = true;
      gone.push_back(device);
    }
    core_->held.clear();
    core_->keyboardReport = Core::emptyKeyboardReport();
    core_->consumerReport = Core::emptyConsumerReport();
  }
  core_->postDeviceEvent(false, std::move(gone));
}

void VirtualRival500::plugIn() {
  std::vector<std::shared_ptr<HidDevice>> fresh;
  {
    std::lock_guard lock(core_->mutex);
    if (core_->plugged) return;
    core_->plugged = true;
    core_->live = core_->stored;
    core_->dpiPreset = 1;
    core_->configuration = std::make_shared<Interface>(core_, Kind::configuration);
    core_->keyboard = std::make_shared<Interface>(core_, Kind::keyboard);
    fresh = {core_->configuration, core_->keyboard};
  }
  core_->postDeviceEvent(true, std::move(fresh));
}

void VirtualRival500::announce(std::shared_ptr<HidDevice> device, bool arrival) {
  core_->postDeviceEvent(arrival, {std::move(device)});
}

bool VirtualRival500::pluggedIn() const {
  std::lock_guard lock(core_->mutex);
  return core_->plugged;
}

std::shared_ptr<HidDevice> VirtualRival500::configurationInterface() const {
  std::lock_guard lock(core_->mutex);
  return core_->configuration;
}

std::shared_ptr<HidDevice> VirtualRival500::keyboardInterface() const {
  std::lock_guard lock(core_->mutex);
  return core_->keyboard;
}

void VirtualRival500::setInputMonitoringGranted(bool granted) {
  std::lock_guard lock(core_->mutex);
  core_->inputMonitoring = granted;
}

int VirtualRival500::inputMonitoringRequests() const {
  std::lock_guard lock(core_->mutex);
  return core_->inputMonitoringRequests;
}

void VirtualRival500::setSeizeResult(std::optional<IOReturn> code) {
  std::lock_guard lock(core_->mutex);
  core_->seizeResult = code;
}

void VirtualRival500::setKeyboardUsagePage(std::optional<std::int64_t> page) {
  std::lock_guard lock(core_->mutex);
  core_->keyboardUsagePage = page;
}

void VirtualRival500::sendKeyboardReport(std::uint32_t reportID, std::vector<std::uint8_t> bytes) {
  std::vector<Delivery> out;
  {
    std::lock_guard lock(core_->mutex);
    if (!core_->plugged) return;
    out.push_back({core_->keyboard, reportID, std::move(bytes)});
  }
  core_->post(std::move(out));
}

void VirtualRival500::setConfigurationOpenResult(IOReturn code) {
  std::lock_guard lock(core_->mutex);
  core_->configurationOpenResult = code;
}

void VirtualRival500::setFirmwareVersion(std::uint8_t version) { setFirmwareAnswer(std::vector<std::uint8_t>{version, 0}); }

void VirtualRival500::setFirmwareAnswer(std::optional<std::vector<std::uint8_t>> report) {
  std::lock_guard lock(core_->mutex);
  core_->firmwareAnswer = std::move(report);
}

void VirtualRival500::refuseReport(std::size_t nth, IOReturn code) {
  std::lock_guard lock(core_->mutex);
  core_->refusals.emplace_back(core_->received + nth, code);
}

void VirtualRival500::press(Button button) {
  std::vector<Delivery> out;
  {
    std::lock_guard lock(core_->mutex);
    if (!core_->plugged || !core_->held.insert(button).second) return;
    core_->controlChanged(button, true, out);
  }
  core_->post(std::move(out));
}

void VirtualRival500::release(Button button) {
  std::vector<Delivery> out;
  {
    std::lock_guard lock(core_->mutex);
    if (!core_->plugged || core_->held.erase(button) == 0) return;
    core_->controlChanged(button, false, out);
  }
  core_->post(std::move(out));
}

MouseSettings VirtualRival500::settings() const {
  std::lock_guard lock(core_->mutex);
  return core_->live;
}

MouseSettings VirtualRival500::storedSettings() const {
  std::lock_guard lock(core_->mutex);
  return core_->stored;
}

int VirtualRival500::saveCount() const {
  std::lock_guard lock(core_->mutex);
  return core_->saves;
}

int VirtualRival500::firmwareQueries() const {
  std::lock_guard lock(core_->mutex);
  return core_->queries;
}

int VirtualRival500::activeDpiPreset() const {
  std::lock_guard lock(core_->mutex);
  return core_->dpiPreset;
}

std::vector<ReceivedReport> VirtualRival500::reports() const {
  std::lock_guard lock(core_->mutex);
  return core_->reports;
}

std::vector<std::string> VirtualRival500::violations() const {
  std::lock_guard lock(core_->mutex);
  return core_->violations;
}

std::vector<NativeAction> VirtualRival500::nativeActions() const {
  std::lock_guard lock(core_->mutex);
  return core_->natives;
}

std::vector<SystemReport> VirtualRival500::systemReports() const {
  std::lock_guard lock(core_->mutex);
  return core_->systemReports;
}

bool VirtualRival500::keyboardSeized() const {
  std::lock_guard lock(core_->mutex);
  return core_->keyboard && !core_->keyboard->removed && core_->keyboard->seized;
}

}  // namespace tandemo::sim
