#include <chrono>
#include <thread>

#include "platform/platform.h"

namespace brindle::platform {

char path_separator() { return '/'; }

std::int64_t monotonic_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void sleep_ms(std::int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace brindle::platform
