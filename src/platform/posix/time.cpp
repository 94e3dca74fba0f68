#include <time.h>

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

LocalTime local_time_now() {
  const time_t now = ::time(nullptr);
  struct tm parts {};
  LocalTime local;
  if (::localtime_r(&now, &parts) == nullptr) return local;
  local.year = parts.tm_year + 1900;
  local.month = parts.tm_mon + 1;
  local.day = parts.tm_mday;
  local.hour = parts.tm_hour;
  local.minute = parts.tm_min;
  local.second = parts.tm_sec;
  return local;
}

}  // namespace brindle::platform
