// A thread with a stack of a chosen size: std::thread cannot ask for one. The size is the
// reservation (address space), committed only as the work goes deeper.
#include <cstddef>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace brindle::platform {
namespace {

struct Job {
  void (*work)(void*);
  void* context;
};

DWORD WINAPI run_job(LPVOID arg) {
  const Job* job = static_cast<const Job*>(arg);
  job->work(job->context);
  return 0;
}

}  // namespace

bool run_with_stack(std::size_t stack_bytes, void (*work)(void*), void* context) {
  if (work == nullptr) return false;
  Job job{work, context};
  win::Handle thread(::CreateThread(nullptr, stack_bytes, &run_job, &job,
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread.ok()) return false;
  ::WaitForSingleObject(thread.get(), INFINITE);
  return true;
}

}  // namespace brindle::platform
