#pragma once

// The local help page about permissions that is installed beside the program, and the URL that
// opens it at the section a privacy anchor names.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tandemo::linux_platform {

inline constexpr const char* helpPageFile = "tandemo/privacy.html";

// The section of the page for an anchor: "ListenEvent" (reading the mouse's input devices),
// "Accessibility" (posting events through uinput); nothing for any other anchor.
std::optional<std::string> helpPageFragment(const std::string& anchor);

// Where the page may be, in order: beside the running program (<prefix>/bin/../share/...),
// then in each data folder.
std::vector<std::filesystem::path> helpPageCandidates(const std::optional<std::filesystem::path>& executable,
                                                      const std::vector<std::filesystem::path>& dataDirs);

// A file: URL for an absolute path, percent-encoding every byte outside the unreserved set.
std::string fileUrl(const std::filesystem::path& path, const std::optional<std::string>& fragment);

}  // namespace tandemo::linux_platform
