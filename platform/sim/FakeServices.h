#pragma once

// In-memory stand-ins for the login item, the system log, the clock text and the file system,
// each able to fail on request.

#include <filesystem>
#include <map>
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

// Files as a map from path to content. Folders exist once created (or once a file is written).
class MemoryFileSystem final : public FileSystem {
 public:
  Expected<std::string, ReadFailure> readFile(const std::filesystem::path& path) override;
  Expected<void, std::string> writeAtomically(const std::filesystem::path& path, std::string_view bytes) override;
  Expected<void, std::string> moveAside(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool exists(const std::filesystem::path& path) override;
  Expected<void, std::string> createDirectories(const std::filesystem::path& folder) override;

  void put(const std::filesystem::path& path, std::string content) { files_[path] = std::move(content); }
  std::optional<std::string> content(const std::filesystem::path& path) const;
  const std::map<std::filesystem::path, std::string>& files() const { return files_; }
  int writeCount() const { return writes_; }

  // Failure injection: while set, the operation fails with this reason and changes nothing.
  void failReads(std::optional<std::string> reason) { readFailure_ = std::move(reason); }
  void failWrites(std::optional<std::string> reason) { writeFailure_ = std::move(reason); }
  void failMoves(std::optional<std::string> reason) { moveFailure_ = std::move(reason); }
  void failFolders(std::optional<std::string> reason) { folderFailure_ = std::move(reason); }

 private:
  std::map<std::filesystem::path, std::string> files_;
  std::set<std::filesystem::path> folders_;
  std::optional<std::string> readFailure_;
  std::optional<std::string> writeFailure_;
  std::optional<std::string> moveFailure_;
  std::optional<std::string> folderFailure_;
  int writes_ = 0;
};

}  // namespace tandemo::sim
