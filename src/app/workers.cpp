#include "app/workers.h"

namespace brindle {

Workers::~Workers() { StopAndJoin(); }

bool Workers::Start(const std::string& name, std::function<void()> job) {
  std::lock_guard lock(mutex_);
  if (Stopping()) return false;
  ReapLocked();
  Job& slot = jobs_.emplace_back();
  slot.name = name;
  slot.thread = std::thread([&slot, job = std::move(job)] {
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

void Workers::StopAndJoin() {
  stopping_.store(true, std::memory_order_release);
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
