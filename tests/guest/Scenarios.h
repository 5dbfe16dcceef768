#pragma once

#include <vector>

#include "GuestHarness.h"

namespace tandemo::guest {

// What the kernel does with the fake mouse: nodes, sysfs, hidraw framing, grabbing, key events.
std::vector<Scenario> kernelScenarios();
// The product's Linux backend, controller and command line against the fake mouse.
std::vector<Scenario> backendScenarios();

}  // namespace tandemo::guest
