#pragma once

// Texts about how the desktop treats what Tandemo posts, shared by the views that show them.

namespace tandemo::ui::texts {

// Wine and Proton hand a game only mouse buttons 1 to 5, so "Mouse Button 9–15" cannot be bound there.
inline constexpr const char* kWineProtonHint =
    "Games run through Wine or Proton see only mouse buttons 1 to 5: give their buttons a key chord "
    "instead of Mouse Button 9\u201315.";

}  // namespace tandemo::ui::texts
