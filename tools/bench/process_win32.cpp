#include <windows.h>
#include <psapi.h>

#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "process.h"

namespace setupext {
namespace {

// Process and thread handles: a null handle means none.
struct ProcessHandleTraits {
  using Native = HANDLE;
  static Native Invalid() { return nullptr; }
  static void Close(Native handle) { CloseHandle(handle); }
};
using UniqueProcessHandle = UniqueHandle<ProcessHandleTraits>;

// Quotes one argument the way the C runtime splits a command line back into arguments.
void AppendQuoted(std::string& line, const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
    line += arg;
    return;
  }
  line += '"';
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');
  line += '"';
}

}  // namespace

std::string CurrentExecutable() {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  return std::string(self, length < MAX_PATH ? length : 0);
}

int RunProgram(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::string line;
  for (const std::string& arg : argv) {
    if (!line.empty()) line += ' ';
    AppendQuoted(line, arg);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  const UniqueProcessHandle thread(process.hThread);
  const UniqueProcessHandle child(process.hProcess);
  WaitForSingleObject(child.get(), INFINITE);
  DWORD code = 0;
  const bool known = GetExitCodeProcess(child.get(), &code);
  return known ? static_cast<int>(code) : -1;
}

// Under Wine a Windows program cannot start the host's ELF programs.
bool RunsPosixTools() { return false; }

// Flushing a whole volume needs administrator rights on Windows.
void SettleFileSystem() {}

bool HeldInMemory(const std::string&) { return false; }

std::uint64_t PeakResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

}  // namespace setupext
