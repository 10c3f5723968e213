#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "support/file_contract.h"

namespace setupext::testing {
namespace {

const char* volatile hanging = "";
int listing_calls_left = -1;  // -1: no listing is cut

// The next batch of entries as the system gives it, unless the listing is to be cut here.
// While a cut is armed each call gives one entry (the folder's offset set back to the next),
// so the calls count entries as the listing loop meets them.
ssize_t NextEntries(int folder, void* buffer, size_t size) {
  using Next = ssize_t (*)(int, void*, size_t);
  static const auto real = reinterpret_cast<Next>(dlsym(RTLD_NEXT, "getdents64"));
  if (listing_calls_left < 0) return real(folder, buffer, size);
  if (listing_calls_left == 0) {
    errno = EIO;
    return -1;
  }
  --listing_calls_left;
  const ssize_t got = real(folder, buffer, size);
  if (got <= 0) return got;
  const auto* first = static_cast<const dirent64*>(buffer);
  if (first->d_reclen < got && lseek(folder, first->d_off, SEEK_SET) < 0) return -1;
  return first->d_reclen;
}

void Hung(int) {
  static const char kSays[] = "\nFAILED: still waiting on a call that must not block: ";
  (void)!write(STDERR_FILENO, kSays, sizeof kSays - 1);
  const char* what = hanging;
  (void)!write(STDERR_FILENO, what, std::strlen(what));
  (void)!write(STDERR_FILENO, "\n", 1);
  _exit(1);
}

}  // namespace

ListingCut::ListingCut(int calls) { listing_calls_left = calls; }
ListingCut::~ListingCut() { listing_calls_left = -1; }

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

// Taken in place of the C library's own by this test program's code, the file layer's too.
extern "C" ssize_t getdents64(int folder, void* buffer, size_t size) {
  return setupext::testing::NextEntries(folder, buffer, size);
}
