#include "template/page_io.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace setupext {

LineReader::LineReader(ReadBytes read, std::size_t buffer_size)
    : read_(std::move(read)), buffer_(new char[std::max<std::size_t>(buffer_size, 1)]),
      size_(std::max<std::size_t>(buffer_size, 1)) {}

LineReader::Result LineReader::Next(std::string& line) {
  line.clear();
  if (finished_ != Result::kLine) return finished_;
  for (;;) {
    if (begin_ == end_) {
      std::ptrdiff_t got = read_(buffer_.get(), size_);
      if (got < 0 || static_cast<std::size_t>(got) > size_) {
        // A read error must not pass for the end of the page: the caller keeps the page.
        line.clear();
        return finished_ = Result::kError;
      }
      if (got == 0) {
        finished_ = Result::kEnd;
        return line.empty() ? Result::kEnd : Result::kLine;
      }
      begin_ = 0;
      end_ = static_cast<std::size_t>(got);
    }
    const char* start = buffer_.get() + begin_;
    const void* feed = std::memchr(start, '\n', end_ - begin_);
    std::size_t take = feed ? static_cast<std::size_t>(static_cast<const char*>(feed) - start) + 1
                            : end_ - begin_;
    line.append(start, take);
    begin_ += take;
    if (feed) return Result::kLine;
  }
}

BufferedWriter::BufferedWriter(WriteBytes write, std::size_t buffer_size)
    : write_(std::move(write)), buffer_(new char[std::max<std::size_t>(buffer_size, 1)]),
      size_(std::max<std::size_t>(buffer_size, 1)) {}

bool BufferedWriter::Write(std::string_view data) {
  if (failed_) return false;
  if (data.size() <= size_ - used_) {
    std::memcpy(buffer_.get() + used_, data.data(), data.size());
    used_ += data.size();
    return true;
  }
  if (!Drain()) return false;
  if (data.size() >= size_) {
    // Too long to gather: write it as it is rather than in buffer-sized pieces.
    if (!write_(data.data(), data.size())) failed_ = true;
    return !failed_;
  }
  std::memcpy(buffer_.get(), data.data(), data.size());
  used_ = data.size();
  return true;
}

bool BufferedWriter::Flush() { return !failed_ && Drain(); }

bool BufferedWriter::Drain() {
  if (used_ > 0 && !write_(buffer_.get(), used_)) failed_ = true;
  used_ = 0;
  return !failed_;
}

}  // namespace setupext
