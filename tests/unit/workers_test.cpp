// Workers: stop hooks wake jobs that wait on something other than the stop flag.
#include "app/workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "support/poll.h"

namespace brindle {
namespace {

TEST(Workers, StopHooksWakeJobsWaitingOnSomethingElse) {
  Workers workers;
  std::mutex mutex;
  std::condition_variable changed;
  bool woken = false;
  bool removed_hook_ran = false;
  bool waiting = false;
  ASSERT_TRUE(workers.Start("waiter", [&] {
    const std::uint64_t hook = workers.AddStopHook([&] {
      std::lock_guard lock(mutex);
      woken = true;
      changed.notify_all();
    });
    ASSERT_NE(hook, 0u);
    std::unique_lock lock(mutex);
    waiting = true;
    changed.notify_all();
    // No timeout: only the hook ends this wait, so a hook not called hangs the test.
    changed.wait(lock, [&] { return woken; });
    lock.unlock();
    workers.RemoveStopHook(hook);
  }));
  const std::uint64_t removed = workers.AddStopHook([&] { removed_hook_ran = true; });
  workers.RemoveStopHook(removed);
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return waiting; });
  }
  workers.StopAndJoin();
  EXPECT_TRUE(woken);
  EXPECT_FALSE(removed_hook_ran);
  // Once stopping has begun a hook is refused (and never called).
  EXPECT_EQ(workers.AddStopHook([&] { removed_hook_ran = true; }), 0u);
  EXPECT_FALSE(removed_hook_ran);
}

#ifdef __linux__
// Jobs run a step below the main thread (the window's), and a job started by a job runs at the
// same level, not a step further down.
TEST(Workers, JobsRunOneStepBelowTheMainThreadHoweverStarted) {
  auto nice_of_this_thread = [] {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
  };
  std::atomic<int> outer{-100};
  std::atomic<int> inner{-100};
  {
    Workers workers;
    ASSERT_TRUE(workers.Start("outer", [&] {
      outer = nice_of_this_thread();
      (void)workers.Start("inner", [&] { inner = nice_of_this_thread(); });
    }));
    ASSERT_TRUE(test::Eventually([&] { return inner != -100; }));
  }
  const int main_thread = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::getpid()));
  EXPECT_EQ(outer, std::min(main_thread + 4, 19));
  EXPECT_EQ(inner, outer);
}
#endif
}  // namespace
}  // namespace brindle
