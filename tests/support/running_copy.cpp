#include "support/running_copy.h"

#include <fstream>
#include <string>
#include <system_error>

#include "support/host_paths.h"
#include "support/path_text.h"
#include "support/temp_dir.h"

namespace brindle::test {
namespace fs = std::filesystem;

namespace {

fs::path waiting_program() {
#ifdef BRINDLE_SLEEPER_PATH
  // Built beside the tests; the build wrote its path in the build machine's form.
  const char* candidates[] = {BRINDLE_SLEEPER_PATH};
#else
  const char* candidates[] = {"/bin/sleep", "/usr/bin/sleep"};
#endif
  for (const char* candidate : candidates) {
    std::error_code ec;
    const fs::path path = HostPath(candidate);
    if (fs::exists(path, ec)) return path;
  }
  return {};
}

}  // namespace

RunningCopy::RunningCopy(const fs::path& exe) {
  const fs::path source = waiting_program();
  if (source.empty()) return;
  std::error_code ec;
  fs::create_directories(exe.parent_path(), ec);
  if (!fs::copy_file(source, exe, fs::copy_options::overwrite_existing, ec)) return;
  fs::permissions(exe, fs::perms::owner_all, fs::perm_options::add, ec);
  // The platform layer takes the program's GBK paths.
  process_ = platform::spawn_process({GbkText(exe), "600"}, "", true);
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
  const std::string path = (TestTempBase() / "brindle-test-process-names.lock").string();
  for (;;) {
    const platform::LockOutcome outcome = platform::lock_file(path, lock_);
    if (outcome != platform::LockOutcome::kHeldElsewhere) return;  // taken, or no lock to take
    platform::sleep_ms(5);
  }
}

ProcessNameLock::~ProcessNameLock() {
  if (lock_ != platform::kInvalidFile) platform::unlock_file(lock_);
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
