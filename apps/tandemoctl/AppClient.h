#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/Expected.h"

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace tandemo::ctl {

inline constexpr const char* kAppService = "org.tandemo.Tandemo";
inline constexpr const char* kAppPath = "/org/tandemo/Tandemo";
inline constexpr const char* kAppInterface = "org.tandemo.Tandemo1";
inline constexpr std::string_view kAppErrorPrefix = "org.tandemo.Tandemo1.Error.";

// A D-Bus error as a value: the app's own ones, or the bus's when the call did not get through.
struct BusError {
  std::string name;     // "org.tandemo.Tandemo1.Error.NotConnected"
  std::string message;  // the text a user reads

  // One of the app's errors, by its short name ("NotConnected").
  bool is(std::string_view shortName) const;
  bool fromApp() const { return name.starts_with(kAppErrorPrefix); }
};

// The app's properties as it serves them.
struct AppProperties {
  bool connected = false;
  std::string firmware;
  std::string keyboardState;
  std::string activeProfile;
  std::string pinnedProfile;
  bool writing = false;
  std::string lastWrite;
  std::vector<std::string> pressedButtons;
  bool simulated = false;
  std::string settingsFile;

  bool operator==(const AppProperties&) const = default;
};

using PropertyValue = std::variant<bool, std::string, std::vector<std::string>>;
using PropertyList = std::vector<std::pair<std::string, PropertyValue>>;
// Stores `value` under the property `name`; false for an unknown name or a value of the wrong type.
bool assign(AppProperties& properties, const std::string& name, const PropertyValue& value);

// What a watching client hears.
struct OwnerChanged {
  std::string owner;  // the app's new unique name; empty: it left the bus
};
struct PropertiesChanged {
  PropertyList changed;
  std::vector<std::string> invalidated;
};
using AppEvent = std::variant<OwnerChanged, PropertiesChanged>;

// A session-bus connection to the running app, made only when a command needs it. Method calls
// never start the app through bus activation.
class AppClient {
 public:
  // The session bus; its error text when there is none (then no app runs either).
  static Expected<AppClient, std::string> connect();

  AppClient(AppClient&& other) noexcept;
  AppClient& operator=(AppClient&& other) noexcept;
  AppClient(const AppClient&) = delete;
  AppClient& operator=(const AppClient&) = delete;
  ~AppClient();

  // The unique name of the connection owning the app's name, if one does.
  std::optional<std::string> owner();

  // Later calls go to the connection `owner` named, so that one command talks to one app.
  void target(std::string uniqueName) { target_ = std::move(uniqueName); }

  Expected<AppProperties, BusError> properties();
  // A method of the app's interface with no argument, one boolean or one string. The answer's
  // string, or "" for methods that answer nothing.
  Expected<std::string, BusError> call(const char* method);
  Expected<std::string, BusError> call(const char* method, bool argument);
  Expected<std::string, BusError> call(const char* method, const std::string& argument);

  // ---- watching ----
  // Subscribes to the app's name and property changes; they queue up for process().
  Expected<void, std::string> subscribe();
  // Reads what arrived (never blocks); false when the bus connection is gone.
  bool process(std::vector<AppEvent>& events);
  // What to poll: the connection's descriptor, its poll events, and the time until sd-bus
  // needs process() again (absent: none).
  int fd() const;
  short pollEvents() const;
  std::optional<std::chrono::milliseconds> timeout() const;

 private:
  explicit AppClient(sd_bus* bus);
  struct Subscription;
  template <class Append>
  Expected<std::string, BusError> invoke(const char* method, Append append);
  static void received(Subscription& subscription, sd_bus_message* message);

  sd_bus* bus_ = nullptr;
  std::string target_ = kAppService;
  std::unique_ptr<Subscription> subscription_;  // stays put when the client moves
};

}  // namespace tandemo::ctl
