#include "GuestHarness.h"

#include <chrono>
#include <cstdio>
#include <exception>

namespace tandemo::guest {

bool Checks::expect(bool ok, const std::string& what, std::source_location where) {
  if (ok) return true;
  ++failures_;
  std::printf("    failed: %s (%s:%u)\n", what.c_str(), where.file_name(), static_cast<unsigned>(where.line()));
  std::fflush(stdout);
  return false;
}

int runScenarios(const std::vector<Scenario>& scenarios) {
  int passed = 0;
  int failed = 0;
  for (const Scenario& scenario : scenarios) {
    std::printf("--- %s\n", scenario.name.c_str());
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    Checks checks;
    try {
      scenario.run(checks);
    } catch (const std::exception& error) {
      checks.expect(false, std::string("exception: ") + error.what());
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const bool ok = checks.failures() == 0;
    (ok ? passed : failed) += 1;
    std::printf("%s %s (%lld ms)\n", ok ? "ok  " : "FAIL", scenario.name.c_str(), static_cast<long long>(ms.count()));
    std::fflush(stdout);
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  std::fflush(stdout);
  return failed;
}

}  // namespace tandemo::guest
