#include <spawn.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "process.h"

extern char** environ;

namespace setupext {

std::string CurrentExecutable() {
  std::string self(4096, '\0');
  ssize_t length = readlink("/proc/self/exe", self.data(), self.size());
  self.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return self;
}

int RunProgram(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool RunsPosixTools() { return true; }

void SettleFileSystem() { sync(); }

bool HeldInMemory(const std::string& folder) {
  constexpr long kTmpfs = 0x01021994, kRamfs = static_cast<long>(0x858458f6);
  struct statfs info;
  return statfs(folder.c_str(), &info) == 0 && (info.f_type == kTmpfs || info.f_type == kRamfs);
}

// VmHWM belongs to this image alone; getrusage's figure can carry a parent's peak over exec.
std::uint64_t PeakResidentBytes() {
  if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    unsigned long long kilobytes = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status))
      found = std::sscanf(line, "VmHWM: %llu kB", &kilobytes) == 1;
    std::fclose(status);
    if (found) return kilobytes * 1024;
  }
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

}  // namespace setupext
