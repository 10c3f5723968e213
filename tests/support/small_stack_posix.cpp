#include <pthread.h>

#include "support/small_stack.h"

namespace setupext::testing {
namespace {

void* Run(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return nullptr;
}

}  // namespace

bool RunWithSmallStack(const std::function<void()>& work) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  pthread_t thread;
  const bool started = pthread_attr_setstacksize(&attributes, kSmallStack) == 0 &&
                       pthread_create(&thread, &attributes, Run, const_cast<std::function<void()>*>(&work)) == 0;
  pthread_attr_destroy(&attributes);
  return started && pthread_join(thread, nullptr) == 0;
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
