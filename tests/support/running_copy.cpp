#include "support/running_copy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>

#include "foundation/encoding.h"

namespace brindle::test {
namespace fs = std::filesystem;

namespace {

fs::path sleep_program() {
  for (const char* candidate : {"/bin/sleep", "/usr/bin/sleep"}) {
    std::error_code ec;
    if (fs::exists(candidate, ec)) return candidate;
  }
  return {};
}

}  // namespace

RunningCopy::RunningCopy(const fs::path& exe) {
  const fs::path source = sleep_program();
  if (source.empty()) return;
  std::error_code ec;
  fs::create_directories(exe.parent_path(), ec);
  if (!fs::copy_file(source, exe, fs::copy_options::overwrite_existing, ec)) return;
  fs::permissions(exe, fs::perms::owner_all, fs::perm_options::add, ec);
  // The platform layer takes the program's GBK paths; the file system path is UTF-8.
  process_ = platform::spawn_process({utf8_to_gbk(exe.string()), "600"}, "", true);
}

RunningCopy::~RunningCopy() { Stop(); }

void RunningCopy::Stop() {
  if (!started()) return;
  (void)platform::kill_process(process_);
  int code = 0;
  (void)platform::wait_process(process_, -1, code);
  process_ = platform::kInvalidProcess;
}

ProcessNameLock::ProcessNameLock() {
  const fs::path path = fs::temp_directory_path() / "brindle-test-process-names.lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) return;
  while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

ProcessNameLock::~ProcessNameLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

void write_script(const fs::path& path, const std::string& body) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "#!/bin/sh\n" << body << "\n";
  }
  std::error_code ec;
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
}

bool wait_for_file(const fs::path& path, int safety_ms) {
  const std::int64_t deadline = platform::monotonic_ms() + safety_ms;
  while (platform::monotonic_ms() < deadline) {
    std::error_code ec;
    if (fs::exists(path, ec)) return true;
    platform::sleep_ms(5);
  }
  return false;
}

}  // namespace brindle::test
