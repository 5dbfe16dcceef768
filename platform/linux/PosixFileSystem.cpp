#include "linux/PosixFileSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

namespace tandemo::linux_platform {
namespace {

std::string describeErrno(const std::string& what, const std::filesystem::path& path, int error) {
  return what + " " + path.string() + ": " + std::strerror(error);
}

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&&) = delete;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// flock belongs to the open file description: closing the descriptor releases it.
class PosixFileLock final : public FileLock {
 public:
  explicit PosixFileLock(FileDescriptor fd) : fd_(std::move(fd)) {}

 private:
  FileDescriptor fd_;
};

FileIdentity identityOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::int64_t>(info.st_size),
          static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

const char* kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

ReadFailure notRegular(const std::filesystem::path& path, const struct stat& info) {
  struct stat link {};
  const bool viaLink = ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
  return {false,
          "cannot read " + path.string() + ": it is " + (viaLink ? "a symbolic link to " : "") + kindOf(info.st_mode) +
              ", not a regular file",
          identityOf(info)};
}

ReadFailure tooLarge(const std::filesystem::path& path, const struct stat& info, std::size_t maxBytes) {
  return {false,
          "cannot read " + path.string() + ": it is larger than the " + std::to_string(maxBytes) +
              " bytes a settings file may have",
          identityOf(info)};
}

std::string danglingTarget(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path target = std::filesystem::read_symlink(path, error);
  return error ? std::string("a path") : target.string();
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

Expected<FileContent, ReadFailure> PosixFileSystem::readFile(const std::filesystem::path& path, std::size_t maxBytes) {
  // Checked before opening, so that no device is ever opened, and again on the descriptor,
  // in case the path was replaced in between.
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0) {
    const int error = errno;
    // A dangling symbolic link is something the user put there, not a missing file.
    if (struct stat link {}; error == ENOENT && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      return unexpected(ReadFailure{false, "cannot read " + path.string() + ": it is a symbolic link to " +
                                               danglingTarget(path) + ", which does not exist",
                                    std::nullopt});
    }
    return unexpected(ReadFailure{error == ENOENT, describeErrno("cannot open", path, error), std::nullopt});
  }
  if (!S_ISREG(before.st_mode)) return unexpected(notRegular(path, before));
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) {
    const int error = errno;
    return unexpected(ReadFailure{error == ENOENT, describeErrno("cannot open", path, error), identityOf(before)});
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    return unexpected(ReadFailure{false, describeErrno("cannot read", path, errno), identityOf(before)});
  }
  if (!S_ISREG(info.st_mode)) return unexpected(notRegular(path, info));
  if (static_cast<std::uint64_t>(info.st_size) > maxBytes) return unexpected(tooLarge(path, info, maxBytes));

  FileContent content{{}, identityOf(info)};
  std::string& text = content.text;
  // One allocation; reading still goes on to the real end, which may have moved.
  text.resize(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled == text.size()) {
      if (text.size() > maxBytes) return unexpected(tooLarge(path, info, maxBytes));
      text.resize(std::min(text.size() * 2 + 4096, maxBytes + 1));
    }
    const ssize_t got = ::read(fd.get(), text.data() + filled, text.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return unexpected(ReadFailure{false, describeErrno("cannot read", path, errno), identityOf(info)});
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled > maxBytes) return unexpected(tooLarge(path, info, maxBytes));
  text.resize(filled);
  return content;
}

Expected<void, std::string> PosixFileSystem::writeAtomically(const std::filesystem::path& path,
                                                             std::string_view bytes) {
  const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
  std::string name = ".";
  name += path.filename().string();
  name += ".XXXXXX";
  std::string temporary = (folder / name).string();
  // mkstemp creates the file with mode 0600, which is what settings holding typed text need.
  FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0) return unexpected(describeErrno("cannot create a temporary file in", folder, errno));
  const auto discard = [&](const std::string& what) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return unexpected(describeErrno(what, temporary, error));
  };
  if (::fchmod(fd.get(), S_IRUSR | S_IWUSR) != 0) return discard("cannot set permissions of");
  if (!writeAll(fd.get(), bytes)) return discard("cannot write");
  if (::fsync(fd.get()) != 0) return discard("cannot flush");
  if (::close(fd.release()) != 0) return discard("cannot close");
  if (::rename(temporary.c_str(), path.c_str()) != 0) return discard("cannot rename into place");
  // Make the rename itself durable.
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return {};
}

Expected<void, std::string> PosixFileSystem::moveAside(const std::filesystem::path& from,
                                                       const std::filesystem::path& to) {
  // Moves folders too; link + unlink, for file systems without RENAME_NOREPLACE, never replaces
  // an existing target either, unlike rename.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return unexpected(describeErrno("cannot move", from, errno));
  if (::link(from.c_str(), to.c_str()) != 0) return unexpected(describeErrno("cannot move", from, errno));
  if (::unlink(from.c_str()) != 0) return unexpected(describeErrno("cannot remove", from, errno));
  return {};
}

bool PosixFileSystem::exists(const std::filesystem::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::optional<FileIdentity> PosixFileSystem::identify(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return identityOf(info);
}

Expected<void, std::string> PosixFileSystem::createDirectories(const std::filesystem::path& folder) {
  if (folder.empty()) return {};
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return unexpected("cannot create folder " + folder.string() + ": " + error.message());
  return {};
}

Expected<std::unique_ptr<FileLock>, std::string> PosixFileSystem::lockExclusive(const std::filesystem::path& lockFile) {
  // O_NONBLOCK only keeps a FIFO planted at the lock path from blocking the open.
  FileDescriptor fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                           S_IRUSR | S_IWUSR));
  if (fd.get() < 0) return unexpected(describeErrno("cannot open the lock file", lockFile, errno));
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return unexpected(describeErrno("cannot lock", lockFile, errno));
  }
  return std::unique_ptr<FileLock>(std::make_unique<PosixFileLock>(std::move(fd)));
}

}  // namespace tandemo::linux_platform
