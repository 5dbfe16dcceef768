#pragma once

// One backend's set of desktop services: the mouse's HID interfaces, event posting, the
// workspace, the login item, the system log and the clock text. The simulated desktop and the
// Linux desktop both implement it, so the app and the command line compose a controller the
// same way whichever backend they run on.

#include <string>

#include "controller/Controller.h"

namespace tandemo {

class Desktop {
 public:
  virtual ~Desktop() = default;

  virtual HidManager& hid() = 0;
  virtual EventSink& events() = 0;
  virtual Workspace& workspace() = 0;
  virtual LoginItem& loginItem() = 0;
  virtual SystemLog& systemLog() = 0;
  virtual TimeOfDay& timeOfDay() = 0;

  // The controller's services on `loop` with `store`; the desktop must outlive the controller.
  ControllerServices services(MainLoop& loop, StateStore& store, bool writeOnConnectAtStart = true) {
    return ControllerServices{loop,         hid(),        events(), workspace(), loginItem(),
                              systemLog(), timeOfDay(), store,    "org.tandemo.Tandemo", writeOnConnectAtStart};
  }
};

}  // namespace tandemo
