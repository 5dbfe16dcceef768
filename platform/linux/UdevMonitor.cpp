#include "linux/UdevMonitor.h"

#include <libudev.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace tandemo::linux_platform {
namespace {

// Events handled per wake-up before other work on the loop gets its turn.
constexpr int kMaxEventsPerWake = 64;

std::string failure(const char* what, int error) {
  return std::string(what) + ": " + std::generic_category().message(error);
}

}  // namespace

UdevMonitor::Source UdevMonitor::sourceFor(const std::string& udevControlPath) {
  std::error_code error;
  return std::filesystem::exists(udevControlPath, error) ? Source::udev : Source::kernel;
}

const char* UdevMonitor::name(Source source) { return source == Source::udev ? "udev" : "kernel"; }

UdevMonitor::UdevMonitor(MainLoop& loop, Source source, std::string subsystem, Handler handler, LostHandler lost)
    : loop_(loop), source_(source), subsystem_(std::move(subsystem)), handler_(std::move(handler)),
      lost_(std::move(lost)) {}

Expected<std::unique_ptr<UdevMonitor>, std::string> UdevMonitor::start(MainLoop& loop, Source source,
                                                                       const std::string& subsystem, Handler handler,
                                                                       LostHandler lost) {
  std::unique_ptr<UdevMonitor> monitor(
      new UdevMonitor(loop, source, subsystem, std::move(handler), std::move(lost)));
  monitor->udev_ = udev_new();
  if (!monitor->udev_) return unexpected(failure("udev_new", errno));
  monitor->monitor_ = udev_monitor_new_from_netlink(monitor->udev_, name(source));
  if (!monitor->monitor_) return unexpected(failure("udev monitor", errno));
  // The filter only spares wake-ups; drain() checks the subsystem itself (kernel events pass it).
  if (const int rc = udev_monitor_filter_add_match_subsystem_devtype(monitor->monitor_, subsystem.c_str(), nullptr);
      rc < 0) {
    return unexpected(failure("udev monitor filter", -rc));
  }
  if (const int rc = udev_monitor_enable_receiving(monitor->monitor_); rc < 0) {
    return unexpected(failure("udev monitor", -rc));
  }
  const int fd = udev_monitor_get_fd(monitor->monitor_);
  if (fd < 0) return unexpected(failure("udev monitor", -fd));
  UdevMonitor* self = monitor.get();
  monitor->watch_ = loop.watchReadable(fd, [self] { self->drain(); });
  return monitor;
}

UdevMonitor::~UdevMonitor() {
  if (watch_ != 0) loop_.unwatch(watch_);
  if (monitor_) udev_monitor_unref(monitor_);
  if (udev_) udev_unref(udev_);
}

void UdevMonitor::drain() {
  for (int i = 0; i < kMaxEventsPerWake; ++i) {
    errno = 0;
    udev_device* device = udev_monitor_receive_device(monitor_);
    if (!device) {
      if (errno == ENOBUFS && lost_) lost_();
      return;
    }
    const char* action = udev_device_get_action(device);
    const char* subsystem = udev_device_get_subsystem(device);
    const char* sysname = udev_device_get_sysname(device);
    if (action && subsystem && sysname && subsystem_ == subsystem) handler_(action, sysname);
    udev_device_unref(device);
  }
}

}  // namespace tandemo::linux_platform
