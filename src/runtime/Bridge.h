#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <bitset>
#include <span>

#include "device/Rival500.h"
#include "model/AppState.h"
#include "runtime/EventSynth.h"

namespace tandemo {

// Turns the seized keyboard interface's reports into host actions: hidden marker keys of
// app-controlled buttons become the active profile's action; every other key, modifier and
// media key is re-posted.
class Bridge {
 public:
  using UsageSet = std::bitset<256>;  // one bit per 8-bit usage: no allocation on the hot path

  Bridge(MainLoop& loop, EventSink& sink, const std::string& bundleID);

  // Asked once per bridged press. Returns no profile until the owner installs its own.
  std::function<std::optional<Profile>()> activeProfile = [] { return std::optional<Profile>{}; };
  std::function<void(Rival500::Button, bool pressed)> onButton;

  // Report ID 1: boot keyboard; 2: consumer; anything else is ignored.
  void handle(std::uint32_t reportID, std::span<const std::uint8_t> bytes);
  // Ends every held action, key, modifier and media key.
  void releaseAll();

  EventSynth& synth() { return synth_; }
  const UsageSet& pressedKeys() const { return pressedKeys_; }
  const UsageSet& pressedMedia() const { return pressedMedia_; }
  std::uint8_t modifierBits() const { return modifierBits_; }
  const Rival500::ButtonMap<HostAction>& liveActions() const { return liveActions_; }

 private:
  void handleKeyboard(std::span<const std::uint8_t> bytes);
  void handleConsumer(std::span<const std::uint8_t> bytes);
  void keyDown(std::uint8_t usage);
  void keyUp(std::uint8_t usage);

  EventSynth synth_;
  UsageSet pressedKeys_;
  std::uint8_t modifierBits_ = 0;
  UsageSet pressedMedia_;
  Rival500::ButtonMap<HostAction> liveActions_;
};

}  // namespace tandemo
