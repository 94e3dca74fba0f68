// One read-modify-write of a file the window and brindle-cli share (the favourites, the settings,
// the map dictionary), serialised across processes and threads by a lock file beside it:
// "<path>.lock", held only while the change is made. The lock is the system's (it ends with its
// holder, so a killed process never leaves a stale one) and the lock file itself stays in place.
//
// Taking the lock waits, up to kFileUpdateWaitMs by default; a holder keeps it for milliseconds,
// so a lock still held after that belongs to a stuck process and the change is refused (the
// caller reports the failure; the file stays as it was). A lock file that cannot be opened at
// all (a read-only folder, a lock file of another user) does not stop the change: there is then
// no writer to wait for that this one could see, and the write itself reports what the folder
// allows.
#pragma once

#include <cstdint>
#include <string>

namespace brindle {

inline constexpr int kFileUpdateWaitMs = 10000;
inline constexpr const char* kFileLockSuffix = ".lock";

class FileUpdateLock {
 public:
  explicit FileUpdateLock(const std::string& path, int wait_ms = kFileUpdateWaitMs);
  ~FileUpdateLock();
  FileUpdateLock(const FileUpdateLock&) = delete;
  FileUpdateLock& operator=(const FileUpdateLock&) = delete;

  // The change may go ahead: the lock is held, or there is no lock file to hold (see above).
  // False when another holder kept it for the whole wait (or the path is empty).
  bool ok() const { return ok_; }
  // The lock itself is held.
  bool held() const { return handle_ >= 0; }

 private:
  std::intptr_t handle_ = -1;
  bool ok_ = false;
};

// The text a refused change reports: the lock file and how long it waited.
std::string FileBusyMessage(const std::string& path, int wait_ms = kFileUpdateWaitMs);

}  // namespace brindle
