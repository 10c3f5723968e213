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

// The next entry as the C library gives it, unless the listing is to be cut here.
template <typename Entry>
Entry* NextEntry(DIR* dir, const char* name) {
  if (listing_calls_left == 0) {
    errno = EIO;
    return nullptr;
  }
  if (listing_calls_left > 0) --listing_calls_left;
  using Next = Entry* (*)(DIR*);
  static const auto real = reinterpret_cast<Next>(dlsym(RTLD_NEXT, name));
  return real(dir);
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
extern "C" dirent* readdir(DIR* dir) { return setupext::testing::NextEntry<dirent>(dir, "readdir"); }
extern "C" dirent64* readdir64(DIR* dir) { return setupext::testing::NextEntry<dirent64>(dir, "readdir64"); }
