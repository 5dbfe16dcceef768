#include "linux/WindowIdentity.h"

#include <algorithm>

#include "core/Utf8.h"

namespace tandemo::linux_platform {

namespace {


bool isControl(char32_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0); }

bool endsWithExe(std::string_view name) {
  if (name.size() <= 4) return false;
  std::string tail(name.substr(name.size() - 4));
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
  return tail == ".exe";
}

// Wine names a window after its program, Proton after the Steam app; neither has an id of its own.
bool isWindowsGame(std::string_view className) { return endsWithExe(className) || className.starts_with("steam_app_"); }

const std::string* nonEmpty(const std::optional<std::string>& text) {
  return text && !text->empty() ? &*text : nullptr;
}

}  // namespace

std::optional<AppIdentity> identifyApplication(const WindowProperties& window, const DesktopEntryIndex& entries) {
  const auto nameOr = [&](const std::string& fallback) {
    const std::string* title = nonEmpty(window.title);
    return title ? *title : fallback;
  };
  const std::string* named = nonEmpty(window.applicationId);
  std::string fromKde;
  if (!named && nonEmpty(window.desktopFile)) {
    fromKde = *window.desktopFile;
    if (fromKde.ends_with(".desktop")) fromKde.resize(fromKde.size() - 8);
    if (!fromKde.empty()) named = &fromKde;
  }
  if (named) {
    if (const DesktopEntry* entry = entries.byId(*named)) return AppIdentity{entry->id, entry->name};
    return AppIdentity{*named, nameOr(*named)};
  }

  const std::string instance = window.instance.value_or("");
  const std::string* classPtr = nonEmpty(window.className);
  const std::string className = classPtr ? *classPtr : instance;
  if (className.empty()) return std::nullopt;
  const DesktopEntry* entry = entries.byWindowClass(instance, className);
  if (isWindowsGame(className)) return AppIdentity{className, entry ? entry->name : nameOr(className)};
  if (entry) return AppIdentity{entry->id, entry->name};
  return AppIdentity{className, nameOr(className)};
}

std::optional<std::pair<std::string, std::string>> parseWmClass(std::string_view bytes) {
  const auto first = std::min(bytes.find('\0'), bytes.size());
  std::string_view rest = first < bytes.size() ? bytes.substr(first + 1) : std::string_view{};
  rest = rest.substr(0, rest.find('\0'));
  std::string instance = decodePropertyText(bytes.substr(0, first), false);
  std::string className = decodePropertyText(rest, false);
  if (instance.empty() && className.empty()) return std::nullopt;
  return std::pair{std::move(instance), std::move(className)};
}

std::string decodePropertyText(std::string_view bytes, bool utf8) {
  while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
  std::string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    char32_t c = *p;
    if (utf8) {
      c = decodeUtf8(p, end).value_or(kReplacementCharacter);
    } else {
      ++p;
    }
    if (!isControl(c)) appendUtf8(out, c);
  }
  return out;
}

bool isNormalWindow(std::span<const std::uint32_t> types, std::uint32_t normalType, bool transient) {
  if (types.empty()) return !transient;
  return std::find(types.begin(), types.end(), normalType) != types.end();
}

}  // namespace tandemo::linux_platform
