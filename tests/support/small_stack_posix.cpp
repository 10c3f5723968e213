#include <alloca.h>
#include <pthread.h>

#include "support/small_stack.h"

namespace setupext::testing {
namespace {

void* Run(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return nullptr;
}

// The work, and whether it came to its end.
struct Job {
  const std::function<void()>* work;
  bool finished = false;
};

// A thread's stack also holds its own thread data at the top, whose size varies: the thread
// gets a large stack, then uses up all of it but kSmallStack above its guard.
void* RunLeavingSmallStack(void* context) {
  Job& job = *static_cast<Job*>(context);
  pthread_attr_t attributes;
  void* low = nullptr;
  std::size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return nullptr;
  const bool known = pthread_attr_getstack(&attributes, &low, &size) == 0;
  pthread_attr_destroy(&attributes);
  if (!known) return nullptr;
  char here;
  const std::size_t left = static_cast<std::size_t>(&here - static_cast<char*>(low));
  if (left > kSmallStack) {
    volatile char* used = static_cast<char*>(alloca(left - kSmallStack));
    used[0] = 0;
  }
  (*job.work)();
  job.finished = true;
  return nullptr;
}

}  // namespace

bool RunWithSmallStack(const std::function<void()>& work) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  Job job{&work};
  pthread_t thread;
  const bool started = pthread_attr_setstacksize(&attributes, kSmallStack + 1024 * 1024) == 0 &&
                       pthread_create(&thread, &attributes, RunLeavingSmallStack, &job) == 0;
  pthread_attr_destroy(&attributes);
  return started && pthread_join(thread, nullptr) == 0 && job.finished;
}

bool RunTogether(const std::function<void()>& first, const std::function<void()>& second) {
  pthread_t threads[2];
  const std::function<void()>* works[2] = {&first, &second};
  int started = 0;
  for (; started < 2; ++started) {
    if (pthread_create(&threads[started], nullptr, Run, const_cast<std::function<void()>*>(works[started])) != 0) break;
  }
  for (int i = 0; i < started; ++i) pthread_join(threads[i], nullptr);
  return started == 2;
}

}  // namespace setupext::testing
