#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/Expected.h"

namespace tandemo {

// Which file a path named at one moment: equal identities mean the file was not replaced or
// rewritten in between (a replacement gets a new inode, an edit a new size or time).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;

  bool operator==(const FileIdentity&) const = default;
};

struct ReadFailure {
  bool missing = false;  // the file does not exist (as opposed to existing but unreadable)
  std::string reason;
  std::optional<FileIdentity> identity;  // of what the path named, when it could be seen
};

struct FileContent {
  std::string text;
  FileIdentity identity;
};

// Held while it lives; destroying it releases the lock.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// The few file operations the settings store needs; a backend implements them for its system.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Reads a regular file of at most `maxBytes` bytes, never blocking: anything else (a FIFO, a
  // device, a folder, a socket, a symbolic link to one or to nothing) or a larger file is a
  // failure that says what the path names; only a path naming nothing at all is `missing`.
  virtual Expected<FileContent, ReadFailure> readFile(const std::filesystem::path& path, std::size_t maxBytes) = 0;
  // Writes into a temporary file in the same folder, flushes it to disk and renames it over
  // `path`, so a reader sees the old or the new content and never a mix. The file is created
  // readable and writable by its owner only.
  virtual Expected<void, std::string> writeAtomically(const std::filesystem::path& path,
                                                      std::string_view bytes) = 0;
  // Renames whatever `from` names (a file, a folder, a symbolic link itself) without replacing:
  // fails when `to` exists.
  virtual Expected<void, std::string> moveAside(const std::filesystem::path& from,
                                                const std::filesystem::path& to) = 0;
  virtual bool exists(const std::filesystem::path& path) = 0;
  // What `path` names now (following symbolic links); nothing when it does not exist.
  virtual std::optional<FileIdentity> identify(const std::filesystem::path& path) = 0;
  virtual Expected<void, std::string> createDirectories(const std::filesystem::path& folder) = 0;
  // Waits for an exclusive lock on `lockFile` (created if needed), shared with every other
  // process that locks the same file.
  virtual Expected<std::unique_ptr<FileLock>, std::string> lockExclusive(const std::filesystem::path& lockFile) = 0;
};

}  // namespace tandemo
