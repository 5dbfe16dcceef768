#include "linux/PosixFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

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
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

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

Expected<std::string, ReadFailure> PosixFileSystem::readFile(const std::filesystem::path& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    const int error = errno;
    return unexpected(ReadFailure{error == ENOENT, describeErrno("cannot open", path, error)});
  }
  std::string text;
  // One allocation for a regular file; reading still goes on to the real end.
  if (struct stat info {}; ::fstat(fd.get(), &info) == 0 && info.st_size > 0) {
    text.reserve(static_cast<std::size_t>(info.st_size));
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return unexpected(ReadFailure{false, describeErrno("cannot read", path, errno)});
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
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
  // link + unlink never replaces an existing target, unlike rename.
  if (::link(from.c_str(), to.c_str()) != 0) return unexpected(describeErrno("cannot move", from, errno));
  if (::unlink(from.c_str()) != 0) return unexpected(describeErrno("cannot remove", from, errno));
  return {};
}

bool PosixFileSystem::exists(const std::filesystem::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

Expected<void, std::string> PosixFileSystem::createDirectories(const std::filesystem::path& folder) {
  if (folder.empty()) return {};
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return unexpected("cannot create folder " + folder.string() + ": " + error.message());
  return {};
}

}  // namespace tandemo::linux_platform
