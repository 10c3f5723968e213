// The module's two kinds of text and data storage, neither of which can end the host:
// - FixedText<N> holds text whose size the product bounds (paths up to the walk's limit, host
//   values, captions, value names) in the object itself; an append that does not fit fails
//   and leaves the text as it was, so nothing is ever cut.
// - GrowingArray<T> holds what grows with the input (a folder's listing, a page's longest
//   line, a registry value); each growth is checked and may fail.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "platform/memory.h"

namespace setupext {

template <std::size_t N>
class FixedText {
 public:
  static_assert(N > 0);
  FixedText() noexcept { text_[0] = '\0'; }
  FixedText(const FixedText& other) noexcept { Copy(other); }
  FixedText& operator=(const FixedText& other) noexcept {
    if (this != &other) Copy(other);
    return *this;
  }

  static constexpr std::size_t capacity() noexcept { return N - 1; }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const char* c_str() const noexcept { return text_; }
  char* data() noexcept { return text_; }
  std::string_view view() const noexcept { return {text_, size_}; }
  operator std::string_view() const noexcept { return view(); }
  char back() const noexcept { return size_ ? text_[size_ - 1] : '\0'; }

  [[nodiscard]] bool Append(std::string_view text) noexcept {
    if (text.size() > capacity() - size_) return false;
    if (!text.empty()) std::memmove(text_ + size_, text.data(), text.size());
    size_ += text.size();
    text_[size_] = '\0';
    return true;
  }
  [[nodiscard]] bool Append(char c) noexcept { return Append(std::string_view(&c, 1)); }
  [[nodiscard]] bool Assign(std::string_view text) noexcept {
    Clear();
    return Append(text);
  }
  void Clear() noexcept { Truncate(0); }
  void Truncate(std::size_t size) noexcept {
    if (size < size_) size_ = size;
    text_[size_] = '\0';
  }
  // After writing up to capacity() bytes into data() directly: the length they make.
  void SetSize(std::size_t size) noexcept {
    size_ = size > capacity() ? capacity() : size;
    text_[size_] = '\0';
  }

 private:
  void Copy(const FixedText& other) noexcept {
    std::memcpy(text_, other.text_, other.size_ + 1);
    size_ = other.size_;
  }
  std::size_t size_ = 0;
  char text_[N];
};

// Elements are plain bytes-and-numbers: they are moved by memcpy as the array grows.
template <typename T>
class GrowingArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  GrowingArray() noexcept = default;
  GrowingArray(GrowingArray&& other) noexcept : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
  }
  GrowingArray& operator=(GrowingArray&& other) noexcept {
    if (this != &other) {
      Release(data_);
      data_ = other.data_;
      size_ = other.size_;
      capacity_ = other.capacity_;
      other.data_ = nullptr;
      other.size_ = other.capacity_ = 0;
    }
    return *this;
  }
  GrowingArray(const GrowingArray&) = delete;
  GrowingArray& operator=(const GrowingArray&) = delete;
  ~GrowingArray() { Release(data_); }

  std::size_t size() const noexcept { return size_; }
  std::size_t capacity() const noexcept { return capacity_; }
  bool empty() const noexcept { return size_ == 0; }
  T* data() noexcept { return data_; }
  const T* data() const noexcept { return data_; }
  T& operator[](std::size_t i) noexcept { return data_[i]; }
  const T& operator[](std::size_t i) const noexcept { return data_[i]; }
  T* begin() noexcept { return data_; }
  T* end() noexcept { return data_ + size_; }
  const T* begin() const noexcept { return data_; }
  const T* end() const noexcept { return data_ + size_; }
  T& back() noexcept { return data_[size_ - 1]; }

  // Room for `count` elements in all; false when the memory cannot be had.
  [[nodiscard]] bool Reserve(std::size_t count) noexcept {
    if (count <= capacity_) return true;
    if (count > kMostElements) return false;
    void* grown = TryReallocate(data_, count * sizeof(T));
    if (!grown) return false;
    data_ = static_cast<T*>(grown);
    capacity_ = count;
    return true;
  }
  // Room for `more` elements beyond the size, growing by half again at least.
  [[nodiscard]] bool ReserveMore(std::size_t more) noexcept {
    if (more <= capacity_ - size_) return true;
    if (more > kMostElements - size_) return false;
    std::size_t want = capacity_ + capacity_ / 2;
    if (want < size_ + more) want = size_ + more;
    if (want < 16) want = 16;
    if (want > kMostElements) want = kMostElements;
    return Reserve(want);
  }
  [[nodiscard]] bool Push(const T& value) noexcept {
    if (!ReserveMore(1)) return false;
    data_[size_++] = value;
    return true;
  }
  [[nodiscard]] bool Append(const T* values, std::size_t count) noexcept {
    if (!ReserveMore(count)) return false;
    if (count) std::memcpy(data_ + size_, values, count * sizeof(T));
    size_ += count;
    return true;
  }
  void Pop() noexcept {
    if (size_) --size_;
  }
  void Clear() noexcept { size_ = 0; }
  void Truncate(std::size_t size) noexcept {
    if (size < size_) size_ = size;
  }
  // After writing into the reserved room directly.
  void SetSize(std::size_t size) noexcept { size_ = size > capacity_ ? capacity_ : size; }

 private:
  static constexpr std::size_t kMostElements = (~std::size_t{0} / 2) / sizeof(T);
  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Bytes that grow with the input.
class ByteBuffer : public GrowingArray<char> {
 public:
  std::string_view view() const noexcept { return {data(), size()}; }
  [[nodiscard]] bool Append(std::string_view bytes) noexcept { return GrowingArray::Append(bytes.data(), bytes.size()); }
};

// Parts of a view that never throw, as substr may: a start past the end gives an empty part,
// a count past the end gives what there is.
template <typename Char>
constexpr std::basic_string_view<Char> From(std::basic_string_view<Char> view, std::size_t start) noexcept {
  return start >= view.size() ? std::basic_string_view<Char>() : std::basic_string_view<Char>(view.data() + start, view.size() - start);
}
template <typename Char>
constexpr std::basic_string_view<Char> Part(std::basic_string_view<Char> view, std::size_t start, std::size_t count) noexcept {
  const std::basic_string_view<Char> rest = From(view, start);
  return count < rest.size() ? std::basic_string_view<Char>(rest.data(), count) : rest;
}

// The longest path the module builds, in bytes: 1023 UTF-16 units at the most for a page and
// its final name, and a few more for the names only the module makes beside it, each unit at
// most three bytes in the layer's UTF-8 (a pair of units takes four).
inline constexpr std::size_t kPathBytes = 3 * (1023 + 16) + 1;
using PathText = FixedText<kPathBytes>;

}  // namespace setupext
