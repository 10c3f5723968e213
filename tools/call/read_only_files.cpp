#include "read_only_files.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "template/folder_plan.h"
#include "template/page_replace.h"
#include "template/page_text.h"

namespace setupext {
namespace {

// A handle no real file has: descriptors are never negative, kernel handles are multiples of
// four.
template <typename Native>
Native FakeHandle(int number) {
  if constexpr (std::is_pointer_v<Native>) return reinterpret_cast<Native>(static_cast<std::intptr_t>(number) * 4 + 1);
  else return static_cast<Native>(-1000 - number);
}

}  // namespace

// New bytes made again from their page, in the order they are read, a window at a time: what
// is made past the bytes asked for waits for the next read.
class ReadOnlyFiles::Replay final : public ByteSink {
 public:
  explicit Replay(std::string made_key) : key(std::move(made_key)), translator(*this) {}
  bool Write(std::string_view bytes) noexcept override {
    ahead.append(bytes);
    return true;
  }

  std::string key;
  File page;
  std::uint64_t page_size = 0;
  std::uint64_t given = 0;  // the new bytes before `ahead`
  std::string ahead;
  std::string window = std::string(PageWork::kDefaultBufferSize, '\0');
  PageTranslator translator;
};

ReadOnlyFiles::ReadOnlyFiles(Files& real) : real_(real) {}
ReadOnlyFiles::~ReadOnlyFiles() = default;

FolderOpen ReadOnlyFiles::OpenFolder(std::string_view path, std::uint64_t expected_index, File& folder,
                                     FolderFacts& facts) noexcept {
  const FolderOpen opened = real_.OpenFolder(path, expected_index, folder, facts);
  if (opened == FolderOpen::kDone) case_sensitive_[std::string(path)] = facts.case_sensitive;
  return opened;
}

ListResult ReadOnlyFiles::ListFolder(NativeFile folder, std::string_view path, Listing& entries) noexcept {
  const ListResult listed = real_.ListFolder(folder, path, entries);
  const auto facts = case_sensitive_.find(std::string(path));
  if (listed != ListResult::kDone || facts == case_sensitive_.end()) return listed;
  // Names are keyed as the plan compares them there.
  bool twins = false;
  if (!facts->second && ShowsCaseTwins(entries, &twins)) facts->second = twins;
  return listed;
}

std::string ReadOnlyFiles::Key(std::string_view path) const {
  const std::size_t separator = path.rfind(PathSeparator());
  const std::string_view folder = separator == std::string_view::npos ? std::string_view() : path.substr(0, separator + 1);
  const auto facts = case_sensitive_.find(std::string(folder));
  const bool sensitive = facts == case_sensitive_.end() || facts->second;
  ByteBuffer key;
  return AppendNameKey(path, sensitive, key) ? std::string(key.view()) : std::string(path);
}

bool ReadOnlyFiles::Exists(NativeFile at, std::string_view path) {
  const std::string key = Key(path);
  if (made_.count(key)) return true;
  if (gone_.count(key)) return false;
  return real_.CheckPlainFile(at, path) != FileResult::kFailed;
}

NativeFile ReadOnlyFiles::NewHandle(std::string key, bool writing) {
  const NativeFile handle = FakeHandle<NativeFile>(next_handle_++);
  handles_[handle] = {std::move(key), writing};
  return handle;
}

// A real file's handle, closed through this layer.
Opened ReadOnlyFiles::Wrap(Opened real) {
  if (real.result != FileResult::kDone) return real;
  real.file = File(FileRef{this, real.file.release().native});
  return real;
}

Opened ReadOnlyFiles::CreateNew(NativeFile at, std::string_view path) noexcept {
  if (Exists(at, path)) return {File(), FileResult::kExists};
  if (Refused(real_.MayCreate(at, path))) return {};
  const std::string key = Key(path);
  Made& made = made_[key] = {};
  made.source = last_page_;
  made.folder = last_folder_;
  return {File(FileRef{this, NewHandle(key, true)}), FileResult::kDone};
}

Opened ReadOnlyFiles::OpenPage(NativeFile at, std::string_view path, std::uint64_t* size) noexcept {
  const std::string key = Key(path);
  const auto made = made_.find(key);
  if (made == made_.end() || !made->second.real_path.empty()) {
    if (made == made_.end() && gone_.count(key)) return {};
    last_page_ = made == made_.end() ? std::string(path) : made->second.real_path;
    last_folder_ = at;
    return Wrap(real_.OpenPage(at, last_page_, size));
  }
  *size = made->second.size;
  Opened opened{File(FileRef{this, NewHandle(key, false)}), FileResult::kDone};
  opened.stamp.size = *size;
  return opened;
}

std::ptrdiff_t ReadOnlyFiles::ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept {
  const auto handle = handles_.find(file);
  if (handle == handles_.end()) return real_.ReadAt(file, offset, buffer, size);
  const auto made = made_.find(handle->second.key);
  if (made == made_.end()) return -1;
  if (offset >= made->second.size) return 0;
  return ReadMade(made->first, made->second, offset, static_cast<char*>(buffer), size);
}

std::ptrdiff_t ReadOnlyFiles::ReadMade(const std::string& key, const Made& made, std::uint64_t offset, char* buffer,
                                       std::size_t size) {
  if (!replay_ || replay_->key != key || offset < replay_->given) {
    replay_ = std::make_unique<Replay>(key);
    Opened page = real_.OpenPage(made.folder, made.source, &replay_->page_size);
    if (page.result != FileResult::kDone) {
      replay_.reset();
      return -1;
    }
    replay_->page = std::move(page.file);
  }
  Replay& r = *replay_;
  const std::uint64_t end = offset + size;
  for (;;) {
    // What lies before the bytes asked for goes.
    const std::size_t before = static_cast<std::size_t>(std::min<std::uint64_t>(offset - r.given, r.ahead.size()));
    r.ahead.erase(0, before);
    r.given += before;
    if (r.given + r.ahead.size() >= end || r.translator.ended()) break;
    const std::uint64_t at = r.translator.next();
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(r.window.size(), r.page_size - at));
    if (!ReadFully(real_, r.page.get().native, at, r.window.data(), want)) return -1;
    (void)r.translator.Take({r.window.data(), want}, at + want == r.page_size);
  }
  if (r.given != offset) return 0;
  const std::size_t take = std::min(size, r.ahead.size());
  std::memcpy(buffer, r.ahead.data(), take);
  r.ahead.erase(0, take);
  r.given += take;
  return static_cast<std::ptrdiff_t>(take);
}

bool ReadOnlyFiles::Write(NativeFile file, const void* data, std::size_t size) noexcept {
  const auto handle = handles_.find(file);
  if (handle == handles_.end() || !handle->second.writing) return false;
  Made& made = made_[handle->second.key];
  made.size += size;
  made.digest = Digest(made.digest, {static_cast<const char*>(data), size});
  return true;
}

bool ReadOnlyFiles::Close(NativeFile file) noexcept {
  if (handles_.erase(file)) return true;
  return real_.Close(file);
}

PageDeletion ReadOnlyFiles::DeletePage(File page, const FileStamp&, NativeFile at, std::string_view path,
                                       std::string_view) noexcept {
  page.reset();
  const std::string key = Key(path);
  if (!made_.count(key) && Refused(real_.MayRemove(at, path))) return PageDeletion::kKept;
  if (!made_.erase(key)) gone_.insert(key);
  return PageDeletion::kGone;
}

FileResult ReadOnlyFiles::RenameNew(NativeFile file, NativeFile at, std::string_view, std::string_view to) noexcept {
  const auto handle = handles_.find(file);
  if (handle == handles_.end()) return FileResult::kFailed;
  if (Exists(at, to)) return FileResult::kExists;
  const std::string key = Key(to);
  made_[key] = std::move(made_[handle->second.key]);
  made_.erase(handle->second.key);
  handle->second.key = key;
  return FileResult::kDone;
}

bool ReadOnlyFiles::DeleteNew(File file, NativeFile, std::string_view path) noexcept {
  file.reset();
  return made_.erase(Key(path)) > 0;
}

FileResult ReadOnlyFiles::CheckPlainFile(NativeFile at, std::string_view path) noexcept {
  const std::string key = Key(path);
  const auto made = made_.find(key);
  if (made != made_.end())
    return made->second.real_path.empty() ? FileResult::kDone : real_.CheckPlainFile(at, made->second.real_path);
  return gone_.count(key) ? FileResult::kFailed : real_.CheckPlainFile(at, path);
}

FileResult ReadOnlyFiles::MoveNoReplace(NativeFile at, std::string_view from, std::string_view to) noexcept {
  const FileResult plain = CheckPlainFile(at, from);
  if (plain != FileResult::kDone) return plain;
  if (Exists(at, to)) return FileResult::kExists;
  const std::string source = Key(from);
  // A move makes a name as a creation does, and frees one as a removal does.
  if (Refused(real_.MayCreate(at, to)) || (!made_.count(source) && Refused(real_.MayRemove(at, from))))
    return FileResult::kFailed;
  Made moved;
  if (const auto made = made_.find(source); made != made_.end()) {
    moved = std::move(made->second);
    made_.erase(made);
  } else {
    moved.real_path = std::string(from);
    gone_.insert(source);
  }
  made_[Key(to)] = std::move(moved);
  return FileResult::kDone;
}

FileResult ReadOnlyFiles::Remove(NativeFile at, std::string_view path) noexcept {
  const FileResult plain = CheckPlainFile(at, path);
  if (plain != FileResult::kDone) return plain;
  const std::string key = Key(path);
  if (!made_.count(key) && Refused(real_.MayRemove(at, path))) return FileResult::kFailed;
  if (!made_.erase(key)) gone_.insert(key);
  return FileResult::kDone;
}

}  // namespace setupext
