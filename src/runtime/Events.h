#pragma once

// Synthesised input events with every field the system needs, and the sink that posts them.
// A recording sink lets tests assert the exact sequence of events.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace tandemo {

// Event-flag masks of the host.
namespace EventFlags {
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
}  // namespace EventFlags

// How an event's flags are set: replaced by `flags`, or `flags` ORed into the flags the
// system gives a new event from the combined event source.
enum class FlagsMode { replace, addToOwn };

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

// A key-down or key-up with a host virtual key code.
struct KeyEvent {
  std::uint16_t keyCode = 0;
  bool down = false;
  std::uint64_t flags = 0;
  FlagsMode flagsMode = FlagsMode::replace;
  bool operator==(const KeyEvent&) const = default;
};

// A modifier key changed: a keyboard event retyped to flags-changed (type 12).
struct FlagsChangedEvent {
  std::uint16_t keyCode = 0;
  bool down = false;
  std::uint64_t flags = 0;  // exactly the held flags
  bool operator==(const FlagsChangedEvent&) const = default;
};

// Mouse-button event at the pointer. Types: left 1/2, right 3/4, other 25/26.
struct MouseButtonEvent {
  int type = 0;
  int button = 0;  // also the button-number field (field 3)
  std::int64_t clickState = 1;  // field 1
  Point location;
  std::uint64_t flags = 0;
  FlagsMode flagsMode = FlagsMode::addToOwn;
  bool operator==(const MouseButtonEvent&) const = default;
};

// Scroll-wheel event in line units: wheel 1 vertical (positive up), wheel 2 horizontal
// (positive left), wheel 3 always 0.
struct ScrollEvent {
  std::int32_t wheel1 = 0;
  std::int32_t wheel2 = 0;
  std::int32_t wheel3 = 0;
  bool operator==(const ScrollEvent&) const = default;
};

// Key event with virtual key code 0 carrying the UTF-16 code units of one Unicode scalar.
struct UnicodeKeyEvent {
  bool down = false;
  std::u16string text;
  bool operator==(const UnicodeKeyEvent&) const = default;
};

// System-defined event (type 14, subtype 8) for a media key.
struct MediaKeyEvent {
  std::int64_t data1 = 0;  // (nxKeyType << 16) | (state << 8), state 0x0A down, 0x0B up
  std::int64_t data2 = -1;
  std::uint64_t modifierFlags = 0;  // state << 8
  int subtype = 8;
  bool operator==(const MediaKeyEvent&) const = default;
};

using SynthEvent = std::variant<KeyEvent, FlagsChangedEvent, MouseButtonEvent, ScrollEvent, UnicodeKeyEvent,
                                MediaKeyEvent>;

std::string describeEvent(const SynthEvent& event);  // one line, for logs and test failures

// Posts events into the system (at the HID level) and answers the posting permission.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // Returns false when the system refused to create or post the event; callers go on.
  virtual bool post(const SynthEvent& event) = 0;
  // The pointer's position in global display coordinates, if it can be read.
  virtual std::optional<Point> cursor() = 0;
  virtual bool accessibilityGranted() = 0;
  virtual void requestAccessibility() = 0;
};

}  // namespace tandemo
