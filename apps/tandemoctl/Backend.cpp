#include "Backend.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>
#include <system_error>

#include "linux/HidrawManager.h"
#include "linux/PollLoop.h"

namespace tandemo {
namespace {

constexpr const char* kNotPlugged = "The Rival 500 is not plugged in.";

std::string nodeList(const std::vector<std::filesystem::path>& nodes) {
  std::string text;
  for (const auto& node : nodes) text += (text.empty() ? "" : " ") + node.string();
  return text;
}

std::string interfaceLine(const linux_platform::HidrawNode& node) {
  using linux_platform::InterfaceRole;
  std::string line = node.devNode.string() + " " + linux_platform::roleName(node.role);
  if (node.role == InterfaceRole::keyboard && !node.inputNodes.empty()) line += " (" + nodeList(node.inputNodes) + ")";
  if (!linux_platform::presented(node.role)) line += ", not used";
  if (!node.problem.empty()) line += " (" + node.problem + ")";
  return line;
}

std::string holderText(const linux_platform::GrabProbeResult& probe, bool appHoldsKeyboard) {
  using linux_platform::GrabProbe;
  switch (probe.result) {
    case GrabProbe::free: return "none";
    case GrabProbe::heldElsewhere:
      return (appHoldsKeyboard ? "Tandemo (" : "another program (") + probe.detail + ")";
    case GrabProbe::heldHere: return "tandemoctl";
    case GrabProbe::noKeyboard: return "no keyboard interface";
    case GrabProbe::notPermitted: return "unknown, not permitted (" + probe.detail + ")";
    case GrabProbe::failed: return "unknown (" + probe.detail + ")";
  }
  return "unknown";
}

// Posting events needs /dev/uinput writable; the command line itself never opens it.
std::string uinputText() {
  if (::faccessat(AT_FDCWD, "/dev/uinput", W_OK, AT_EACCESS) == 0) return "granted";
  return "missing (/dev/uinput: " + std::generic_category().message(errno) + ")";
}

}  // namespace

void printBackend(linux_platform::HidrawManager& hidraw, std::ostream& out, bool appHoldsKeyboard) {
  const auto interfaces = hidraw.foundInterfaces();
  if (interfaces.empty()) out << "interfaces: none found\n";
  for (const auto& node : interfaces) out << "interface: " << interfaceLine(node) << '\n';
  out << "keyboard holder: " << holderText(hidraw.probeKeyboardGrab(), appHoldsKeyboard) << '\n';
  const auto access = hidraw.inputAccess();
  out << "input permission: " << (access.granted ? "granted" : "missing") << " (" << access.detail << ")\n"
      << "uinput permission: " << uinputText() << '\n'
      << "hotplug: " << hidraw.monitorSource().value_or("off (" + hidraw.monitorProblem() + ")") << '\n';
}

std::string notConnectedText(const linux_platform::HidrawManager* hidraw) {
  if (hidraw) {
    for (const auto& node : hidraw->foundInterfaces()) {
      if (node.role != linux_platform::InterfaceRole::configuration) continue;
      if (::faccessat(AT_FDCWD, node.devNode.c_str(), R_OK | W_OK, AT_EACCESS) == 0) continue;
      return "The Rival 500 is plugged in, but " + node.devNode.string() + " cannot be opened (" +
             std::generic_category().message(errno) + "): install the udev rule or run as root.";
    }
  }
  return kNotPlugged;
}

// The manager only notes the nodes it finds; opening them is left to a controller, and none runs here.
void printBackendScan(std::ostream& out, bool appHoldsKeyboard) {
  linux_platform::PollLoop loop;
  linux_platform::HidrawManager hidraw(loop);
  printBackend(hidraw, out, appHoldsKeyboard);
}

std::string notConnectedScan() {
  linux_platform::PollLoop loop;
  linux_platform::HidrawOptions options;
  options.watchHotplug = false;
  linux_platform::HidrawManager hidraw(loop, options);
  return notConnectedText(&hidraw);
}

}  // namespace tandemo
