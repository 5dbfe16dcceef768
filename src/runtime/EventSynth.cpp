#include "runtime/EventSynth.h"

#include <algorithm>
#include <limits>

#include "core/Overloaded.h"
#include "core/Utf8.h"
#include "device/Rival500.h"

namespace tandemo {
namespace {


// The modifier flag of a modifier-key usage (left and right share one), or 0.
std::uint64_t flagOfModifier(std::uint8_t usage) {
  switch (usage) {
    case 0xE0: case 0xE4: return EventFlags::control;
    case 0xE1: case 0xE5: return EventFlags::shift;
    case 0xE2: case 0xE6: return EventFlags::option;
    case 0xE3: case 0xE7: return EventFlags::command;
    default: return 0;
  }
}

std::uint64_t flagsOf(const KeyChord& chord) {
  return (chord.shift ? EventFlags::shift : 0) | (chord.control ? EventFlags::control : 0) |
         (chord.option ? EventFlags::option : 0) | (chord.command ? EventFlags::command : 0);
}

std::int32_t clampToInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

std::u16string utf16(char32_t scalar) {
  if (scalar < 0x10000) return std::u16string(1, static_cast<char16_t>(scalar));
  const char32_t offset = scalar - 0x10000;
  return {static_cast<char16_t>(0xD800 + (offset >> 10)), static_cast<char16_t>(0xDC00 + (offset & 0x3FF))};
}

}  // namespace

EventSynth::EventSynth(MainLoop& loop, EventSink& sink, const std::string& bundleID)
    : sink_(sink), sequenceQueue_(loop, bundleID + ".sequence") {}

void EventSynth::modifier(std::uint8_t usage, bool down) {
  const std::uint64_t flag = flagOfModifier(usage);
  if (flag == 0) return;
  heldFlags_ = down ? (heldFlags_ | flag) : (heldFlags_ & ~flag);
  const auto key = Rival500::keyForUsage(usage);
  if (!key || !key->macKeyCode) return;
  sink_.post(FlagsChangedEvent{*key->macKeyCode, down, heldFlags_});
}

void EventSynth::passthrough(std::uint8_t usage, bool down) {
  const auto key = Rival500::keyForUsage(usage);
  if (!key || !key->macKeyCode) return;
  sink_.post(KeyEvent{*key->macKeyCode, down, heldFlags_, FlagsMode::addToOwn});
}

void EventSynth::press(const HostAction& action) {
  std::visit(Overloaded{
                 [](const HostAction::None&) {},
                 [&](const HostAction::MouseButton& a) { mouse(a.button, true); },
                 [&](const HostAction::Key& a) { key(a.chord, true); },
                 [&](const HostAction::Text& a) { type(a.text); },
                 [&](const HostAction::Scroll& a) { scroll(a.dx, a.dy); },
                 [&](const HostAction::Sequence& a) { run(a.steps); },
             },
             action.value);
}

void EventSynth::release(const HostAction& action) {
  if (const auto* button = std::get_if<HostAction::MouseButton>(&action.value)) {
    mouse(button->button, false);
  } else if (const auto* key = std::get_if<HostAction::Key>(&action.value)) {
    this->key(key->chord, false);
  }
}

void EventSynth::key(const KeyChord& chord, bool down) {
  sink_.post(KeyEvent{chord.keyCode, down, heldFlags_ | flagsOf(chord), FlagsMode::replace});
}

void EventSynth::mouse(std::int64_t button, bool down) {
  MouseButtonEvent event;
  if (button <= 1) {
    event.type = down ? 1 : 2;
    event.button = 0;
  } else if (button == 2) {
    event.type = down ? 3 : 4;
    event.button = 1;
  } else {
    event.type = down ? 25 : 26;
    event.button = static_cast<int>(std::min<std::int64_t>(button, 32) - 1);
  }
  event.clickState = 1;
  event.location = cursor();
  event.flags = heldFlags_;
  event.flagsMode = FlagsMode::addToOwn;
  sink_.post(event);
}

void EventSynth::scroll(std::int64_t dx, std::int64_t dy) {
  sink_.post(ScrollEvent{clampToInt32(dy), clampToInt32(dx), 0});
}

void EventSynth::type(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    std::u16string units = utf16(decodeUtf8(p, end).value_or(kReplacementCharacter));
    sink_.post(UnicodeKeyEvent{true, units});
    sink_.post(UnicodeKeyEvent{false, std::move(units)});
  }
}

void EventSynth::run(std::vector<SequenceStep> steps) {
  sequenceQueue_.async([this, steps = std::move(steps)](SerialQueue& queue) {
    for (const SequenceStep& step : steps) {
      if (!playStep(queue, step) || !queue.sleep(stepGap)) return;
    }
  });
}

bool EventSynth::playStep(SerialQueue& queue, const SequenceStep& step) {
  return std::visit(
      Overloaded{
          [&](const SequenceStep::Chord& s) {
            return queue.runOnMain([&] { key(s.chord, true); }) && queue.sleep(stepGap) &&
                   queue.runOnMain([&] { key(s.chord, false); });
          },
          [&](const SequenceStep::Mouse& s) {
            return queue.runOnMain([&] { mouse(s.button, true); }) && queue.sleep(stepGap) &&
                   queue.runOnMain([&] { mouse(s.button, false); });
          },
          [&](const SequenceStep::Text& s) { return queue.runOnMain([&] { type(s.text); }); },
          [&](const SequenceStep::Delay& s) {
            return queue.sleep(std::chrono::milliseconds(std::clamp<std::int64_t>(s.ms, 0, maxDelayMs)));
          },
      },
      step.value);
}

void EventSynth::media(std::uint8_t usage, bool down) {
  const auto& table = Rival500::mediaKeys();
  const auto entry = std::find_if(table.begin(), table.end(), [&](const auto& m) { return m.usage == usage; });
  if (entry == table.end()) return;
  const std::int32_t stateWord = (down ? 0x0A : 0x0B) << 8;
  MediaKeyEvent event;
  event.data1 = static_cast<std::int32_t>(static_cast<std::uint32_t>(entry->nxKeyType) << 16 |
                                          static_cast<std::uint32_t>(stateWord));
  event.data2 = -1;
  event.modifierFlags = static_cast<std::uint64_t>(stateWord);
  event.subtype = 8;
  sink_.post(event);
}

Point EventSynth::cursor() { return sink_.cursor().value_or(Point{0, 0}); }

}  // namespace tandemo
