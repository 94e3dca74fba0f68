#include "foundation/file_update_lock.h"

#include "platform/platform.h"

namespace brindle {

FileUpdateLock::FileUpdateLock(const std::string& path, int wait_ms) {
  if (path.empty()) return;
  platform::FileHandle handle = platform::kInvalidFile;
  switch (platform::lock_file_wait(path + kFileLockSuffix, wait_ms, handle)) {
    case platform::LockOutcome::kTaken:
      handle_ = handle;
      ok_ = true;
      break;
    case platform::LockOutcome::kFailed:
      ok_ = true;  // no lock file can exist here, so no other writer holds one
      break;
    case platform::LockOutcome::kHeldElsewhere:
      break;
  }
}

FileUpdateLock::~FileUpdateLock() {
  if (handle_ >= 0) platform::unlock_file(handle_);
}

std::string FileBusyMessage(const std::string& path, int wait_ms) {
  return path + kFileLockSuffix + " is held by another program (waited " +
         std::to_string(wait_ms / 1000) + " s); nothing was changed";
}

}  // namespace brindle
