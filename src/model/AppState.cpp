#include "model/AppState.h"

namespace tandemo {

using Rival500::Assignment;
using Rival500::Button;

AppState AppState::wowDefault() {
  AppState state;
  state.hardware = HardwareConfig::factory();
  for (Button button : Rival500::allButtons) {
    const auto native = Rival500::nativeMouseButton(button);
    state.hardware.assignments[button] = native ? Assignment::mouseButton(*native) : Assignment::bridge();
  }

  const auto mouse = [](std::int64_t n) { return HostAction{HostAction::MouseButton{n}}; };
  Profile wow{Uuid::random(), "World of Warcraft", {"com.blizzard.worldofwarcraft"}, {}};
  wow.actions = {
      {Button::button9, mouse(9)},   {Button::button10, mouse(10)}, {Button::button11, mouse(11)},
      {Button::button12, mouse(12)}, {Button::button13, mouse(13)}, {Button::tiltLeft, mouse(14)},
      {Button::tiltRight, mouse(15)},
  };
  Profile fallback{Uuid::random(), "Everywhere else", {}, wow.actions};
  fallback.actions.erase(Button::button10);
  fallback.actions[Button::tiltLeft] = HostAction{HostAction::Scroll{3, 0}};
  fallback.actions[Button::tiltRight] = HostAction{HostAction::Scroll{-3, 0}};

  state.profiles = {std::move(wow), std::move(fallback)};
  return state;
}

Expected<std::optional<Uuid>, std::string> resolveProfile(const AppState& state, std::string_view nameOrID) {
  if (nameOrID.empty() || nameOrID == "auto") return std::optional<Uuid>{};
  if (const auto id = Uuid::parse(nameOrID)) {
    for (const Profile& profile : state.profiles) {
      if (profile.id == *id) return std::optional<Uuid>(*id);
    }
  }
  std::vector<const Profile*> named;
  for (const Profile& profile : state.profiles) {
    if (profile.name == nameOrID) named.push_back(&profile);
  }
  // Built by appending: GCC 12's -O3 misreads "\"" + std::string as an overlapping copy (-Wrestrict).
  std::string quoted = "\"";
  quoted.append(nameOrID).push_back('"');
  if (named.empty()) return unexpected("No profile is named " + quoted + ".");
  if (named.size() > 1) {
    std::string ids;
    for (const Profile* profile : named) ids += (ids.empty() ? "" : ", ") + profile->id.string();
    return unexpected(std::to_string(named.size()) + " profiles are named " + quoted + ": " + ids +
                      ". Pin one by its UUID.");
  }
  return std::optional<Uuid>(named.front()->id);
}

}  // namespace tandemo
