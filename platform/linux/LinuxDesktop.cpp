#include "linux/LinuxDesktop.h"

#include "linux/AutostartLoginItem.h"
#include "linux/HidrawManager.h"
#include "linux/LocaleTimeOfDay.h"
#include "linux/Syslog.h"
#include "linux/UinputEventSink.h"
#include "linux/X11Workspace.h"

namespace tandemo::linux_platform {

LinuxDesktop::LinuxDesktop(MainLoop& loop)
    : hid_(std::make_unique<HidrawManager>(loop)),
      events_(std::make_unique<UinputEventSink>(loop)),
      workspace_(std::make_unique<X11Workspace>(loop)),
      loginItem_(std::make_unique<AutostartLoginItem>()),
      systemLog_(std::make_unique<Syslog>()),
      timeOfDay_(std::make_unique<LocaleTimeOfDay>()) {}

LinuxDesktop::~LinuxDesktop() = default;

HidManager& LinuxDesktop::hid() { return *hid_; }
EventSink& LinuxDesktop::events() { return *events_; }
Workspace& LinuxDesktop::workspace() { return *workspace_; }
LoginItem& LinuxDesktop::loginItem() { return *loginItem_; }
SystemLog& LinuxDesktop::systemLog() { return *systemLog_; }
TimeOfDay& LinuxDesktop::timeOfDay() { return *timeOfDay_; }

void LinuxDesktop::start(std::function<void(const std::string&)> log) {
  const bool reporting = static_cast<bool>(log);
  events_->setLog(log);
  workspace_->setLogHandler(std::move(log));
  if (reporting) events_->prepare();
}

}  // namespace tandemo::linux_platform
