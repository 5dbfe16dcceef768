#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "AppClient.h"

namespace tandemo::testing {

// Sets an environment variable for a while and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A private session bus: `dbus-daemon --session` started for the tests, stopped on destruction.
class PrivateBus {
 public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

// The app's side of the bus contract, served from a thread of its own: scripted properties,
// scripted answers and errors, and PropertiesChanged on demand. It owns the app's name only
// when told to.
class FakeApp {
 public:
  struct Answer {
    std::string error;  // the error's short name ("NotConnected"); empty: success
    std::string text;   // the answer's string, or the error's message
  };

  FakeApp(const std::string& address, ctl::AppProperties properties);
  ~FakeApp();
  FakeApp(const FakeApp&) = delete;
  FakeApp& operator=(const FakeApp&) = delete;

  void own();
  void disown();
  // Changes the properties and announces those named in `names`.
  void change(const std::function<void(ctl::AppProperties&)>& edit, std::vector<std::string> names);
  void answer(const std::string& method, Answer answer);
  // Each call received: "Write true", "WriteAsSet", "Pin World of Warcraft", ...
  std::vector<std::string> calls() const;
  ctl::AppProperties properties() const;

 private:
  struct Bus;
  void run(const std::string& address);
  void onThread(std::function<void(Bus&)> task);

  mutable std::mutex mutex_;
  ctl::AppProperties properties_;
  std::map<std::string, Answer> answers_;
  std::vector<std::string> calls_;
  std::deque<std::function<void(Bus&)>> tasks_;
  std::condition_variable done_;
  int wake_ = -1;
  bool ready_ = false;
  std::thread thread_;
};

// An output stream's buffer that hands whole lines to a reader on another thread.
class LineQueue : public std::streambuf {
 public:
  // The next line, or "<nothing>" when none comes for a long while (a failing test, not a hang).
  std::string next();

 protected:
  int overflow(int c) override;
  int sync() override;

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::string partial_;
  std::deque<std::string> lines_;
};

}  // namespace tandemo::testing
