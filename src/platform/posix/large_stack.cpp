// A thread with a stack of a chosen size: std::thread cannot ask for one. The stack is only
// address space until touched, so a large one costs little when the work stays shallow.
#include <pthread.h>

#include <cstddef>

#include "platform/platform.h"

namespace brindle::platform {
namespace {

struct Job {
  void (*work)(void*);
  void* context;
};

void* run_job(void* arg) {
  const Job* job = static_cast<const Job*>(arg);
  job->work(job->context);
  return nullptr;
}

}  // namespace

bool run_with_stack(std::size_t stack_bytes, void (*work)(void*), void* context) {
  if (work == nullptr) return false;
  pthread_attr_t attr;
  if (::pthread_attr_init(&attr) != 0) return false;
  bool ok = ::pthread_attr_setstacksize(&attr, stack_bytes) == 0;
  pthread_t thread;
  Job job{work, context};
  ok = ok && ::pthread_create(&thread, &attr, &run_job, &job) == 0;
  ::pthread_attr_destroy(&attr);
  if (!ok) return false;
  ::pthread_join(thread, nullptr);
  return true;
}

}  // namespace brindle::platform
