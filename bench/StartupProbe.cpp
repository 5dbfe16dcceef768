// Starts a program under an X server and measures what a user waits for and pays: the time from
// spawn until its first top-level window is mapped (and the CPU time used until then), then (with --idle) its resident memory 2 s
// later and the CPU time it uses in the 10 s after that. Prints one line of key=value pairs.
//
//   startup_probe [--idle] -- PROGRAM ARGS...

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kMapLimit = std::chrono::seconds(20);

long residentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// User plus system CPU time of the process (all its threads) in milliseconds: from the kernel's
// per-process CPU clock, exact to the nanosecond, else from /proc in clock ticks (10 ms).
double cpuMs(pid_t pid) {
  clockid_t clock;
  timespec used{};
  if (::clock_getcpuclockid(pid, &clock) == 0 && ::clock_gettime(clock, &used) == 0) {
    return static_cast<double>(used.tv_sec) * 1000.0 + static_cast<double>(used.tv_nsec) / 1e6;
  }
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));  // the name may hold spaces
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) {
      stime = std::stoull(field);
      break;
    }
  }
  return static_cast<double>(utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool waitForMap(xcb_connection_t* x, Clock::time_point deadline) {
  pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
  while (Clock::now() < deadline) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
      const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY &&
                          !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect;
      std::free(event);
      if (mapped) return true;
    }
    if (xcb_connection_has_error(x)) return false;
    ::poll(&fd, 1, 50);
  }
  return false;
}

void stop(pid_t pid) {
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
  bool idle = false;
  int first = 1;
  for (; first < argc && std::strcmp(argv[first], "--") != 0; ++first) idle = idle || std::strcmp(argv[first], "--idle") == 0;
  if (++first >= argc) {
    std::fprintf(stderr, "usage: startup_probe [--idle] -- PROGRAM ARGS...\n");
    return 2;
  }
  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x)) {
    std::fprintf(stderr, "startup_probe: cannot connect to the X server\n");
    return 2;
  }
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_request_check(x, xcb_change_window_attributes_checked(x, screen->root, XCB_CW_EVENT_MASK, &mask));

  const Clock::time_point spawned = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execvp(argv[first], argv + first);
    std::_Exit(127);
  }
  if (!waitForMap(x, spawned + kMapLimit)) {
    std::fprintf(stderr, "startup_probe: %s mapped no window\n", argv[first]);
    stop(pid);
    return 1;
  }
  const double startMs = std::chrono::duration<double, std::milli>(Clock::now() - spawned).count();
  // The CPU time spent until then: what the start costs regardless of how busy the machine is.
  std::printf("start_ms=%.1f start_cpu_ms=%.1f", startMs, cpuMs(pid));
  if (idle) {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long rss = residentKb(pid);
    const double before = cpuMs(pid);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    std::printf(" rss_kb=%ld cpu_ms=%.1f", rss, cpuMs(pid) - before);
  }
  std::printf("\n");
  stop(pid);
  xcb_disconnect(x);
  return 0;
}
