#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace brindle::platform {

std::int64_t monotonic_ms() {
  // The performance counter, not GetTickCount64: the tick moves in steps of about 16 ms, too
  // coarse for the short timeouts of the live query. Neither is moved by clock changes.
  static const std::int64_t frequency = [] {
    LARGE_INTEGER f{};
    return ::QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : std::int64_t{0};
  }();
  LARGE_INTEGER now{};
  if (frequency == 0 || !::QueryPerformanceCounter(&now))
    return static_cast<std::int64_t>(::GetTickCount64());
  // In two parts, so the product cannot overflow after a long uptime.
  return now.QuadPart / frequency * 1000 + now.QuadPart % frequency * 1000 / frequency;
}

void sleep_ms(std::int64_t ms) {
  while (ms > 0) {
    const DWORD piece = ms > 0x7FFFFFFF ? 0x7FFFFFFFUL : static_cast<DWORD>(ms);
    ::Sleep(piece);
    ms -= piece;
  }
}

LocalTime local_time_now() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  LocalTime local;
  local.year = now.wYear;
  local.month = now.wMonth;
  local.day = now.wDay;
  local.hour = now.wHour;
  local.minute = now.wMinute;
  local.second = now.wSecond;
  return local;
}

}  // namespace brindle::platform
