#pragma once

#include <chrono>
#include <vector>

#include "FakeRival500.h"
#include "GuestHarness.h"
#include "KernelNodes.h"

namespace tandemo::guest {

using namespace std::chrono_literals;
inline constexpr auto nodeLimit = 3000ms;
inline constexpr auto eventLimit = 2000ms;
inline constexpr auto quietWindow = 300ms;  // long enough for a report to cross the input layer

// The hidraw node of one of the fake mouse's interfaces (and its event node, for the input ones).
HidNodes nodesOf(Interface kind);

// What the kernel does with the fake mouse: nodes, sysfs, hidraw framing, grabbing, key events.
std::vector<Scenario> kernelScenarios();
// The product's Linux backend, controller and command line against the fake mouse.
std::vector<Scenario> backendScenarios();

}  // namespace tandemo::guest
