#pragma once

// Typed text as key strokes: for each character, the key and modifier keys that produce it in a
// keyboard layout, found by walking the layout's keymap (libxkbcommon). Only keys the virtual
// device declares are used. Dead keys and compose sequences are not followed.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct xcb_connection_t;

namespace tandemo::linux_platform {

// An XKB layout by its rules, model, layout, variant and options names.
struct XkbNames {
  std::string rules = "evdev";
  std::string model = "pc105";
  std::string layout = "us";
  std::string variant;
  std::string options;
};

// One key pressed and released while exactly `modifiers` are held (Linux key codes).
struct KeyStroke {
  std::uint16_t key = 0;
  std::vector<std::uint16_t> modifiers;
  bool operator==(const KeyStroke&) const = default;
};

class XkbText {
 public:
  // A layout named here; the environment's XKB_DEFAULT_* variables are ignored.
  static std::optional<XkbText> fromNames(const XkbNames& names, bool capsLock = false);
  // The environment's defaults (XKB_DEFAULT_RULES, _MODEL, _LAYOUT, _VARIANT, _OPTIONS).
  static std::optional<XkbText> fromEnvironment();
  // The X server's core keyboard in its current layout group, with its locked modifiers.
  static std::optional<XkbText> fromX11(xcb_connection_t* connection);

  // The stroke that types `c`; a line feed types as Return. Absent when the layout has no key
  // for it without dead keys or compose.
  std::optional<KeyStroke> strokeFor(char32_t c) const;
  std::size_t size() const { return strokes_.size(); }
  const std::string& description() const { return description_; }

 private:
  XkbText(std::unordered_map<char32_t, KeyStroke> strokes, std::string description)
      : strokes_(std::move(strokes)), description_(std::move(description)) {}

  std::unordered_map<char32_t, KeyStroke> strokes_;
  std::string description_;  // for the log: which layout this is
};

}  // namespace tandemo::linux_platform
