#include "linux/X11Workspace.h"

#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "linux/HelpPage.h"
#include "linux/WindowIdentity.h"

extern char** environ;

namespace tandemo::linux_platform {

namespace {

constexpr std::uint32_t maxTextWords = 1024;  // 4 KiB of a text property is plenty
constexpr std::uint32_t maxListWords = 4096;  // windows read from the client list
std::string frontUnknown(std::string_view reason) {
  return std::string(reason) + ": the front application is unknown, so the pinned or fallback profile applies";
}

enum AtomIndex : std::size_t {
  activeWindow,
  clientList,
  windowType,
  windowTypeNormal,
  netWmName,
  utf8String,
  gtkApplicationId,
  kdeDesktopFile,
  atomCount
};
constexpr std::array<const char*, atomCount> atomNames{
    "_NET_ACTIVE_WINDOW", "_NET_CLIENT_LIST", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_WM_NAME",       "UTF8_STRING",      "_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"};

using PropertyReply = std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)>;

PropertyReply takeReply(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  PropertyReply reply(xcb_get_property_reply(c, cookie, &error), &std::free);
  std::free(error);  // a window that vanished meanwhile simply has no properties
  if (reply && reply->type == XCB_NONE) reply.reset();
  return reply;
}

std::vector<std::uint32_t> wordsOf(const PropertyReply& reply) {
  if (!reply || reply->format != 32) return {};
  const auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
  const auto count = static_cast<std::size_t>(xcb_get_property_value_length(reply.get())) / 4;
  return {words, words + count};
}

std::optional<std::string_view> bytesOf(const PropertyReply& reply) {
  if (!reply || reply->format != 8) return std::nullopt;
  return std::string_view(static_cast<const char*>(xcb_get_property_value(reply.get())),
                          static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

xcb_get_property_cookie_t request(xcb_connection_t* c, std::uint32_t window, xcb_atom_t property,
                                  std::uint32_t words = maxTextWords) {
  return xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, words);
}

}  // namespace

struct X11Workspace::Atoms {
  std::array<xcb_atom_t, atomCount> ids{};
  xcb_atom_t operator[](AtomIndex index) const { return ids[index]; }
};

struct X11Workspace::Window {
  std::uint32_t id = 0;
  WindowProperties properties;
  std::optional<std::uint32_t> transientFor;
  std::vector<std::uint32_t> types;
};

X11Workspace::Settings X11Workspace::settingsFromEnvironment() {
  Settings settings;
  if (const char* display = std::getenv("DISPLAY"); display && *display) settings.display = display;
  settings.dataDirs = dataDirectoriesFromEnvironment();
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  settings.helpPages = helpPageCandidates(error ? std::nullopt : std::optional(executable), settings.dataDirs);
  return settings;
}

X11Workspace::X11Workspace(MainLoop& loop) : X11Workspace(loop, settingsFromEnvironment()) {}

X11Workspace::X11Workspace(MainLoop& loop, Settings settings) : loop_(loop), settings_(std::move(settings)) {
  if (settings_.display && !settings_.display->empty()) {
    connect(*settings_.display);
  } else {
    note(frontUnknown("There is no X display (DISPLAY is not set)"));
  }
}

X11Workspace::~X11Workspace() {
  for (Child& child : children_) {
    if (child.watch) loop_.unwatch(*child.watch);
    if (child.pidfd >= 0) ::close(child.pidfd);
  }
  disconnect();
}

void X11Workspace::connect(const std::string& display) {
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(display.c_str(), &screenNumber);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    note(frontUnknown("Could not connect to the X display " + display));
    return;
  }
  connection_.reset(c);
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber && screens.rem > 1; ++i) xcb_screen_next(&screens);
  root_ = screens.data->root;

  atoms_ = std::make_unique<Atoms>();
  std::array<xcb_intern_atom_cookie_t, atomCount> cookies{};
  for (std::size_t i = 0; i < atomCount; ++i) {
    cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(atomNames[i])), atomNames[i]);
  }
  for (std::size_t i = 0; i < atomCount; ++i) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(xcb_intern_atom_reply(c, cookies[i], nullptr),
                                                                         &std::free);
    atoms_->ids[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  }
  const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(c, root_, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(c);
  watch_ = loop_.watchReadable(xcb_get_file_descriptor(c), [this] { processEvents(); });
  updateFront();
  drainSoon();
}

void X11Workspace::disconnect() {
  if (watch_) loop_.unwatch(*watch_);
  watch_.reset();
  connection_.reset();
}

void X11Workspace::Disconnect::operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }

void X11Workspace::processEvents() {
  if (!connection_) return;
  bool activeChanged = false;
  while (!xcb_connection_has_error(connection_.get())) {
    std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(xcb_poll_for_event(connection_.get()), &std::free);
    if (!event) {
      if (!activeChanged) return;
      // Reading the new front window's properties can queue further events: look again after.
      activeChanged = false;
      updateFront();
      continue;
    }
    if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) continue;
    const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
    if (change->window == root_ && change->atom == (*atoms_)[activeWindow]) activeChanged = true;
  }
  disconnect();
  note(frontUnknown("Lost the connection to the X display"));
  if (front_) {
    front_.reset();
    if (handler_) handler_(std::nullopt);
  }
}

void X11Workspace::drainSoon() {
  // Replies read outside the fd watch may have queued events that no readable fd announces.
  loop_.post([this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.lock()) processEvents();
  });
}

void X11Workspace::updateFront() {
  std::optional<std::string> front;
  xcb_connection_t* c = connection_.get();
  const auto reply = takeReply(c, xcb_get_property(c, 0, root_, (*atoms_)[activeWindow], XCB_ATOM_WINDOW, 0, 1));
  const auto words = wordsOf(reply);
  if (words.empty()) {
    note(frontUnknown("The window manager does not say which window is active"));
  } else if (words.front() == XCB_WINDOW_NONE) {
    note(frontUnknown("No X11 window is active (a Wayland window may have focus)"));
  } else {
    front = identify(readWindows({words.front()}).front());
    if (!front) note(frontUnknown("The active window names no application (it has no WM_CLASS)"));
  }
  if (front == front_) return;
  front_ = std::move(front);
  if (handler_) handler_(front_);
}

std::vector<X11Workspace::Window> X11Workspace::readWindows(const std::vector<std::uint32_t>& ids) {
  struct Cookies {
    xcb_get_property_cookie_t gtk, kde, wmClass, netName, name, transient, type;
  };
  xcb_connection_t* c = connection_.get();
  const Atoms& a = *atoms_;
  std::vector<Cookies> cookies;
  cookies.reserve(ids.size());
  for (const std::uint32_t id : ids) {  // every request first, so all windows cost one round trip
    cookies.push_back({request(c, id, a[gtkApplicationId]), request(c, id, a[kdeDesktopFile]),
                       request(c, id, XCB_ATOM_WM_CLASS), request(c, id, a[netWmName]),
                       request(c, id, XCB_ATOM_WM_NAME), request(c, id, XCB_ATOM_WM_TRANSIENT_FOR, 1),
                       request(c, id, a[windowType], 32)});
  }
  const auto text = [&](xcb_get_property_cookie_t cookie) -> std::optional<std::string> {
    const auto reply = takeReply(c, cookie);
    const auto bytes = bytesOf(reply);
    if (!bytes) return std::nullopt;
    return decodePropertyText(*bytes, reply->type == a[utf8String]);
  };
  std::vector<Window> windows;
  windows.reserve(ids.size());
  for (std::size_t i = 0; i < ids.size(); ++i) {
    Window window;
    window.id = ids[i];
    window.properties.applicationId = text(cookies[i].gtk);
    window.properties.desktopFile = text(cookies[i].kde);
    const auto wmClass = takeReply(c, cookies[i].wmClass);
    if (const auto bytes = bytesOf(wmClass)) {
      if (auto parsed = parseWmClass(*bytes)) {
        window.properties.instance = std::move(parsed->first);
        window.properties.className = std::move(parsed->second);
      }
    }
    auto netName = text(cookies[i].netName);
    auto name = text(cookies[i].name);
    window.properties.title = netName && !netName->empty() ? std::move(netName) : std::move(name);
    const auto transient = wordsOf(takeReply(c, cookies[i].transient));
    if (!transient.empty() && transient.front() != XCB_WINDOW_NONE) window.transientFor = transient.front();
    window.types = wordsOf(takeReply(c, cookies[i].type));
    windows.push_back(std::move(window));
  }
  return windows;
}

std::optional<std::string> X11Workspace::identify(const Window& window) {
  if (auto identity = identifyApplication(window.properties, entries())) return identity->id;
  // A dialog without a class of its own belongs to the window it is transient for.
  if (window.transientFor && *window.transientFor != window.id) {
    const Window owner = readWindows({*window.transientFor}).front();
    if (auto identity = identifyApplication(owner.properties, entries())) return identity->id;
  }
  return std::nullopt;
}

std::vector<RunningApplication> X11Workspace::runningApplications() {
  if (!connection_) return {};
  xcb_connection_t* c = connection_.get();
  const auto ids =
      wordsOf(takeReply(c, xcb_get_property(c, 0, root_, (*atoms_)[clientList], XCB_ATOM_WINDOW, 0, maxListWords)));
  std::vector<RunningApplication> apps;
  std::set<std::string> seen;
  for (const Window& window : readWindows(ids)) {
    if (!isNormalWindow(window.types, (*atoms_)[windowTypeNormal], window.transientFor.has_value())) continue;
    auto identity = identifyApplication(window.properties, entries());
    if (!identity || !seen.insert(identity->id).second) continue;
    apps.push_back(RunningApplication{std::move(identity->name), std::move(identity->id), true});
  }
  drainSoon();
  return apps;
}

const DesktopEntryIndex& X11Workspace::entries() {
  if (!entries_ || entries_->stale()) {
    entries_ = DesktopEntryIndex::scan(settings_.dataDirs);
    // Our own windows are known even when the desktop entry is not installed (a build tree).
    entries_->addFallback(DesktopEntry{ownId, "Tandemo", "Tandemo", false});
  }
  return *entries_;
}

void X11Workspace::openPrivacyPage(const std::string& anchor) {
  reapChildren();
  const auto& pages = settings_.helpPages;
  const auto page = std::find_if(pages.begin(), pages.end(), [](const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
  });
  if (page == pages.end()) {
    note(std::string("The help page about permissions is not installed (") + helpPageFile + " is in no data folder)");
    return;
  }
  std::string program = settings_.opener;
  std::string url = fileUrl(*page, helpPageFragment(anchor));
  std::array<char*, 3> argv{program.data(), url.data(), nullptr};
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (failed) {
    if (log_) log_("Could not start " + program + " (" + std::strerror(failed) + "); the page is " + page->string());
    return;
  }
  // The child is reaped when its pidfd says it ended; without pidfds, at the next call.
  Child child{pid, static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)), std::nullopt};
  if (child.pidfd >= 0) child.watch = loop_.watchReadable(child.pidfd, [this] { reapChildren(); });
  children_.push_back(child);
}

void X11Workspace::reapChildren() {
  std::erase_if(children_, [this](Child& child) {
    int status = 0;
    if (::waitpid(child.pid, &status, WNOHANG) == 0) return false;
    if (child.watch) loop_.unwatch(*child.watch);
    if (child.pidfd >= 0) ::close(child.pidfd);
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0 && log_) {
      log_(settings_.opener + " could not open the help page (exit status " + std::to_string(WEXITSTATUS(status)) +
           ")");
    }
    return true;
  });
}

void X11Workspace::setLogHandler(LogHandler handler) {
  log_ = std::move(handler);
  if (!log_) return;
  for (const std::string& line : std::exchange(pendingLines_, {})) log_(line);
}

void X11Workspace::note(const std::string& reason) {
  if (!noted_.insert(reason).second) return;
  if (log_) {
    log_(reason);
  } else {
    pendingLines_.push_back(reason);
  }
}

}  // namespace tandemo::linux_platform
