// Buffered writing of page text through a plain callable, so the same code serves files and
// in-memory text.
#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

namespace setupext {

// Large enough that a page costs few system calls, small enough for a 32-bit host's heap.
inline constexpr std::size_t kPageBufferSize = 64 * 1024;

// Reads up to `size` bytes into `buffer`: the count, 0 at the end, -1 on a read error.
using ReadBytes = std::function<std::ptrdiff_t(char* buffer, std::size_t size)>;
// Writes all of the bytes or fails.
using WriteBytes = std::function<bool(const char* data, std::size_t size)>;

// Gathers small writes into large ones; the bytes written are the same either way.
class BufferedWriter {
 public:
  BufferedWriter(WriteBytes write, std::size_t buffer_size = kPageBufferSize);
  // False once any write has failed; nothing more is written after that.
  bool Write(std::string_view data) {
    if (failed_ || data.size() > size_ - used_) return WriteAfterDrain(data);
    if (!data.empty()) std::memcpy(buffer_.get() + used_, data.data(), data.size());
    used_ += data.size();
    return true;
  }
  bool Flush();
  bool failed() const { return failed_; }

 private:
  bool WriteAfterDrain(std::string_view data);
  bool Drain();

  WriteBytes write_;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace setupext
