// What the file layer's contract tests need from the platform beyond the layer itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace setupext::testing {

// Why a folder of this platform holds no FIFO or device, so there is nothing to refuse;
// empty where it can hold them.
std::string NoFifoOrDeviceHere();

// Whether an open page keeps other programs from writing to it (share modes).
bool OpenPagesRefuseWriters();

// Cuts the file to `size` bytes through a handle of its own, as another program would.
// False when the system refuses.
bool TruncateFile(const std::filesystem::path& path, std::uint64_t size);

// While it lives, the system's next-entries call of a folder listing (getdents64, FindNextFileW)
// fails with an I/O error once `calls` more of them have been made, as a failing disk or a
// share that drops would: the layer's own listing loop meets a listing cut short.
class ListingCut {
 public:
  explicit ListingCut(int calls);
  ListingCut(const ListingCut&) = delete;
  ListingCut& operator=(const ListingCut&) = delete;
  ~ListingCut();
};

// Ends the process with a failure, naming `what`, when it is still alive `seconds` later:
// a call that hangs fails its test instead of holding the run. Disarmed when it goes.
class HangGuard {
 public:
  HangGuard(unsigned seconds, const char* what);
  HangGuard(const HangGuard&) = delete;
  HangGuard& operator=(const HangGuard&) = delete;
  ~HangGuard();

 private:
  void* state_ = nullptr;
};

}  // namespace setupext::testing
