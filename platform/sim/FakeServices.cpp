#include "sim/FakeServices.h"

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

Expected<std::string, ReadFailure> MemoryFileSystem::readFile(const std::filesystem::path& path) {
  auto found = files_.find(path);
  if (found == files_.end()) return unexpected(ReadFailure{true, "No such file or directory"});
  if (readFailure_) return unexpected(ReadFailure{false, *readFailure_});
  return found->second;
}

Expected<void, std::string> MemoryFileSystem::writeAtomically(const std::filesystem::path& path,
                                                              std::string_view bytes) {
  if (writeFailure_) return unexpected(*writeFailure_);
  if (!path.has_parent_path() || !exists(path.parent_path())) {
    return unexpected(std::string("No such file or directory"));
  }
  files_[path] = std::string(bytes);
  ++writes_;
  return {};
}

Expected<void, std::string> MemoryFileSystem::moveAside(const std::filesystem::path& from,
                                                        const std::filesystem::path& to) {
  if (moveFailure_) return unexpected(*moveFailure_);
  auto found = files_.find(from);
  if (found == files_.end()) return unexpected(std::string("No such file or directory"));
  if (exists(to)) return unexpected(std::string("File exists"));
  files_[to] = std::move(found->second);
  files_.erase(found);
  return {};
}

bool MemoryFileSystem::exists(const std::filesystem::path& path) {
  return files_.contains(path) || folders_.contains(path);
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

std::optional<std::string> MemoryFileSystem::content(const std::filesystem::path& path) const {
  auto found = files_.find(path);
  if (found == files_.end()) return std::nullopt;
  return found->second;
}

}  // namespace tandemo::sim
