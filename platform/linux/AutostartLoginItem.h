#pragma once

#include <filesystem>

#include "controller/Platform.h"

namespace tandemo::linux_platform {

// The login item as an XDG autostart entry: $XDG_CONFIG_HOME/autostart/org.tandemo.Tandemo.desktop
// (default ~/.config). Registered while an entry is there that the session would start, that is
// one without Hidden=true or X-GNOME-Autostart-enabled=false.
class AutostartLoginItem final : public LoginItem {
 public:
  // The entry under the user's configuration folder, starting the running program.
  AutostartLoginItem();
  AutostartLoginItem(std::filesystem::path autostartFolder, std::filesystem::path program);

  bool enabled() override;
  Expected<void, std::string> registerItem() override;
  Expected<void, std::string> unregisterItem() override;

  const std::filesystem::path& entryPath() const { return entry_; }

  // The autostart folder for these environment values; nothing without an absolute home.
  static std::optional<std::filesystem::path> autostartFolder(const char* configHome, const char* home);
  // The entry's text for `program`, quoted as the Exec key requires.
  static std::string entryText(const std::filesystem::path& program);

 private:
  std::filesystem::path entry_;  // empty: there is no folder to put it in
  std::filesystem::path program_;
};

}  // namespace tandemo::linux_platform
