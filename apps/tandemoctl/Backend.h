#pragma once

#include <iosfwd>
#include <string>

namespace tandemo::linux_platform {
class HidrawManager;
}

namespace tandemo {

// What the hidraw backend found and may do: status' lines after the profile. With
// `appHoldsKeyboard`, a grabbed keyboard interface is the running app's.
void printBackend(linux_platform::HidrawManager& hidraw, std::ostream& out, bool appHoldsKeyboard = false);

// Why there is no connection: no mouse, or a configuration interface this user cannot open.
// Without a backend (the simulated mouse): no mouse.
std::string notConnectedText(const linux_platform::HidrawManager* hidraw);

// The same two from a sysfs scan of this process's own, which opens none of the mouse's nodes.
void printBackendScan(std::ostream& out, bool appHoldsKeyboard);
std::string notConnectedScan();

}  // namespace tandemo
