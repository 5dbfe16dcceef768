// Feeds arbitrary keyboard and consumer reports, interleaved with time, profile changes and
// releaseAll(), to a bridge whose profile holds every kind of action. Once releaseAll() has run
// and queued sequences have played, no key, modifier, mouse button or media key may be left down.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <span>

#include "core/VirtualLoop.h"
#include "runtime/Bridge.h"
#include "sim/RecordingEventSink.h"

namespace {

using namespace tandemo;
using Rival500::Button;

SequenceStep step(SequenceStep::Value value) { return SequenceStep{std::move(value)}; }

Profile everyKind() {
  Profile profile;
  profile.name = "Every kind";
  auto& a = profile.actions;
  a[Button::button4] = HostAction{};
  a[Button::button5] = HostAction{HostAction::MouseButton{1}};
  a[Button::button6] = HostAction{HostAction::MouseButton{0}};
  a[Button::button7] = HostAction{HostAction::MouseButton{40}};
  a[Button::button8] = HostAction{HostAction::Key{KeyChord{122, true, true, true, true}}};
  a[Button::button9] = HostAction{HostAction::Key{KeyChord{0, false, false, false, false}}};  // also A's code
  a[Button::button10] = HostAction{HostAction::Text{std::string("h\xC3\xA9\xF0\x9F\x98\x80\xFF\xE2\x82", 10)}};
  a[Button::button11] = HostAction{HostAction::Scroll{std::numeric_limits<std::int64_t>::max(),
                                                      std::numeric_limits<std::int64_t>::min()}};
  a[Button::button12] = HostAction{HostAction::Sequence{{
      step(SequenceStep::Chord{KeyChord{8, false, false, false, true}}), step(SequenceStep::Delay{30}),
      step(SequenceStep::Mouse{3}), step(SequenceStep::Text{"hi"}), step(SequenceStep::Delay{-5}),
      step(SequenceStep::Mouse{200}), step(SequenceStep::Chord{KeyChord{0, true, false, false, false}})}}};
  a[Button::button13] = HostAction{HostAction::Sequence{}};
  a[Button::tiltLeft] = HostAction{HostAction::MouseButton{2}};
  // tiltRight has no entry.
  return profile;
}

// Reads the fuzz input front to back; past its end every byte reads as 0.
class Input {
 public:
  explicit Input(std::span<const std::uint8_t> data) : data_(data) {}
  bool done() const { return pos_ >= data_.size(); }
  std::uint8_t byte() { return pos_ < data_.size() ? data_[pos_++] : 0; }
  std::span<const std::uint8_t> bytes(std::size_t n) {
    n = std::min(n, data_.size() - std::min(pos_, data_.size()));
    auto result = data_.subspan(pos_, n);
    pos_ += n;
    return result;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

[[noreturn]] void fail(const char* what, const RecordingEventSink& sink) {
  std::fprintf(stderr, "FuzzBridge: %s\n", what);
  for (const std::string& line : sink.lines()) std::fprintf(stderr, "  %s\n", line.c_str());
  std::abort();
}

std::uint32_t reportID(std::uint8_t selector) {
  return selector == 0xFF ? std::numeric_limits<std::uint32_t>::max() : selector % 4U;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  VirtualLoop loop;
  RecordingEventSink sink{loop};
  Bridge bridge{loop, sink, "org.tandemo.Tandemo"};
  Profile profile = everyKind();
  bool hasProfile = true;
  bridge.activeProfile = [&] { return hasProfile ? std::optional<Profile>(profile) : std::nullopt; };
  bridge.onButton = [](Button, bool) {};

  Input input({data, size});
  while (!input.done()) {
    switch (input.byte() % 8) {
      case 0: case 1: case 2: case 3: {
        const std::uint32_t id = reportID(input.byte());
        bridge.handle(id, input.bytes(input.byte() % 16));
        break;
      }
      case 4: loop.advance(std::chrono::milliseconds(input.byte())); break;
      case 5: bridge.releaseAll(); break;
      case 6: hasProfile = !hasProfile; break;
      case 7: {  // rebind a button while it may be held
        const auto button = Rival500::allButtons[input.byte() % Rival500::allButtons.size()];
        profile.actions[button] = HostAction{HostAction::MouseButton{input.byte() % 40}};
        break;
      }
    }
  }

  bridge.releaseAll();
  loop.advance(std::chrono::hours(24));
  if (!bridge.liveActions().empty() || !bridge.pressedKeys().none() || !bridge.pressedMedia().none() ||
      bridge.modifierBits() != 0 || bridge.synth().heldFlags() != 0) {
    fail("state left after releaseAll()", sink);
  }
  const RecordingEventSink::Held held = sink.held();
  if (!held.keys.empty()) fail("a key is left down", sink);
  if (!held.modifierKeys.empty()) fail("a modifier key is left down", sink);
  if (!held.mouseButtons.empty()) fail("a mouse button is left down", sink);
  if (!held.mediaKeys.empty()) fail("a media key is left down", sink);
  if (held.unicodeKeys != 0) fail("a typed key is left down", sink);
  return 0;
}
