// Line-at-a-time reading and buffered writing of page text. Both sides work through an
// abstract byte stream so the same code serves files and in-memory text.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace setupext {

// Large enough that a page costs few system calls, small enough for a 32-bit host's heap.
inline constexpr std::size_t kPageBufferSize = 64 * 1024;

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Bytes read, 0 at the end, -1 on a read error.
  virtual std::ptrdiff_t Read(char* buffer, std::size_t size) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all of the bytes or fails.
  virtual bool Write(const char* data, std::size_t size) = 0;
};

// Cuts a byte stream into lines, each ending after a line feed; the last may have none.
// Every other byte, 0 included, is an ordinary byte of its line. Lines have no length limit.
class LineReader {
 public:
  enum class Result { kLine, kEnd, kError };

  LineReader(ByteSource& source, std::size_t buffer_size = kPageBufferSize);
  // Replaces `line` with the next line. After kEnd or kError it keeps returning the same.
  Result Next(std::string& line);

 private:
  ByteSource& source_;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  Result finished_ = Result::kLine;  // kLine while the source may still have bytes
};

// Gathers small writes into large ones; the bytes that reach the sink are the same either way.
class BufferedWriter {
 public:
  BufferedWriter(ByteSink& sink, std::size_t buffer_size = kPageBufferSize);
  // False once any write to the sink has failed; nothing more is written after that.
  bool Write(std::string_view data);
  bool Flush();

 private:
  bool Drain();

  ByteSink& sink_;
  std::unique_ptr<char[]> buffer_;
  std::size_t size_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace setupext
