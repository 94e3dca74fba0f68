// Bookkeeping of named clocks against a millisecond time line: which are running, when each is
// next due, and the bound handlers. The headless and test clock ports drive one of these from
// their own notion of time; the Qt port may use it too. Thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace brindle {

class ClockSchedule {
 public:
  using Handler = std::function<void()>;

  void Bind(const std::string& name, Handler handler);
  // (Re)starts `name` with its first tick at now + period; period <= 0 stops it.
  void Start(const std::string& name, std::int64_t period_ms, std::int64_t now_ms);
  void Stop(const std::string& name);
  bool Running(const std::string& name) const;

  // The earliest due time of a running clock that is not firing; nullopt when none.
  std::optional<std::int64_t> NextDue() const;

  // If some clock is due at or before `now_ms`, takes the earliest (ties: by name), schedules its
  // next tick one period after the due time it was taking, marks it firing and returns its name,
  // due time and handler. The caller runs the handler and then calls Done(name). With
  // `skip_missed` a clock that fell more than a period behind resumes from now instead of
  // replaying every missed tick (a real-time loop that was busy); a virtual clock replays them.
  struct Tick {
    std::string name;
    std::int64_t due_ms = 0;
    std::shared_ptr<Handler> handler;  // null when none is bound
  };
  std::optional<Tick> TakeDue(std::int64_t now_ms, bool skip_missed);
  void Done(const std::string& name);

  // A monotonically growing count of Start/Stop/Bind calls, so a loop waiting for the next due
  // time can notice that the schedule changed.
  std::uint64_t Generation() const;

 private:
  struct Clock {
    bool running = false;
    bool firing = false;
    std::int64_t period_ms = 0;
    std::int64_t due_ms = 0;
    std::shared_ptr<Handler> handler;
  };
  mutable std::mutex mutex_;
  std::map<std::string, Clock> clocks_;
  std::uint64_t generation_ = 0;
};

}  // namespace brindle
