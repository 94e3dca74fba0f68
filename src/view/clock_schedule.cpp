#include "view/clock_schedule.h"

#include <utility>

namespace brindle {

void ClockSchedule::Bind(const std::string& name, Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  clocks_[name].handler = handler ? std::make_shared<Handler>(std::move(handler)) : nullptr;
  ++generation_;
}

void ClockSchedule::Start(const std::string& name, std::int64_t period_ms, std::int64_t now_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  Clock& clock = clocks_[name];
  ++generation_;
  if (period_ms <= 0) {
    clock.running = false;
    return;
  }
  clock.running = true;
  clock.period_ms = period_ms;
  clock.due_ms = now_ms + period_ms;
}

void ClockSchedule::Stop(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = clocks_.find(name);
  if (it != clocks_.end()) it->second.running = false;
  ++generation_;
}

bool ClockSchedule::Running(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = clocks_.find(name);
  return it != clocks_.end() && it->second.running;
}

std::optional<std::int64_t> ClockSchedule::NextDue() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<std::int64_t> next;
  for (const auto& [name, clock] : clocks_) {
    if (!clock.running || clock.firing) continue;
    if (!next || clock.due_ms < *next) next = clock.due_ms;
  }
  return next;
}

std::optional<ClockSchedule::Tick> ClockSchedule::TakeDue(std::int64_t now_ms, bool skip_missed) {
  std::lock_guard<std::mutex> lock(mutex_);
  Clock* earliest = nullptr;
  const std::string* earliest_name = nullptr;
  for (auto& [name, clock] : clocks_) {
    if (!clock.running || clock.firing || clock.due_ms > now_ms) continue;
    if (earliest == nullptr || clock.due_ms < earliest->due_ms) {
      earliest = &clock;
      earliest_name = &name;
    }
  }
  if (earliest == nullptr) return std::nullopt;
  Tick tick{*earliest_name, earliest->due_ms, earliest->handler};
  earliest->firing = true;
  earliest->due_ms += earliest->period_ms;
  if (skip_missed && earliest->due_ms <= now_ms) earliest->due_ms = now_ms + earliest->period_ms;
  return tick;
}

void ClockSchedule::Done(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = clocks_.find(name);
  if (it != clocks_.end()) it->second.firing = false;
  ++generation_;
}

std::uint64_t ClockSchedule::Generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

}  // namespace brindle
