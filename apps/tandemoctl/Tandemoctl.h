#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tandemo {

// Runs the command line with `args` (without the program name), printing to `out` and `err`.
// Returns the exit status: 0 success, 1 the operation failed, 2 bad arguments or unreadable input.
int runTandemoctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tandemo
