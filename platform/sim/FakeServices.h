#pragma once

// In-memory stand-ins for the login item, the system log, the clock text and the file system,
// each able to fail on request.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "controller/Platform.h"
#include "model/FileSystem.h"

namespace tandemo::sim {

class FakeLoginItem final : public LoginItem {
 public:
  explicit FakeLoginItem(bool enabled = false) : enabled_(enabled) {}

  bool enabled() override { return enabled_; }
  Expected<void, std::string> registerItem() override;
  Expected<void, std::string> unregisterItem() override;

  // While set, register and unregister fail with this description and change nothing.
  void failWith(std::optional<std::string> description) { failure_ = std::move(description); }
  int registerCalls() const { return registerCalls_; }
  int unregisterCalls() const { return unregisterCalls_; }

 private:
  bool enabled_;
  std::optional<std::string> failure_;
  int registerCalls_ = 0;
  int unregisterCalls_ = 0;
};

class RecordingSystemLog final : public SystemLog {
 public:
  void write(const std::string& line) override { lines_.push_back(line); }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

class FixedTimeOfDay final : public TimeOfDay {
 public:
  explicit FixedTimeOfDay(std::string text = "09:05:03") : text_(std::move(text)) {}
  std::string now() override { return text_; }
  void set(std::string text) { text_ = std::move(text); }

 private:
  std::string text_;
};

// Files as a map from path to content. Folders exist once created (or once a file is written);
// moveAside moves a folder with its content.
// Every put or write gives the file a new identity, as a replacing rename would.
class MemoryFileSystem final : public FileSystem {
 public:
  Expected<FileContent, ReadFailure> readFile(const std::filesystem::path& path, std::size_t maxBytes) override;
  Expected<void, std::string> writeAtomically(const std::filesystem::path& path, std::string_view bytes) override;
  Expected<void, std::string> moveAside(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool exists(const std::filesystem::path& path) override;
  std::optional<FileIdentity> identify(const std::filesystem::path& path) override;
  Expected<void, std::string> createDirectories(const std::filesystem::path& folder) override;
  Expected<std::unique_ptr<FileLock>, std::string> lockExclusive(const std::filesystem::path& lockFile) override;

  void put(const std::filesystem::path& path, std::string content);
  // Removes the file or the folder with everything in it, as another program might.
  void remove(const std::filesystem::path& path);
  std::optional<std::string> content(const std::filesystem::path& path) const;
  std::map<std::filesystem::path, std::string> files() const;
  int writeCount() const { return writes_; }
  // How many locks are held now, and how many were ever taken.
  int locksHeld() const { return *locksHeld_; }
  int lockCount() const { return locks_; }

  // Failure injection: while set, the operation fails with this reason and changes nothing.
  void failReads(std::optional<std::string> reason) { readFailure_ = std::move(reason); }
  void failWrites(std::optional<std::string> reason) { writeFailure_ = std::move(reason); }
  void failMoves(std::optional<std::string> reason) { moveFailure_ = std::move(reason); }
  void failFolders(std::optional<std::string> reason) { folderFailure_ = std::move(reason); }

 private:
  struct File {
    std::string content;
    std::uint64_t inode = 0;
  };

  std::map<std::filesystem::path, File> files_;
  std::set<std::filesystem::path> folders_;
  std::optional<std::string> readFailure_;
  std::optional<std::string> writeFailure_;
  std::optional<std::string> moveFailure_;
  std::optional<std::string> folderFailure_;
  int writes_ = 0;
  int locks_ = 0;
  std::uint64_t nextInode_ = 1;
  std::shared_ptr<int> locksHeld_ = std::make_shared<int>(0);
};

}  // namespace tandemo::sim
