#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/Expected.h"
#include "core/MainLoop.h"

struct udev;
struct udev_monitor;

namespace tandemo::linux_platform {

// Hotplug events of one sysfs subsystem through libudev's netlink monitor, delivered on the
// main loop (its descriptor is watched; nothing polls). Uses udevd's own events, sent after its
// rules (permissions) have run, when udevd runs; the kernel's events otherwise.
class UdevMonitor {
 public:
  // action ("add", "remove", ...) and the device's sysfs name ("hidraw3").
  using Handler = std::function<void(std::string_view action, const std::string& sysname)>;
  // Called when events were lost (the socket's buffer overflowed): rescan instead.
  using LostHandler = std::function<void()>;

  enum class Source { udev, kernel };
  // udev when udevd's control socket exists, else the kernel.
  static Source sourceFor(const std::string& udevControlPath);
  static const char* name(Source source);

  static Expected<std::unique_ptr<UdevMonitor>, std::string> start(MainLoop& loop, Source source,
                                                                   const std::string& subsystem, Handler handler,
                                                                   LostHandler lost);
  ~UdevMonitor();
  UdevMonitor(const UdevMonitor&) = delete;
  UdevMonitor& operator=(const UdevMonitor&) = delete;

  Source source() const { return source_; }

 private:
  UdevMonitor(MainLoop& loop, Source source, std::string subsystem, Handler handler, LostHandler lost);
  void drain();

  MainLoop& loop_;
  Source source_;
  std::string subsystem_;
  Handler handler_;
  LostHandler lost_;
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
  MainLoop::WatchId watch_ = 0;
};

}  // namespace tandemo::linux_platform
