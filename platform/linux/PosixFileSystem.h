#pragma once

#include "model/FileSystem.h"

namespace tandemo::linux_platform {

// FileSystem on POSIX calls: mkstemp in the target folder, fsync, rename, fsync of the folder.
class PosixFileSystem final : public FileSystem {
 public:
  Expected<std::string, ReadFailure> readFile(const std::filesystem::path& path) override;
  Expected<void, std::string> writeAtomically(const std::filesystem::path& path,
                                              std::string_view bytes) override;
  Expected<void, std::string> moveAside(const std::filesystem::path& from,
                                        const std::filesystem::path& to) override;
  bool exists(const std::filesystem::path& path) override;
  Expected<void, std::string> createDirectories(const std::filesystem::path& folder) override;
};

}  // namespace tandemo::linux_platform
