// A host may load and unload the module once per script step for as long as it runs: every
// cycle must give back what loading took (TLS slots, handles, memory).
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "loaded_module.h"
#include "support/test_host.h"

namespace setupext {
namespace {

constexpr int kCycles = 5000;

// The index TlsAlloc hands out next: grows when a slot is taken and never freed.
DWORD NextTlsSlot() {
  DWORD slot = TlsAlloc();
  TlsFree(slot);
  return slot;
}

// The value of a fresh handle: freed handle values are reused, so it grows only when handles
// are left open.
std::uintptr_t NextHandleValue() {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(event);
  return reinterpret_cast<std::uintptr_t>(event);
}

SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PagefileUsage;
}

struct Step {
  const char* module;  // file name beside the test program
  const char* operation;
};

std::string Beside(const char* file_name) {
  std::string path = ModuleBesideExecutable();
  return path.substr(0, path.find_last_of('\\') + 1) + file_name;
}

// One host step: load, one call, unload.
bool LoadCallUnload(const Step& step, testing::TestHost& host) {
  LoadedModule module;
  std::string error;
  if (!module.Load(Beside(step.module), &error)) return false;
  Operation operation = module.FindOperation(step.operation);
  return operation != nullptr && operation(host.block()) == 1;
}

class ModuleLifetimeTest : public ::testing::TestWithParam<Step> {};

TEST_P(ModuleLifetimeTest, ManyLoadsLeaveNoTrace) {
  testing::TestHost host;
  host.Set("TEMPLPATH", "");  // the template operation then has nothing to do
  // The first cycles settle what the loader and the heap keep once per process.
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(LoadCallUnload(GetParam(), host)) << "settling cycle " << i;
  const DWORD tls_before = NextTlsSlot();
  const std::uintptr_t handle_before = NextHandleValue();
  const SIZE_T memory_before = PrivateBytes();
  ASSERT_GT(memory_before, 0u) << "no memory figure";

  for (int i = 0; i < kCycles; ++i) ASSERT_TRUE(LoadCallUnload(GetParam(), host)) << "cycle " << i;

  EXPECT_EQ(NextTlsSlot(), tls_before);
  // A few handles of slack for what the system opens on its own.
  EXPECT_LE(NextHandleValue(), handle_before + 16 * sizeof(HANDLE));
  // A leak of even 64 bytes per cycle would pass 320 KiB.
  EXPECT_LE(PrivateBytes(), memory_before + 256 * 1024);
}

// The real module on a call that does nothing, and a module on the same runtime whose call
// throws inside it (the real one throws only when memory runs out).
INSTANTIATE_TEST_SUITE_P(Modules, ModuleLifetimeTest,
                         ::testing::Values(Step{"setupext.dll", "fctLocaliseTemplate"},
                                           Step{"throwing_module.dll", "ThrowAndCatch"}));

}  // namespace
}  // namespace setupext
