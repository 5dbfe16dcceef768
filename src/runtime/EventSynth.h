#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/MainLoop.h"
#include "core/SerialQueue.h"
#include "model/HostAction.h"
#include "runtime/Events.h"

namespace tandemo {

// Turns host actions and re-posted keys into events for the sink, keeping the modifier flags
// that the mouse itself holds so that every key and mouse event carries them.
class EventSynth {
 public:
  static constexpr std::chrono::milliseconds stepGap{20};
  // Longer delays are cut to this (about 24.8 days) so the pause stays representable.
  static constexpr std::int64_t maxDelayMs = 0x7FFFFFFF;

  // `bundleID` labels the sequence queue (bundleID + ".sequence").
  EventSynth(MainLoop& loop, EventSink& sink, const std::string& bundleID);

  void modifier(std::uint8_t usage, bool down);
  void passthrough(std::uint8_t usage, bool down);
  void press(const HostAction& action);
  void release(const HostAction& action);
  void key(const KeyChord& chord, bool down);
  void mouse(std::int64_t button, bool down);  // 1 or less: left; 2: right; 33 or more: as 32
  void scroll(std::int64_t dx, std::int64_t dy);  // each clamped to the signed 32-bit range
  void type(const std::string& text);  // per Unicode scalar; invalid UTF-8 bytes type U+FFFD
  // Queued behind earlier runs; returns at once. Each step is followed by `stepGap`; chord and
  // mouse steps also hold their input for `stepGap`. A negative delay waits not at all.
  void run(std::vector<SequenceStep> steps);
  void media(std::uint8_t usage, bool down);
  void clearModifiers() { heldFlags_ = 0; }

  std::uint64_t heldFlags() const { return heldFlags_; }
  Point cursor();
  bool accessibilityGranted() { return sink_.accessibilityGranted(); }
  void requestAccessibility() { sink_.requestAccessibility(); }
  const std::string& sequenceQueueLabel() const { return sequenceQueue_.label(); }

 private:
  // False when the queue is being destroyed: the sequence stops there.
  bool playStep(SerialQueue& queue, const SequenceStep& step);

  EventSink& sink_;
  std::uint64_t heldFlags_ = 0;
  SerialQueue sequenceQueue_;  // last: joined before the rest goes away
};

}  // namespace tandemo
