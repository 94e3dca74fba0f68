// A real child process with a chosen executable name: a copy of a program that only waits (the
// system's sleep; on Windows the tests' own sleeper) placed at a given path and started from
// there, so the process table shows that name and path. The child is ended and reaped when the
// object goes.
#pragma once

#include <filesystem>

#include "platform/platform.h"

namespace brindle::test {

class RunningCopy {
 public:
  // Copies the waiting program to `exe` (creating its folders) and starts it. started() tells
  // whether it runs.
  explicit RunningCopy(const std::filesystem::path& exe);
  ~RunningCopy();
  RunningCopy(const RunningCopy&) = delete;
  RunningCopy& operator=(const RunningCopy&) = delete;

  bool started() const { return process_ != platform::kInvalidProcess; }
  int pid() const { return platform::process_id(process_); }
  // Ends the child now; the process table no longer lists it afterwards.
  void Stop();

 private:
  platform::ProcessHandle process_ = platform::kInvalidProcess;
};

// Tests that start or expect the absence of processes with well-known names (the game, the Steam
// client) hold this lock: test programs run side by side, and the names are looked for across the
// whole machine. Blocks until no other test holds it.
class ProcessNameLock {
 public:
  ProcessNameLock();
  ~ProcessNameLock();
  ProcessNameLock(const ProcessNameLock&) = delete;
  ProcessNameLock& operator=(const ProcessNameLock&) = delete;

 private:
  platform::FileHandle lock_ = platform::kInvalidFile;
};

// Writes an executable shell script (test fakes of desktop tools; POSIX only).
void write_script(const std::filesystem::path& path, const std::string& body);

// Waits until `path` exists, for a detached child that writes it; false after `safety_ms` of
// real time (a broken test, not a timing assertion).
bool wait_for_file(const std::filesystem::path& path, int safety_ms = 10000);

}  // namespace brindle::test
