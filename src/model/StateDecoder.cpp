#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "core/Utf8.h"
#include "model/StateCodec.h"

namespace tandemo {
namespace {

using Json = nlohmann::json;
using Rival500::Assignment;
using Rival500::Button;

struct Failure {
  DecodeError error;
};

// Walks a parsed document, keeping the JSON path of the node at hand for error messages.
class Decoder {
 private:
  // ---- path bookkeeping ----
  // The path is kept as steps and spelled out only for an error.

  struct Step {
    enum class Kind : std::uint8_t { member, element, tag } kind;
    std::string_view name;
    std::size_t index;
  };

  template <class F>
  auto stepping(Step step, F&& f) {
    steps_.push_back(step);
    auto result = f();
    steps_.pop_back();
    return result;
  }

  template <class F>
  auto within(std::string_view name, F&& f) {
    return stepping({Step::Kind::member, name, 0}, std::forward<F>(f));
  }

  template <class F>
  auto at(std::size_t index, F&& f) {
    return stepping({Step::Kind::element, {}, index}, std::forward<F>(f));
  }

  std::string path() const {
    std::string text;
    for (const Step& step : steps_) {
      if (step.kind == Step::Kind::element) {
        text += '[' + std::to_string(step.index) + ']';
        continue;
      }
      if (step.kind == Step::Kind::tag || !text.empty()) text += '.';
      text += step.name;
    }
    return text;
  }

  [[noreturn]] void fail(std::string reason) { throw Failure{{path(), std::move(reason)}}; }

  // ---- JSON types ----

  static std::string_view typeName(const Json& j) {
    switch (j.type()) {
      case Json::value_t::null: return "null";
      case Json::value_t::object: return "an object";
      case Json::value_t::array: return "an array";
      case Json::value_t::string: return "a string";
      case Json::value_t::boolean: return "a boolean";
      default: return "a number";
    }
  }

  const Json& object(const Json& j) {
    if (!j.is_object()) fail("expected an object, found " + std::string(typeName(j)));
    return j;
  }

  const Json& member(const Json& o, std::string_view name) {
    const auto found = o.find(name);
    // Callers have already added `name` to the path.
    if (found == o.end() || found->is_null()) fail("required member is missing");
    return *found;
  }

  bool boolean(const Json& o, std::string_view name) {
    return within(name, [&] { return boolean(member(o, name)); });
  }

  bool boolean(const Json& j) {
    if (!j.is_boolean()) fail("expected true or false, found " + std::string(typeName(j)));
    return j.get<bool>();
  }

  std::string string(const Json& j) {
    if (!j.is_string()) fail("expected a string, found " + std::string(typeName(j)));
    return j.get_ref<const std::string&>();
  }

  // A whole number within [min, max]; 3.0 counts as 3, 3.5 does not. A floating number is exact
  // only below 2^63 in magnitude: beyond it on either end it may stand for a wider integer.
  std::int64_t integer(const Json& j, std::int64_t min = std::numeric_limits<std::int64_t>::min(),
                       std::int64_t max = std::numeric_limits<std::int64_t>::max()) {
    std::int64_t value = 0;
    if (j.is_number_unsigned()) {
      const auto u = j.get<std::uint64_t>();
      if (u > static_cast<std::uint64_t>(max)) outOfRange(j.dump(), min, max);
      value = static_cast<std::int64_t>(u);
    } else if (j.is_number_integer()) {
      value = j.get<std::int64_t>();
    } else if (j.is_number_float()) {
      const double d = j.get<double>();
      if (!std::isfinite(d) || std::trunc(d) != d) fail("expected a whole number, found " + j.dump());
      if (d <= -9223372036854775808.0 || d >= 9223372036854775808.0) outOfRange(j.dump(), min, max);
      value = static_cast<std::int64_t>(d);
    } else {
      fail("expected an integer, found " + std::string(typeName(j)));
    }
    if (value < min || value > max) outOfRange(j.dump(), min, max);
    return value;
  }

  [[noreturn]] void outOfRange(const std::string& text, std::int64_t min, std::int64_t max) {
    fail(text + " is outside the field's range " + std::to_string(min) + " to " + std::to_string(max));
  }

  std::int64_t integer(const Json& o, std::string_view name) {
    return within(name, [&] { return integer(member(o, name)); });
  }

  std::uint8_t byte(const Json& j) { return static_cast<std::uint8_t>(integer(j, 0, 255)); }
  std::uint8_t byte(const Json& o, std::string_view name) {
    return within(name, [&] { return byte(member(o, name)); });
  }

  Uuid uuid(const Json& j) {
    auto parsed = Uuid::parse(string(j));
    if (!parsed) fail("not a UUID of the form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX");
    return *parsed;
  }

  template <class F>
  auto list(const Json& j, F&& element) {
    if (!j.is_array()) fail("expected an array, found " + std::string(typeName(j)));
    std::vector<decltype(element(j))> out;
    out.reserve(j.size());
    for (std::size_t i = 0; i < j.size(); ++i) out.push_back(at(i, [&] { return element(j[i]); }));
    return out;
  }

  // Alternating button names and values; a later pair for the same button wins.
  template <class Value, class F>
  Rival500::ButtonMap<Value> buttonMap(const Json& j, F&& decodeValue) {
    if (!j.is_array()) fail("expected an array of button names and values, found " + std::string(typeName(j)));
    if (j.size() % 2 != 0) fail("has an odd number of elements; expected button and value pairs");
    Rival500::ButtonMap<Value> map;
    for (std::size_t i = 0; i < j.size(); i += 2) {
      const Button button = at(i, [&] {
        const std::string name = string(j[i]);
        const auto parsed = Rival500::buttonFromRawValue(name);
        if (!parsed) fail("\"" + name + "\" is not a button name (button1 to button13, tiltLeft, tiltRight)");
        return *parsed;
      });
      map.insert_or_assign(button, at(i + 1, [&] { return decodeValue(j[i + 1]); }));
    }
    return map;
  }

  // A tagged variant: exactly one member named after a case; other members are ignored.
  template <std::size_t N>
  std::pair<std::size_t, const Json*> tagged(const Json& j, const std::array<std::string_view, N>& cases) {
    object(j);
    std::size_t index = 0;
    const Json* found = nullptr;
    std::size_t count = 0;
    for (std::size_t c = 0; c < N; ++c) {
      if (auto value = j.find(cases[c]); value != j.end()) {
        index = c;
        found = &*value;
        ++count;
      }
    }
    if (count != 1) {
      std::string names;
      for (auto name : cases) names += (names.empty() ? "" : ", ") + std::string(name);
      fail("Invalid number of keys found, expected one (" + std::to_string(count) + " of " + names + ")");
    }
    return {index, stepping({Step::Kind::tag, cases[index], 0}, [&] { return &object(*found); })};
  }

  template <class F>
  auto payload(std::string_view caseName, const Json* value, std::string_view name, F&& f) {
    return within(caseName, [&] { return within(name, [&] { return f(member(*value, name)); }); });
  }

  // ---- records ----

  HardwareConfig hardware(const Json& j) {
    const Json& o = object(j);
    HardwareConfig h;
    h.assignments = within("assignments", [&] {
      return buttonMap<Assignment>(member(o, "assignments"), [&](const Json& a) { return assignment(a); });
    });
    h.dpi1 = integer(o, "dpi1");
    h.dpi2 = integer(o, "dpi2");
    h.logo = within("logo", [&] { return lighting(member(o, "logo")); });
    h.pollingHz = integer(o, "pollingHz");
    h.wheel = within("wheel", [&] { return lighting(member(o, "wheel")); });
    return h;
  }

  Rival500::Lighting lighting(const Json& j) {
    const Json& o = object(j);
    Rival500::Lighting l;
    l.durationMs = integer(o, "durationMs");
    l.stops = within("stops", [&] {
      return list(member(o, "stops"), [&](const Json& s) {
        const Json& stop = object(s);
        return Rival500::ColorStop{integer(stop, "position"), byte(stop, "red"), byte(stop, "green"),
                                   byte(stop, "blue")};
      });
    });
    return l;
  }

  Assignment assignment(const Json& j) {
    static constexpr std::array<std::string_view, 10> cases = {
        "mouseButton", "key", "media", "tiltLeft", "tiltRight",
        "scrollUp", "scrollDown", "dpiSwitch", "disabled", "bridge"};
    const auto [index, value] = tagged(j, cases);
    switch (index) {
      case 0: return Assignment::mouseButton(payload(cases[0], value, "_0", [&](const Json& v) { return integer(v); }));
      case 1: return Assignment::key(payload(cases[1], value, "_0", [&](const Json& v) { return byte(v); }));
      case 2: return Assignment::media(payload(cases[2], value, "_0", [&](const Json& v) { return byte(v); }));
      case 3: return Assignment::tiltLeft();
      case 4: return Assignment::tiltRight();
      case 5: return Assignment::scrollUp();
      case 6: return Assignment::scrollDown();
      case 7: return Assignment::dpiSwitch();
      case 8: return Assignment::disabled();
      default: return Assignment::bridge();
    }
  }

  KeyChord chord(const Json& j) {
    const Json& o = object(j);
    KeyChord c;
    c.command = boolean(o, "command");
    c.control = boolean(o, "control");
    c.keyCode = static_cast<std::uint16_t>(within("keyCode", [&] { return integer(member(o, "keyCode"), 0, 65535); }));
    c.option = boolean(o, "option");
    c.shift = boolean(o, "shift");
    return c;
  }

  SequenceStep step(const Json& j) {
    static constexpr std::array<std::string_view, 4> cases = {"chord", "mouse", "text", "delay"};
    const auto [index, value] = tagged(j, cases);
    const auto single = [&, value = value, index = index](auto f) { return payload(cases[index], value, "_0", f); };
    switch (index) {
      case 0: return {SequenceStep::Chord{single([&](const Json& v) { return chord(v); })}};
      case 1: return {SequenceStep::Mouse{single([&](const Json& v) { return integer(v); })}};
      case 2: return {SequenceStep::Text{single([&](const Json& v) { return string(v); })}};
      default: return {SequenceStep::Delay{single([&](const Json& v) { return integer(v); })}};
    }
  }

  HostAction action(const Json& j) {
    static constexpr std::array<std::string_view, 6> cases = {"none", "mouseButton", "key",
                                                              "text", "scroll",      "sequence"};
    const auto [index, value] = tagged(j, cases);
    const auto single = [&, value = value, index = index](auto f) { return payload(cases[index], value, "_0", f); };
    switch (index) {
      case 0: return {HostAction::None{}};
      case 1: return {HostAction::MouseButton{single([&](const Json& v) { return integer(v); })}};
      case 2: return {HostAction::Key{single([&](const Json& v) { return chord(v); })}};
      case 3: return {HostAction::Text{single([&](const Json& v) { return string(v); })}};
      case 4: {
        const std::int64_t dx = payload(cases[4], value, "dx", [&](const Json& v) { return integer(v); });
        const std::int64_t dy = payload(cases[4], value, "dy", [&](const Json& v) { return integer(v); });
        return {HostAction::Scroll{dx, dy}};
      }
      default:
        return {HostAction::Sequence{single([&](const Json& v) {
          return list(v, [&](const Json& s) { return step(s); });
        })}};
    }
  }

  Profile profile(const Json& j) {
    const Json& o = object(j);
    Profile p;
    p.actions = within("actions", [&] {
      return buttonMap<HostAction>(member(o, "actions"), [&](const Json& a) { return action(a); });
    });
    p.bundleIDs = within("bundleIDs", [&] {
      return list(member(o, "bundleIDs"), [&](const Json& s) { return string(s); });
    });
    p.id = within("id", [&] { return uuid(member(o, "id")); });
    p.name = within("name", [&] { return string(member(o, "name")); });
    return p;
  }

 public:
  AppState state(const Json& j) {
    const Json& o = object(j);
    AppState s;
    s.autoSwitch = boolean(o, "autoSwitch");
    s.hardware = within("hardware", [&] { return hardware(member(o, "hardware")); });
    s.openWindowAtLaunch = boolean(o, "openWindowAtLaunch");
    if (auto pinned = o.find("pinnedProfileID"); pinned != o.end() && !pinned->is_null()) {
      s.pinnedProfileID = within("pinnedProfileID", [&] { return uuid(*pinned); });
    }
    s.profiles = within("profiles", [&] {
      return list(member(o, "profiles"), [&](const Json& p) { return profile(p); });
    });
    s.saveToOnboardMemory = boolean(o, "saveToOnboardMemory");
    s.writeOnConnect = boolean(o, "writeOnConnect");
    return s;
  }


 private:
  std::vector<Step> steps_;
};

// nlohmann quotes the bytes it stopped at, which may be the very bytes that are not UTF-8.
std::string validUtf8(std::string_view text) {
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const auto* start = p;
    if (decodeUtf8(p, end)) {
      out.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
    } else {
      out += "\xEF\xBF\xBD";
    }
  }
  return out;
}

}  // namespace

std::string DecodeError::describe() const {
  return (path.empty() ? std::string("(document)") : path) + ": " + reason;
}

Expected<AppState, DecodeError> decodeState(std::string_view text) {
  Json document;
  try {
    // nlohmann's parser keeps its own stack, but copying or printing a tree recurses: refuse
    // deep nesting while parsing.
    document = Json::parse(text, [](int depth, Json::parse_event_t event, const Json&) {
      if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
          static_cast<std::size_t>(depth) >= maxJsonDepth) {
        throw Failure{{"", "not valid JSON: nesting deeper than " + std::to_string(maxJsonDepth) + " levels"}};
      }
      return true;
    });
  } catch (const Json::exception& e) {
    // "[json.exception.parse_error.101] parse error at line 1, ...": the part after the tag.
    const std::string_view what = e.what();
    const std::size_t tagEnd = what.find("] ");
    const std::string_view message = tagEnd == what.npos ? what : what.substr(tagEnd + 2);
    return unexpected(DecodeError{"", "not valid JSON: " + validUtf8(message)});
  } catch (const Failure& failure) {
    return unexpected(failure.error);
  }
  try {
    return Decoder().state(document);
  } catch (const Failure& failure) {
    return unexpected(failure.error);
  }
}

}  // namespace tandemo
