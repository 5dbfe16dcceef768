#include "linux/HidrawManager.h"

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace tandemo::linux_platform {
namespace {

std::string systemText(int error) { return std::generic_category().message(error); }

}  // namespace

HidrawManager::HidrawManager(MainLoop& loop) : HidrawManager(loop, HidrawOptions{}) {}

HidrawManager::HidrawManager(MainLoop& loop, HidrawOptions options)
    : loop_(loop), options_(std::move(options)), sysfs_(options_.sysfs, options_.dev) {
  // The monitor starts before the scan, so that nothing plugged in between is missed.
  if (options_.watchHotplug) {
    auto monitor = UdevMonitor::start(
        loop_, UdevMonitor::sourceFor(options_.udevControl), "hidraw",
        [this](std::string_view action, const std::string& sysname) { uevent(action, sysname); },
        [this] { rescan(); });
    if (monitor) {
      monitor_ = std::move(monitor).value();
    } else {
      monitorProblem_ = monitor.error();
    }
  }
  rescan();
}

HidrawManager::~HidrawManager() {
  monitor_.reset();
  for (const auto& device : devices_) device->markGone();
}

void HidrawManager::setCallbacks(DeviceCallback added, DeviceCallback removed) {
  added_ = std::move(added);
  removed_ = std::move(removed);
}

std::vector<std::shared_ptr<HidDevice>> HidrawManager::presentDevices() { return {devices_.begin(), devices_.end()}; }

void HidrawManager::uevent(std::string_view action, const std::string& sysname) {
  if (action == "remove") {
    remove(sysname);
  } else if (action == "add") {
    if (auto node = sysfs_.inspect(sysname)) add(std::move(*node));
  }
}

void HidrawManager::rescan() {
  const std::vector<HidrawNode> nodes = sysfs_.scan();
  std::vector<std::string> vanished;
  for (const auto& device : devices_) {
    const bool present = std::ranges::any_of(nodes, [&](const HidrawNode& node) {
      return node.sysname == device->node().sysname && node.hidDevice == device->node().hidDevice;
    });
    if (!present) vanished.push_back(device->node().sysname);
  }
  for (const std::string& sysname : vanished) remove(sysname);
  for (const HidrawNode& node : nodes) add(node);
}

void HidrawManager::add(HidrawNode node) {
  if (!presented(node.role)) return;  // the pointer interface and unreadable ones: never touched
  const auto known = std::ranges::find_if(devices_, [&](const auto& d) { return d->node().sysname == node.sysname; });
  if (known != devices_.end()) {
    if ((*known)->node().hidDevice == node.hidDevice) return;  // seen twice: by the scan and the monitor
    remove(node.sysname);  // the name now belongs to another interface
  }
  auto inputNodes = [this, hidDevice = node.hidDevice] { return sysfs_.inputNodes(hidDevice); };
  auto device = std::make_shared<HidrawDevice>(loop_, std::move(node), std::move(inputNodes));
  devices_.push_back(device);
  if (added_) added_(device);
}

void HidrawManager::remove(const std::string& sysname) {
  const auto known = std::ranges::find_if(devices_, [&](const auto& d) { return d->node().sysname == sysname; });
  if (known == devices_.end()) return;
  const std::shared_ptr<HidrawDevice> device = *known;
  devices_.erase(known);
  device->markGone();
  if (removed_) removed_(device);
}

std::vector<HidrawNode> HidrawManager::foundInterfaces() const { return sysfs_.scan(); }

std::optional<HidrawNode> HidrawManager::keyboardNode() const {
  for (const auto& device : devices_) {
    if (device->node().role == InterfaceRole::keyboard) return device->node();
  }
  return std::nullopt;
}

bool HidrawManager::isRoot() const { return options_.root.value_or(::geteuid() == 0); }

InputAccess HidrawManager::inputAccess() const {
  if (isRoot()) return {true, "running as root"};
  if (const auto keyboard = keyboardNode()) {
    std::vector<std::filesystem::path> nodes = sysfs_.inputNodes(keyboard->hidDevice);
    nodes.insert(nodes.begin(), keyboard->devNode);
    for (const auto& node : nodes) {
      if (::faccessat(AT_FDCWD, node.c_str(), R_OK, AT_EACCESS) != 0) {
        return {false, "cannot read " + node.string() + " (" + systemText(errno) + ")"};
      }
    }
    return {true, "the mouse's keyboard interface can be read"};
  }
  for (const auto& rule : options_.ruleFiles) {
    std::error_code error;
    if (std::filesystem::exists(rule, error)) {
      return {true, "no keyboard interface of the mouse is there; the udev rule is installed (" + rule.string() + ")"};
    }
  }
  return {false, "no keyboard interface of the mouse is there, and the udev rule is not installed"};
}

GrabProbeResult HidrawManager::probeKeyboardGrab() const {
  const auto keyboard = std::ranges::find_if(devices_, [](const auto& d) {
    return d->node().role == InterfaceRole::keyboard;
  });
  if (keyboard == devices_.end()) return {GrabProbe::noKeyboard, {}};
  if ((*keyboard)->isOpen()) return {GrabProbe::heldHere, {}};
  for (const auto& node : sysfs_.inputNodes((*keyboard)->node().hidDevice)) {
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      const bool denied = error == EACCES || error == EPERM;
      return {denied ? GrabProbe::notPermitted : GrabProbe::failed, node.string() + ": " + systemText(error)};
    }
    const FileDescriptor holder(fd);
    if (::ioctl(fd, EVIOCGRAB, 1) < 0) {
      const int error = errno;
      if (error == EBUSY) return {GrabProbe::heldElsewhere, node.string()};
      return {GrabProbe::failed, node.string() + ": " + systemText(error)};
    }
    ::ioctl(fd, EVIOCGRAB, 0);
  }
  return {GrabProbe::free, {}};
}

std::optional<std::string> HidrawManager::monitorSource() const {
  if (!monitor_) return std::nullopt;
  return UdevMonitor::name(monitor_->source());
}

}  // namespace tandemo::linux_platform
