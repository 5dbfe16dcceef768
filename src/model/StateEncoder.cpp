#include "core/Overloaded.h"
#include "model/JsonWriter.h"
#include "model/StateCodec.h"

namespace tandemo {
namespace {

using Rival500::Assignment;
using Rival500::Button;

// Every object below writes its members in ascending key order.
class Encoder {
 public:
  explicit Encoder(std::string& out) : w_(out) {}

  void state(const AppState& s) {
    w_.beginObject();
    w_.key("autoSwitch"); w_.value(s.autoSwitch);
    w_.key("hardware"); hardware(s.hardware);
    w_.key("openWindowAtLaunch"); w_.value(s.openWindowAtLaunch);
    if (s.pinnedProfileID) {
      w_.key("pinnedProfileID");
      w_.value(s.pinnedProfileID->string());
    }
    w_.key("profiles"); w_.beginArray();
    for (const Profile& p : s.profiles) profile(p);
    w_.endArray();
    w_.key("saveToOnboardMemory"); w_.value(s.saveToOnboardMemory);
    w_.key("writeOnConnect"); w_.value(s.writeOnConnect);
    w_.endObject();
  }

 private:
  void hardware(const HardwareConfig& h) {
    w_.beginObject();
    w_.key("assignments"); buttonMap(h.assignments, [this](const Assignment& a) { assignment(a); });
    w_.key("dpi1"); w_.value(h.dpi1);
    w_.key("dpi2"); w_.value(h.dpi2);
    w_.key("logo"); lighting(h.logo);
    w_.key("pollingHz"); w_.value(h.pollingHz);
    w_.key("wheel"); lighting(h.wheel);
    w_.endObject();
  }

  void lighting(const Rival500::Lighting& l) {
    w_.beginObject();
    w_.key("durationMs"); w_.value(l.durationMs);
    w_.key("stops"); w_.beginArray();
    for (const auto& stop : l.stops) {
      w_.beginObject();
      w_.key("blue"); w_.value(std::int64_t{stop.blue});
      w_.key("green"); w_.value(std::int64_t{stop.green});
      w_.key("position"); w_.value(stop.position);
      w_.key("red"); w_.value(std::int64_t{stop.red});
      w_.endObject();
    }
    w_.endArray();
    w_.endObject();
  }

  void profile(const Profile& p) {
    w_.beginObject();
    w_.key("actions"); buttonMap(p.actions, [this](const HostAction& a) { action(a); });
    w_.key("bundleIDs"); w_.beginArray();
    for (const std::string& id : p.bundleIDs) w_.value(id);
    w_.endArray();
    w_.key("id"); w_.value(p.id.string());
    w_.key("name"); w_.value(p.name);
    w_.endObject();
  }

  template <class Value, class Write>
  void buttonMap(const Rival500::ButtonMap<Value>& map, Write write) {
    w_.beginArray();
    for (const auto& [button, value] : map) {
      w_.value(Rival500::rawValue(button));
      write(value);
    }
    w_.endArray();
  }

  // A tagged variant: one member named after the case, holding the payload object.
  void tagged(std::string_view caseName) {
    w_.beginObject();
    w_.key(caseName);
  }

  void singlePayload(std::int64_t v) { w_.beginObject(); w_.key("_0"); w_.value(v); w_.endObject(); }
  void singlePayload(const std::string& v) { w_.beginObject(); w_.key("_0"); w_.value(v); w_.endObject(); }

  void assignment(const Assignment& a) {
    tagged(a.caseName());
    std::visit(Overloaded{
                   [this](const Assignment::MouseButton& m) { singlePayload(m.number); },
                   [this](const Assignment::Key& k) { singlePayload(std::int64_t{k.usage}); },
                   [this](const Assignment::Media& m) { singlePayload(std::int64_t{m.usage}); },
                   [this](const auto&) { w_.emptyObject(); },
               },
               a.value);
    w_.endObject();
  }

  void chord(const KeyChord& c) {
    w_.beginObject();
    w_.key("_0"); w_.beginObject();
    w_.key("command"); w_.value(c.command);
    w_.key("control"); w_.value(c.control);
    w_.key("keyCode"); w_.value(std::int64_t{c.keyCode});
    w_.key("option"); w_.value(c.option);
    w_.key("shift"); w_.value(c.shift);
    w_.endObject();
    w_.endObject();
  }

  void step(const SequenceStep& s) {
    tagged(s.caseName());
    std::visit(Overloaded{
                   [this](const SequenceStep::Chord& c) { chord(c.chord); },
                   [this](const SequenceStep::Mouse& m) { singlePayload(m.button); },
                   [this](const SequenceStep::Text& t) { singlePayload(t.text); },
                   [this](const SequenceStep::Delay& d) { singlePayload(d.ms); },
               },
               s.value);
    w_.endObject();
  }

  void action(const HostAction& a) {
    tagged(a.caseName());
    std::visit(Overloaded{
                   [this](const HostAction::None&) { w_.emptyObject(); },
                   [this](const HostAction::MouseButton& m) { singlePayload(m.button); },
                   [this](const HostAction::Key& k) { chord(k.chord); },
                   [this](const HostAction::Text& t) { singlePayload(t.text); },
                   [this](const HostAction::Scroll& s) {
                     w_.beginObject();
                     w_.key("dx"); w_.value(s.dx);
                     w_.key("dy"); w_.value(s.dy);
                     w_.endObject();
                   },
                   [this](const HostAction::Sequence& seq) {
                     w_.beginObject();
                     w_.key("_0"); w_.beginArray();
                     for (const SequenceStep& s : seq.steps) step(s);
                     w_.endArray();
                     w_.endObject();
                   },
               },
               a.value);
    w_.endObject();
  }

  JsonWriter w_;
};

}  // namespace

std::string encodeState(const AppState& state) {
  std::string out;
  out.reserve(4096 + state.profiles.size() * 2048);
  Encoder(out).state(state);
  out += '\n';
  return out;
}

}  // namespace tandemo
