// The rule that recognises a running Windows Forms window by its caption and class name.
#include "probe/window_probe.h"

#include <gtest/gtest.h>

#include <string>

namespace setupext {
namespace {

TEST(CaptionBeginsWith, IsACaseSensitivePrefixTest) {
  const struct {
    std::string caption;
    std::string wanted;
    bool matches;
  } cases[] = {
      {"Catalogue - document1", "Catalogue", true},
      {"Catalogue", "Catalogue", true},
      {"Catalogue - document1", "catalogue", false},
      {"Catalogue", "Catalogue - document1", false},  // a caption shorter than the wanted text
      {"My Catalogue", "Catalogue", false},
      {"Cat\xE9logue", "Cat\xC9", false},
      {"", "Catalogue", false},
      {"", "", true},  // an empty wanted text admits only an empty caption
      {"Catalogue", "", false},
      {std::string(1023, 'c'), std::string(1023, 'c'), true},
      {std::string(1023, 'c'), std::string(1024, 'c'), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CaptionBeginsWith(c.caption, c.wanted), c.matches) << '"' << c.caption.substr(0, 30) << "\" / \""
                                                                 << c.wanted.substr(0, 30) << '"';
  }
}

TEST(IsWindowsFormsClass, WantsThePrefixInAnyAsciiCase) {
  const struct {
    std::string class_name;
    bool forms;
  } cases[] = {
      {"WindowsForms10.Window.8.app.0.x", true},
      {"WINDOWSFORMS10.test", true},
      {"windowsforms", true},
      {"WindowsForm", false},  // one character short
      {"WindowsFormz10", false},
      {"#32770", false},
      {"OrdinaryFrame", false},
      {"", false},
      {" WindowsForms10", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsWindowsFormsClass(c.class_name), c.forms) << c.class_name;
}

}  // namespace
}  // namespace setupext
