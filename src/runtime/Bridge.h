#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "device/Rival500.h"
#include "model/AppState.h"
#include "runtime/EventSynth.h"

namespace tandemo {

// Turns the seized keyboard interface's reports into host actions: hidden marker keys of
// app-controlled buttons become the active profile's action; every other key, modifier and
// media key is re-posted.
class Bridge {
 public:
  // One bit per 8-bit usage, walked in ascending order: no allocation on the hot path.
  class UsageSet {
   public:
    bool test(std::uint8_t usage) const { return (words_[usage >> 6] >> (usage & 63)) & 1U; }
    void set(std::uint8_t usage) { words_[usage >> 6] |= std::uint64_t{1} << (usage & 63); }
    void reset() { words_ = {}; }
    bool none() const { return (words_[0] | words_[1] | words_[2] | words_[3]) == 0; }
    bool any() const { return !none(); }
    std::size_t count() const {
      std::size_t n = 0;
      for (std::uint64_t word : words_) n += static_cast<std::size_t>(std::popcount(word));
      return n;
    }
    // The usages in this set and not in `other`.
    UsageSet minus(const UsageSet& other) const {
      UsageSet result;
      for (std::size_t i = 0; i < 4; ++i) result.words_[i] = words_[i] & ~other.words_[i];
      return result;
    }
    template <class F>
    void forEach(F&& visit) const {
      for (std::size_t i = 0; i < 4; ++i) {
        for (std::uint64_t word = words_[i]; word != 0; word &= word - 1) {
          visit(static_cast<std::uint8_t>(i * 64 + static_cast<std::size_t>(std::countr_zero(word))));
        }
      }
    }
    bool operator==(const UsageSet&) const = default;

   private:
    std::array<std::uint64_t, 4> words_{};
  };

  Bridge(MainLoop& loop, EventSink& sink, const std::string& bundleID);

  // Asked once per bridged press. Returns no profile until the owner installs its own.
  std::function<std::optional<Profile>()> activeProfile = [] { return std::optional<Profile>{}; };
  std::function<void(Rival500::Button, bool pressed)> onButton;

  // Report ID 1: boot keyboard; 2: consumer; anything else is ignored.
  void handle(std::uint32_t reportID, std::span<const std::uint8_t> bytes);
  // Ends every held action, key, modifier and media key, posting the up of each.
  void releaseAll();

  EventSynth& synth() { return synth_; }
  const UsageSet& pressedKeys() const { return pressedKeys_; }
  const UsageSet& pressedMedia() const { return pressedMedia_; }
  std::uint8_t modifierBits() const { return modifierBits_; }
  // The action each held bridged button started (a copy, for inspection).
  Rival500::ButtonMap<HostAction> liveActions() const;
  bool isLive(Rival500::Button button) const { return liveActions_[static_cast<std::size_t>(button)].has_value(); }

 private:
  void handleKeyboard(std::span<const std::uint8_t> bytes);
  void handleConsumer(std::span<const std::uint8_t> bytes);
  void keyDown(std::uint8_t usage);
  void keyUp(std::uint8_t usage);
  HostAction actionFor(Rival500::Button button);

  EventSynth synth_;
  UsageSet pressedKeys_;
  std::uint8_t modifierBits_ = 0;
  UsageSet pressedMedia_;
  // Indexed by button case order; a slot per control avoids map nodes on every press.
  std::array<std::optional<HostAction>, Rival500::allButtons.size()> liveActions_;
};

}  // namespace tandemo
