// A host may load and unload the module once per script step for as long as it runs: every
// cycle must give back what loading took (TLS slots, handles, memory).
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "loaded_module.h"
#include "support/scratch_registry.h"
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
  const char* operation;
  int answer;
};

std::string Beside(const char* file_name) {
  std::string path = ModuleBesideExecutable();
  return path.substr(0, path.find_last_of('\\') + 1) + file_name;
}

// One host step: load, one call, unload. The call's answer, or -1 when there was none.
int LoadCallUnload(const char* operation_name, testing::TestHost& host) {
  LoadedModule module;
  std::string error;
  if (!module.Load(Beside("setupext.dll"), &error)) return -1;
  Operation operation = module.FindOperation(operation_name);
  return operation ? operation(host.block()) : -1;
}

class ModuleLifetimeTest : public ::testing::TestWithParam<Step> {};

TEST_P(ModuleLifetimeTest, ManyLoadsLeaveNoTrace) {
  const Step step = GetParam();
  testing::ScratchRegistry registry;
  registry.Put(RegistryRoot::kCurrentUser, registry.path() + "\\Library", "LibName1", "REG_SZ",
               std::string_view("Clipart", 8));
  testing::TestHost host;
  host.Set("TEMPLPATH", "");  // the template operation then has nothing to do
  host.Set("WINDOWTEXT", "no window has this caption");  // every window is looked at
  host.Set("LIBNAME", "Sounds");  // the list is read to its end
  host.Set("INIREG2", registry.path());
  // The first cycles settle what the loader and the heap keep once per process.
  for (int i = 0; i < 10; ++i) ASSERT_EQ(LoadCallUnload(step.operation, host), step.answer) << "settling cycle " << i;
  const DWORD tls_before = NextTlsSlot();
  const std::uintptr_t handle_before = NextHandleValue();
  const SIZE_T memory_before = PrivateBytes();
  ASSERT_GT(memory_before, 0u) << "no memory figure";

  for (int i = 0; i < kCycles; ++i) ASSERT_EQ(LoadCallUnload(step.operation, host), step.answer) << "cycle " << i;

  EXPECT_EQ(NextTlsSlot(), tls_before);
  // A few handles of slack for what the system opens on its own.
  EXPECT_LE(NextHandleValue(), handle_before + 16 * sizeof(HANDLE));
  // A leak of even 64 bytes per cycle would pass 320 KiB.
  EXPECT_LE(PrivateBytes(), memory_before + 256 * 1024);
}

// A call that does nothing, one that lists the windows into growing memory, and one that
// opens keys and reads a value.
INSTANTIATE_TEST_SUITE_P(Operations, ModuleLifetimeTest,
                         ::testing::Values(Step{"fctLocaliseTemplate", 1}, Step{"IsVBNETAppRunning", 0},
                                           Step{"IsLibInstalled", 0}));

}  // namespace
}  // namespace setupext
