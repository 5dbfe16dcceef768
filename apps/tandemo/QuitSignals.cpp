#include "QuitSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <utility>

namespace tandemo::app {
namespace {

constexpr int kQuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The write end of the pipe the quit signals' handler writes to. A signal handler reaches only
// process-wide state, so this one descriptor is global.
int quitPipeWrite = -1;

void onQuitSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(quitPipeWrite, &byte, 1);
}

}  // namespace

QuitSignals::QuitSignals() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  readEnd_ = fds[0];
  quitPipeWrite = fds[1];
  struct sigaction action {};
  action.sa_handler = onQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : kQuitSignals) sigaction(number, &action, nullptr);
}

// Back to the default actions before the pipe closes, so no late signal writes into a reused descriptor.
QuitSignals::~QuitSignals() {
  if (readEnd_ < 0) return;
  if (loop_) loop_->unwatch(watch_);
  for (const int number : kQuitSignals) std::signal(number, SIG_DFL);
  ::close(readEnd_);
  ::close(std::exchange(quitPipeWrite, -1));
}

void QuitSignals::watch(MainLoop& loop, std::function<void()> quit) {
  if (readEnd_ < 0) return;
  loop_ = &loop;
  watch_ = loop.watchReadable(readEnd_, [fd = readEnd_, quit = std::move(quit)] {
    char bytes[16];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
    quit();
  });
}

}  // namespace tandemo::app
