#include "linux/AutostartLoginItem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "linux/DesktopEntries.h"
#include "linux/PosixFileSystem.h"

namespace tandemo::linux_platform {

namespace {

constexpr const char* entryName = "org.tandemo.Tandemo.desktop";

bool absolute(const char* path) { return path && path[0] == '/'; }

// One Exec argument: quoted when it holds a reserved character, then escaped as a string value.
std::string execArgument(const std::string& argument) {
  const bool plain = !argument.empty() && argument.find_first_of(" \t\"'\\><~|&;$*?#()`") == std::string::npos;
  std::string quoted;
  if (plain) {
    quoted = argument;
  } else {
    quoted = "\"";
    for (const char c : argument) {
      if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
      quoted += c;
    }
    quoted += '"';
  }
  std::string value;
  for (const char c : quoted) {
    if (c == '\\') value += '\\';  // the string-value escape of the backslash itself
    if (c == '%') value += '%';    // a literal percent sign, not a field code
    value += c;
  }
  return value;
}

std::filesystem::path runningProgram() {
  std::error_code error;
  auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path("tandemo") : program;
}

}  // namespace

AutostartLoginItem::AutostartLoginItem()
    : AutostartLoginItem(autostartFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")).value_or(""),
                         runningProgram()) {}

AutostartLoginItem::AutostartLoginItem(std::filesystem::path autostartFolder, std::filesystem::path program)
    : entry_(autostartFolder.empty() ? autostartFolder : autostartFolder / entryName), program_(std::move(program)) {}

std::optional<std::filesystem::path> AutostartLoginItem::autostartFolder(const char* configHome, const char* home) {
  if (absolute(configHome)) return std::filesystem::path(configHome) / "autostart";
  if (absolute(home)) return std::filesystem::path(home) / ".config" / "autostart";
  return std::nullopt;
}

std::string AutostartLoginItem::entryText(const std::filesystem::path& program) {
  std::string path = program.string();
  // A line break cannot be written in an Exec key; such a program is started by its name.
  if (path.find_first_of("\n\r") != std::string::npos) path = "tandemo";
  std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Tandemo\n"
      "Comment=Configures the SteelSeries Rival 500 and bridges its app-controlled buttons\n";
  text += "Exec=" + execArgument(path) + "\n";
  text +=
      "Icon=org.tandemo.Tandemo\n"
      "Terminal=false\n"
      "X-GNOME-Autostart-enabled=true\n";
  return text;
}

bool AutostartLoginItem::enabled() {
  if (entry_.empty()) return false;
  constexpr std::size_t kMaxEntryBytes = 64 * 1024;  // an autostart entry is a few lines
  auto content = PosixFileSystem().readFile(entry_, kMaxEntryBytes);
  if (!content || content->text.find("[Desktop Entry]") == std::string::npos) return false;
  const auto keys = parseDesktopGroup(content->text);
  const auto is = [&](const char* key, const char* value) {
    const auto it = keys.find(key);
    return it != keys.end() && it->second == value;
  };
  return !is("Hidden", "true") && !is("X-GNOME-Autostart-enabled", "false");
}

Expected<void, std::string> AutostartLoginItem::registerItem() {
  if (entry_.empty()) return unexpected(std::string("there is no home folder for the autostart entry"));
  PosixFileSystem files;
  if (auto made = files.createDirectories(entry_.parent_path()); !made) return made;
  return files.writeAtomically(entry_, entryText(program_));
}

Expected<void, std::string> AutostartLoginItem::unregisterItem() {
  if (entry_.empty()) return {};
  std::error_code error;
  std::filesystem::remove(entry_, error);  // an entry that is not there is already unregistered
  if (error) return unexpected("cannot remove " + entry_.string() + ": " + error.message());
  return {};
}

}  // namespace tandemo::linux_platform
