#include "host/host_variables.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_host.h"

namespace setupext {
namespace {

using testing::TestHost;

std::string Read(TestHost& host, std::string_view name) {
  TextVariable out;
  EXPECT_TRUE(out.Assign("stale"));
  EXPECT_EQ(GetHostVariable(*host.block(), name, out), HostRead::kValue) << name;
  return std::string(out.view());
}

TEST(GetHostVariable, AbsentAndEmptyBothReadAsEmpty) {
  TestHost host(4);
  EXPECT_EQ(Read(host, "MAINDIR"), "");
  host.Set("LANG", "");
  EXPECT_EQ(Read(host, "LANG"), "");
}

TEST(GetHostVariable, NamesCompareWithCaseAndFirstMatchWins) {
  TestHost host(4);
  host.PutRaw(0, std::string("%maindir%\0", 10), std::string("lower\0", 6));
  host.PutRaw(1, std::string("%MAINDIR%\0", 10), std::string("first\0", 6));
  host.PutRaw(2, std::string("%MAINDIR%\0", 10), std::string("second\0", 7));
  host.block()->count = 3;
  EXPECT_EQ(Read(host, "MAINDIR"), "first");
  EXPECT_EQ(Read(host, "maindir"), "lower");
  EXPECT_EQ(Read(host, "Maindir"), "");
}

TEST(GetHostVariable, ValueMustFitTheCallersBufferWhole) {
  TestHost host(4, 32, 8192);
  PathVariable out;
  host.Set("INIREG2", std::string(1023, 'a'));
  EXPECT_EQ(GetHostVariable(*host.block(), "INIREG2", out), HostRead::kValue);
  EXPECT_EQ(out.view(), std::string(1023, 'a'));
  host.Set("INIREG2", std::string(1024, 'b'));
  EXPECT_EQ(GetHostVariable(*host.block(), "INIREG2", out), HostRead::kDoesNotFit);
  EXPECT_EQ(out.view(), "");
  host.Set("WINDOWTEXT", std::string(4096, 'c'));  // the table's slots are wider than any buffer
  TextVariable text;
  EXPECT_EQ(GetHostVariable(*host.block(), "WINDOWTEXT", text), HostRead::kDoesNotFit);
}

// Peeking reads, in place, what a copy into a buffer of that size would hold: values at and
// past each buffer's size, an absent variable and an unterminated slot.
TEST(PeekHostVariable, ReadsWhatGetHostVariableCopiesInPlace) {
  TestHost host(3, 32, 8192);
  host.PutRaw(2, std::string("%OPEN%\0", 7), std::string(8192, 'x'));
  for (const std::size_t size : {0u, 1u, 1023u, 1024u, 4095u, 4096u}) {
    host.Set("V", std::string(size, 'v'));
    host.block()->count = 3;
    for (const char* name : {"V", "ABSENT", "OPEN"}) {
      TextVariable text;
      PathVariable path;
      std::string_view peeked, peeked_path;
      EXPECT_EQ(PeekHostVariable(*host.block(), name, kTextVariableBuffer, peeked), GetHostVariable(*host.block(), name, text));
      EXPECT_EQ(PeekHostVariable(*host.block(), name, kPathVariableBuffer, peeked_path), GetHostVariable(*host.block(), name, path));
      EXPECT_EQ(peeked, text.view()) << name << " " << size;
      EXPECT_EQ(peeked_path, path.view()) << name << " " << size;
    }
  }
  std::string_view peeked;
  host.Set("V", "in place");
  ASSERT_EQ(PeekHostVariable(*host.block(), "V", kTextVariableBuffer, peeked), HostRead::kValue);
  EXPECT_EQ(peeked.data(), host.value_slot(0)) << "a view of the slot, not a copy";
}

TEST(HostKey, IsBuiltInThirtyTwoBytes) {
  EXPECT_EQ(HostKey("LIBNUMAVAIL").view(), "%LIBNUMAVAIL%");
  EXPECT_EQ(HostKey(std::string(29, 'N')).view(), "%" + std::string(29, 'N') + "%");
  EXPECT_TRUE(HostKey(std::string(30, 'N')).empty());  // names no variable, never a cut one
  TestHost host(4, 64);
  const std::string long_name(30, 'N');
  host.PutRaw(0, "%" + long_name + "%" + '\0', std::string("set\0", 4));
  host.block()->count = 1;
  EXPECT_EQ(Read(host, long_name), "");
  EXPECT_FALSE(SetHostVariable(*host.block(), long_name, "x"));
  EXPECT_EQ(host.block()->count, 1u);
}

TEST(GetHostVariable, UnterminatedSlotsAreNeverReadPastTheirWidth) {
  // Slot 1 is the last of each area: a read past its width would hit the guard page.
  TestHost host(2, 16, 8);
  host.PutRaw(1, "%UNTERMINATED%xx", "12345678");
  host.block()->count = 2;
  EXPECT_EQ(Read(host, "UNTERMINATED"), "");  // the name never ends: it matches nothing

  host.PutRaw(1, std::string("%WINDOWTEXT%\0", 13), "12345678");
  TextVariable out;
  EXPECT_EQ(GetHostVariable(*host.block(), "WINDOWTEXT", out), HostRead::kDoesNotFit);
}

TEST(GetHostVariable, LiveSlotsStopAtCapacityEvenWhenCountIsLarger) {
  TestHost host(1);
  host.Set("A", "1");
  host.block()->count = 5;  // slots past capacity do not exist: reading them would fault
  EXPECT_EQ(Read(host, "A"), "1");
  EXPECT_EQ(Read(host, "B"), "");
}

TEST(GetHostVariable, TablesBeyondSixteenBitIndexesAreSearchedWhole) {
  constexpr std::uint32_t kSlots = 70000;
  TestHost host(kSlots, 16, 8);
  for (std::uint32_t i = 0; i + 1 < kSlots; ++i) host.PutRaw(i, std::string("%X%\0", 4), std::string("\0", 1));
  host.PutRaw(kSlots - 1, std::string("%LAST%\0", 7), std::string("found\0", 6));
  host.block()->count = kSlots;
  EXPECT_EQ(Read(host, "LAST"), "found");
}

TEST(SetHostVariable, AddsAtTheNextSlotWithPercentSigns) {
  TestHost host(4);
  host.Set("LIBNUMAVAIL", "3");
  EXPECT_EQ(host.block()->count, 1u);
  EXPECT_STREQ(host.name_slot(0), "%LIBNUMAVAIL%");
  EXPECT_EQ(Read(host, "LIBNUMAVAIL"), "3");
  host.Set("libnumavail", "4");  // another name: a second variable
  EXPECT_EQ(host.block()->count, 2u);
  EXPECT_EQ(Read(host, "LIBNUMAVAIL"), "3");
}

TEST(SetHostVariable, OverwritesTheFirstOfDuplicatesOnly) {
  TestHost host(4);
  host.PutRaw(0, std::string("%A%\0", 4), std::string("one\0", 4));
  host.PutRaw(1, std::string("%A%\0", 4), std::string("two\0", 4));
  host.block()->count = 2;
  host.Set("A", "new");
  EXPECT_STREQ(host.value_slot(0), "new");
  EXPECT_STREQ(host.value_slot(1), "two");
  EXPECT_EQ(host.block()->count, 2u);
}

TEST(SetHostVariable, FullTableDropsNewVariablesButUpdatesPresentOnes) {
  TestHost host(1);
  host.Set("A", "1");
  EXPECT_FALSE(SetHostVariable(*host.block(), "B", "2"));
  EXPECT_EQ(host.block()->count, 1u);
  host.Set("A", "changed");
  EXPECT_EQ(Read(host, "A"), "changed");
}

TEST(SetHostVariable, WritesNothingThatDoesNotFitItsSlot) {
  // Each slot is the last of its area, so a write past its width would fault.
  TestHost host(1, 12, 4);
  EXPECT_FALSE(SetHostVariable(*host.block(), "LIBNUMAVAIL", "1"));  // "%LIBNUMAVAIL%" is 13
  EXPECT_EQ(host.block()->count, 0u);
  EXPECT_FALSE(SetHostVariable(*host.block(), "N", "1234"));  // 4 bytes and NUL exceed 4
  EXPECT_EQ(host.block()->count, 0u);
  host.Set("N", "123");
  EXPECT_FALSE(SetHostVariable(*host.block(), "N", "1234"));
  EXPECT_EQ(Read(host, "N"), "123");

  TestHost exact(1, 12, 4);
  exact.Set("MAXNAMEXX", "abc");  // "%MAXNAMEXX%" and "abc" with their NULs fill the slots exactly
  EXPECT_EQ(Read(exact, "MAXNAMEXX"), "abc");
}

TEST(SetHostVariable, NeverTouchesTheHostWords) {
  TestHost host(2);
  host.Set("A", "1");
  host.Set("A", "2");
  EXPECT_EQ(Read(host, "A"), "2");
  EXPECT_EQ(host.block()->host_word1, 0xA5A5A5A5u);
  EXPECT_EQ(host.block()->host_word2, 0x5A5A5A5Au);
}

TEST(SetHostVariable, TableWithoutAreasTakesNothing) {
  HostVariableBlock block{};
  block.capacity = 4;
  block.name_width = 32;
  block.value_width = 32;
  EXPECT_FALSE(SetHostVariable(block, "A", "1"));
  TextVariable out;
  EXPECT_EQ(GetHostVariable(block, "A", out), HostRead::kValue);
  EXPECT_EQ(out.view(), "");
}

}  // namespace
}  // namespace setupext
