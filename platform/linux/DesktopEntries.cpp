#include "linux/DesktopEntries.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tandemo::linux_platform {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t maxEntryBytes = 256 * 1024;  // larger files are not desktop entries
constexpr int maxFolderDepth = 4;

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string unescape(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\', out += value[i];  // unknown escapes stay as written
    }
  }
  return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::optional<std::string> readSmallFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  text.resize(maxEntryBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got > maxEntryBytes) return std::nullopt;
  text.resize(got);
  return text;
}

const DesktopEntry* findByClass(const std::vector<DesktopEntry>& entries, std::string_view instance,
                                std::string_view className) {
  const auto find = [&](auto matches) -> const DesktopEntry* {
    const auto it = std::find_if(entries.begin(), entries.end(), matches);
    return it == entries.end() ? nullptr : &*it;
  };
  for (std::string_view wanted : {className, instance}) {
    if (wanted.empty()) continue;
    if (auto* e = find([&](const DesktopEntry& d) { return d.startupWMClass == wanted; })) return e;
  }
  for (std::string_view wanted : {className, instance}) {
    if (wanted.empty()) continue;
    if (auto* e = find([&](const DesktopEntry& d) { return equalsIgnoringCase(d.id, wanted); })) return e;
  }
  return nullptr;
}

}  // namespace

std::map<std::string, std::string> parseDesktopGroup(std::string_view text) {
  std::map<std::string, std::string> keys;
  bool inGroup = false;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == "[Desktop Entry]";
      continue;
    }
    const auto equals = line.find('=');
    if (!inGroup || equals == std::string_view::npos) continue;
    const std::string_view key = trim(line.substr(0, equals));
    if (key.empty() || key.find('[') != std::string_view::npos) continue;
    keys.emplace(std::string(key), unescape(trim(line.substr(equals + 1))));
  }
  return keys;
}

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text, std::string id) {
  if (text.find("[Desktop Entry]") == std::string_view::npos) return std::nullopt;
  const auto keys = parseDesktopGroup(text);
  const auto value = [&](const char* key) -> std::optional<std::string> {
    const auto it = keys.find(key);
    return it == keys.end() ? std::nullopt : std::optional(it->second);
  };
  DesktopEntry entry;
  entry.hidden = value("Hidden") == "true";
  // A hidden entry only shadows: its other keys do not matter.
  if (!entry.hidden && value("Type") != "Application") return std::nullopt;
  entry.name = value("Name").value_or(id);
  entry.id = std::move(id);
  entry.startupWMClass = value("StartupWMClass");
  if (entry.startupWMClass && entry.startupWMClass->empty()) entry.startupWMClass.reset();
  return entry;
}

std::vector<fs::path> dataDirectories(const char* dataHome, const char* dataDirs, const char* home) {
  std::vector<fs::path> dirs;
  const auto absolute = [](std::string_view p) { return !p.empty() && p.front() == '/'; };
  if (dataHome && absolute(dataHome)) {
    dirs.emplace_back(dataHome);
  } else if (home && absolute(home)) {
    dirs.push_back(fs::path(home) / ".local/share");
  }
  std::string_view list = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
  while (true) {
    const auto colon = list.find(':');
    const std::string_view item = list.substr(0, colon);
    if (absolute(item)) dirs.emplace_back(item);
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return dirs;
}

std::vector<fs::path> dataDirectoriesFromEnvironment() {
  return dataDirectories(std::getenv("XDG_DATA_HOME"), std::getenv("XDG_DATA_DIRS"), std::getenv("HOME"));
}

DesktopEntryIndex DesktopEntryIndex::scan(const std::vector<fs::path>& dataDirs) {
  DesktopEntryIndex index;
  for (const fs::path& dir : dataDirs) {
    const fs::path applications = dir / "applications";
    std::error_code error;
    if (!fs::is_directory(applications, error)) {
      index.missing_.push_back(applications);
      continue;
    }
    index.scanFolder(applications, "", 0);
  }
  return index;
}

void DesktopEntryIndex::scanFolder(const fs::path& folder, const std::string& prefix, int depth) {
  std::error_code error;
  folders_.emplace_back(folder, fs::last_write_time(folder, error));
  std::vector<fs::directory_entry> children;
  for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator(); it.increment(error)) {
    children.push_back(*it);
  }
  std::sort(children.begin(), children.end());  // the same answer whatever the directory order
  for (const fs::directory_entry& child : children) {
    const std::string fileName = child.path().filename().string();
    std::error_code kindError;
    if (child.is_directory(kindError)) {
      if (depth + 1 < maxFolderDepth) scanFolder(child.path(), prefix + fileName + "-", depth + 1);
      continue;
    }
    if (child.path().extension() != ".desktop" || !child.is_regular_file(kindError)) continue;
    std::string id = prefix + child.path().stem().string();
    if (std::find(shadowed_.begin(), shadowed_.end(), id) != shadowed_.end()) continue;
    const auto text = readSmallFile(child.path());
    if (!text) continue;
    auto entry = parseDesktopEntry(*text, id);
    if (!entry) continue;
    shadowed_.push_back(id);
    if (!entry->hidden) entries_.push_back(std::move(*entry));
  }
}

void DesktopEntryIndex::addFallback(DesktopEntry entry) { fallbacks_.push_back(std::move(entry)); }

const DesktopEntry* DesktopEntryIndex::byId(std::string_view id) const {
  for (const auto* list : {&entries_, &fallbacks_}) {
    const auto it = std::find_if(list->begin(), list->end(), [&](const DesktopEntry& e) { return e.id == id; });
    if (it != list->end()) return &*it;
  }
  return nullptr;
}

const DesktopEntry* DesktopEntryIndex::byWindowClass(std::string_view instance, std::string_view className) const {
  if (const DesktopEntry* found = findByClass(entries_, instance, className)) return found;
  return findByClass(fallbacks_, instance, className);
}

bool DesktopEntryIndex::stale() const {
  for (const auto& [folder, time] : folders_) {
    std::error_code error;
    const auto now = fs::last_write_time(folder, error);
    if (error || now != time) return true;
  }
  return std::any_of(missing_.begin(), missing_.end(), [](const fs::path& folder) {
    std::error_code error;
    return fs::is_directory(folder, error);
  });
}

}  // namespace tandemo::linux_platform
