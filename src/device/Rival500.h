#pragma once

// The SteelSeries Rival 500 as the firmware sees it: its fifteen controls, what each can be
// assigned, the key tables, the lighting model and the byte-exact configuration packets.
// Pure values and functions: no I/O, no clocks, no logging.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/Expected.h"

namespace tandemo::Rival500 {

// ---- Controls ----

enum class Button : std::uint8_t {
  button1, button2, button3, button4, button5, button6, button7, button8,
  button9, button10, button11, button12, button13, tiltLeft, tiltRight,
};

inline constexpr std::array<Button, 15> allButtons = {
    Button::button1,  Button::button2,  Button::button3,  Button::button4,  Button::button5,
    Button::button6,  Button::button7,  Button::button8,  Button::button9,  Button::button10,
    Button::button11, Button::button12, Button::button13, Button::tiltLeft, Button::tiltRight,
};

// The order in which controls are listed to the user and bridged buttons are reported.
inline constexpr std::array<Button, 15> displayOrder = {
    Button::button1,  Button::button2,  Button::button3,  Button::tiltLeft, Button::tiltRight,
    Button::button10, Button::button11, Button::button12, Button::button13, Button::button5,
    Button::button6,  Button::button4,  Button::button7,  Button::button9,  Button::button8,
};

// Maps keyed by control iterate in case order.
template <class Value>
using ButtonMap = std::map<Button, Value>;

std::string_view rawValue(Button button);  // "button10", "tiltLeft": also the control's id
std::optional<Button> buttonFromRawValue(std::string_view raw);  // case-sensitive
std::string_view label(Button button);
std::optional<int> nativeMouseButton(Button button);
std::optional<std::uint8_t> markerKey(Button button);  // F13..F24 for button4..tiltRight
std::optional<Button> forMarker(std::uint8_t usage);

// ---- Firmware assignments ----

struct Assignment {
  struct MouseButton { std::int64_t number; bool operator==(const MouseButton&) const = default; };
  struct Key { std::uint8_t usage; bool operator==(const Key&) const = default; };
  struct Media { std::uint8_t usage; bool operator==(const Media&) const = default; };
  struct TiltLeft { bool operator==(const TiltLeft&) const = default; };
  struct TiltRight { bool operator==(const TiltRight&) const = default; };
  struct ScrollUp { bool operator==(const ScrollUp&) const = default; };
  struct ScrollDown { bool operator==(const ScrollDown&) const = default; };
  struct DpiSwitch { bool operator==(const DpiSwitch&) const = default; };
  struct Disabled { bool operator==(const Disabled&) const = default; };
  struct Bridge { bool operator==(const Bridge&) const = default; };
  using Value = std::variant<MouseButton, Key, Media, TiltLeft, TiltRight, ScrollUp, ScrollDown,
                             DpiSwitch, Disabled, Bridge>;

  Value value;

  static Assignment mouseButton(std::int64_t number) { return {MouseButton{number}}; }
  static Assignment key(std::uint8_t usage) { return {Key{usage}}; }
  static Assignment media(std::uint8_t usage) { return {Media{usage}}; }
  static Assignment tiltLeft() { return {TiltLeft{}}; }
  static Assignment tiltRight() { return {TiltRight{}}; }
  static Assignment scrollUp() { return {ScrollUp{}}; }
  static Assignment scrollDown() { return {ScrollDown{}}; }
  static Assignment dpiSwitch() { return {DpiSwitch{}}; }
  static Assignment disabled() { return {Disabled{}}; }
  static Assignment bridge() { return {Bridge{}}; }

  template <class Case>
  bool is() const { return std::holds_alternative<Case>(value); }

  // The persisted case name ("mouseButton", "bridge", ...).
  std::string_view caseName() const;
  std::string summary() const;
  // The two bytes of the control's slot in the button-map packet.
  std::array<std::uint8_t, 2> fieldBytes(Button button) const;

  bool operator==(const Assignment&) const = default;
};

Assignment factoryDefault(Button button);

// ---- Key tables ----

struct Key {
  std::uint8_t usage;
  std::string_view name;
  std::optional<std::uint16_t> macKeyCode;
  bool operator==(const Key&) const = default;
};

struct MediaKey {
  std::uint8_t usage;
  std::string_view name;
  std::int32_t nxKeyType;
  bool operator==(const MediaKey&) const = default;
};

const std::vector<Key>& keys();          // 112 entries, in picker order
const std::vector<Key>& typeableKeys();  // keys a control may type: no F13-F24, no modifiers
const std::vector<MediaKey>& mediaKeys();
std::optional<Key> keyForUsage(std::uint8_t usage);
std::optional<Key> keyForMacKeyCode(std::uint16_t macKeyCode);

// ---- Lighting ----

struct ColorStop {
  std::int64_t position;  // percent of the cycle
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
  bool operator==(const ColorStop&) const = default;
};

struct Lighting {
  std::vector<ColorStop> stops;
  std::int64_t durationMs = 1000;

  static Lighting factory();
  bool operator==(const Lighting&) const = default;
};

enum class LED : std::uint8_t { logo = 0x00, wheel = 0x01 };

enum class LightingError { noStops, tooManyStops, badOrder, tooShort, tooLong };
std::string_view describe(LightingError error);

// ---- Packets ----

enum class ReportType { output, feature };

struct Packet {
  ReportType type;
  std::vector<std::uint8_t> data;  // command code first, then 0x00
  bool operator==(const Packet&) const = default;
};

inline constexpr std::array<std::int64_t, 4> pollingChoices = {125, 250, 500, 1000};

Packet sensitivity(std::uint8_t preset, std::int64_t dpi);
Packet pollingRate(std::int64_t hz);
Expected<Packet, LightingError> lightingPacket(LED led, const Lighting& lighting);
Packet buttonsPacket(const ButtonMap<Assignment>& assignments);
Packet savePacket();
Packet firmwareQueryPacket();

}  // namespace tandemo::Rival500
