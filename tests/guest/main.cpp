// The kernel-level test program: PID 1 of the test guest runs it once after loading the HID and
// input modules. An argument runs only the scenarios whose names contain it.

#include <cstdio>
#include <string>

#include "Scenarios.h"

int main(int argc, char** argv) {
  using namespace tandemo::guest;
  std::vector<Scenario> all = kernelScenarios();
#ifdef TANDEMO_GUEST_BACKEND
  for (Scenario& scenario : backendScenarios()) all.push_back(std::move(scenario));
#else
  std::printf("guest: the Linux backend is not built in; its scenarios are left out\n");
#endif
  if (argc > 1) {
    std::erase_if(all, [&](const Scenario& scenario) { return scenario.name.find(argv[1]) == std::string::npos; });
  }
  return runScenarios(all) == 0 ? 0 : 1;
}
