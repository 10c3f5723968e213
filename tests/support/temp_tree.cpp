#include "support/temp_tree.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

namespace setupext::testing {
namespace fs = std::filesystem;

TempTree::TempTree() {
  static std::atomic<int> serial{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  root_ = fs::temp_directory_path() / ("setupext-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
  fs::create_directories(root_);
}

TempTree::~TempTree() {
  std::error_code ignored;
  // Read-only files left by a test must not keep the tree alive.
  for (auto it = fs::recursive_directory_iterator(root_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow, ignored);
  }
  fs::remove_all(root_, ignored);
}

fs::path TempTree::Write(const std::string& relative, const std::string& bytes) const {
  fs::path path = root_ / fs::path(relative).make_preferred();
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

void TempTree::MakeFolder(const std::string& relative) const {
  fs::create_directories(root_ / fs::path(relative).make_preferred());
}

TreeSnapshot TempTree::Snapshot() const { return SnapshotFolder(root_); }

TreeSnapshot SnapshotFolder(const fs::path& folder) {
  TreeSnapshot snapshot;
  // Links are not followed: a link back into the tree must not make the snapshot endless.
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    if (it->is_regular_file()) snapshot[fs::relative(it->path(), folder).generic_string()] = ReadFileBytes(it->path());
  }
  return snapshot;
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace setupext::testing
