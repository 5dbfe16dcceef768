#include "linux/UinputDevice.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "linux/KeyMapping.h"

namespace tandemo::linux_platform {
namespace {

// No EV_REP: the desktop repeats held keys itself, a second repeat would double them.
bool declareCapabilities(int fd) {
  bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_EVBIT, EV_REL) == 0;
  for (std::uint16_t key : declaredKeys()) ok = ok && ioctl(fd, UI_SET_KEYBIT, int{key}) == 0;
  for (int button = 0; button < kMaxLinuxMouseButtons; ++button) {
    ok = ok && ioctl(fd, UI_SET_KEYBIT, int{*linuxButtonForEventButton(button)}) == 0;
  }
  // REL_X and REL_Y make desktops treat the device as a mouse; nothing moves the pointer.
  for (int axis : {REL_X, REL_Y, REL_WHEEL, REL_HWHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES}) {
    ok = ok && ioctl(fd, UI_SET_RELBIT, axis) == 0;
  }
  return ok;
}

}  // namespace

std::string UinputDevice::create(const std::string& path) {
  close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  uinput_setup setup{};
  setup.id.bustype = BUS_VIRTUAL;
  setup.id.version = 1;
  std::strncpy(setup.name, kUinputDeviceName, UINPUT_MAX_NAME_SIZE - 1);
  if (!declareCapabilities(fd) || ioctl(fd, UI_DEV_SETUP, &setup) != 0 || ioctl(fd, UI_DEV_CREATE) != 0) {
    const std::string error = std::strerror(errno);
    ::close(fd);
    return error;
  }
  fd_ = fd;
  return {};
}

bool UinputDevice::write(std::span<const InputEvent> events) {
  if (fd_ < 0) return false;
  std::vector<input_event> raw(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    raw[i].type = events[i].type;
    raw[i].code = events[i].code;
    raw[i].value = events[i].value;
  }
  const auto size = static_cast<ssize_t>(raw.size() * sizeof(input_event));
  ssize_t written = 0;
  do {
    written = ::write(fd_, raw.data(), raw.size() * sizeof(input_event));
  } while (written < 0 && errno == EINTR);
  if (written < 0 && (errno == ENODEV || errno == EBADF)) close();
  return written == size;
}

void UinputDevice::close() {
  if (fd_ < 0) return;
  ioctl(fd_, UI_DEV_DESTROY);
  ::close(fd_);
  fd_ = -1;
}

bool UinputDevice::writable(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace tandemo::linux_platform
