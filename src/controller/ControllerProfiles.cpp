#include <algorithm>
#include <cctype>

#include "controller/Controller.h"

namespace tandemo {
namespace {

bool lessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

bool matchesFront(const Profile& profile, const std::string& front) {
  return std::ranges::any_of(profile.bundleIDs, [&](const std::string& entry) {
    return !entry.empty() && front.starts_with(entry);
  });
}

}  // namespace

// Pinned profile, else the first matching the front application, else the fallback, else the first.
const Profile* Controller::findActiveProfile() const {
  const auto& profiles = state_.profiles;
  if (state_.pinnedProfileID) {
    auto pinned = std::ranges::find(profiles, *state_.pinnedProfileID, &Profile::id);
    if (pinned != profiles.end()) return &*pinned;
  }
  if (state_.autoSwitch && frontBundleID_) {
    auto matching = std::ranges::find_if(profiles, [&](const Profile& p) { return matchesFront(p, *frontBundleID_); });
    if (matching != profiles.end()) return &*matching;
  }
  auto fallback = std::ranges::find_if(profiles, [](const Profile& p) { return p.bundleIDs.empty(); });
  if (fallback != profiles.end()) return &*fallback;
  return profiles.empty() ? nullptr : &profiles.front();
}

std::optional<Profile> Controller::activeProfile() const {
  const Profile* profile = findActiveProfile();
  return profile ? std::optional<Profile>(*profile) : std::nullopt;
}

std::optional<Uuid> Controller::activeProfileID() const {
  const Profile* profile = findActiveProfile();
  return profile ? std::optional<Uuid>(profile->id) : std::nullopt;
}

void Controller::frontChanged(std::optional<std::string> bundleID) {
  // Bringing our own window to the front keeps the profile of the application behind it.
  if (bundleID == services_.workspace.ownBundleID()) return;
  const auto before = activeProfileID();
  publish(frontBundleID_, std::move(bundleID), Property::frontBundleID);
  if (activeProfileID() != before) releaseBridge();
}

std::vector<Controller::AppEntry> Controller::runningApps() const {
  const auto own = services_.workspace.ownBundleID();
  std::vector<AppEntry> apps;
  for (const RunningApplication& app : services_.workspace.runningApplications()) {
    if (!app.regular || !app.bundleID || app.bundleID == own) continue;
    apps.push_back({app.localizedName.value_or(*app.bundleID), *app.bundleID});
  }
  std::ranges::stable_sort(apps, lessIgnoringCase, &AppEntry::name);
  return apps;
}

void Controller::addProfile() {
  const Profile* active = findActiveProfile();
  Profile profile{Uuid::random(), "New profile", {}, active ? active->actions : Rival500::ButtonMap<HostAction>{}};
  AppState next = state_;
  next.profiles.push_back(std::move(profile));
  setState(std::move(next));
}

void Controller::removeProfile(const Uuid& id) {
  if (state_.profiles.size() < 2) return;
  AppState next = state_;
  std::erase_if(next.profiles, [&](const Profile& p) { return p.id == id; });
  setState(std::move(next));
  if (state_.pinnedProfileID == id) {
    next = state_;
    next.pinnedProfileID.reset();
    setState(std::move(next));
  }
}

void Controller::setAssignment(Rival500::Button button, const Rival500::Assignment& assignment) {
  AppState next = state_;
  next.hardware.assignments[button] = assignment;
  setState(std::move(next));
}

void Controller::setAction(Rival500::Button button, const HostAction& action, const Uuid& profileID) {
  auto found = std::ranges::find(state_.profiles, profileID, &Profile::id);
  if (found == state_.profiles.end()) return;
  AppState next = state_;
  next.profiles[static_cast<std::size_t>(found - state_.profiles.begin())].actions[button] = action;
  setState(std::move(next));
}

Expected<void, std::string> Controller::pin(std::string_view nameOrID) {
  auto pinned = resolveProfile(state_, nameOrID);
  if (!pinned) return unexpected(pinned.error());
  if (*pinned == state_.pinnedProfileID) return {};
  AppState next = state_;
  next.pinnedProfileID = *pinned;
  setState(std::move(next));
  return {};
}

}  // namespace tandemo
