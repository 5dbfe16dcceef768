#include "linux/HidrawDevice.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "linux/HidrawReports.h"

namespace tandemo::linux_platform {
namespace {

// The largest report hidraw hands over or takes (the kernel's HID_MAX_BUFFER_SIZE).
constexpr std::size_t kMaxReportSize = 4096;
// Reports read per wake-up before other work on the loop gets its turn.
constexpr int kMaxReportsPerWake = 64;

int openNode(const std::filesystem::path& path, int access) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), access | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

HidrawDevice::HidrawDevice(MainLoop& loop, HidrawNode node,
                           std::function<std::vector<std::filesystem::path>()> inputNodes)
    : loop_(loop),
      node_(std::move(node)),
      numbered_(node_.descriptor && node_.descriptor->numbered),
      inputNodes_(std::move(inputNodes)),
      buffer_(kMaxReportSize) {}

HidrawDevice::~HidrawDevice() {
  // The owners end delivery on the loop (setInputHandler, close, markGone) before letting go.
  if (watch_) loop_.unwatch(*watch_);
}

std::optional<std::int64_t> HidrawDevice::primaryUsagePage() const {
  if (!node_.descriptor) return std::nullopt;
  return std::int64_t{node_.descriptor->primaryUsagePage()};
}

bool HidrawDevice::isOpen() const {
  std::lock_guard lock(mutex_);
  return hidraw_ != nullptr;
}

IOReturn HidrawDevice::open(bool seize) {
  if (gone_) return kIOReturnNotOpen;
  if (isOpen()) return kIOReturnSuccess;
  std::vector<std::unique_ptr<FileDescriptor>> grabbed;
  if (seize) {
    // Closing what was grabbed so far (on an early return) also ends those grabs.
    for (const auto& path : inputNodes_()) {
      const int fd = openNode(path, O_RDONLY);
      if (fd < 0) return ioReturnFromErrno(errno);
      grabbed.push_back(std::make_unique<FileDescriptor>(fd));
      if (::ioctl(fd, EVIOCGRAB, 1) < 0) return ioReturnFromErrno(errno);
    }
  }
  const int fd = openNode(node_.devNode, seize ? O_RDONLY : O_RDWR);
  if (fd < 0) return ioReturnFromErrno(errno);
  grabbed_ = std::move(grabbed);
  {
    std::lock_guard lock(mutex_);
    hidraw_ = std::make_shared<FileDescriptor>(fd);
  }
  if (handler_) startWatching();
  return kIOReturnSuccess;
}

void HidrawDevice::close(bool) { release(); }

void HidrawDevice::release() {
  stopWatching();
  for (const auto& fd : grabbed_) ::ioctl(fd->get(), EVIOCGRAB, 0);
  grabbed_.clear();
  std::lock_guard lock(mutex_);
  hidraw_.reset();
}

void HidrawDevice::markGone() {
  gone_ = true;
  release();
}

void HidrawDevice::setInputHandler(InputHandler handler) {
  handler_ = std::move(handler);
  if (handler_ && isOpen()) {
    startWatching();
  } else {
    stopWatching();
  }
}

void HidrawDevice::startWatching() {
  if (watch_) return;
  int fd = -1;
  {
    std::lock_guard lock(mutex_);
    if (!hidraw_) return;
    fd = hidraw_->get();
  }
  watch_ = loop_.watchReadable(fd, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->readReports();
  });
}

void HidrawDevice::stopWatching() {
  if (watch_) loop_.unwatch(*std::exchange(watch_, std::nullopt));
}

void HidrawDevice::readReports() {
  std::shared_ptr<FileDescriptor> fd;
  {
    std::lock_guard lock(mutex_);
    fd = hidraw_;
  }
  if (!fd) return;
  for (int i = 0; i < kMaxReportsPerWake; ++i) {
    const ssize_t got = ::read(fd->get(), buffer_.data(), buffer_.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno != EAGAIN) {
      // The node broke or went away (EIO after removal): stop polling it; the removal follows.
      stopWatching();
      return;
    }
    if (got <= 0) return;
    const std::span<const std::uint8_t> report(buffer_.data(), static_cast<std::size_t>(got));
    const InputHandler handler = handler_;  // what it calls may replace or clear it
    if (handler) handler(inputReportID(report, numbered_), report);
    if (!watch_) return;
  }
}

IOReturn HidrawDevice::setReport(HidReportType type, std::uint32_t reportID, std::span<const std::uint8_t> bytes) {
  std::shared_ptr<FileDescriptor> fd;
  {
    std::lock_guard lock(mutex_);
    fd = hidraw_;
  }
  if (!fd) return kIOReturnNotOpen;
  const auto framed = framedReport(reportID, bytes);
  if (!framed || framed->size() > kMaxReportSize) return kIOReturnBadArgument;
  if (type == HidReportType::output) {
    ssize_t written = -1;
    do {
      written = ::write(fd->get(), framed->data(), framed->size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) return ioReturnFromErrno(errno);
    return static_cast<std::size_t>(written) == framed->size() ? kIOReturnSuccess : systemErrorCode(EIO);
  }
  if (type == HidReportType::feature) {
    // May block for seconds on a mouse that does not answer: this runs on the write queue.
    if (::ioctl(fd->get(), HIDIOCSFEATURE(framed->size()), framed->data()) < 0) return ioReturnFromErrno(errno);
    return kIOReturnSuccess;
  }
  return kIOReturnBadArgument;
}

}  // namespace tandemo::linux_platform
