#include "template/page_localiser.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "template/label_table.h"

namespace setupext {
namespace {

constexpr std::string_view kHeaderEnd = "PAGE {";
constexpr char kLabelMarker = '\xFE';

// Removes the output this call created unless the page was localised. Declared before the
// output's UniqueFile, so the file is closed before it is removed.
class CreatedOutput {
 public:
  CreatedOutput(Files& files, const std::string& path) : files_(files), path_(path) {}
  CreatedOutput(const CreatedOutput&) = delete;
  CreatedOutput& operator=(const CreatedOutput&) = delete;
  ~CreatedOutput() {
    if (kept_) return;
    try {
      files_.Remove(path_);
    } catch (...) {
      // Nothing more can be done from here, and nothing may escape a destructor.
    }
  }
  void Keep() { kept_ = true; }

 private:
  Files& files_;
  const std::string& path_;
  bool kept_ = false;
};

bool LocalisePageOrThrow(Files& files, const std::string& source, const std::string& output) {
  files.SetQuietErrorMode();
  // Create-new only: a file already bearing the name is someone else's and stays as it is.
  FileHandle created = files.CreateNew(output);
  if (created == kNoFile) return false;
  CreatedOutput guard(files, output);
  UniqueFile out(files, created);

  UniqueFile in(files, files.OpenPage(source));
  if (!in.is_open()) return false;

  const auto read = [&](char* buffer, std::size_t size) { return files.Read(in.get(), buffer, size); };
  const auto write = [&](const char* data, std::size_t size) { return files.Write(out.get(), data, size); };
  if (!TranslatePage(read, write)) return false;

  // Both must close cleanly: a failed close of the output may hide lost data, and an open
  // page cannot be deleted.
  bool in_closed = in.Close();
  bool out_closed = out.Close();
  if (!in_closed || !out_closed) return false;
  // A page that cannot be deleted keeps its text; the output must not be left beside it.
  if (!files.Remove(source)) return false;
  guard.Keep();
  return true;
}

}  // namespace

void PageTranslator::Translate(std::string& line) {
  switch (stage_) {
    case Stage::kHeader:
      if (line.find(kHeaderEnd) != std::string::npos) stage_ = Stage::kTitle;
      return;
    case Stage::kTitle:
      ApplyLabelTable(line);
      stage_ = Stage::kBody;
      return;
    case Stage::kBody:
      ReplaceAll(line, "Input", "Champ");
      ReplaceAll(line, "PowerByTORVEKEN", "PowerByTORVEKFR");
      if (line.find(kLabelMarker) != std::string::npos) ApplyLabelTable(line);
      return;
  }
}

bool TranslatePage(ReadBytes read, WriteBytes write, std::size_t buffer_size) {
  LineReader reader(std::move(read), buffer_size);
  BufferedWriter writer(std::move(write), buffer_size);
  PageTranslator translator;
  std::string line;
  LineReader::Result result;
  while ((result = reader.Next(line)) == LineReader::Result::kLine) {
    translator.Translate(line);
    if (!writer.Write(line)) return false;
  }
  return result == LineReader::Result::kEnd && writer.Flush();
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

bool LocalisePage(Files& files, const std::string& source, const std::string& output) {
  try {
    return LocalisePageOrThrow(files, source, output);
  } catch (...) {
    // Memory ran out or a file layer threw: the guards have already put things back.
    return false;
  }
}

}  // namespace setupext
