#include "runtime/Bridge.h"

#include <utility>

namespace tandemo {
namespace {

constexpr std::uint32_t keyboardReportID = 1;
constexpr std::uint32_t consumerReportID = 2;
constexpr std::size_t keyboardReportSize = 8;  // modifiers, reserved, six key slots
constexpr std::uint8_t firstModifierUsage = 0xE0;

constexpr std::size_t indexOf(Rival500::Button button) { return static_cast<std::size_t>(button); }

}  // namespace

Bridge::Bridge(MainLoop& loop, EventSink& sink, const std::string& bundleID) : synth_(loop, sink, bundleID) {}

void Bridge::handle(std::uint32_t reportID, std::span<const std::uint8_t> bytes) {
  if (reportID == keyboardReportID) {
    handleKeyboard(bytes);
  } else if (reportID == consumerReportID) {
    handleConsumer(bytes);
  }
}

// Presses before releases, key events before the report's modifier changes.
void Bridge::handleKeyboard(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < keyboardReportSize) return;
  const std::uint8_t modifiers = bytes[0];
  UsageSet current;
  for (std::size_t slot = 2; slot < keyboardReportSize; ++slot) {
    if (bytes[slot] > 1) current.set(bytes[slot]);  // 0: empty, 1: roll-over error
  }
  current.minus(pressedKeys_).forEach([this](std::uint8_t usage) { keyDown(usage); });
  pressedKeys_.minus(current).forEach([this](std::uint8_t usage) { keyUp(usage); });
  pressedKeys_ = current;

  const std::uint8_t changed = modifiers ^ modifierBits_;
  for (unsigned bit = 0; bit < 8; ++bit) {
    if ((changed >> bit) & 1U) {
      synth_.modifier(static_cast<std::uint8_t>(firstModifierUsage + bit), ((modifiers >> bit) & 1U) != 0);
    }
  }
  modifierBits_ = modifiers;
}

void Bridge::handleConsumer(std::span<const std::uint8_t> bytes) {
  UsageSet current;
  for (std::size_t offset = 0; offset + 1 < bytes.size(); offset += 2) {
    if (bytes[offset] != 0 || bytes[offset + 1] != 0) current.set(bytes[offset]);
  }
  current.minus(pressedMedia_).forEach([this](std::uint8_t usage) { synth_.media(usage, true); });
  pressedMedia_.minus(current).forEach([this](std::uint8_t usage) { synth_.media(usage, false); });
  pressedMedia_ = current;
}

HostAction Bridge::actionFor(Rival500::Button button) {
  std::optional<Profile> profile = activeProfile ? activeProfile() : std::nullopt;
  if (!profile) return {};
  auto entry = profile->actions.find(button);
  if (entry == profile->actions.end()) return {};
  return std::move(entry->second);
}

void Bridge::keyDown(std::uint8_t usage) {
  const auto button = Rival500::forMarker(usage);
  if (!button) {
    synth_.passthrough(usage, true);
    return;
  }
  auto& live = liveActions_[indexOf(*button)];
  live = actionFor(*button);
  synth_.press(*live);
  if (onButton) onButton(*button, true);
}

void Bridge::keyUp(std::uint8_t usage) {
  const auto button = Rival500::forMarker(usage);
  if (!button) {
    synth_.passthrough(usage, false);
    return;
  }
  if (std::optional<HostAction> action = std::exchange(liveActions_[indexOf(*button)], std::nullopt)) {
    synth_.release(*action);
  }
  if (onButton) onButton(*button, false);
}

// Held modifiers and media keys go up too: a down without its up would stay stuck in the system.
void Bridge::releaseAll() {
  for (auto& live : liveActions_) {
    if (live) synth_.release(*std::exchange(live, std::nullopt));
  }
  pressedKeys_.forEach([this](std::uint8_t usage) { synth_.passthrough(usage, false); });
  pressedKeys_.reset();
  // Each held modifier goes up: a virtual keyboard would otherwise keep it down for the desktop.
  for (unsigned bit = 0; bit < 8; ++bit) {
    if ((modifierBits_ >> bit) & 1U) synth_.modifier(static_cast<std::uint8_t>(firstModifierUsage + bit), false);
  }
  modifierBits_ = 0;
  synth_.clearModifiers();
  pressedMedia_.forEach([this](std::uint8_t usage) { synth_.media(usage, false); });
  pressedMedia_.reset();
}

Rival500::ButtonMap<HostAction> Bridge::liveActions() const {
  Rival500::ButtonMap<HostAction> result;
  for (Rival500::Button button : Rival500::allButtons) {
    if (const auto& live = liveActions_[indexOf(button)]) result.emplace(button, *live);
  }
  return result;
}

}  // namespace tandemo
