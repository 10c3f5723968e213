// A scratch folder tree for file tests, removed afterwards, with helpers to fill it and to
// take a snapshot of every file in it.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace setupext::testing {

// Relative path (with '/' separators) -> file bytes.
using TreeSnapshot = std::map<std::string, std::string>;

class TempTree {
 public:
  TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;
  ~TempTree();

  const std::filesystem::path& root() const { return root_; }
  // The root as the module's operations take it, without a trailing separator.
  std::string root_text() const { return root_.string(); }
  std::filesystem::path Write(const std::string& relative, const std::string& bytes) const;
  void MakeFolder(const std::string& relative) const;
  TreeSnapshot Snapshot() const;

 private:
  std::filesystem::path root_;
};

std::string ReadFileBytes(const std::filesystem::path& path);

// Every regular file below the folder, links not followed.
TreeSnapshot SnapshotFolder(const std::filesystem::path& folder);

// A folder the tests were handed by a host-side script, as this build's programs name it
// (Wine sees the host's root as drive Z:).
std::filesystem::path HostFolder(const std::string& host_path);

}  // namespace setupext::testing
