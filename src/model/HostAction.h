#pragma once

// What an app-controlled button does on the computer, per profile.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tandemo {

struct KeyChord {
  std::uint16_t keyCode = 0;  // host virtual key code
  bool shift = false;
  bool control = false;
  bool option = false;
  bool command = false;

  // Menu-symbol notation: ⌃⌥⇧⌘ then the key's name, e.g. "⌃⇧F1".
  std::string display() const;
  bool operator==(const KeyChord&) const = default;
};

struct SequenceStep {
  struct Chord { KeyChord chord; bool operator==(const Chord&) const = default; };
  struct Mouse { std::int64_t button; bool operator==(const Mouse&) const = default; };
  struct Text { std::string text; bool operator==(const Text&) const = default; };
  struct Delay { std::int64_t ms; bool operator==(const Delay&) const = default; };
  using Value = std::variant<Chord, Mouse, Text, Delay>;

  Value value;

  std::string_view caseName() const;
  std::string text() const;  // the step's part of a sequence summary
  bool operator==(const SequenceStep&) const = default;
};

struct HostAction {
  // Case order is also the order of the kind picker.
  enum class Kind { none, mouseButton, key, text, scroll, sequence };
  static constexpr std::array<Kind, 6> allKinds = {Kind::none, Kind::mouseButton, Kind::key,
                                                   Kind::text, Kind::scroll,      Kind::sequence};

  struct None { bool operator==(const None&) const = default; };
  struct MouseButton { std::int64_t button; bool operator==(const MouseButton&) const = default; };
  struct Key { KeyChord chord; bool operator==(const Key&) const = default; };
  struct Text { std::string text; bool operator==(const Text&) const = default; };
  // Positive dy scrolls up, positive dx scrolls left.
  struct Scroll { std::int64_t dx; std::int64_t dy; bool operator==(const Scroll&) const = default; };
  struct Sequence { std::vector<SequenceStep> steps; bool operator==(const Sequence&) const = default; };
  // Alternatives in Kind order.
  using Value = std::variant<None, MouseButton, Key, Text, Scroll, Sequence>;

  Value value;

  // The fresh action put in place when the user switches to another kind.
  static HostAction blank(Kind kind);

  Kind kind() const { return static_cast<Kind>(value.index()); }
  std::string_view caseName() const;
  std::string summary() const;
  // At most one input per press (one user-perceived character of text, one non-delay step).
  bool isOneToOne() const;

  bool operator==(const HostAction&) const = default;
};

// The kind's display text, which is also its raw value ("Keyboard shortcut").
std::string_view displayName(HostAction::Kind kind);
std::optional<HostAction::Kind> kindFromRawValue(std::string_view raw);

}  // namespace tandemo
