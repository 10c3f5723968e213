// The running application probe in the real module against real windows of this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/allocation_faults.h"
#include "probe/window_probe.h"
#include "support/module_under_test.h"
#include "support/test_host.h"

namespace setupext {
namespace {

using testing::TestHost;
using std::string_literals::operator""s;

constexpr const char* kFormsClass = "WindowsForms10.Window.8.app.0.x";
constexpr const wchar_t* kWideFormsClass = L"WindowsForms10.Window.8.app.0.w";
constexpr const char* kUpperFormsClass = "WINDOWSFORMS10.test";
constexpr const char* kOrdinaryClass = "OrdinaryFrame";
constexpr const char* kShortClass = "WindowsForm";
constexpr const char* kDialogClass = "#32770";

// Every wait of a helper thread ends after this, so a call that waits for one ends too.
constexpr DWORD kWatchdogMs = 10000;

// A top-level (or child) window, destroyed when it goes out of scope. Never shown: the probe
// looks at hidden windows too.
class Window {
 public:
  Window(const char* class_name, const std::string& caption, HWND parent = nullptr)
      : handle_(CreateWindowExA(0, class_name, caption.c_str(), parent ? WS_CHILD : WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                100, parent, nullptr, GetModuleHandleA(nullptr), nullptr)) {}
  // A caption kept as given, whatever the ANSI code page can hold.
  Window(const wchar_t* class_name, const std::wstring& caption)
      : handle_(CreateWindowExW(0, class_name, caption.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr)) {}
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window() { Destroy(); }
  HWND get() const { return handle_; }
  void Destroy() {
    if (handle_) DestroyWindow(handle_);
    handle_ = nullptr;
  }

 private:
  HWND handle_;
};

void ServePendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

// A Forms window whose own thread serves no message while the probe runs, as an installer's
// progress thread that is busy (it sleeps) or that waits for the thread running the script.
class UnservedFormsWindow {
 public:
  enum class Blocking { kSleeps, kWaitsForCaller };

  UnservedFormsWindow(const char* caption, Blocking blocking)
      : caption_(caption),
        blocking_(blocking),
        ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        caller_done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        thread_(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {}
  UnservedFormsWindow(const UnservedFormsWindow&) = delete;
  UnservedFormsWindow& operator=(const UnservedFormsWindow&) = delete;
  ~UnservedFormsWindow() {
    Release();
    for (HANDLE handle : {thread_, caller_done_, ready_})
      if (handle) CloseHandle(handle);
  }

  bool Ready() const { return thread_ && WaitForSingleObject(ready_, kWatchdogMs) == WAIT_OBJECT_0 && made_; }

  // Ends the thread's wait and its window. True when the thread was still waiting, that is
  // nothing before made it serve its messages.
  bool Release() {
    if (!thread_ || released_) return woken_;
    released_ = true;
    if (blocking_ == Blocking::kSleeps)
      QueueUserAPC(WakeUp, thread_, 0);
    else
      SetEvent(caller_done_);
    WaitForSingleObject(thread_, INFINITE);
    return woken_;
  }

 private:
  static void CALLBACK WakeUp(ULONG_PTR) {}

  static DWORD WINAPI Run(void* context) {
    auto& self = *static_cast<UnservedFormsWindow*>(context);
    HWND window = CreateWindowExA(0, kFormsClass, self.caption_, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    self.made_ = window != nullptr;
    SetEvent(self.ready_);
    if (!window) return 0;
    if (self.blocking_ == Blocking::kSleeps)
      self.woken_ = SleepEx(kWatchdogMs, TRUE) == WAIT_IO_COMPLETION;
    else
      self.woken_ = WaitForSingleObject(self.caller_done_, kWatchdogMs) == WAIT_OBJECT_0;
    ServePendingMessages();
    DestroyWindow(window);
    return 0;
  }

  const char* caption_;
  Blocking blocking_;
  HANDLE ready_;
  HANDLE caller_done_;
  std::atomic<bool> made_{false};
  std::atomic<bool> woken_{false};
  bool released_ = false;
  HANDLE thread_;  // last: the thread starts once every other member exists
};

// Another thread that opens and closes top-level windows, above the existing ones, until the
// object goes out of scope.
class WindowChurn {
 public:
  WindowChurn() : thread_(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {}
  WindowChurn(const WindowChurn&) = delete;
  WindowChurn& operator=(const WindowChurn&) = delete;
  ~WindowChurn() {
    stop_ = true;
    if (!thread_) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }

  long opened() const { return opened_; }
  bool WaitForFirstWindows() const {
    for (DWORD waited = 0; opened_ == 0 && thread_ && waited < kWatchdogMs; waited += 10) Sleep(10);
    return opened_ > 0;
  }

 private:
  static DWORD WINAPI Run(void* context) {
    auto& self = *static_cast<WindowChurn*>(context);
    while (!self.stop_) {
      HWND batch[8];
      for (HWND& window : batch) {
        window = CreateWindowExA(0, kOrdinaryClass, "Passing by", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        if (window) ++self.opened_;
      }
      ServePendingMessages();
      for (HWND window : batch)
        if (window) DestroyWindow(window);
    }
    return 0;
  }

  std::atomic<bool> stop_{false};
  std::atomic<long> opened_{0};
  HANDLE thread_;  // last: the thread starts once every other member exists
};

// The ANSI form of a wide text in this process's code page, uncut.
std::string Ansi(const std::wstring& wide) {
  std::string text(wide.size() * 4, '\0');
  text.resize(WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                                  static_cast<int>(text.size()), nullptr, nullptr));
  return text;
}

class IsVBNETAppRunningTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* name : {kFormsClass, kUpperFormsClass, kOrdinaryClass, kShortClass}) {
      WNDCLASSA window_class{};
      window_class.lpfnWndProc = DefWindowProcA;
      window_class.hInstance = GetModuleHandleA(nullptr);
      window_class.lpszClassName = name;
      RegisterClassA(&window_class);
    }
    WNDCLASSW wide_class{};
    wide_class.lpfnWndProc = DefWindowProcW;
    wide_class.hInstance = GetModuleHandleA(nullptr);
    wide_class.lpszClassName = kWideFormsClass;
    RegisterClassW(&wide_class);
  }

  void SetUp() override {
    probe_ = testing::ModuleOperation("IsVBNETAppRunning");
    ASSERT_NE(probe_, nullptr);
  }

  // The answer for WINDOWTEXT set to the text, or absent.
  int Ask(const std::optional<std::string>& window_text) {
    TestHost host(4, 32, 8192);
    if (window_text) host.Set("WINDOWTEXT", *window_text);
    return probe_(host.block());
  }

  testing::Operation probe_ = nullptr;
};

// What the module reads of each window (caption, class name) and how the rules meet: one row
// per window set, windows made in order, so the last is at the top.
TEST_F(IsVBNETAppRunningTest, AnswersByCaptionPrefixAndFormsClass) {
  struct Made {
    const char* class_name;
    std::string caption;
  };
  const struct {
    std::vector<Made> windows;
    std::optional<std::string> wanted;
    int answer;
  } cases[] = {
      {{{kFormsClass, "Catalogue - document1"}}, "Catalogue", 1},
      {{{kFormsClass, "Catalogue - document1"}}, "Catalogue - document1", 1},
      {{{kFormsClass, "Catalogue - document1"}}, "catalogue", 0},
      {{{kFormsClass, "Catalogue - document1"}}, "Catalogue - document12", 0},
      {{{kFormsClass, "Catalogue - document1"}}, "document1", 0},
      {{{kUpperFormsClass, "Inventaire 2"}}, "Inventaire", 1},
      {{{kShortClass, "Inventaire 2"}}, "Inventaire", 0},
      {{{kDialogClass, "Inventaire 2"}}, "Inventaire", 0},
      // A window with the caption but not the class does not end the search.
      {{{kFormsClass, "Inventaire 2"}, {kOrdinaryClass, "Inventaire 2"}}, "Inventaire", 1},
      // An empty or absent text admits only an empty caption.
      {{{kFormsClass, "Ledger"}, {kOrdinaryClass, ""}}, "", 0},
      {{{kFormsClass, "Ledger"}, {kOrdinaryClass, ""}}, std::nullopt, 0},
      {{{kFormsClass, ""}}, "", 1},
      {{{kFormsClass, ""}}, std::nullopt, 1},
  };
  for (const auto& c : cases) {
    std::vector<std::unique_ptr<Window>> windows;
    for (const Made& made : c.windows) {
      windows.push_back(std::make_unique<Window>(made.class_name, made.caption));
      ASSERT_NE(windows.back()->get(), nullptr) << made.class_name;
    }
    EXPECT_EQ(Ask(c.wanted), c.answer) << c.windows.back().class_name << " \"" << c.windows.back().caption
                                       << "\" asked \"" << c.wanted.value_or("(absent)") << '"';
  }
}

TEST_F(IsVBNETAppRunningTest, ChildWindowsAreNeverExamined) {
  Window parent(kOrdinaryClass, "Workbench");
  Window child(kFormsClass, "Nested Catalogue", parent.get());
  ASSERT_NE(child.get(), nullptr);
  EXPECT_EQ(Ask("Nested"), 0);
}

TEST_F(IsVBNETAppRunningTest, ADestroyedWindowIsGone) {
  Window window(kFormsClass, "Short-lived");
  ASSERT_NE(window.get(), nullptr);
  EXPECT_EQ(Ask("Short-lived"), 1);
  window.Destroy();
  EXPECT_EQ(Ask("Short-lived"), 0);
}

// A caption is read as GetWindowTextA reads it into a 1024-byte buffer: at most 1023 bytes,
// and never ending inside a double-byte character. The program runs once more under a
// double-byte code page, named by SETUPEXT_EXPECT_ACP.
TEST_F(IsVBNETAppRunningTest, LongCaptionsAreCutAsGetWindowTextCutsThem) {
  if (const char* code_page = std::getenv("SETUPEXT_EXPECT_ACP")) {
    ASSERT_EQ(GetACP(), std::strtoul(code_page, nullptr, 10));
  }
  const std::wstring captions[] = {
      std::wstring(1500, L'c'),
      std::wstring(1500, L'\xE9'),
      std::wstring(1500, L'\x3042'),  // double-byte in code page 932
      L"a" + std::wstring(1500, L'\x3042'),
  };
  for (const std::wstring& caption : captions) {
    Window window(kWideFormsClass, caption);
    ASSERT_NE(window.get(), nullptr);
    char buffer[1024] = {};
    GetWindowTextA(window.get(), buffer, sizeof buffer);
    const std::string cut(buffer, strnlen(buffer, sizeof buffer));
    const std::string whole = Ansi(caption);
    ASSERT_GE(cut.size(), 1022u);
    ASSERT_TRUE(whole.starts_with(cut));
    EXPECT_EQ(Ask(cut), 1) << "starting with " << whole.substr(0, 4);
    EXPECT_EQ(Ask(whole.substr(0, cut.size() + 1)), 0) << "starting with " << whole.substr(0, 4);
  }
}

// A WINDOWTEXT that does not fit is refused, never taken as empty or cut.
TEST_F(IsVBNETAppRunningTest, ATextThatDoesNotFitMatchesNothing) {
  Window empty(kFormsClass, "");
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(Ask(std::string(4096, 'c')), 0);

  TestHost host(2, 32, 64);  // WINDOWTEXT in the last slot, with no NUL in its width
  host.PutRaw(1, "%WINDOWTEXT%\0"s, std::string(64, 'c'));
  host.block()->count = 2;
  EXPECT_EQ(probe_(host.block()), 0);
}

// The probe never waits for a window's thread: a window of this process whose thread serves
// no message is still found, and the call ends while that thread still waits.
TEST_F(IsVBNETAppRunningTest, AWindowWhoseThreadServesNoMessageIsFoundWithoutWaitingForIt) {
  using Blocking = UnservedFormsWindow::Blocking;
  for (Blocking blocking : {Blocking::kSleeps, Blocking::kWaitsForCaller}) {
    const char* how = blocking == Blocking::kSleeps ? "it sleeps" : "it waits for the caller";
    UnservedFormsWindow window("Progress - copying files", blocking);
    ASSERT_TRUE(window.Ready()) << how;
    EXPECT_EQ(Ask("Progress"), 1) << how;
    EXPECT_TRUE(window.Release()) << "the call waited for the window's thread (" << how << ")";
  }
}

TEST_F(IsVBNETAppRunningTest, AWindowThatStaysOpenIsFoundWhileOthersComeAndGo) {
  Window stays(kFormsClass, "Ledger - stays open");
  ASSERT_NE(stays.get(), nullptr);
  WindowChurn churn;
  ASSERT_TRUE(churn.WaitForFirstWindows());
  const long opened_before = churn.opened();
  int found = 0;
  for (int call = 0; call < 50; ++call) found += Ask("Ledger");
  EXPECT_GT(churn.opened(), opened_before) << "no window came or went during the calls";
  EXPECT_EQ(found, 50);
}

// The probe's own code with each growth of the window list failing, once and from then on: a
// list it could not take whole finds nothing, and the call still answers.
TEST_F(IsVBNETAppRunningTest, AWindowListThatCannotGrowFindsNothing) {
  // More windows than the list's first room, so it grows more than once.
  std::vector<std::unique_ptr<Window>> others;
  for (int i = 0; i < 40; ++i) others.push_back(std::make_unique<Window>(kOrdinaryClass, "Other"));
  Window window(kFormsClass, "Catalogue - document1");
  ASSERT_NE(window.get(), nullptr);
  TestHost host(4);
  host.Set("WINDOWTEXT", "Catalogue");
  const auto find = [&](int fail_at, bool persistent) {
    testing::FailAllocationsFrom(fail_at, persistent);
    const bool found = FindFormsWindow(*host.block());
    return std::make_pair(found, testing::FailAllocationsFrom(0, false));
  };
  const auto [found, growths] = find(0, false);
  ASSERT_TRUE(found);
  ASSERT_GE(growths, 2);
  for (const bool persistent : {false, true}) {
    for (int n = 1; n <= growths; ++n) EXPECT_FALSE(find(n, persistent).first) << "growth " << n;
  }
}

}  // namespace
}  // namespace setupext
