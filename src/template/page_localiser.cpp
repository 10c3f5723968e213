#include "template/page_localiser.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "template/label_table.h"

namespace setupext {
namespace {

constexpr std::string_view kHeaderEnd = "PAGE {";
constexpr char kLabelMarker = '\xFE';

// A body keyword, searched for by one of its bytes that page text holds rarely: most body
// lines hold a "P" and no brand marker, while its "K" is rare.
struct Keyword {
  Label label;
  std::size_t anchor;  // index of that byte in the source word
};
constexpr Keyword kInput = {{"Input", "Champ"}, 0};
constexpr Keyword kBrand = {{"PowerByTORVEKEN", "PowerByTORVEKFR"}, 12};

// The first occurrence of the keyword at or after `from`.
std::size_t Find(std::string_view text, const Keyword& keyword, std::size_t from) {
  const std::string_view word = keyword.label.source;
  for (std::size_t at = from + keyword.anchor; at < text.size(); ++at) {
    at = text.find(word[keyword.anchor], at);
    if (at == std::string_view::npos) break;
    if (text.substr(at - keyword.anchor, word.size()) == word) return at - keyword.anchor;
  }
  return std::string_view::npos;
}

// Just after the line feed at or after `at`, or the end of the text.
std::size_t LineEnd(std::string_view text, std::size_t at) {
  const std::size_t feed = text.find('\n', at);
  return feed == std::string_view::npos ? text.size() : feed + 1;
}

// Just after the last line feed, or 0: where a line that the text does not end begins.
std::size_t LastLineStart(std::string_view text) {
  const std::size_t feed = text.rfind('\n');
  return feed == std::string_view::npos ? 0 : feed + 1;
}

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

void PageTranslator::Translate(std::string_view lines) {
  if (stage_ == Stage::kHeader) lines = Header(lines);
  if (stage_ == Stage::kTitle && !lines.empty()) lines = Title(lines);
  if (stage_ == Stage::kBody) Body(lines);
}

// Writes up to and including the first line holding the header end; the rest is returned.
std::string_view PageTranslator::Header(std::string_view lines) {
  const std::size_t end = lines.find(kHeaderEnd);
  if (end == std::string_view::npos) {
    out_.Write(lines);
    return {};
  }
  stage_ = Stage::kTitle;
  const std::size_t next = LineEnd(lines, end);
  out_.Write(lines.substr(0, next));
  return lines.substr(next);
}

std::string_view PageTranslator::Title(std::string_view lines) {
  const std::size_t next = LineEnd(lines, 0);
  WriteLabelled(lines.substr(0, next), false);
  stage_ = Stage::kBody;
  return lines.substr(next);
}

// Lines without the marker go through with their keywords replaced, straight from `lines`;
// each marked line is copied and gets the label table too. Neither keyword can overlap itself
// or the other, nor can a replacement make or break an occurrence of the other, so one sweep
// for the nearer of the two gives what replacing all of one and then all of the other gives.
void PageTranslator::Body(std::string_view lines) {
  std::size_t from = 0;  // written up to here
  std::size_t input = Find(lines, kInput, 0), brand = Find(lines, kBrand, 0);
  std::size_t marker = lines.find(kLabelMarker);
  for (;;) {
    std::size_t marked = lines.size(), next = lines.size();  // the marked line, when one is left
    if (marker != std::string_view::npos) {
      const std::size_t feed_before = lines.rfind('\n', marker);
      marked = feed_before == std::string_view::npos || feed_before < from ? from : feed_before + 1;
      next = LineEnd(lines, marker);
    }
    while (std::min(input, brand) < marked) {
      const bool input_first = input < brand;
      const Keyword& keyword = input_first ? kInput : kBrand;
      std::size_t& found = input_first ? input : brand;
      out_.Write(lines.substr(from, found - from));
      out_.Write(keyword.label.french);
      from = found + keyword.label.source.size();
      found = Find(lines, keyword, from);
    }
    out_.Write(lines.substr(from, marked - from));
    if (marker == std::string_view::npos) return;
    WriteLabelled(lines.substr(marked, next - marked), true);
    from = next;
    if (input < next) input = Find(lines, kInput, next);
    if (brand < next) brand = Find(lines, kBrand, next);
    marker = lines.find(kLabelMarker, next);
  }
}

void PageTranslator::WriteLabelled(std::string_view line, bool body) {
  line_.assign(line);
  if (body) {
    ReplaceAll(line_, kInput.label.source, kInput.label.french, scratch_);
    ReplaceAll(line_, kBrand.label.source, kBrand.label.french, scratch_);
  }
  ApplyLabelTable(line_, scratch_);
  out_.Write(line_);
}

bool TranslatePage(ReadBytes read, WriteBytes write, std::size_t buffer_size) {
  const std::size_t size = std::max<std::size_t>(buffer_size, 1);
  const std::unique_ptr<char[]> buffer(new char[size]);
  BufferedWriter writer(std::move(write), size);
  PageTranslator translator(writer);
  std::string partial;  // the start of a line that goes on in the next read
  for (;;) {
    const std::ptrdiff_t got = read(buffer.get(), size);
    // A read error must not pass for the end of the page: the caller keeps the page.
    if (got < 0 || static_cast<std::size_t>(got) > size) return false;
    if (got == 0) break;
    std::string_view data(buffer.get(), static_cast<std::size_t>(got));
    if (!partial.empty()) {
      const std::size_t feed = data.find('\n');
      if (feed == std::string_view::npos) {
        partial.append(data);
        continue;
      }
      partial.append(data.substr(0, feed + 1));
      translator.Translate(partial);
      partial.clear();
      data.remove_prefix(feed + 1);
    }
    const std::size_t whole = LastLineStart(data);
    translator.Translate(data.substr(0, whole));
    partial.assign(data.substr(whole));
    if (writer.failed()) return false;
  }
  translator.Translate(partial);
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
  TranslatePage(read, write, buffer_size);  // memory never fails to read or write
  return text;
}


}  // namespace setupext
