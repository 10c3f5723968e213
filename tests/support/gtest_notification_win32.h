// GoogleTest's start signal for the threads it creates, on a Windows event: the win32-thread
// runtime has no std::mutex or std::condition_variable, which GoogleTest's own version uses.
// Included ahead of every source that sees GoogleTest's headers.
#pragma once

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  // Lets every waiting thread go; called from the controller thread.
  void Notify();
  // Blocks until Notify has been called.
  void WaitForNotification();

 private:
  void* event_;  // HANDLE, kept opaque so that this header needs no <windows.h>
};

}  // namespace testing::internal
