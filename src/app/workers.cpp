#include "app/workers.h"

#include "platform/platform.h"

namespace brindle {

Workers::~Workers() { StopAndJoin(); }

bool Workers::Start(const std::string& name, std::function<void()> job) {
  std::lock_guard lock(mutex_);
  if (Stopping()) return false;
  ReapLocked();
  Job& slot = jobs_.emplace_back();
  slot.name = name;
  slot.thread = std::thread([&slot, job = std::move(job)] {
    platform::lower_this_thread_priority();  // the window's thread comes first
    job();
    slot.done.store(true, std::memory_order_release);
  });
  return true;
}

std::size_t Workers::Running() {
  std::lock_guard lock(mutex_);
  ReapLocked();
  return jobs_.size();
}

void Workers::ReapLocked() {
  for (auto it = jobs_.begin(); it != jobs_.end();) {
    if (it->done.load(std::memory_order_acquire)) {
      it->thread.join();
      it = jobs_.erase(it);
    } else {
      ++it;
    }
  }
}

std::uint64_t Workers::AddStopHook(std::function<void()> hook) {
  std::lock_guard lock(hooks_mutex_);
  if (Stopping()) return 0;
  const std::uint64_t id = next_hook_++;
  stop_hooks_.emplace(id, std::move(hook));
  return id;
}

void Workers::RemoveStopHook(std::uint64_t id) {
  std::lock_guard lock(hooks_mutex_);
  stop_hooks_.erase(id);
}

void Workers::StopAndJoin() {
  stopping_.store(true, std::memory_order_release);
  {
    // Set before the lock: a hook added from now on is refused, one added before is called here.
    std::lock_guard lock(hooks_mutex_);
    for (auto& [id, hook] : stop_hooks_) hook();
    stop_hooks_.clear();
  }
  std::list<Job> jobs;
  {
    std::lock_guard lock(mutex_);
    jobs.splice(jobs.end(), jobs_);
  }
  for (auto& job : jobs) {
    if (job.thread.joinable()) job.thread.join();
  }
}

}  // namespace brindle
