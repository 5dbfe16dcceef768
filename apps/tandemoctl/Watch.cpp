#include "Watch.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "AppClient.h"

namespace tandemo {
namespace {

using ctl::AppClient;
using ctl::AppProperties;

// The watched properties, in the order their lines are printed.
enum class Field { connected, firmware, keyboard, profile, pinned, writing, lastWrite, pressed };
constexpr std::array kFields{Field::connected, Field::firmware, Field::keyboard,  Field::profile,
                             Field::pinned,    Field::writing,  Field::lastWrite, Field::pressed};

// A line is a record: control characters in served text become spaces.
std::string oneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

std::string orElse(const std::string& text, const char* fallback) { return text.empty() ? fallback : oneLine(text); }

std::string line(Field field, const AppProperties& app) {
  switch (field) {
    case Field::connected: return std::string("connected ") + (app.connected ? "yes" : "no");
    case Field::firmware: return "firmware " + orElse(app.firmware, "unknown");
    case Field::keyboard: return "keyboard " + oneLine(app.keyboardState);
    case Field::profile: return "profile " + orElse(app.activeProfile, "none");
    case Field::pinned: return "pinned " + orElse(app.pinnedProfile, "auto");
    case Field::writing: return std::string("writing ") + (app.writing ? "yes" : "no");
    case Field::lastWrite: return app.lastWrite.empty() ? "lastwrite" : "lastwrite " + oneLine(app.lastWrite);
    case Field::pressed: {
      std::string text = "pressed";
      for (const std::string& id : app.pressedButtons) text += " " + oneLine(id);
      return app.pressedButtons.empty() ? "pressed none" : text;
    }
  }
  return {};
}

bool differs(Field field, const AppProperties& a, const AppProperties& b) {
  switch (field) {
    case Field::connected: return a.connected != b.connected;
    case Field::firmware: return a.firmware != b.firmware;
    case Field::keyboard: return a.keyboardState != b.keyboardState;
    case Field::profile: return a.activeProfile != b.activeProfile;
    case Field::pinned: return a.pinnedProfile != b.pinnedProfile;
    case Field::writing: return a.writing != b.writing;
    case Field::lastWrite: return a.lastWrite != b.lastWrite;
    case Field::pressed: return a.pressedButtons != b.pressedButtons;
  }
  return false;
}

// Keys in print order; null while the app is not running, so every object has the same keys.
nlohmann::ordered_json snapshot(const std::optional<AppProperties>& app) {
  nlohmann::ordered_json object;
  object["running"] = app.has_value();
  const auto value = [&app](const auto& field) { return app ? nlohmann::ordered_json(field(*app)) : nullptr; };
  object["connected"] = value([](const AppProperties& a) { return a.connected; });
  object["firmware"] = value([](const AppProperties& a) { return a.firmware; });
  object["keyboard"] = value([](const AppProperties& a) { return a.keyboardState; });
  object["profile"] = value([](const AppProperties& a) { return a.activeProfile; });
  object["pinned"] = value([](const AppProperties& a) { return a.pinnedProfile; });
  object["writing"] = value([](const AppProperties& a) { return a.writing; });
  object["lastWrite"] = value([](const AppProperties& a) { return a.lastWrite; });
  object["pressed"] = value([](const AppProperties& a) { return a.pressedButtons; });
  return object;
}

class Printer {
 public:
  Printer(bool json, std::ostream& out) : json_(json), out_(out) {}

  // `before` absent: the app was not running (or `running` itself changed).
  void show(const std::optional<AppProperties>& before, const std::optional<AppProperties>& now) {
    if (json_) {
      emit(snapshot(now).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
      return;
    }
    if (before.has_value() != now.has_value()) emit(now ? "running yes" : "running no");
    if (!now) return;
    for (const Field field : kFields) {
      if (!before || differs(field, *before, *now)) emit(line(field, *now));
    }
  }

 private:
  void emit(const std::string& text) { out_ << text << '\n' << std::flush; }

  bool json_;
  std::ostream& out_;
};

class Watcher {
 public:
  Watcher(AppClient& client, Printer& printer) : client_(client), printer_(printer) {}

  void handle(const ctl::AppEvent& event) {
    if (const auto* owner = std::get_if<ctl::OwnerChanged>(&event)) {
      ownerChanged(owner->owner);
    } else {
      propertiesChanged(std::get<ctl::PropertiesChanged>(event));
    }
  }
  bool running() const { return current_.has_value(); }

 private:
  void ownerChanged(const std::string& owner) {
    std::optional<AppProperties> next;
    if (!owner.empty()) {
      client_.target(owner);
      // An app that leaves at once, or cannot answer, counts as not running until it comes again.
      if (auto properties = client_.properties()) next = std::move(properties).value();
    }
    if (!next && !current_) return;
    // Another instance taking over is announced as a new appearance.
    printer_.show(next ? std::nullopt : current_, next);
    current_ = std::move(next);
  }

  void propertiesChanged(const ctl::PropertiesChanged& change) {
    if (!current_) return;
    AppProperties next = *current_;
    for (const auto& [name, value] : change.changed) ctl::assign(next, name, value);
    if (!change.invalidated.empty()) {
      if (auto properties = client_.properties()) next = std::move(properties).value();
    }
    if (next == *current_) return;
    const AppProperties before = std::exchange(*current_, std::move(next));
    printer_.show(before, current_);
  }

  AppClient& client_;
  Printer& printer_;
  std::optional<AppProperties> current_;
};

}  // namespace

int runWatch(const WatchOptions& options, std::ostream& out, std::ostream& err, int stopFd) {
  auto client = AppClient::connect();
  if (!client) {
    err << "tandemoctl: watch needs the session bus: " << client.error() << '\n';
    return 1;
  }
  if (auto subscribed = client->subscribe(); !subscribed) {
    err << "tandemoctl: " << subscribed.error() << '\n';
    return 1;
  }
  Printer printer(options.json, out);
  Watcher watcher(*client, printer);
  for (bool started = false;; started = true) {
    std::vector<ctl::AppEvent> events;
    const bool open = client->process(events);
    for (const ctl::AppEvent& event : events) watcher.handle(event);
    if (!started && !watcher.running()) printer.show(AppProperties{}, std::nullopt);
    if (!open) {
      err << "tandemoctl: the session bus closed\n";
      return 1;
    }
    std::array<pollfd, 2> fds{pollfd{client->fd(), client->pollEvents(), 0}, pollfd{stopFd, POLLIN, 0}};
    const auto timeout = client->timeout();
    const int wait = timeout ? static_cast<int>(std::min<long long>(timeout->count(), 60'000)) : -1;
    if (::poll(fds.data(), fds.size(), wait) < 0 && errno != EINTR) {
      err << "tandemoctl: " << std::strerror(errno) << '\n';
      return 1;
    }
    if (fds[1].revents != 0) return 0;
    if (!out) return 1;  // the reader went away (SIGPIPE ignored)
  }
}

int runWatchUntilSignalled(const WatchOptions& options, std::ostream& out, std::ostream& err) {
  sigset_t stopSignals, previous;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
  const int fd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd < 0) {
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    err << "tandemoctl: " << std::strerror(errno) << '\n';
    return 1;
  }
  const int status = runWatch(options, out, err, fd);
  // Taken here, so that unblocking does not deliver the signal that ended the watch.
  signalfd_siginfo info{};
  while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
  }
  ::close(fd);
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return status;
}

}  // namespace tandemo
