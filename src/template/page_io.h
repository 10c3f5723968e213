// Line-at-a-time reading and buffered writing of page text. Both sides take plain callables,
// so the same code serves files and in-memory text.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace setupext {

// Large enough that a page costs few system calls, small enough for a 32-bit host's heap.
inline constexpr std::size_t kPageBufferSize = 64 * 1024;

// Reads up to `size` bytes into `buffer`: the count, 0 at the end, -1 on a read error.
using ReadBytes = std::function<std::ptrdiff_t(char* buffer, std::size_t size)>;
// Writes all of the bytes or fails.
using WriteBytes = std::function<bool(const char* data, std::size_t size)>;

// Cuts a byte stream into lines, each ending after a line feed; the last may have none.
// Every other byte, 0 included, is an ordinary byte of its line. Lines have no length limit.
class LineReader {
 public:
  enum class Result { kLine, kEnd, kError };

  LineReader(ReadBytes read, std::size_t buffer_size = kPageBufferSize);
  // Replaces `line` with the next line. After kEnd or kError it keeps returning the same.
  Result Next(std::string& line);

 private:
  ReadBytes read_;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  Result finished_ = Result::kLine;  // kLine while the source may still have bytes
};

// Gathers small writes into large ones; the bytes written are the same either way.
class BufferedWriter {
 public:
  BufferedWriter(WriteBytes write, std::size_t buffer_size = kPageBufferSize);
  // False once any write has failed; nothing more is written after that.
  bool Write(std::string_view data);
  bool Flush();

 private:
  bool Drain();

  WriteBytes write_;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace setupext
