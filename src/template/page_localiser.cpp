#include "template/page_localiser.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "template/label_table.h"

namespace setupext {
namespace {

// Everything up to the page's deletion; false leaves the page as it was. The output is closed
// when this returns, and so is the page unless it is handed over in *held.
bool LocaliseInto(Files& files, const std::string& source, const std::string& output, bool* created,
                  FileHandle* held) {
  files.SetQuietErrorMode();
  // Create-new only: a file already bearing the name is someone else's and stays as it is.
  UniqueFile out(files, files.CreateNew(output));
  if (!out.is_open()) return false;
  *created = true;

  // Held from its reading to its deletion: no one can write to it in between.
  UniqueFile page(files, files.OpenPage(source));
  if (!page.is_open()) return false;

  const auto read = [&](char* buffer, std::size_t size) { return files.Read(page.get(), buffer, size); };
  const auto write = [&](const char* data, std::size_t size) { return files.Write(out.get(), data, size); };
  if (!TranslatePage(read, write)) return false;

  // The output must be whole on the disk before the page goes: a failed flush or close may
  // hide lost data, and after a power cut an output never flushed could be empty.
  if (!files.Flush(out.get()) || !out.Close()) return false;
  *held = page.release();
  return true;
}

PageOutcome RemoveOutput(Files& files, const std::string& output) noexcept {
  try {
    if (files.Remove(output)) return PageOutcome::kKept;
  } catch (...) {
  }
  return PageOutcome::kOutputLeft;
}

}  // namespace

PageOutcome WriteOutput(Files& files, const std::string& source, const std::string& output,
                        FileHandle* held) noexcept {
  bool created = false;
  *held = kNoFile;
  try {
    if (LocaliseInto(files, source, output, &created, held)) return PageOutcome::kLocalised;
  } catch (...) {
    // Memory ran out or a file layer threw: the handles are closed, the page is as it was.
  }
  return created ? RemoveOutput(files, output) : PageOutcome::kKept;
}

PageOutcome ReplacePage(Files& files, FileHandle held, const std::string& source, const std::string& output,
                        bool synced) noexcept {
  try {
    if (synced && files.DeletePage(held, source)) return PageOutcome::kLocalised;
    if (!synced) files.Close(held);
  } catch (...) {
  }
  return RemoveOutput(files, output);
}

PageOutcome LocalisePage(Files& files, const std::string& source, const std::string& output) noexcept {
  FileHandle held = kNoFile;
  const PageOutcome written = WriteOutput(files, source, output, &held);
  if (written != PageOutcome::kLocalised) return written;
  bool synced = false;
  try {
    synced = files.SyncFolderOf(output);
  } catch (...) {
  }
  return ReplacePage(files, held, source, output, synced);
}

// Buffers the translation into large writes.
class WriterSink final : public ByteSink {
 public:
  explicit WriterSink(BufferedWriter& writer) : writer_(writer) {}
  bool Write(std::string_view bytes) noexcept override {
    try {
      return writer_.Write(bytes);
    } catch (...) {
      return false;
    }
  }

 private:
  BufferedWriter& writer_;
};

bool TranslatePage(ReadBytes read, WriteBytes write, std::size_t buffer_size) {
  const std::size_t size = std::max<std::size_t>(buffer_size, 1);
  const std::unique_ptr<char[]> buffer(new char[size]);
  BufferedWriter writer(std::move(write), size);
  WriterSink sink(writer);
  PageTranslator translator(sink);
  for (;;) {
    const std::ptrdiff_t got = read(buffer.get(), size);
    if (got < 0 || static_cast<std::size_t>(got) > size) return false;
    if (got == 0) break;
    if (translator.Feed(std::string_view(buffer.get(), static_cast<std::size_t>(got))) != TextResult::kDone) return false;
  }
  if (translator.Finish() != TextResult::kDone) return false;
  return writer.Flush();
}

std::string LocalisePageText(std::string_view page, std::size_t buffer_size) {
  std::string text;
  const auto read = [&page](char* buffer, std::size_t size) {
    const std::size_t take = std::min(size, page.size());
    if (take > 0) std::memcpy(buffer, page.data(), take);
    page.remove_prefix(take);
    return static_cast<std::ptrdiff_t>(take);
  };
  const auto write = [&text](const char* data, std::size_t size) {
    text.append(data, size);
    return true;
  };
  if (!TranslatePage(read, write, buffer_size)) return {};
  return text;
}

}  // namespace setupext
