#pragma once

// The whole desktop simulated: the virtual Rival 500, a recording event sink, a scripted
// workspace and in-memory login item, log and clock. What `--simulate` and the tests run on.

#include "controller/Desktop.h"
#include "sim/FakeServices.h"
#include "sim/RecordingEventSink.h"
#include "sim/ScriptedWorkspace.h"
#include "sim/VirtualRival500.h"

namespace tandemo::sim {

class SimulatedDesktop final : public Desktop {
 public:
  explicit SimulatedDesktop(MainLoop& loop, bool pluggedIn = true) : mouse_(loop, pluggedIn), events_(loop) {}

  HidManager& hid() override { return mouse_; }
  EventSink& events() override { return events_; }
  Workspace& workspace() override { return workspace_; }
  LoginItem& loginItem() override { return loginItem_; }
  SystemLog& systemLog() override { return systemLog_; }
  TimeOfDay& timeOfDay() override { return timeOfDay_; }

  VirtualRival500& mouse() { return mouse_; }
  RecordingEventSink& recordedEvents() { return events_; }
  ScriptedWorkspace& scriptedWorkspace() { return workspace_; }
  FakeLoginItem& fakeLoginItem() { return loginItem_; }
  RecordingSystemLog& recordedLog() { return systemLog_; }
  FixedTimeOfDay& fixedTime() { return timeOfDay_; }

 private:
  VirtualRival500 mouse_;
  RecordingEventSink events_;
  ScriptedWorkspace workspace_;
  FakeLoginItem loginItem_;
  RecordingSystemLog systemLog_;
  FixedTimeOfDay timeOfDay_;
};

}  // namespace tandemo::sim
