#include "linux/HidrawSysfs.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>

#include "hid/HidPlatform.h"

namespace tandemo::linux_platform {
namespace {

namespace fs = std::filesystem;

// Sysfs attributes are small; a descriptor is at most 4096 bytes, so one more byte tells a
// file that is too long from one that fits.
constexpr std::size_t kMaxAttributeSize = kMaxReportDescriptorSize + 1;

std::optional<std::string> readAttribute(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxAttributeSize, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::nullopt;
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

template <class Int>
std::optional<Int> hexField(std::string_view text) {
  Int value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The number after a prefix ("hidraw12" -> 12, "event5" -> 5); nothing for other names.
std::optional<unsigned> numberAfter(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return std::nullopt;
  name.remove_prefix(prefix.size());
  unsigned value = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), value);
  if (name.empty() || error != std::errc{} || end != name.data() + name.size()) return std::nullopt;
  return value;
}

// Entries of `folder` named prefix + number, in numeric order.
std::vector<std::pair<unsigned, fs::path>> numbered(const fs::path& folder, std::string_view prefix) {
  std::vector<std::pair<unsigned, fs::path>> found;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (auto number = numberAfter(it->path().filename().string(), prefix)) found.emplace_back(*number, it->path());
  }
  std::ranges::sort(found);
  return found;
}

}  // namespace

std::optional<HidId> parseHidId(std::string_view text) {
  const auto first = text.find(':');
  const auto second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto bus = hexField<std::uint16_t>(text.substr(0, first));
  const auto vendor = hexField<std::uint32_t>(text.substr(first + 1, second - first - 1));
  const auto product = hexField<std::uint32_t>(text.substr(second + 1));
  if (!bus || !vendor || !product) return std::nullopt;
  return HidId{*bus, *vendor, *product};
}

std::optional<std::string> ueventValue(std::string_view uevent, std::string_view key) {
  while (!uevent.empty()) {
    const auto end = uevent.find('\n');
    std::string_view line = uevent.substr(0, end);
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
      return std::string(line.substr(key.size() + 1));
    }
    if (end == std::string_view::npos) break;
    uevent.remove_prefix(end + 1);
  }
  return std::nullopt;
}

InterfaceRole roleOf(const ReportDescriptorInfo& descriptor) {
  const auto page = descriptor.primaryUsagePage();
  const auto usage = descriptor.primaryUsage();
  if (page == kConfigurationUsagePage) return InterfaceRole::configuration;
  if (page == 1 && usage == 6) return InterfaceRole::keyboard;
  if (page == 1 && usage == 2) return InterfaceRole::pointer;
  return InterfaceRole::other;
}

const char* roleName(InterfaceRole role) {
  switch (role) {
    case InterfaceRole::configuration: return "configuration";
    case InterfaceRole::keyboard: return "keyboard";
    case InterfaceRole::pointer: return "pointer";
    case InterfaceRole::other: return "other";
    case InterfaceRole::unreadable: return "unreadable";
  }
  return "unknown";
}

HidrawSysfs::HidrawSysfs(fs::path sysfsRoot, fs::path devRoot) : sysfs_(std::move(sysfsRoot)), dev_(std::move(devRoot)) {}

std::vector<std::string> HidrawSysfs::hidrawNames() const {
  std::vector<std::string> names;
  for (const auto& [number, path] : numbered(sysfs_ / "class" / "hidraw", "hidraw")) {
    names.push_back(path.filename().string());
  }
  return names;
}

fs::path HidrawSysfs::devNodeOf(const fs::path& sysfsDir, const std::string& fallback) const {
  // DEVNAME comes from the kernel itself ("hidraw3", "input/event5"): no udev database needed.
  const auto uevent = readAttribute(sysfsDir / "uevent");
  auto name = uevent ? ueventValue(*uevent, "DEVNAME") : std::nullopt;
  if (!name || name->empty() || name->find("..") != std::string::npos || name->front() == '/') name = fallback;
  return dev_ / *name;
}

std::optional<HidrawNode> HidrawSysfs::inspect(const std::string& sysname) const {
  if (!numberAfter(sysname, "hidraw")) return std::nullopt;
  const fs::path classDir = sysfs_ / "class" / "hidraw" / sysname;
  std::error_code error;
  const fs::path hidDevice = fs::canonical(classDir / "device", error);
  if (error) return std::nullopt;
  const auto uevent = readAttribute(hidDevice / "uevent");
  const auto hidIdText = uevent ? ueventValue(*uevent, "HID_ID") : std::nullopt;
  const auto id = hidIdText ? parseHidId(*hidIdText) : std::nullopt;
  if (!id || *id != HidId{kBusUsb, kRival500VendorID, kRival500ProductID}) return std::nullopt;

  HidrawNode node;
  node.sysname = sysname;
  node.hidDevice = hidDevice;
  node.devNode = devNodeOf(classDir, sysname);
  node.inputNodes = inputNodes(hidDevice);
  const auto bytes = readAttribute(hidDevice / "report_descriptor");
  if (!bytes) {
    node.problem = "report descriptor cannot be read";
    return node;
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes->data());
  auto parsed = parseReportDescriptor({data, bytes->size()});
  if (!parsed) {
    node.problem = "report descriptor: " + parsed.error();
    return node;
  }
  node.role = roleOf(*parsed);
  node.descriptor = std::move(parsed).value();
  return node;
}

std::vector<HidrawNode> HidrawSysfs::scan() const {
  std::vector<HidrawNode> nodes;
  for (const std::string& name : hidrawNames()) {
    if (auto node = inspect(name)) nodes.push_back(std::move(*node));
  }
  return nodes;
}

std::vector<fs::path> HidrawSysfs::inputNodes(const fs::path& hidDevice) const {
  std::vector<fs::path> nodes;
  for (const auto& [inputNumber, input] : numbered(hidDevice / "input", "input")) {
    for (const auto& [eventNumber, event] : numbered(input, "event")) {
      nodes.push_back(devNodeOf(event, "input/" + event.filename().string()));
    }
  }
  return nodes;
}

}  // namespace tandemo::linux_platform
