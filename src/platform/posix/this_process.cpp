#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace brindle::platform {

std::string executable_path() {
  try {
    std::vector<char> buf(PATH_MAX);
    for (;;) {
      const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
      if (n <= 0) return {};
      // A full buffer may mean a cut path: try again with more room.
      if (static_cast<std::size_t>(n) < buf.size())
        return std::string(buf.data(), static_cast<std::size_t>(n));
      if (buf.size() >= (1u << 20)) return {};
      buf.resize(buf.size() * 2);
    }
  } catch (...) {
    return {};
  }
}

bool is_terminal(std::FILE* stream) {
  if (stream == nullptr) return false;
  const int fd = ::fileno(stream);
  return fd >= 0 && ::isatty(fd) == 1;
}

std::vector<std::string> command_line_utf8(int argc, char** argv) {
  std::vector<std::string> out;
  for (int i = 1; i < argc; ++i) out.emplace_back(argv[i]);
  return out;
}

void use_utf8_standard_streams() {}

bool running_as_root() { return ::geteuid() == 0; }

void lower_this_thread_priority() {
  // On Linux a thread's nice value is its own (PRIO_PROCESS with the thread's id) and a new thread
  // starts with its creator's: the level is set from the main thread's, so work started from a
  // worker does not sink a step further each time.
  const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
  errno = 0;
  const int main_thread = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::getpid()));
  const int now = ::getpriority(PRIO_PROCESS, tid);
  if (errno != 0) return;
  const int below = std::min(main_thread + 4, 19);
  if (now < below) (void)::setpriority(PRIO_PROCESS, tid, below);
}

}  // namespace brindle::platform
