// One owner for every kind of platform handle: the kind's traits say which value means "none"
// and how a handle is closed, so no caller tests for the invalid value or closes by hand.
#pragma once

namespace setupext {

// Traits: `using Native = ...;`, `static Native Invalid();`, `static void Close(Native);`.
template <typename Traits>
class UniqueHandle {
 public:
  using Native = typename Traits::Native;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Native handle) noexcept : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  bool is_open() const noexcept { return handle_ != Traits::Invalid(); }
  Native get() const noexcept { return handle_; }
  Native release() noexcept {
    Native handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }
  void reset(Native handle = Traits::Invalid()) noexcept {
    if (is_open()) Traits::Close(handle_);
    handle_ = handle;
  }
  // For out-parameters: closes what is held and lends the slot to the call that opens.
  Native* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  Native handle_ = Traits::Invalid();
};

}  // namespace setupext
