// Running programs, reading memory figures and telling where a folder lives, for the benchmark
// only (never linked into the module).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace setupext {

// Full path of the running executable.
std::string CurrentExecutable();

// Runs the program (argv[0] is searched on the PATH where the platform does so) and waits
// for it. Its exit status, or -1 when it could not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& argv);

// True where RunProgram can run the POSIX tools (find, sed) of the machine.
bool RunsPosixTools();

// Writes dirty file data out, so one timed step does not pay for the writes of the one
// before. Does nothing where the platform offers no such call to ordinary programs.
void SettleFileSystem();

// True where `folder` is on a file system held in memory (tmpfs); false where it is not or
// the platform cannot tell.
bool HeldInMemory(const std::string& folder);

// Highest resident memory of this process so far, in bytes; 0 when the platform cannot tell.
std::uint64_t PeakResidentBytes();

}  // namespace setupext
