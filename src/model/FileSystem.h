#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/Expected.h"

namespace tandemo {

struct ReadFailure {
  bool missing = false;  // the file does not exist (as opposed to existing but unreadable)
  std::string reason;
};

// The few file operations the settings store needs; a backend implements them for its system.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual Expected<std::string, ReadFailure> readFile(const std::filesystem::path& path) = 0;
  // Writes into a temporary file in the same folder, flushes it to disk and renames it over
  // `path`, so a reader sees the old or the new content and never a mix. The file is created
  // readable and writable by its owner only.
  virtual Expected<void, std::string> writeAtomically(const std::filesystem::path& path,
                                                      std::string_view bytes) = 0;
  // Renames without replacing: fails when `to` exists.
  virtual Expected<void, std::string> moveAside(const std::filesystem::path& from,
                                                const std::filesystem::path& to) = 0;
  virtual bool exists(const std::filesystem::path& path) = 0;
  virtual Expected<void, std::string> createDirectories(const std::filesystem::path& folder) = 0;
};

}  // namespace tandemo
