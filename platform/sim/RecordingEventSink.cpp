#include "sim/RecordingEventSink.h"

#include "core/Overloaded.h"

namespace tandemo {

RecordingEventSink::RecordingEventSink(MainLoop& loop) : loop_(loop), origin_(loop.now()) {}

bool RecordingEventSink::post(const SynthEvent& event) {
  ++postCalls_;
  if (!refused_.empty() && refused_.contains(postCalls_)) return false;
  recorded_.push_back({event, loop_.now() - origin_});
  return true;
}

std::vector<SynthEvent> RecordingEventSink::events() const {
  std::vector<SynthEvent> result;
  result.reserve(recorded_.size());
  for (const Recorded& entry : recorded_) result.push_back(entry.event);
  return result;
}

std::vector<std::string> RecordingEventSink::lines() const {
  std::vector<std::string> result;
  result.reserve(recorded_.size());
  for (const Recorded& entry : recorded_) result.push_back(describeEvent(entry.event));
  return result;
}

RecordingEventSink::Held RecordingEventSink::held() const {
  Held held;
  auto track = [](auto& set, auto value, bool down) {
    if (down) {
      set.insert(value);
    } else {
      set.erase(value);
    }
  };
  for (const Recorded& entry : recorded_) {
    std::visit(Overloaded{
                   [&](const KeyEvent& e) { track(held.keys, e.keyCode, e.down); },
                   [&](const FlagsChangedEvent& e) { track(held.modifierKeys, e.keyCode, e.down); },
                   [&](const MouseButtonEvent& e) {
                     track(held.mouseButtons, e.button, e.type == 1 || e.type == 3 || e.type == 25);
                   },
                   [](const ScrollEvent&) {},
                   [&](const UnicodeKeyEvent& e) {
                     if (e.down) {
                       ++held.unicodeKeys;
                     } else if (held.unicodeKeys > 0) {
                       --held.unicodeKeys;
                     }
                   },
                   [&](const MediaKeyEvent& e) { track(held.mediaKeys, e.data1 >> 16, ((e.data1 >> 8) & 0xFF) == 0x0A); },
               },
               entry.event);
  }
  return held;
}

}  // namespace tandemo
