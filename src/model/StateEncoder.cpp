#include <nlohmann/json.hpp>

#include "core/Overloaded.h"
#include "model/StateCodec.h"

namespace tandemo {
namespace {

using Json = nlohmann::json;
using Rival500::Assignment;

// nlohmann's objects are ordered maps: every object is written with its keys ascending.
Json single(Json value) { return {{"_0", std::move(value)}}; }

Json tagged(std::string_view caseName, Json payload) {
  Json object = Json::object();
  object.emplace(std::string(caseName), std::move(payload));
  return object;
}

template <class Value, class Encode>
Json buttonMap(const Rival500::ButtonMap<Value>& map, Encode encode) {
  Json array = Json::array();
  for (const auto& [button, value] : map) {
    array.push_back(std::string(Rival500::rawValue(button)));
    array.push_back(encode(value));
  }
  return array;
}

Json lighting(const Rival500::Lighting& l) {
  Json stops = Json::array();
  for (const auto& stop : l.stops) {
    stops.push_back({{"blue", stop.blue}, {"green", stop.green}, {"position", stop.position}, {"red", stop.red}});
  }
  return {{"durationMs", l.durationMs}, {"stops", std::move(stops)}};
}

Json assignment(const Assignment& a) {
  Json payload = std::visit(Overloaded{
                                [](const Assignment::MouseButton& m) { return single(m.number); },
                                [](const Assignment::Key& k) { return single(k.usage); },
                                [](const Assignment::Media& m) { return single(m.usage); },
                                [](const auto&) { return Json::object(); },
                            },
                            a.value);
  return tagged(a.caseName(), std::move(payload));
}

Json chord(const KeyChord& c) {
  return {{"command", c.command}, {"control", c.control}, {"keyCode", c.keyCode}, {"option", c.option},
          {"shift", c.shift}};
}

Json step(const SequenceStep& s) {
  Json payload = std::visit(Overloaded{
                                [](const SequenceStep::Chord& c) { return single(chord(c.chord)); },
                                [](const SequenceStep::Mouse& m) { return single(m.button); },
                                [](const SequenceStep::Text& t) { return single(t.text); },
                                [](const SequenceStep::Delay& d) { return single(d.ms); },
                            },
                            s.value);
  return tagged(s.caseName(), std::move(payload));
}

Json action(const HostAction& a) {
  Json payload = std::visit(Overloaded{
                                [](const HostAction::None&) { return Json::object(); },
                                [](const HostAction::MouseButton& m) { return single(m.button); },
                                [](const HostAction::Key& k) { return single(chord(k.chord)); },
                                [](const HostAction::Text& t) { return single(t.text); },
                                [](const HostAction::Scroll& s) { return Json{{"dx", s.dx}, {"dy", s.dy}}; },
                                [](const HostAction::Sequence& seq) {
                                  Json steps = Json::array();
                                  for (const SequenceStep& s : seq.steps) steps.push_back(step(s));
                                  return single(std::move(steps));
                                },
                            },
                            a.value);
  return tagged(a.caseName(), std::move(payload));
}

Json profile(const Profile& p) {
  return {{"actions", buttonMap(p.actions, action)},
          {"bundleIDs", p.bundleIDs},
          {"id", p.id.string()},
          {"name", p.name}};
}

Json hardware(const HardwareConfig& h) {
  return {{"assignments", buttonMap(h.assignments, assignment)},
          {"dpi1", h.dpi1},
          {"dpi2", h.dpi2},
          {"logo", lighting(h.logo)},
          {"pollingHz", h.pollingHz},
          {"wheel", lighting(h.wheel)}};
}

}  // namespace

std::string encodeState(const AppState& s) {
  Json profiles = Json::array();
  for (const Profile& p : s.profiles) profiles.push_back(profile(p));
  Json document = {{"autoSwitch", s.autoSwitch},
                   {"hardware", hardware(s.hardware)},
                   {"openWindowAtLaunch", s.openWindowAtLaunch},
                   {"profiles", std::move(profiles)},
                   {"saveToOnboardMemory", s.saveToOnboardMemory},
                   {"writeOnConnect", s.writeOnConnect}};
  if (s.pinnedProfileID) document["pinnedProfileID"] = s.pinnedProfileID->string();
  // Text that is not UTF-8 (a name typed through a broken input method) is written with
  // U+FFFD in place of each bad sequence, so the document always reads back.
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + '\n';
}

}  // namespace tandemo
