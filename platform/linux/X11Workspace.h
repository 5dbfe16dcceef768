#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "controller/Platform.h"
#include "core/MainLoop.h"
#include "linux/DesktopEntries.h"

struct xcb_connection_t;

namespace tandemo::linux_platform {

// The front application of an X11 display: the root's _NET_ACTIVE_WINDOW, followed through
// property-change events read when the main loop finds the connection readable. With no display or
// no active X11 window (a Wayland one has focus) it is unknown; the log says why, once a reason.
class X11Workspace final : public Workspace {
 public:
  using LogHandler = std::function<void(const std::string& line)>;

  struct Settings {
    std::optional<std::string> display;            // nothing: there is no X display
    std::vector<std::filesystem::path> dataDirs;   // desktop entries are under <dir>/applications
    std::vector<std::filesystem::path> helpPages;  // the privacy page's possible places, in order
    std::string opener = "xdg-open";               // run, without a shell, with the page's URL
  };
  // $DISPLAY, the XDG data folders and the page beside the running program.
  static Settings settingsFromEnvironment();

  explicit X11Workspace(MainLoop& loop);
  X11Workspace(MainLoop& loop, Settings settings);
  ~X11Workspace() override;
  X11Workspace(const X11Workspace&) = delete;
  X11Workspace& operator=(const X11Workspace&) = delete;

  std::optional<std::string> frontmostBundleID() override { return front_; }
  void setActivationHandler(ActivationHandler handler) override { handler_ = std::move(handler); }
  std::vector<RunningApplication> runningApplications() override;
  std::optional<std::string> ownBundleID() override { return ownId; }
  // Opens the local help page at the anchor's section with xdg-open, without waiting for it.
  void openPrivacyPage(const std::string& anchor) override;

  // Lines noted before a handler is set are handed to it at once.
  void setLogHandler(LogHandler handler);
  bool hasDisplay() const { return static_cast<bool>(connection_); }

  static constexpr const char* ownId = "org.tandemo.Tandemo";

 private:
  struct Atoms;
  struct Window;
  struct Disconnect {
    void operator()(xcb_connection_t* connection) const;
  };

  void connect(const std::string& display);
  void disconnect();
  void processEvents();
  void drainSoon();
  void updateFront();
  std::vector<Window> readWindows(const std::vector<std::uint32_t>& ids);
  std::optional<std::string> identify(const Window& window);
  const DesktopEntryIndex& entries();
  void note(const std::string& reason);
  void reapChildren();

  MainLoop& loop_;
  Settings settings_;
  std::unique_ptr<xcb_connection_t, Disconnect> connection_;
  std::unique_ptr<Atoms> atoms_;
  std::uint32_t root_ = 0;
  std::optional<MainLoop::WatchId> watch_;
  std::optional<std::string> front_;
  ActivationHandler handler_;
  LogHandler log_;
  std::vector<std::string> pendingLines_;
  std::set<std::string> noted_;
  std::optional<DesktopEntryIndex> entries_;
  struct Child {
    int pid;
    int pidfd;
    std::optional<MainLoop::WatchId> watch;
  };
  std::vector<Child> children_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tandemo::linux_platform
