#pragma once

// Desktop entries (.desktop files) as the workspace needs them: which application a window
// belongs to and what it is called. Reading and matching are free of X11.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tandemo::linux_platform {

struct DesktopEntry {
  std::string id;    // desktop-file id without ".desktop", e.g. "org.gnome.Nautilus"
  std::string name;  // Name, or the id when the entry has none
  std::optional<std::string> startupWMClass;
  bool hidden = false;  // Hidden=true: the entry counts as deleted and shadows lower ones
};

// The keys of the [Desktop Entry] group, values unescaped (\s \n \t \r \\). Other groups,
// comments and localised keys (Name[de]) are left out; a later duplicate key is ignored.
std::map<std::string, std::string> parseDesktopGroup(std::string_view text);

// An application entry from a file's text, or nothing when it is not one (no [Desktop Entry]
// group, or a Type other than Application).
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text, std::string id);

// The data folders in search order: $XDG_DATA_HOME (default ~/.local/share), then each of
// $XDG_DATA_DIRS (default /usr/local/share:/usr/share). Relative paths are ignored, as the
// base-directory rules ask.
std::vector<std::filesystem::path> dataDirectories(const char* dataHome, const char* dataDirs, const char* home);
std::vector<std::filesystem::path> dataDirectoriesFromEnvironment();

// Every application entry under `<dir>/applications` of each data folder. The id of
// applications/a/b.desktop is "a-b"; the first folder that has an id wins, Hidden ones too.
class DesktopEntryIndex {
 public:
  DesktopEntryIndex() = default;
  static DesktopEntryIndex scan(const std::vector<std::filesystem::path>& dataDirs);

  // Entries added after the scanned ones, found only when nothing installed matches.
  void addFallback(DesktopEntry entry);

  const DesktopEntry* byId(std::string_view id) const;
  // The entry for a window class: StartupWMClass equal to the class, then to the instance;
  // then an id equal to the class or the instance, ignoring ASCII case.
  const DesktopEntry* byWindowClass(std::string_view instance, std::string_view className) const;

  // True when a scanned folder changed (an application was installed or removed) since the scan.
  bool stale() const;
  std::size_t size() const { return entries_.size(); }

 private:
  void scanFolder(const std::filesystem::path& folder, const std::string& prefix, int depth);

  std::vector<DesktopEntry> entries_;  // search order, Hidden ones left out
  std::vector<std::string> shadowed_;  // ids already taken by a higher folder
  std::vector<std::pair<std::filesystem::path, std::filesystem::file_time_type>> folders_;
  std::vector<std::filesystem::path> missing_;  // applications folders that did not exist
  std::vector<DesktopEntry> fallbacks_;
};

}  // namespace tandemo::linux_platform
