#pragma once

// The desktop services the controller relies on, besides HID and event posting.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/Expected.h"

namespace tandemo {

struct RunningApplication {
  std::optional<std::string> localizedName;
  std::optional<std::string> bundleID;
  bool regular = true;  // an ordinary application with windows, not a background process
};

// The front-most application and the running ones, identified by bundle identifiers (on Linux,
// a desktop application id such as "org.mozilla.firefox" or the window class).
class Workspace {
 public:
  using ActivationHandler = std::function<void(std::optional<std::string> bundleID)>;

  virtual ~Workspace() = default;
  virtual std::optional<std::string> frontmostBundleID() = 0;
  // Called on the main loop whenever another application becomes active.
  virtual void setActivationHandler(ActivationHandler handler) = 0;
  virtual std::vector<RunningApplication> runningApplications() = 0;
  virtual std::optional<std::string> ownBundleID() = 0;
  // Opens the privacy settings page named by `anchor` ("ListenEvent", "Accessibility").
  virtual void openPrivacyPage(const std::string& anchor) = 0;
};

class LoginItem {
 public:
  virtual ~LoginItem() = default;
  virtual bool enabled() = 0;
  virtual Expected<void, std::string> registerItem() = 0;    // error: its description
  virtual Expected<void, std::string> unregisterItem() = 0;
};

class SystemLog {
 public:
  virtual ~SystemLog() = default;
  virtual void write(const std::string& line) = 0;  // already prefixed "Tandemo: "
};

// The local time of day as medium-length text, e.g. "09:05:03".
class TimeOfDay {
 public:
  virtual ~TimeOfDay() = default;
  virtual std::string now() = 0;
};

}  // namespace tandemo
