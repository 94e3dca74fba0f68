// Workers: stop hooks wake jobs that wait on something other than the stop flag.
#include "app/workers.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

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

}  // namespace
}  // namespace brindle
