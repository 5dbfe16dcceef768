#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/HardwareConfig.h"
#include "model/HostAction.h"
#include "core/Expected.h"
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

// The profile that `nameOrID` names: a profile's UUID (any case), else its exact name. Empty or
// "auto" names no profile (automatic choice): the value is absent. Errors say what was not found,
// or, for a name two profiles share, list their UUIDs.
Expected<std::optional<Uuid>, std::string> resolveProfile(const AppState& state, std::string_view nameOrID);

}  // namespace tandemo
