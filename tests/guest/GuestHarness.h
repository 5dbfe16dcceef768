#pragma once

// The guest's own small test harness: named scenarios, checks that report where they failed,
// and one closing line "N passed, N failed" that the host looks for.

#include <functional>
#include <source_location>
#include <string>
#include <vector>

namespace tandemo::guest {

class Checks {
 public:
  // Records and prints a failure when `ok` is false; returns `ok` so a scenario can stop early.
  bool expect(bool ok, const std::string& what, std::source_location where = std::source_location::current());
  int failures() const { return failures_; }

 private:
  int failures_ = 0;
};

struct Scenario {
  std::string name;
  std::function<void(Checks&)> run;
};

// Runs every scenario (an exception fails the scenario, not the run); the number that failed.
int runScenarios(const std::vector<Scenario>& scenarios);

}  // namespace tandemo::guest
