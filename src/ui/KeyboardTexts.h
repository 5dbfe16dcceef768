#pragma once

// What the keyboard interface's state is called and what the user reads about it, shared by the
// Setup tab and the session-bus interface.

#include <QString>
#include <type_traits>
#include <variant>

#include "hid/HIDLink.h"

namespace tandemo::ui::texts {

// The state's name on the session bus: absent, idle, seized, needsInputMonitoring, failed.
inline QString keyboardStateName(const HIDLink::KeyboardState& state) {
  using S = HIDLink::KeyboardState;
  return std::visit(
      [](const auto& value) -> QString {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, S::Absent>) return "absent";
        else if constexpr (std::is_same_v<T, S::Idle>) return "idle";
        else if constexpr (std::is_same_v<T, S::Seized>) return "seized";
        else if constexpr (std::is_same_v<T, S::NeedsInputMonitoring>) return "needsInputMonitoring";
        else return "failed";
      },
      state.value);
}

// The sentence the Setup tab shows; for a failure it says why taking the interface failed.
inline QString keyboardStateText(const HIDLink::KeyboardState& state) {
  using S = HIDLink::KeyboardState;
  return std::visit(
      [](const auto& value) -> QString {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, S::Absent>) return "Mouse not connected.";
        else if constexpr (std::is_same_v<T, S::Idle>)
          return "No button is app-controlled; the desktop handles everything.";
        else if constexpr (std::is_same_v<T, S::Seized>) return "Tandemo is handling the app-controlled buttons.";
        else if constexpr (std::is_same_v<T, S::NeedsInputMonitoring>)
          return "Waiting for permission to read the mouse.";
        else return "Could not take over the buttons: " + QString::fromStdString(value.text);
      },
      state.value);
}

}  // namespace tandemo::ui::texts
