#include <windows.h>

#include <cstring>
#include <new>
#include <utility>

#include "platform/window_list.h"

namespace setupext {
namespace {

HWND Native(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// The text ends at its first NUL within the buffer, whatever length the call reported.
std::string TextOf(const char (&buffer)[kWindowTextBuffer]) {
  return std::string(buffer, strnlen(buffer, kWindowTextBuffer - 1));
}

struct Snapshot {
  std::vector<WindowHandle> windows;
  std::size_t most;
  bool out_of_memory;
};

// No exception may unwind through the system's enumeration: a failure is kept for after it.
BOOL CALLBACK AddToSnapshot(HWND window, LPARAM context) {
  auto& snapshot = *reinterpret_cast<Snapshot*>(context);
  try {
    snapshot.windows.push_back(reinterpret_cast<WindowHandle>(window));
  } catch (...) {
    snapshot.out_of_memory = true;
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

std::vector<WindowHandle> TopLevelWindows(std::size_t most) {
  // EnumWindows lists the windows first and then hands them over, so a window closed meanwhile
  // cannot end the walk early as it can with GetWindow(GW_HWNDNEXT).
  Snapshot snapshot{{}, most, false};
  if (most > 0) EnumWindows(AddToSnapshot, reinterpret_cast<LPARAM>(&snapshot));
  if (snapshot.out_of_memory) throw std::bad_alloc();
  return std::move(snapshot.windows);
}

// The caption is the copy the system keeps (InternalGetWindowText). GetWindowTextA would send
// WM_GETTEXT to a window of this process and wait for its thread: an installer's progress
// window, whose thread may be busy or waiting for this one, would hold the call or deadlock
// it. SendMessageTimeout bounds that wait but still pays it on each such window, and then
// misses a matching window whose thread is busy; the kept copy is what GetWindowTextA reads
// for windows of other processes anyway.
std::string WindowCaption(WindowHandle window) {
  wchar_t wide[kWindowTextBuffer];
  const int length = InternalGetWindowText(Native(window), wide, kWindowTextBuffer);
  if (length <= 0) return {};
  char buffer[kWindowTextBuffer] = {};
  WideCharToMultiByte(CP_ACP, 0, wide, CharactersFitting(wide, length, kWindowTextBuffer - 1), buffer,
                      kWindowTextBuffer - 1, nullptr, nullptr);
  return TextOf(buffer);
}

std::string WindowClassName(WindowHandle window) {
  char buffer[kWindowTextBuffer] = {};
  GetClassNameA(Native(window), buffer, sizeof buffer);
  return TextOf(buffer);
}

}  // namespace setupext
