#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/MainLoop.h"
#include "runtime/Events.h"

namespace tandemo {

// An event sink that posts nothing: it records every event with the loop time it was posted at,
// so tests assert exactly what would reach the system. Use it on the loop's thread only.
class RecordingEventSink final : public EventSink {
 public:
  struct Recorded {
    SynthEvent event;
    MainLoop::Duration at;  // loop time since the sink was made
  };

  // What the recorded events leave held down, each down matched by a later up.
  struct Held {
    std::set<std::uint16_t> keys;           // key codes of key events
    std::set<std::uint16_t> modifierKeys;   // key codes of flags-changed events
    std::set<int> mouseButtons;             // button numbers
    std::set<std::int64_t> mediaKeys;       // key types of media-key events
    std::size_t unicodeKeys = 0;            // Unicode key-downs without their key-up
    bool empty() const {
      return keys.empty() && modifierKeys.empty() && mouseButtons.empty() && mediaKeys.empty() && unicodeKeys == 0;
    }
  };

  explicit RecordingEventSink(MainLoop& loop);

  bool post(const SynthEvent& event) override;
  std::optional<Point> cursor() override { return cursor_; }
  bool accessibilityGranted() override { return accessibility_; }
  void requestAccessibility() override { ++accessibilityRequests_; }

  const std::vector<Recorded>& recorded() const { return recorded_; }
  std::vector<SynthEvent> events() const;
  // One describeEvent() line per recorded event, for readable test failures.
  std::vector<std::string> lines() const;
  // Forgets the record and keeps its storage.
  void clear() { recorded_.clear(); }
  Held held() const;

  void setCursor(std::optional<Point> cursor) { cursor_ = cursor; }
  void setAccessibility(bool granted) { accessibility_ = granted; }
  std::size_t accessibilityRequests() const { return accessibilityRequests_; }
  // The n-th call of post() (1-based, counted since the sink was made) fails and records nothing.
  void refuse(std::size_t n) { refused_.insert(n); }
  std::size_t postCalls() const { return postCalls_; }

 private:
  MainLoop& loop_;
  MainLoop::TimePoint origin_;
  std::vector<Recorded> recorded_;
  std::optional<Point> cursor_;
  bool accessibility_ = true;
  std::size_t accessibilityRequests_ = 0;
  std::set<std::size_t> refused_;
  std::size_t postCalls_ = 0;
};

}  // namespace tandemo
