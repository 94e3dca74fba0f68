// Worker threads of the program. Every job thread is started through here so that none is
// detached and forgotten: at exit the owner asks them to stop and joins them.
#pragma once

#include <atomic>
#include <functional>
#include <list>
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
  std::atomic<bool> stopping_{false};
};

}  // namespace brindle
