#include "linux/HelpPage.h"

namespace tandemo::linux_platform {

std::optional<std::string> helpPageFragment(const std::string& anchor) {
  if (anchor == "ListenEvent") return "input-devices";
  if (anchor == "Accessibility") return "virtual-input";
  return std::nullopt;
}

std::vector<std::filesystem::path> helpPageCandidates(const std::optional<std::filesystem::path>& executable,
                                                      const std::vector<std::filesystem::path>& dataDirs) {
  std::vector<std::filesystem::path> candidates;
  if (executable && executable->has_parent_path()) {
    candidates.push_back(executable->parent_path().parent_path() / "share" / helpPageFile);
  }
  for (const auto& dir : dataDirs) candidates.push_back(dir / helpPageFile);
  return candidates;
}

std::string fileUrl(const std::filesystem::path& path, const std::optional<std::string>& fragment) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const unsigned char c : path.string()) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 0x0F];
    }
  }
  if (fragment) url += "#" + *fragment;
  return url;
}

}  // namespace tandemo::linux_platform
