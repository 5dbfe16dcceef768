#pragma once

// Which application an X11 window belongs to, from the window's properties and the installed
// desktop entries. Pure: the workspace reads the properties, this decides.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "linux/DesktopEntries.h"

namespace tandemo::linux_platform {

// The properties that name a window's application, already decoded to UTF-8.
struct WindowProperties {
  std::optional<std::string> applicationId;  // _GTK_APPLICATION_ID
  std::optional<std::string> desktopFile;    // _KDE_NET_WM_DESKTOP_FILE
  std::optional<std::string> instance;       // WM_CLASS, first string
  std::optional<std::string> className;      // WM_CLASS, second string
  std::optional<std::string> title;          // _NET_WM_NAME, else WM_NAME
};

struct AppIdentity {
  std::string id;    // what profiles match against
  std::string name;  // what the profile editor shows
};

// The desktop-entry id when an entry is found (named by the window, or by its WM_CLASS), else
// the WM_CLASS class name. Wine and Proton windows ("wow.exe", "steam_app_<n>") keep their
// class as id even when an entry matches, since that is the id users give their profiles.
std::optional<AppIdentity> identifyApplication(const WindowProperties& window, const DesktopEntryIndex& entries);

// WM_CLASS holds two NUL-terminated strings (instance, class); nothing when both are empty.
std::optional<std::pair<std::string, std::string>> parseWmClass(std::string_view bytes);

// Property text to UTF-8: UTF8_STRING values are checked (bad bytes become U+FFFD), other text
// is Latin-1 as ICCCM has it. Control characters and trailing NULs are dropped.
std::string decodePropertyText(std::string_view bytes, bool utf8);

// A window that counts as an application window: type NORMAL, or no type and no transient-for.
bool isNormalWindow(std::span<const std::uint32_t> types, std::uint32_t normalType, bool transient);

}  // namespace tandemo::linux_platform
