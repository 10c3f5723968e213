#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "support/file_contract.h"

namespace setupext::testing {
namespace {

const char* volatile hanging = "";

void Hung(int) {
  static const char kSays[] = "\nFAILED: still waiting on a call that must not block: ";
  (void)!write(STDERR_FILENO, kSays, sizeof kSays - 1);
  const char* what = hanging;
  (void)!write(STDERR_FILENO, what, std::strlen(what));
  (void)!write(STDERR_FILENO, "\n", 1);
  _exit(1);
}

}  // namespace

std::string NoFifoOrDeviceHere() { return {}; }

bool OpenPagesRefuseWriters() { return false; }

bool TruncateFile(const std::filesystem::path& path, std::uint64_t size) {
  return truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}

HangGuard::HangGuard(unsigned seconds, const char* what) {
  hanging = what;
  struct sigaction action {};
  action.sa_handler = Hung;
  sigaction(SIGALRM, &action, nullptr);
  alarm(seconds);
}

HangGuard::~HangGuard() { alarm(0); }

}  // namespace setupext::testing
