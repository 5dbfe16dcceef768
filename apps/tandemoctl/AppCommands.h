#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "Online.h"

namespace tandemo {

// Runs an online command through the running app, with the output and exit status the command
// has alone. Nothing when no app owns its bus name (or there is no session bus): then the
// command runs alone.
std::optional<int> runThroughApp(const OnlineOptions& options, std::ostream& out, std::ostream& err);

// `pin` without the app: resolves the profile in the settings file and saves it pinned. A file
// that cannot be used is left as it is (exit 1), so that a pin never replaces the settings.
int pinAlone(const OnlineOptions& options, std::ostream& err);

// The words status prints for a keyboard state as the app serves it ("seized: ...").
std::string keyboardWords(const std::string& served);

}  // namespace tandemo
