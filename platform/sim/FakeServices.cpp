#include "sim/FakeServices.h"

#include <algorithm>

namespace tandemo::sim {

Expected<void, std::string> FakeLoginItem::registerItem() {
  ++registerCalls_;
  if (failure_) return unexpected(*failure_);
  enabled_ = true;
  return {};
}

Expected<void, std::string> FakeLoginItem::unregisterItem() {
  ++unregisterCalls_;
  if (failure_) return unexpected(*failure_);
  enabled_ = false;
  return {};
}

namespace {

// `path` is `root` or lies inside it.
bool within(const std::filesystem::path& path, const std::filesystem::path& root) {
  return std::mismatch(root.begin(), root.end(), path.begin(), path.end()).first == root.end();
}

// Counts itself in the file system's held locks while it lives.
class MemoryFileLock final : public FileLock {
 public:
  explicit MemoryFileLock(std::shared_ptr<int> held) : held_(std::move(held)) { ++*held_; }
  ~MemoryFileLock() override { --*held_; }
  MemoryFileLock(const MemoryFileLock&) = delete;
  MemoryFileLock& operator=(const MemoryFileLock&) = delete;

 private:
  std::shared_ptr<int> held_;
};

}  // namespace

Expected<FileContent, ReadFailure> MemoryFileSystem::readFile(const std::filesystem::path& path,
                                                              std::size_t maxBytes) {
  auto found = files_.find(path);
  if (found == files_.end()) {
    const bool folder = folders_.contains(path);
    return unexpected(ReadFailure{!folder, folder ? "it is a folder, not a regular file" : "No such file or directory",
                                  std::nullopt});
  }
  const FileIdentity identity = *identify(path);
  if (readFailure_) return unexpected(ReadFailure{false, *readFailure_, identity});
  if (found->second.content.size() > maxBytes) return unexpected(ReadFailure{false, "File too large", identity});
  return FileContent{found->second.content, identity};
}

Expected<void, std::string> MemoryFileSystem::writeAtomically(const std::filesystem::path& path,
                                                              std::string_view bytes) {
  if (writeFailure_) return unexpected(*writeFailure_);
  if (!path.has_parent_path() || !exists(path.parent_path())) {
    return unexpected(std::string("No such file or directory"));
  }
  put(path, std::string(bytes));
  ++writes_;
  return {};
}

Expected<void, std::string> MemoryFileSystem::moveAside(const std::filesystem::path& from,
                                                        const std::filesystem::path& to) {
  if (moveFailure_) return unexpected(*moveFailure_);
  if (!exists(from)) return unexpected(std::string("No such file or directory"));
  if (exists(to)) return unexpected(std::string("File exists"));
  const auto moved = [&](const std::filesystem::path& path) {
    return path == from ? to : to / path.lexically_relative(from);
  };
  std::map<std::filesystem::path, File> files;
  for (auto& [path, file] : files_) files.emplace(within(path, from) ? moved(path) : path, std::move(file));
  std::set<std::filesystem::path> folders;
  for (const auto& path : folders_) folders.insert(within(path, from) ? moved(path) : path);
  files_ = std::move(files);
  folders_ = std::move(folders);
  return {};
}

bool MemoryFileSystem::exists(const std::filesystem::path& path) {
  return files_.contains(path) || folders_.contains(path);
}

std::optional<FileIdentity> MemoryFileSystem::identify(const std::filesystem::path& path) {
  auto found = files_.find(path);
  if (found == files_.end()) return std::nullopt;
  return FileIdentity{1, found->second.inode, static_cast<std::int64_t>(found->second.content.size()), 0};
}

Expected<void, std::string> MemoryFileSystem::createDirectories(const std::filesystem::path& folder) {
  if (folderFailure_) return unexpected(*folderFailure_);
  for (std::filesystem::path p = folder; !p.empty(); p = p.parent_path()) {
    if (files_.contains(p)) return unexpected(std::string("Not a directory"));
    folders_.insert(p);
    if (p == p.parent_path()) break;
  }
  return {};
}

Expected<std::unique_ptr<FileLock>, std::string> MemoryFileSystem::lockExclusive(const std::filesystem::path&) {
  // One thread uses this file system: a second lock while one is held would wait for ever.
  if (*locksHeld_ > 0) return unexpected(std::string("Resource deadlock avoided"));
  ++locks_;
  return std::unique_ptr<FileLock>(std::make_unique<MemoryFileLock>(locksHeld_));
}

void MemoryFileSystem::put(const std::filesystem::path& path, std::string content) {
  files_[path] = File{std::move(content), nextInode_++};
}

void MemoryFileSystem::remove(const std::filesystem::path& path) {
  std::erase_if(files_, [&](const auto& entry) { return within(entry.first, path); });
  std::erase_if(folders_, [&](const auto& folder) { return within(folder, path); });
}

std::optional<std::string> MemoryFileSystem::content(const std::filesystem::path& path) const {
  auto found = files_.find(path);
  if (found == files_.end()) return std::nullopt;
  return found->second.content;
}

std::map<std::filesystem::path, std::string> MemoryFileSystem::files() const {
  std::map<std::filesystem::path, std::string> out;
  for (const auto& [path, file] : files_) out.emplace(path, file.content);
  return out;
}

}  // namespace tandemo::sim
