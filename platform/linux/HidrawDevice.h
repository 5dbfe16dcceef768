#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/MainLoop.h"
#include "hid/HidPlatform.h"
#include "linux/HidrawSysfs.h"

namespace tandemo::linux_platform {

// An open file descriptor, closed when the last holder lets go: the write queue keeps one while a
// report is under way, so a removal on the main loop never closes a descriptor in use.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// One presented interface of the mouse on hidraw. Opening shared opens the hidraw node
// read-write; seizing grabs every evdev node of the interface (EVIOCGRAB) and reads its raw
// reports from the hidraw node, which keeps delivering them while the evdev nodes are grabbed.
// Main loop only, except setReport() (write queue) and primaryUsagePage().
class HidrawDevice final : public HidDevice, public std::enable_shared_from_this<HidrawDevice> {
 public:
  // `inputNodes` reads the interface's evdev nodes afresh at every seize.
  HidrawDevice(MainLoop& loop, HidrawNode node, std::function<std::vector<std::filesystem::path>()> inputNodes);
  ~HidrawDevice() override;
  HidrawDevice(const HidrawDevice&) = delete;
  HidrawDevice& operator=(const HidrawDevice&) = delete;

  std::optional<std::int64_t> primaryUsagePage() const override;
  IOReturn open(bool seize) override;
  void close(bool seize) override;
  void setInputHandler(InputHandler handler) override;
  IOReturn setReport(HidReportType type, std::uint32_t reportID, std::span<const std::uint8_t> bytes) override;

  // The node was removed: delivery stops and every descriptor is let go; a report under way
  // finishes (and fails) on its own. Later opens answer "not open".
  void markGone();

  const HidrawNode& node() const { return node_; }
  bool isOpen() const;

 private:
  void release();
  void startWatching();
  void stopWatching();
  void readReports();

  MainLoop& loop_;
  const HidrawNode node_;
  const bool numbered_;
  std::function<std::vector<std::filesystem::path>()> inputNodes_;
  bool gone_ = false;
  InputHandler handler_;
  std::optional<MainLoop::WatchId> watch_;
  std::vector<std::unique_ptr<FileDescriptor>> grabbed_;  // evdev nodes held with EVIOCGRAB
  std::vector<std::uint8_t> buffer_;
  mutable std::mutex mutex_;                 // guards hidraw_ only
  std::shared_ptr<FileDescriptor> hidraw_;   // shared with a report under way
};

}  // namespace tandemo::linux_platform
