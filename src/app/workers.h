// Worker threads of the program. Every job thread is started through here so that none is
// detached and forgotten: at exit the owner asks them to stop and joins them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace brindle {

class Workers {
 public:
  Workers() = default;
  ~Workers();  // StopAndJoin
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  // Starts `job` on a new thread. False (and the job is not run) once stopping has begun.
  bool Start(const std::string& name, std::function<void()> job);

  // Set when the program is closing: long jobs poll it and end early.
  bool Stopping() const { return stopping_.load(std::memory_order_acquire); }
  const std::atomic<bool>& stop_flag() const { return stopping_; }

  // A job that waits on something other than the stop flag (a socket, say) registers how to
  // wake it: StopAndJoin calls every hook once, before joining, so the job ends at once rather
  // than at its next look at the flag. Returns the hook's id for RemoveStopHook, or 0 when
  // stopping has begun (the hook is then neither kept nor called: the flag is already set).
  std::uint64_t AddStopHook(std::function<void()> hook);
  // After this returns the hook is not running and will not be called. Not from a hook.
  void RemoveStopHook(std::uint64_t id);

  // Jobs still running (finished threads are reaped on the next Start or here).
  std::size_t Running();

  // Asks every job to stop and waits for all of them.
  void StopAndJoin();

 private:
  struct Job {
    std::string name;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void ReapLocked();

  std::mutex mutex_;
  std::list<Job> jobs_;
  std::mutex hooks_mutex_;  // held while the hooks run, so a removed hook is never running
  std::map<std::uint64_t, std::function<void()>> stop_hooks_;
  std::uint64_t next_hook_ = 1;
  std::atomic<bool> stopping_{false};
};

}  // namespace brindle
