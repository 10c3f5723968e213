// The running application probe in the real module against real windows of this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/module_under_test.h"
#include "support/test_host.h"

namespace setupext {
namespace {

using testing::TestHost;
using std::string_literals::operator""s;

constexpr const char* kFormsClass = "WindowsForms10.Window.8.app.0.x";
constexpr const char* kUpperFormsClass = "WINDOWSFORMS10.test";
constexpr const char* kOrdinaryClass = "OrdinaryFrame";
constexpr const char* kShortClass = "WindowsForm";
constexpr const char* kDialogClass = "#32770";

// A top-level (or child) window, destroyed when it goes out of scope. Never shown: the probe
// looks at hidden windows too.
class Window {
 public:
  Window(const char* class_name, const std::string& caption, HWND parent = nullptr)
      : handle_(CreateWindowExA(0, class_name, caption.c_str(), parent ? WS_CHILD : WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                100, parent, nullptr, GetModuleHandleA(nullptr), nullptr)) {}
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
  }

  void SetUp() override {
    probe_ = testing::ModuleOperation("IsVBNETAppRunning");
    ASSERT_NE(probe_, nullptr);
  }

  int Ask(const std::string& window_text) {
    TestHost host(4, 32, 8192);
    host.Set("WINDOWTEXT", window_text);
    return probe_(host.block());
  }

  testing::Operation probe_ = nullptr;
};

TEST_F(IsVBNETAppRunningTest, CaptionIsACaseSensitivePrefix) {
  Window window(kFormsClass, "Catalogue - document1");
  ASSERT_NE(window.get(), nullptr);
  EXPECT_EQ(Ask("Catalogue"), 1);
  EXPECT_EQ(Ask("Catalogue - document1"), 1);
  EXPECT_EQ(Ask("catalogue"), 0);
  EXPECT_EQ(Ask("Catalogue - document12"), 0);
  EXPECT_EQ(Ask("document1"), 0);
}

TEST_F(IsVBNETAppRunningTest, OnlyWindowsFormsClassesCountInAnyCase) {
  const struct {
    const char* class_name;
    int answer;
  } cases[] = {
      {kFormsClass, 1}, {kUpperFormsClass, 1}, {kOrdinaryClass, 0}, {kShortClass, 0}, {kDialogClass, 0},
  };
  for (const auto& c : cases) {
    Window window(c.class_name, "Inventaire 2");
    ASSERT_NE(window.get(), nullptr) << c.class_name;
    EXPECT_EQ(Ask("Inventaire"), c.answer) << c.class_name;
  }
}

TEST_F(IsVBNETAppRunningTest, AnEmptyTextAdmitsOnlyAnEmptyCaption) {
  Window captioned(kFormsClass, "Ledger");
  Window ordinary(kOrdinaryClass, "");
  ASSERT_NE(ordinary.get(), nullptr);
  EXPECT_EQ(Ask(""), 0);
  TestHost absent(4);
  EXPECT_EQ(probe_(absent.block()), 0);

  Window empty(kFormsClass, "");
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(Ask(""), 1);
  EXPECT_EQ(probe_(absent.block()), 1);
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

TEST_F(IsVBNETAppRunningTest, CaptionsAreReadTo1023Characters) {
  Window window(kFormsClass, std::string(1500, 'c'));
  ASSERT_NE(window.get(), nullptr);
  EXPECT_EQ(Ask(std::string(1023, 'c')), 1);
  EXPECT_EQ(Ask(std::string(1024, 'c')), 0);
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

}  // namespace
}  // namespace setupext
