#include <windows.h>

#include <cstring>

#include "platform/window_list.h"

namespace setupext {
namespace {

HWND Native(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// The text ends at its first NUL among the `written` bytes, whatever length the call reported.
void EndAtFirstNul(WindowText& text, int written) {
  std::size_t bytes = written > 0 ? static_cast<std::size_t>(written) : 0;
  if (bytes > WindowText::capacity()) bytes = WindowText::capacity();
  const void* nul = std::memchr(text.data(), '\0', bytes);
  text.SetSize(nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()) : bytes);
}

struct Snapshot {
  GrowingArray<WindowHandle>& windows;
  std::size_t most;
  WindowListing listing;
};

// Called by the system for each window; a list that cannot grow ends the enumeration.
BOOL CALLBACK AddToSnapshot(HWND window, LPARAM context) {
  auto& snapshot = *reinterpret_cast<Snapshot*>(context);
  if (!snapshot.windows.Push(reinterpret_cast<WindowHandle>(window))) {
    snapshot.listing = WindowListing::kNoMemory;
    return FALSE;
  }
  return snapshot.windows.size() < snapshot.most;
}

// The bytes the first `count` characters of `wide` take in the ANSI code page.
int AnsiLength(const wchar_t* wide, int count) {
  return count == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, wide, count, nullptr, 0, nullptr, nullptr);
}

// How many of the `length` characters of `wide` fit in `bytes` bytes of ANSI text. A
// double-byte character that would be split at the end is left out, as GetWindowTextA does.
int CharactersFitting(const wchar_t* wide, int length, int bytes) {
  if (AnsiLength(wide, length) <= bytes) return length;
  int fits = 0;
  int too_many = length;
  while (too_many - fits > 1) {
    const int middle = fits + (too_many - fits) / 2;
    if (AnsiLength(wide, middle) <= bytes)
      fits = middle;
    else
      too_many = middle;
  }
  return fits;
}

}  // namespace

WindowListing ListTopLevelWindows(std::size_t most, GrowingArray<WindowHandle>& windows) noexcept {
  // EnumWindows lists the windows first and then hands them over, so a window closed meanwhile
  // cannot end the walk early as it can with GetWindow(GW_HWNDNEXT).
  windows.Clear();
  Snapshot snapshot{windows, most, WindowListing::kListed};
  if (most > 0) EnumWindows(AddToSnapshot, reinterpret_cast<LPARAM>(&snapshot));
  return snapshot.listing;
}

// The caption is the copy the system keeps (InternalGetWindowText). GetWindowTextA would send
// WM_GETTEXT to a window of this process and wait for its thread: an installer's progress
// window, whose thread may be busy or waiting for this one, would hold the call or deadlock
// it. SendMessageTimeout bounds that wait but still pays it on each such window, and then
// misses a matching window whose thread is busy; the kept copy is what GetWindowTextA reads
// for windows of other processes anyway.
WindowText WindowCaption(WindowHandle window) noexcept {
  wchar_t wide[kWindowTextBuffer];
  const int length = InternalGetWindowText(Native(window), wide, kWindowTextBuffer);
  WindowText caption;
  if (length <= 0) return caption;
  const int capacity = static_cast<int>(WindowText::capacity());
  EndAtFirstNul(caption, WideCharToMultiByte(CP_ACP, 0, wide, CharactersFitting(wide, length, capacity),
                                             caption.data(), capacity, nullptr, nullptr));
  return caption;
}

WindowText WindowClassName(WindowHandle window) noexcept {
  WindowText class_name;
  EndAtFirstNul(class_name, GetClassNameA(Native(window), class_name.data(), kWindowTextBuffer));
  return class_name;
}

}  // namespace setupext
