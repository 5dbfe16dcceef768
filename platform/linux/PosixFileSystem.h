#pragma once

#include "model/FileSystem.h"

namespace tandemo::linux_platform {

// FileSystem on POSIX calls: reads only regular files (checked with fstat on a descriptor opened
// O_NONBLOCK, so a FIFO or a device never blocks); writes through mkstemp in the target folder,
// fsync, rename and fsync of the folder; locks with flock.
class PosixFileSystem final : public FileSystem {
 public:
  Expected<FileContent, ReadFailure> readFile(const std::filesystem::path& path, std::size_t maxBytes) override;
  Expected<void, std::string> writeAtomically(const std::filesystem::path& path,
                                              std::string_view bytes) override;
  Expected<void, std::string> moveAside(const std::filesystem::path& from,
                                        const std::filesystem::path& to) override;
  bool exists(const std::filesystem::path& path) override;
  std::optional<FileIdentity> identify(const std::filesystem::path& path) override;
  Expected<void, std::string> createDirectories(const std::filesystem::path& folder) override;
  Expected<std::unique_ptr<FileLock>, std::string> lockExclusive(const std::filesystem::path& lockFile) override;
};

}  // namespace tandemo::linux_platform
