#pragma once

// The real desktop on Linux: the mouse over hidraw and evdev, events through uinput, the front
// application from X11, an XDG autostart entry, syslog and the locale's clock.

#include <functional>
#include <memory>
#include <string>

#include "controller/Desktop.h"

namespace tandemo::linux_platform {

class HidrawManager;
class UinputEventSink;
class X11Workspace;
class AutostartLoginItem;
class Syslog;
class LocaleTimeOfDay;

class LinuxDesktop final : public Desktop {
 public:
  explicit LinuxDesktop(MainLoop& loop);
  ~LinuxDesktop() override;
  LinuxDesktop(const LinuxDesktop&) = delete;
  LinuxDesktop& operator=(const LinuxDesktop&) = delete;

  HidManager& hid() override;
  EventSink& events() override;
  Workspace& workspace() override;
  LoginItem& loginItem() override;
  SystemLog& systemLog() override;
  TimeOfDay& timeOfDay() override;

  // Starts reporting what the user should know (no uinput access, an unknown front application)
  // to `log`, and creates the virtual input device so the desktop has opened it before the first
  // bridged press. An empty `log` stops the reports.
  void start(std::function<void(const std::string&)> log);

 private:
  std::unique_ptr<HidrawManager> hid_;
  std::unique_ptr<UinputEventSink> events_;
  std::unique_ptr<X11Workspace> workspace_;
  std::unique_ptr<AutostartLoginItem> loginItem_;
  std::unique_ptr<Syslog> systemLog_;
  std::unique_ptr<LocaleTimeOfDay> timeOfDay_;
};

}  // namespace tandemo::linux_platform
