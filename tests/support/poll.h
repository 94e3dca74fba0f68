// Waiting in tests for what another thread does. The limit only ends a broken test: nothing is
// timed, and a passing test never waits for it.
#pragma once

#include <chrono>
#include <thread>

namespace brindle::test {

inline constexpr std::chrono::seconds kPollLimit{60};

// Polls `done` until it holds; false after `limit`.
template <typename Pred>
bool Eventually(Pred&& done, std::chrono::milliseconds limit = kPollLimit) {
  const auto give_up = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

}  // namespace brindle::test
