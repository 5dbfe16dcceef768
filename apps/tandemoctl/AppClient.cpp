#include "AppClient.h"

#include <systemd/sd-bus.h>
#include <time.h>

#include <cstring>

namespace tandemo::ctl {
namespace {

constexpr const char* kBusService = "org.freedesktop.DBus";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
// Writes answer when they end, within seconds; this only catches an app that hangs.
constexpr std::uint64_t kCallTimeoutUsec = 30'000'000;

struct MessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

struct SlotUnref {
  void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using Slot = std::unique_ptr<sd_bus_slot, SlotUnref>;

struct ErrorHolder {
  sd_bus_error error{nullptr, nullptr, 0};
  ErrorHolder() = default;
  ErrorHolder(const ErrorHolder&) = delete;
  ErrorHolder& operator=(const ErrorHolder&) = delete;
  ~ErrorHolder() { sd_bus_error_free(&error); }
};

std::string systemText(int negativeErrno) { return std::strerror(-negativeErrno); }

BusError toBusError(const sd_bus_error& error, int result) {
  if (sd_bus_error_is_set(&error)) return {error.name, error.message ? error.message : ""};
  return {"org.freedesktop.DBus.Error.Failed", systemText(result)};
}

BusError malformed(const char* what) {
  return {"org.freedesktop.DBus.Error.InvalidArgs", std::string("Tandemo's answer to ") + what + " could not be read"};
}

// Each value of an `as` at the message's position; < 0 when the message does not hold one.
int readStrings(sd_bus_message* message, std::vector<std::string>& values) {
  int r = sd_bus_message_enter_container(message, 'a', "s");
  if (r < 0) return r;
  const char* value = nullptr;
  while ((r = sd_bus_message_read(message, "s", &value)) > 0) values.emplace_back(value);
  if (r < 0) return r;
  return sd_bus_message_exit_container(message);
}

// One variant; types no property has (only b, s and as are served) are skipped.
int readVariant(sd_bus_message* message, std::optional<PropertyValue>& value) {
  const char* contents = nullptr;
  int r = sd_bus_message_peek_type(message, nullptr, &contents);
  if (r <= 0 || !contents) return r < 0 ? r : -EBADMSG;
  const std::string_view type(contents);
  if (type == "b") {
    int flag = 0;
    r = sd_bus_message_read(message, "v", "b", &flag);
    if (r >= 0) value = PropertyValue(flag != 0);
  } else if (type == "s") {
    const char* text = nullptr;
    r = sd_bus_message_read(message, "v", "s", &text);
    if (r >= 0) value = PropertyValue(std::string(text));
  } else if (type == "as") {
    std::vector<std::string> list;
    r = sd_bus_message_enter_container(message, 'v', "as");
    if (r >= 0) r = readStrings(message, list);
    if (r >= 0) r = sd_bus_message_exit_container(message);
    if (r >= 0) value = PropertyValue(std::move(list));
  } else {
    r = sd_bus_message_skip(message, "v");
  }
  return r;
}

// An a{sv} of properties at the message's position.
int readProperties(sd_bus_message* message, PropertyList& properties) {
  int r = sd_bus_message_enter_container(message, 'a', "{sv}");
  if (r < 0) return r;
  while ((r = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
    const char* name = nullptr;
    std::optional<PropertyValue> value;
    if ((r = sd_bus_message_read(message, "s", &name)) < 0) return r;
    if ((r = readVariant(message, value)) < 0) return r;
    if (value) properties.emplace_back(name, std::move(*value));
    if ((r = sd_bus_message_exit_container(message)) < 0) return r;
  }
  if (r < 0) return r;
  return sd_bus_message_exit_container(message);
}

}  // namespace

bool BusError::is(std::string_view shortName) const {
  return fromApp() && std::string_view(name).substr(kAppErrorPrefix.size()) == shortName;
}

bool assign(AppProperties& properties, const std::string& name, const PropertyValue& value) {
  const auto set = [&value]<class T>(T& field) {
    if (!std::holds_alternative<T>(value)) return false;
    field = std::get<T>(value);
    return true;
  };
  if (name == "Connected") return set(properties.connected);
  if (name == "Firmware") return set(properties.firmware);
  if (name == "KeyboardState") return set(properties.keyboardState);
  if (name == "ActiveProfile") return set(properties.activeProfile);
  if (name == "PinnedProfile") return set(properties.pinnedProfile);
  if (name == "Writing") return set(properties.writing);
  if (name == "LastWrite") return set(properties.lastWrite);
  if (name == "PressedButtons") return set(properties.pressedButtons);
  if (name == "Simulated") return set(properties.simulated);
  if (name == "SettingsFile") return set(properties.settingsFile);
  return false;
}

struct AppClient::Subscription {
  Slot ownerMatch;
  Slot propertiesMatch;
  std::string owner;  // the app's unique name; empty while it is gone
  std::vector<AppEvent> pending;
};

Expected<AppClient, std::string> AppClient::connect() {
  sd_bus* bus = nullptr;
  if (const int r = sd_bus_open_user(&bus); r < 0) return unexpected("no session bus (" + systemText(r) + ")");
  return AppClient(bus);
}

AppClient::AppClient(sd_bus* bus) : bus_(bus) {}

AppClient::AppClient(AppClient&& other) noexcept
    : bus_(std::exchange(other.bus_, nullptr)),
      target_(std::move(other.target_)),
      subscription_(std::move(other.subscription_)) {}

AppClient& AppClient::operator=(AppClient&& other) noexcept {
  if (this != &other) {
    subscription_.reset();
    if (bus_) sd_bus_flush_close_unref(bus_);
    bus_ = std::exchange(other.bus_, nullptr);
    target_ = std::move(other.target_);
    subscription_ = std::move(other.subscription_);
  }
  return *this;
}

AppClient::~AppClient() {
  subscription_.reset();  // the match slots go before the bus
  if (bus_) sd_bus_flush_close_unref(bus_);
}

std::optional<std::string> AppClient::owner() {
  ErrorHolder error;
  sd_bus_message* reply = nullptr;
  if (sd_bus_call_method(bus_, kBusService, "/org/freedesktop/DBus", kBusService, "GetNameOwner", &error.error,
                         &reply, "s", kAppService) < 0) {
    return std::nullopt;
  }
  const Message answer(reply);
  const char* name = nullptr;
  if (sd_bus_message_read(reply, "s", &name) < 0 || !name || !*name) return std::nullopt;
  return std::string(name);
}

template <class Append>
Expected<std::string, BusError> AppClient::invoke(const char* method, Append append) {
  sd_bus_message* raw = nullptr;
  int r = sd_bus_message_new_method_call(bus_, &raw, target_.c_str(), kAppPath, kAppInterface, method);
  if (r < 0) return unexpected(BusError{"org.freedesktop.DBus.Error.Failed", systemText(r)});
  const Message call(raw);
  if ((r = sd_bus_message_set_auto_start(raw, 0)) >= 0) r = append(raw);
  if (r < 0) return unexpected(BusError{"org.freedesktop.DBus.Error.Failed", systemText(r)});
  ErrorHolder error;
  sd_bus_message* reply = nullptr;
  if ((r = sd_bus_call(bus_, raw, kCallTimeoutUsec, &error.error, &reply)) < 0) {
    return unexpected(toBusError(error.error, r));
  }
  const Message answer(reply);
  char type = 0;
  if (sd_bus_message_peek_type(reply, &type, nullptr) <= 0 || type != 's') return std::string();
  const char* text = nullptr;
  if (sd_bus_message_read(reply, "s", &text) < 0) return unexpected(malformed(method));
  return std::string(text);
}

Expected<std::string, BusError> AppClient::call(const char* method) {
  return invoke(method, [](sd_bus_message*) { return 0; });
}

Expected<std::string, BusError> AppClient::call(const char* method, bool argument) {
  return invoke(method, [argument](sd_bus_message* m) { return sd_bus_message_append(m, "b", int(argument)); });
}

Expected<std::string, BusError> AppClient::call(const char* method, const std::string& argument) {
  return invoke(method, [&argument](sd_bus_message* m) { return sd_bus_message_append(m, "s", argument.c_str()); });
}

Expected<AppProperties, BusError> AppClient::properties() {
  ErrorHolder error;
  sd_bus_message* reply = nullptr;
  sd_bus_message* raw = nullptr;
  int r = sd_bus_message_new_method_call(bus_, &raw, target_.c_str(), kAppPath, kPropertiesInterface, "GetAll");
  if (r < 0) return unexpected(BusError{"org.freedesktop.DBus.Error.Failed", systemText(r)});
  const Message call(raw);
  if ((r = sd_bus_message_set_auto_start(raw, 0)) >= 0) r = sd_bus_message_append(raw, "s", kAppInterface);
  if (r >= 0) r = sd_bus_call(bus_, raw, kCallTimeoutUsec, &error.error, &reply);
  if (r < 0) return unexpected(toBusError(error.error, r));
  const Message answer(reply);
  PropertyList list;
  if (readProperties(reply, list) < 0) return unexpected(malformed("GetAll"));
  AppProperties properties;
  for (const auto& [name, value] : list) assign(properties, name, value);
  return properties;
}

Expected<void, std::string> AppClient::subscribe() {
  auto subscription = std::make_unique<Subscription>();
  const auto handler = [](sd_bus_message* message, void* userdata, sd_bus_error*) {
    received(*static_cast<Subscription*>(userdata), message);
    return 0;
  };
  const std::string ownerRule = std::string("type='signal',sender='") + kBusService +
                                "',path='/org/freedesktop/DBus',interface='" + kBusService +
                                "',member='NameOwnerChanged',arg0='" + kAppService + "'";
  // sd-bus cannot match a well-known sender itself: received() compares the unique name.
  const std::string propertiesRule = std::string("type='signal',path='") + kAppPath + "',interface='" +
                                     kPropertiesInterface + "',member='PropertiesChanged',arg0='" + kAppInterface + "'";
  sd_bus_slot* slot = nullptr;
  int r = sd_bus_add_match(bus_, &slot, ownerRule.c_str(), handler, subscription.get());
  subscription->ownerMatch.reset(slot);
  if (r >= 0) r = sd_bus_add_match(bus_, &slot, propertiesRule.c_str(), handler, subscription.get());
  if (r < 0) return unexpected("cannot watch the session bus (" + systemText(r) + ")");
  subscription->propertiesMatch.reset(slot);
  subscription_ = std::move(subscription);
  // Asked after the matches are in place, so that no change in between goes unheard.
  subscription_->owner = owner().value_or("");
  if (!subscription_->owner.empty()) subscription_->pending.emplace_back(OwnerChanged{subscription_->owner});
  return {};
}

void AppClient::received(Subscription& subscription, sd_bus_message* message) {
  const char* sender = sd_bus_message_get_sender(message);
  if (!sender) return;
  if (sd_bus_message_is_signal(message, kBusService, "NameOwnerChanged")) {
    const char *name = nullptr, *before = nullptr, *after = nullptr;
    if (std::strcmp(sender, kBusService) != 0 || sd_bus_message_read(message, "sss", &name, &before, &after) < 0 ||
        std::strcmp(name, kAppService) != 0 || subscription.owner == after) {
      return;
    }
    subscription.owner = after;
    subscription.pending.emplace_back(OwnerChanged{after});
    return;
  }
  if (!sd_bus_message_is_signal(message, kPropertiesInterface, "PropertiesChanged")) return;
  if (subscription.owner.empty() || subscription.owner != sender) return;  // only the app speaks for itself
  const char* interface = nullptr;
  PropertiesChanged event;
  if (sd_bus_message_read(message, "s", &interface) < 0 || std::strcmp(interface, kAppInterface) != 0 ||
      readProperties(message, event.changed) < 0 || readStrings(message, event.invalidated) < 0) {
    return;
  }
  subscription.pending.emplace_back(std::move(event));
}

bool AppClient::process(std::vector<AppEvent>& events) {
  int r = 0;
  while ((r = sd_bus_process(bus_, nullptr)) > 0) {
  }
  if (subscription_) {
    for (AppEvent& event : subscription_->pending) events.push_back(std::move(event));
    subscription_->pending.clear();
  }
  return r >= 0 && sd_bus_is_open(bus_) > 0;
}

int AppClient::fd() const { return sd_bus_get_fd(bus_); }

short AppClient::pollEvents() const {
  const int events = sd_bus_get_events(bus_);
  return static_cast<short>(events < 0 ? 0 : events);
}

std::optional<std::chrono::milliseconds> AppClient::timeout() const {
  std::uint64_t until = 0;
  if (sd_bus_get_timeout(bus_, &until) < 0 || until == UINT64_MAX) return std::nullopt;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const auto nowUsec = static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000;
  // Rounded up, so that the poll does not wake just before sd-bus is due.
  return std::chrono::milliseconds(until <= nowUsec ? 0 : (until - nowUsec + 999) / 1000);
}

}  // namespace tandemo::ctl
