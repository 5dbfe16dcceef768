#include "model/HostAction.h"

#include <cstdio>

#include "core/Overloaded.h"
#include "device/Rival500.h"
#include "model/Graphemes.h"

namespace tandemo {
namespace {

constexpr std::array<std::string_view, 6> kindNames = {
    "Nothing", "Mouse button", "Keyboard shortcut", "Type text", "Scroll", "Sequence"};

std::string quoted(std::string_view open, const std::string& text) {
  return std::string(open) + text + "\u201D";
}

}  // namespace

std::string KeyChord::display() const {
  std::string out;
  if (control) out += "\u2303";
  if (option) out += "\u2325";
  if (shift) out += "\u21E7";
  if (command) out += "\u2318";
  if (auto key = Rival500::keyForMacKeyCode(keyCode)) {
    out += key->name;
  } else {
    char hex[16];
    std::snprintf(hex, sizeof hex, "key 0x%02X", static_cast<unsigned>(keyCode));
    out += hex;
  }
  return out;
}

std::string_view SequenceStep::caseName() const {
  static constexpr std::array<std::string_view, 4> names = {"chord", "mouse", "text", "delay"};
  return names[value.index()];
}

std::string SequenceStep::text() const {
  return std::visit(Overloaded{
                        [](const Chord& c) { return c.chord.display(); },
                        [](const Mouse& m) { return "Mouse " + std::to_string(m.button); },
                        [](const Text& t) { return quoted("\u201C", t.text); },
                        [](const Delay& d) { return "wait " + std::to_string(d.ms) + " ms"; },
                    },
                    value);
}

HostAction HostAction::blank(Kind kind) {
  switch (kind) {
    case Kind::none: return {None{}};
    case Kind::mouseButton: return {MouseButton{9}};
    case Kind::key: return {Key{KeyChord{122}}};
    case Kind::text: return {Text{}};
    case Kind::scroll: return {Scroll{0, 3}};
    case Kind::sequence: return {Sequence{}};
  }
  return {None{}};
}

std::string_view HostAction::caseName() const {
  static constexpr std::array<std::string_view, 6> names = {"none", "mouseButton", "key",
                                                            "text", "scroll",      "sequence"};
  return names[value.index()];
}

std::string HostAction::summary() const {
  return std::visit(
      Overloaded{
          [](const None&) -> std::string { return "Nothing"; },
          [](const MouseButton& m) { return "Mouse button " + std::to_string(m.button); },
          [](const Key& k) { return k.chord.display(); },
          [](const Text& t) { return quoted("Type \u201C", t.text); },
          [](const Scroll& s) -> std::string {
            // Negate in unsigned arithmetic so the most negative amount cannot overflow.
            const auto magnitude = [](std::int64_t v) {
              return std::to_string(0 - static_cast<std::uint64_t>(v));
            };
            if (s.dy > 0) return "Scroll up " + std::to_string(s.dy);
            if (s.dy < 0) return "Scroll down " + magnitude(s.dy);
            if (s.dx >= 1) return "Scroll left " + std::to_string(s.dx);
            if (s.dx == 0) return "Scroll right 0";
            return "Scroll right " + magnitude(s.dx);
          },
          [](const Sequence& seq) -> std::string {
            if (seq.steps.empty()) return "Empty sequence";
            std::string out;
            for (std::size_t i = 0; i < seq.steps.size(); ++i) {
              if (i > 0) out += " \u2192 ";
              out += seq.steps[i].text();
            }
            return out;
          },
      },
      value);
}

bool HostAction::isOneToOne() const {
  if (const auto* text = std::get_if<Text>(&value)) return countGraphemes(text->text, 2) < 2;
  if (const auto* sequence = std::get_if<Sequence>(&value)) {
    std::size_t inputs = 0;
    for (const SequenceStep& step : sequence->steps) {
      if (!std::holds_alternative<SequenceStep::Delay>(step.value)) ++inputs;
    }
    return inputs < 2;
  }
  return true;
}

std::string_view displayName(HostAction::Kind kind) {
  return kindNames[static_cast<std::size_t>(kind)];
}

std::optional<HostAction::Kind> kindFromRawValue(std::string_view raw) {
  for (HostAction::Kind kind : HostAction::allKinds) {
    if (displayName(kind) == raw) return kind;
  }
  return std::nullopt;
}

}  // namespace tandemo
