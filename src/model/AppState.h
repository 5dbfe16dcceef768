#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/HardwareConfig.h"
#include "model/HostAction.h"
#include "model/Uuid.h"

namespace tandemo {

// The host actions of app-controlled buttons for a group of front applications.
struct Profile {
  Uuid id;
  std::string name;
  // Bundle identifiers or leading parts of them; empty for the profile used everywhere else.
  std::vector<std::string> bundleIDs;
  Rival500::ButtonMap<HostAction> actions;

  bool operator==(const Profile&) const = default;
};

// Everything the user configures that outlives a run.
struct AppState {
  HardwareConfig hardware;
  std::vector<Profile> profiles;
  bool autoSwitch = true;
  std::optional<Uuid> pinnedProfileID;
  bool writeOnConnect = true;
  bool saveToOnboardMemory = true;
  bool openWindowAtLaunch = true;

  // The shipped default: a World of Warcraft profile and a fallback, with fresh ids on every call.
  static AppState wowDefault();

  bool operator==(const AppState&) const = default;
};

}  // namespace tandemo
