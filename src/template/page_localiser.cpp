#include "template/page_localiser.h"

#include <algorithm>
#include <cstring>

#include "template/label_table.h"

namespace setupext {
namespace {

constexpr std::string_view kHeaderEnd = "PAGE {";
constexpr char kLabelMarker = '\xFE';

class FileSource final : public ByteSource {
 public:
  FileSource(Files& files, FileHandle file) : files_(files), file_(file) {}
  std::ptrdiff_t Read(char* buffer, std::size_t size) override { return files_.Read(file_, buffer, size); }

 private:
  Files& files_;
  FileHandle file_;
};

class FileSink final : public ByteSink {
 public:
  FileSink(Files& files, FileHandle file) : files_(files), file_(file) {}
  bool Write(const char* data, std::size_t size) override { return files_.Write(file_, data, size); }

 private:
  Files& files_;
  FileHandle file_;
};

class TextSource final : public ByteSource {
 public:
  explicit TextSource(std::string_view text) : rest_(text) {}
  std::ptrdiff_t Read(char* buffer, std::size_t size) override {
    std::size_t take = std::min(size, rest_.size());
    if (take > 0) std::memcpy(buffer, rest_.data(), take);
    rest_.remove_prefix(take);
    return static_cast<std::ptrdiff_t>(take);
  }

 private:
  std::string_view rest_;
};

class TextSink final : public ByteSink {
 public:
  explicit TextSink(std::string& text) : text_(text) {}
  bool Write(const char* data, std::size_t size) override {
    text_.append(data, size);
    return true;
  }

 private:
  std::string& text_;
};

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

  UniqueFile in(files, files.OpenForReading(source));
  if (!in.is_open()) return false;

  FileSource reader(files, in.get());
  FileSink writer(files, out.get());
  if (!TranslatePage(reader, writer)) return false;

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

bool TranslatePage(ByteSource& source, ByteSink& sink, std::size_t buffer_size) {
  LineReader reader(source, buffer_size);
  BufferedWriter writer(sink, buffer_size);
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
  TextSource source(page);
  TextSink sink(text);
  TranslatePage(source, sink, buffer_size);  // memory never fails to read or write
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
