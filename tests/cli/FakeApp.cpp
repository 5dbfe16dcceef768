#include "FakeApp.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace tandemo::testing {
namespace {

using ctl::AppProperties;

constexpr auto kPatience = std::chrono::seconds(20);  // only a broken test waits this long

int appendProperty(sd_bus_message* reply, const std::string& name, const AppProperties& p) {
  const auto text = [reply](const std::string& value) { return sd_bus_message_append(reply, "s", value.c_str()); };
  const auto flag = [reply](bool value) { return sd_bus_message_append(reply, "b", int(value)); };
  if (name == "Connected") return flag(p.connected);
  if (name == "Firmware") return text(p.firmware);
  if (name == "KeyboardState") return text(p.keyboardState);
  if (name == "ActiveProfile") return text(p.activeProfile);
  if (name == "PinnedProfile") return text(p.pinnedProfile);
  if (name == "Writing") return flag(p.writing);
  if (name == "LastWrite") return text(p.lastWrite);
  if (name == "Simulated") return flag(p.simulated);
  if (name == "SettingsFile") return text(p.settingsFile);
  int r = sd_bus_message_open_container(reply, 'a', "s");
  for (const std::string& id : p.pressedButtons) {
    if (r >= 0) r = sd_bus_message_append(reply, "s", id.c_str());
  }
  return r < 0 ? r : sd_bus_message_close_container(reply);
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_, old_->c_str(), 1);
  } else {
    ::unsetenv(name_);
  }
}

PrivateBus::PrivateBus() {
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);  // its notices
  char program[] = "dbus-daemon", session[] = "--session", nofork[] = "--nofork", print[] = "--print-address";
  char* argv[] = {program, session, nofork, print, nullptr};
  const int spawned = ::posix_spawnp(&pid_, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);
  char c = 0;
  while (spawned == 0 && ::read(pipe[0], &c, 1) == 1 && c != '\n') address_ += c;
  ::close(pipe[0]);
  if (spawned != 0 || address_.empty()) throw std::runtime_error("dbus-daemon did not start");
}

PrivateBus::~PrivateBus() {
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

struct FakeApp::Bus {
  sd_bus* bus = nullptr;
};

FakeApp::FakeApp(const std::string& address, AppProperties properties) : properties_(std::move(properties)) {
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread([this, address] { run(address); });
  std::unique_lock lock(mutex_);
  if (!done_.wait_for(lock, kPatience, [this] { return ready_; })) {
    lock.unlock();
    thread_.join();
    ::close(wake_);
    throw std::runtime_error("the fake app did not start");
  }
}

FakeApp::~FakeApp() {
  {
    std::lock_guard lock(mutex_);
    ready_ = false;
  }
  const std::uint64_t one = 1;
  (void)::write(wake_, &one, sizeof one);
  thread_.join();
  ::close(wake_);
}

void FakeApp::onThread(std::function<void(Bus&)> task) {
  bool finished = false;
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back([&finished, task = std::move(task), this](Bus& bus) {
      task(bus);
      std::lock_guard inner(mutex_);
      finished = true;
    });
  }
  const std::uint64_t one = 1;
  (void)::write(wake_, &one, sizeof one);
  std::unique_lock lock(mutex_);
  done_.wait_for(lock, kPatience, [&finished] { return finished; });
}

void FakeApp::own() {
  onThread([](Bus& bus) { (void)sd_bus_request_name(bus.bus, ctl::kAppService, 0); });
}

void FakeApp::disown() {
  onThread([](Bus& bus) { (void)sd_bus_release_name(bus.bus, ctl::kAppService); });
}

void FakeApp::change(const std::function<void(AppProperties&)>& edit, std::vector<std::string> names) {
  {
    std::lock_guard lock(mutex_);
    edit(properties_);
  }
  onThread([names = std::move(names)](Bus& bus) mutable {
    std::vector<char*> list;
    for (std::string& name : names) list.push_back(name.data());
    list.push_back(nullptr);
    (void)sd_bus_emit_properties_changed_strv(bus.bus, ctl::kAppPath, ctl::kAppInterface, list.data());
  });
}

void FakeApp::answer(const std::string& method, Answer answer) {
  std::lock_guard lock(mutex_);
  answers_[method] = std::move(answer);
}

AppProperties FakeApp::properties() const {
  std::lock_guard lock(mutex_);
  return properties_;
}

std::vector<std::string> FakeApp::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

void FakeApp::run(const std::string& address) {
  const auto get = [](sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                      void* self, sd_bus_error*) {
    auto& app = *static_cast<FakeApp*>(self);
    std::lock_guard lock(app.mutex_);
    return appendProperty(reply, property, app.properties_);
  };
  const auto method = [](sd_bus_message* call, void* self, sd_bus_error*) {
    auto& app = *static_cast<FakeApp*>(self);
    const std::string member = sd_bus_message_get_member(call);
    std::string record = member;
    if (member == "Write") {
      int save = 0;
      (void)sd_bus_message_read(call, "b", &save);
      record += save ? " true" : " false";
    } else if (member == "Pin") {
      const char* profile = nullptr;
      (void)sd_bus_message_read(call, "s", &profile);
      record += std::string(" ") + profile;
    }
    Answer answer{"", member == "Pin" ? "" : "answer of " + member};
    {
      std::lock_guard lock(app.mutex_);
      app.calls_.push_back(record);
      if (const auto found = app.answers_.find(member); found != app.answers_.end()) answer = found->second;
    }
    if (!answer.error.empty()) {
      const std::string name = std::string(ctl::kAppErrorPrefix) + answer.error;
      return sd_bus_reply_method_errorf(call, name.c_str(), "%s", answer.text.c_str());
    }
    if (member == "Pin") return sd_bus_reply_method_return(call, "");
    return sd_bus_reply_method_return(call, "s", answer.text.c_str());
  };
  constexpr auto emits = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;
  static const sd_bus_vtable vtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_PROPERTY("Connected", "b", get, 0, emits),
      SD_BUS_PROPERTY("Firmware", "s", get, 0, emits),
      SD_BUS_PROPERTY("KeyboardState", "s", get, 0, emits),
      SD_BUS_PROPERTY("ActiveProfile", "s", get, 0, emits),
      SD_BUS_PROPERTY("PinnedProfile", "s", get, 0, emits),
      SD_BUS_PROPERTY("Writing", "b", get, 0, emits),
      SD_BUS_PROPERTY("LastWrite", "s", get, 0, emits),
      SD_BUS_PROPERTY("PressedButtons", "as", get, 0, emits),
      SD_BUS_PROPERTY("Simulated", "b", get, 0, emits),
      SD_BUS_PROPERTY("SettingsFile", "s", get, 0, emits),
      SD_BUS_METHOD("Write", "b", "s", method, 0),
      SD_BUS_METHOD("WriteAsSet", "", "s", method, 0),
      SD_BUS_METHOD("Reset", "", "s", method, 0),
      SD_BUS_METHOD("ReadFirmware", "", "s", method, 0),
      SD_BUS_METHOD("Pin", "s", "", method, 0),
      SD_BUS_VTABLE_END};

  Bus bus;
  sd_bus_slot* object = nullptr;
  if (sd_bus_new(&bus.bus) < 0 || sd_bus_set_address(bus.bus, address.c_str()) < 0 ||
      sd_bus_set_bus_client(bus.bus, 1) < 0 || sd_bus_start(bus.bus) < 0 ||
      sd_bus_add_object_vtable(bus.bus, &object, ctl::kAppPath, ctl::kAppInterface, vtable, this) < 0) {
    return;  // the constructor gives up waiting
  }
  {
    std::lock_guard lock(mutex_);
    ready_ = true;
  }
  done_.notify_all();
  for (;;) {
    while (sd_bus_process(bus.bus, nullptr) > 0) {
    }
    std::deque<std::function<void(Bus&)>> tasks;
    {
      std::lock_guard lock(mutex_);
      if (!ready_) break;
      tasks.swap(tasks_);
    }
    for (auto& task : tasks) task(bus);
    if (!tasks.empty()) {
      done_.notify_all();
      continue;  // what the tasks sent may have brought answers
    }
    pollfd fds[] = {{sd_bus_get_fd(bus.bus), static_cast<short>(sd_bus_get_events(bus.bus)), 0}, {wake_, POLLIN, 0}};
    ::poll(fds, 2, 1000);
    std::uint64_t count = 0;
    (void)::read(wake_, &count, sizeof count);
  }
  sd_bus_slot_unref(object);
  sd_bus_flush_close_unref(bus.bus);
}

std::string LineQueue::next() {
  std::unique_lock lock(mutex_);
  if (!arrived_.wait_for(lock, kPatience, [this] { return !lines_.empty(); })) return "<nothing>";
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

int LineQueue::overflow(int c) {
  if (c == traits_type::eof()) return 0;
  std::lock_guard lock(mutex_);
  if (c != '\n') {
    partial_ += static_cast<char>(c);
    return c;
  }
  lines_.push_back(std::exchange(partial_, {}));
  arrived_.notify_all();
  return c;
}

int LineQueue::sync() { return 0; }

}  // namespace tandemo::testing
