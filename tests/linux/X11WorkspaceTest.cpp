#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/VirtualLoop.h"
#include "linux/HelpPage.h"
#include "linux/PollLoop.h"
#include "linux/UinputEventSink.h"
#include "linux/X11Workspace.h"

namespace tandemo::linux_platform {
namespace {

namespace fs = std::filesystem;

// Runs the loop until a callback quits it; false when nothing did within a generous bound.
bool runUntilQuit(PollLoop& loop) {
  bool timedOut = false;
  const auto guard = loop.startTimer(seconds(10), [&] {
    timedOut = true;
    loop.quit();
  });
  loop.run();
  loop.cancelTimer(guard);
  return !timedOut;
}

fs::path scratchFolder(const std::string& name) {
  const fs::path folder = fs::temp_directory_path() / ("tandemo-x11-" + name + "-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

// An Xvfb server on a display number it picks itself (-displayfd), stopped at the end. The shell
// prints its own pid, which exec hands to the server.
class Xvfb {
 public:
  Xvfb() : out_(::popen("echo $$; exec Xvfb -displayfd 1 -screen 0 64x64x24 -nolisten tcp 2>/dev/null", "r")) {
    char pid[32] = {}, number[32] = {};
    if (out_ == nullptr || !line(pid) || !line(number)) return;
    pid_ = std::atoi(pid);
    if (std::isdigit(static_cast<unsigned char>(number[0]))) display_ = ":" + std::to_string(std::atoi(number));
  }
  ~Xvfb() { stop(); }
  template <std::size_t n>
  bool line(char (&text)[n]) {  // a child's exit signal elsewhere in the process may interrupt the read
    while (!std::fgets(text, n, out_)) {
      if (errno != EINTR) return false;
      std::clearerr(out_);
    }
    return true;
  }

  const std::optional<std::string>& display() const { return display_; }
  void stop() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
    if (out_ != nullptr) ::pclose(out_);
    pid_ = -1, out_ = nullptr;
  }

 private:
  std::FILE* out_;
  pid_t pid_ = -1;
  std::optional<std::string> display_;
};

// What a window manager and applications would do: windows with classes, the root's lists.
class Client {
 public:
  explicit Client(const std::string& display) : c_(xcb_connect(display.c_str(), nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
  }
  ~Client() { xcb_disconnect(c_); }
  bool ok() const { return !xcb_connection_has_error(c_); }

  xcb_window_t window(const std::string& instance, const std::string& className, const std::string& title) {
    const xcb_window_t id = xcb_generate_id(c_);
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, id, root_, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const std::string wmClass = instance + '\0' + className + '\0';
    set(id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, wmClass.size(), wmClass.data());
    set(id, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, title.size(), title.data());
    return id;
  }
  void setType(xcb_window_t window, const char* type) {
    const xcb_atom_t value = atom(type);
    set(window, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &value);
  }
  void setClientList(const std::vector<xcb_window_t>& windows) {
    set(root_, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32, windows.size(), windows.data());
  }
  void activate(xcb_window_t window) {
    set(root_, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, 1, &window);
    sync();
  }
  void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

  // A focused window of ours that receives typed keys; the keycode last pressed in it.
  void focusKeyWindow() {
    const xcb_window_t id = window("keys", "Keys", "");
    const std::uint32_t mask = XCB_EVENT_MASK_KEY_PRESS;
    xcb_change_window_attributes(c_, id, XCB_CW_EVENT_MASK, &mask);
    xcb_map_window(c_, id);
    sync();
    xcb_set_input_focus(c_, XCB_INPUT_FOCUS_POINTER_ROOT, id, XCB_CURRENT_TIME);
    sync();
  }
  xcb_keycode_t pressedKey() {
    sync();
    xcb_keycode_t pressed = 0;
    while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
      if ((event->response_type & 0x7F) == XCB_KEY_PRESS) pressed = reinterpret_cast<xcb_key_press_event_t*>(event)->detail;
      std::free(event);
    }
    return pressed;
  }
  std::uint32_t keysymOf(xcb_keycode_t keycode) {
    auto* reply = xcb_get_keyboard_mapping_reply(c_, xcb_get_keyboard_mapping(c_, keycode, 1), nullptr);
    const std::uint32_t sym = reply && reply->keysyms_per_keycode ? xcb_get_keyboard_mapping_keysyms(reply)[0] : 0;
    std::free(reply);
    return sym;
  }

 private:
  xcb_atom_t atom(const char* name) {
    auto* reply =
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t id = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return id;
  }
  void set(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, std::uint8_t format, std::size_t count,
           const void* data) {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, type, format, static_cast<std::uint32_t>(count),
                        data);
  }

  xcb_connection_t* c_;
  xcb_window_t root_ = 0;
};

std::size_t countContaining(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

TEST(X11Workspace, FollowsTheActiveWindowOnTheRoot) {
  Xvfb server;
  if (!server.display()) GTEST_SKIP() << "Xvfb cannot start here";
  Client x(*server.display());
  ASSERT_TRUE(x.ok());
  const fs::path data = scratchFolder("data");
  fs::create_directories(data / "applications");
  std::ofstream(data / "applications/org.mozilla.firefox.desktop")
      << "[Desktop Entry]\nType=Application\nName=Firefox\nStartupWMClass=firefox\n";
  const auto browser = x.window("Navigator", "firefox", "A page");
  const auto terminal = x.window("xterm", "XTerm", "shell");
  const auto dialog = x.window("prefs", "Prefs", "Preferences");
  x.setType(dialog, "_NET_WM_WINDOW_TYPE_DIALOG");
  x.setClientList({browser, terminal, dialog});
  x.activate(browser);

  PollLoop loop;
  X11Workspace workspace(loop, {server.display(), {data}, {}, "true"});
  std::vector<std::string> log;
  workspace.setLogHandler([&](const std::string& line) { log.push_back(line); });
  EXPECT_EQ(workspace.frontmostBundleID(), "org.mozilla.firefox");
  const auto apps = workspace.runningApplications();  // the dialog is no application window
  ASSERT_EQ(apps.size(), 2u);
  EXPECT_EQ(apps[0].bundleID, "org.mozilla.firefox");
  EXPECT_EQ(apps[0].localizedName, "Firefox");
  EXPECT_EQ(apps[1].bundleID, "XTerm");
  EXPECT_EQ(apps[1].localizedName, "shell");

  std::vector<std::optional<std::string>> activated;
  workspace.setActivationHandler([&](std::optional<std::string> id) {
    activated.push_back(std::move(id));
    loop.quit();
  });
  const std::pair<xcb_window_t, std::optional<std::string>> steps[] = {{terminal, "XTerm"},
                                                                       {XCB_WINDOW_NONE, std::nullopt},
                                                                       {browser, "org.mozilla.firefox"},
                                                                       {XCB_WINDOW_NONE, std::nullopt}};
  for (const auto& [window, expected] : steps) {
    x.activate(window);
    ASSERT_TRUE(runUntilQuit(loop)) << "no activation for " << expected.value_or("none");
    EXPECT_EQ(activated.back(), expected);
    EXPECT_EQ(workspace.frontmostBundleID(), expected);
  }
  EXPECT_EQ(activated.size(), 4u);
  EXPECT_EQ(countContaining(log, "No X11 window is active"), 1u);  // said once, though it happened twice

  // A change that arrives while another request waits for its reply is queued inside xcb,
  // where no readable descriptor announces it: it must still be seen.
  x.activate(terminal);
  EXPECT_EQ(workspace.runningApplications().size(), 2u);
  ASSERT_TRUE(runUntilQuit(loop));
  EXPECT_EQ(activated.back(), "XTerm");
  server.stop();  // the display goes away: the front application becomes unknown
  ASSERT_TRUE(runUntilQuit(loop));
  EXPECT_EQ(activated.back(), std::nullopt);
  EXPECT_FALSE(workspace.hasDisplay());
  EXPECT_EQ(countContaining(log, "Lost the connection to the X display"), 1u);
  fs::remove_all(data);
}

// The sink types what the server's layout has on its own device, the rest through XTest on a
// borrowed keycode, which it gives back a while after the last character.
TEST(X11Workspace, TheSinkTypesInTheServersLayoutAndBorrowsAKeycodeForTheRest) {
  Xvfb server;
  if (!server.display()) GTEST_SKIP() << "Xvfb cannot start here";
  Client x(*server.display());
  ASSERT_TRUE(x.ok());
  const char* before = std::getenv("DISPLAY");
  const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
  ::setenv("DISPLAY", server.display()->c_str(), 1);
  VirtualLoop loop;
  std::vector<InputEvent> written;
  std::vector<std::string> lines;
  UinputSinkOptions options;
  options.write = [&](std::span<const InputEvent> events) {
    written.insert(written.end(), events.begin(), events.end());
    return true;
  };
  options.log = [&](const std::string& line) { lines.push_back(line); };
  UinputEventSink sink{loop, options};
  x.focusKeyWindow();
  EXPECT_TRUE(sink.post(UnicodeKeyEvent{true, u"a"}));
  EXPECT_TRUE(sink.post(UnicodeKeyEvent{true, u"\u2603"}));  // ☃, on no layout's keys
  EXPECT_EQ(written, (std::vector<InputEvent>{{EV_KEY, KEY_A, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_A, 0},
                                              {EV_SYN, SYN_REPORT, 0}}));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("Typing text in the X server's layout", 0), 0U) << lines[0];
  const xcb_keycode_t pressed = x.pressedKey();
  ASSERT_NE(pressed, 0);
  EXPECT_EQ(x.keysymOf(pressed), 0x1002603U);  // the Unicode keysym of U+2603
  loop.advance(UinputEventSink::mappingHold);
  EXPECT_EQ(x.keysymOf(pressed), 0U);
  saved ? ::setenv("DISPLAY", saved->c_str(), 1) : ::unsetenv("DISPLAY");
}

TEST(X11Workspace, WithoutDisplayTheFrontIsUnknownAndTheLogSaysWhy) {
  PollLoop loop;
  const std::pair<std::optional<std::string>, const char*> cases[] = {{std::nullopt, "There is no X display"},
                                                                      {":64999", "Could not connect to the X display"}};
  for (const auto& [display, reason] : cases) {
    X11Workspace workspace(loop, {display, {}, {}, "true"});
    std::vector<std::string> log;
    workspace.setLogHandler([&](const std::string& line) { log.push_back(line); });  // earlier lines arrive now
    EXPECT_FALSE(workspace.hasDisplay());
    EXPECT_EQ(workspace.frontmostBundleID(), std::nullopt);
    EXPECT_TRUE(workspace.runningApplications().empty());
    EXPECT_EQ(workspace.ownBundleID(), "org.tandemo.Tandemo");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].find(reason), 0u) << log[0];
    EXPECT_NE(log[0].find("pinned or fallback profile"), std::string::npos) << log[0];

    workspace.openPrivacyPage("ListenEvent");  // no page installed
    workspace.openPrivacyPage("ListenEvent");
    EXPECT_EQ(countContaining(log, "help page about permissions is not installed"), 1u);
  }
}

TEST(X11Workspace, PrivacyPageOpensWithoutWaitingForTheOpener) {
  const fs::path folder = scratchFolder("page");
  const fs::path page = folder / "privacy.html";
  std::ofstream(page) << "<html></html>";
  const fs::path opener = folder / "opener";
  std::ofstream(opener) << "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$#\" > \"$(dirname \"$0\")/out\"\nexit 3\n";
  fs::permissions(opener, fs::perms::owner_all);

  PollLoop loop;
  X11Workspace workspace(loop, {std::nullopt, {}, {folder / "missing.html", page}, opener.string()});
  std::vector<std::string> log;
  workspace.setLogHandler([&](const std::string& line) {
    log.push_back(line);
    if (line.find("could not open") != std::string::npos) loop.quit();
  });
  workspace.openPrivacyPage("Accessibility");
  ASSERT_TRUE(runUntilQuit(loop));  // the opener's exit is noticed on the loop, and reported
  std::ifstream out(folder / "out");
  std::stringstream text;
  text << out.rdbuf();
  EXPECT_EQ(text.str(), fileUrl(page, "virtual-input") + "|1");
  EXPECT_NE(log.back().find("exit status 3"), std::string::npos) << log.back();

  X11Workspace missing(loop, {std::nullopt, {}, {page}, (folder / "no-such-opener").string()});
  missing.setLogHandler([&](const std::string& line) { log.push_back(line); });
  missing.openPrivacyPage("ListenEvent");
  EXPECT_NE(log.back().find("Could not start"), std::string::npos) << log.back();
  EXPECT_NE(log.back().find(page.string()), std::string::npos) << log.back();  // the user can still find it
  fs::remove_all(folder);
}

}  // namespace
}  // namespace tandemo::linux_platform
