#include "template/page_io.h"

#include <algorithm>
#include <utility>

namespace setupext {

BufferedWriter::BufferedWriter(WriteBytes write, std::size_t buffer_size)
    : write_(std::move(write)), buffer_(new char[std::max<std::size_t>(buffer_size, 1)]),
      size_(std::max<std::size_t>(buffer_size, 1)) {}

bool BufferedWriter::WriteAfterDrain(std::string_view data) {
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
  if (failed_) return false;
  if (used_ > 0 && !write_(buffer_.get(), used_)) failed_ = true;
  used_ = 0;
  return !failed_;
}

}  // namespace setupext
