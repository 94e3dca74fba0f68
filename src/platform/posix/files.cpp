// Files on Linux. Paths arrive as GBK texts and are handed to the kernel as UTF-8; names read
// back from a directory go the other way.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folders.h"
#include "platform/platform.h"

namespace brindle::platform {
namespace {

bool is_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string to_os(const std::string& gbk_path) {
  if (is_ascii(gbk_path)) return gbk_path;
  return wide_to_multibyte(multibyte_to_wide(gbk_path, kCodePageGbk), kCodePageUtf8);
}

std::string from_os(const std::string& os_name) {
  if (is_ascii(os_name)) return os_name;
  return wide_to_multibyte(multibyte_to_wide(os_name, kCodePageUtf8), kCodePageGbk);
}

// Closes a descriptor on every path out of a function.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Gives up ownership: the descriptor stays open.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports whether the last buffered write reached the file.
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool write_all(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies everything readable from `in` to `out`.
bool copy_contents(int in, int out) {
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (!write_all(out, std::string_view(buffer, static_cast<std::size_t>(n)))) return false;
  }
}

// A new, empty temporary file beside `os_target` (same directory, so a rename is atomic),
// created with `mode` (less the umask). `name` receives its path. -1 on failure.
int make_temp_beside(const std::string& os_target, std::string& name, mode_t mode = 0666) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = os_target + ".tmp-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool rename_no_replace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link cannot replace anything either.
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
  }
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// Copies a regular file to `os_to` through a temporary file, so a reader never sees half of it.
bool copy_regular(const std::string& os_from, const std::string& os_to, bool overwrite) {
  Fd in(::open(os_from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.ok()) return false;
  struct stat st;
  if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  struct stat target;
  if (::stat(os_to.c_str(), &target) == 0) {
    if (!overwrite || !S_ISREG(target.st_mode)) return false;
    if (target.st_dev == st.st_dev && target.st_ino == st.st_ino) return false;  // same file
  }
  std::string temp;
  Fd out(make_temp_beside(os_to, temp));
  if (!out.ok()) return false;
  bool ok = copy_contents(in.get(), out.get()) && ::fchmod(out.get(), st.st_mode & 07777) == 0 &&
            ::fsync(out.get()) == 0;
  ok = out.close() && ok;
  if (ok) {
    ok = overwrite ? ::rename(temp.c_str(), os_to.c_str()) == 0 : rename_no_replace(temp, os_to);
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace

bool file_exists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(to_os(path).c_str(), &st) == 0;
}

bool is_directory(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(to_os(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int64_t file_size(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(to_os(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool copy_file(const std::string& from, const std::string& to, bool overwrite) {
  if (from.empty() || to.empty()) return false;
  return copy_regular(to_os(from), to_os(to), overwrite);
}

bool move_file(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  const std::string os_from = to_os(from);
  const std::string os_to = to_os(to);
  if (rename_no_replace(os_from, os_to)) return true;
  if (errno != EXDEV) return false;
  // Another file system: files are copied and the original removed; folders stay put.
  if (!copy_regular(os_from, os_to, false)) return false;
  ::unlink(os_from.c_str());
  return true;
}

bool replace_file(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  const std::string os_from = to_os(from);
  const std::string os_to = to_os(to);
  struct stat st;
  if (::stat(os_to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
  if (::rename(os_from.c_str(), os_to.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  if (!copy_regular(os_from, os_to, true)) return false;
  ::unlink(os_from.c_str());
  return true;
}

bool delete_file(const std::string& path) {
  if (path.empty()) return false;
  const std::string os_path = to_os(path);
  struct stat st;
  // Folders are not files: removing one is not this function's job.
  if (::lstat(os_path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(os_path.c_str()) == 0;
}

bool create_directory(const std::string& path) {
  if (path.empty()) return false;
  const std::string os_path = to_os(path);
  if (::mkdir(os_path.c_str(), 0777) == 0) return true;
  struct stat st;
  return errno == EEXIST && ::stat(os_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// Removes everything below the open folder `dir_fd`, then nothing else; links are unlinked.
bool remove_contents(int dir_fd) {
  DIR* dir = ::fdopendir(dir_fd);
  if (dir == nullptr) {
    ::close(dir_fd);
    return false;
  }
  bool ok = true;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  for (const std::string& name : names) {
    struct stat st;
    if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      const int child =
          ::openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      ok = child >= 0 && remove_contents(child) && ok;
      ok = ::unlinkat(dir_fd, name.c_str(), AT_REMOVEDIR) == 0 && ok;
    } else {
      ok = ::unlinkat(dir_fd, name.c_str(), 0) == 0 && ok;
    }
  }
  ::closedir(dir);  // closes dir_fd
  return ok;
}

}  // namespace

bool remove_tree(const std::string& path) {
  if (path.empty()) return false;
  std::string os_path = to_os(path);
  while (os_path.size() > 1 && os_path.back() == '/') os_path.pop_back();
  struct stat st;
  if (::lstat(os_path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlink(os_path.c_str()) == 0;
  const int dir_fd = ::open(os_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir_fd < 0) return false;
  remove_contents(dir_fd);
  return ::rmdir(os_path.c_str()) == 0;
}

std::vector<DirEntry> list_directory(const std::string& path) {
  std::vector<DirEntry> entries;
  if (path.empty()) return entries;
  try {
    DIR* dir = ::opendir(to_os(path).c_str());
    if (!dir) return entries;
    const int dir_fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      DirEntry item;
      struct stat st;
      if (::fstatat(dir_fd, entry->d_name, &st, 0) == 0) {
        item.is_directory = S_ISDIR(st.st_mode);
        item.size = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
      } else {
        item.is_directory = entry->d_type == DT_DIR;  // a dangling link, say
      }
      struct stat own;
      if (::fstatat(dir_fd, entry->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0) {
        item.is_link = S_ISLNK(own.st_mode);
        item.is_regular = S_ISREG(own.st_mode);
      }
      item.name = from_os(name);
      entries.push_back(std::move(item));
    }
    ::closedir(dir);
  } catch (...) {
    entries.clear();
  }
  // The kernel's order depends on the file system; callers get a stable one.
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return entries;
}

std::string read_file_head(const std::string& path, std::size_t max_bytes) {
  if (path.empty()) return {};
  Fd fd(::open(to_os(path).c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  try {
    std::string head(max_bytes, '\0');
    std::size_t got = 0;
    while (got < max_bytes) {
      const ssize_t n = ::read(fd.get(), head.data() + got, max_bytes - got);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        return {};
      }
      got += static_cast<std::size_t>(n);
    }
    head.resize(got);
    return head;
  } catch (...) {
    return {};
  }
}

bool read_file(const std::string& path, std::string& out) {
  if (path.empty()) return false;
  Fd fd(::open(to_os(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) return false;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  try {
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[64 * 1024];
    for (;;) {
      ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data.append(buffer, static_cast<std::size_t>(n));
    }
    out = std::move(data);
    return true;
  } catch (...) {
    return false;
  }
}

bool write_file_atomic(const std::string& path, std::string_view bytes, bool owner_only) {
  if (path.empty()) return false;
  try {
    const std::string os_path = to_os(path);
    struct stat old;
    const bool replacing = ::stat(os_path.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) return false;
    std::string temp;
    // An owner-only file is never readable by others, not even while it is being written.
    Fd fd(make_temp_beside(os_path, temp, owner_only ? 0600 : 0666));
    if (!fd.ok()) return false;
    bool mode_ok = true;
    if (owner_only) {
      mode_ok = ::fchmod(fd.get(), 0600) == 0;
    } else if (replacing) {
      mode_ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;  // keeps the old permissions
    }
    bool ok = write_all(fd.get(), bytes) && mode_ok && ::fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    if (ok && ::rename(temp.c_str(), os_path.c_str()) == 0) return true;
    ::unlink(temp.c_str());
    return false;
  } catch (...) {
    return false;
  }
}

namespace {

constexpr std::string_view kTempMark = ".tmp-";

// The writer's process id in a temporary file's name ("<target>.tmp-<pid>-<n>"), or 0 when the
// name is not one of ours.
pid_t temp_file_writer(std::string_view name) {
  const std::size_t mark = name.rfind(kTempMark);
  if (mark == std::string_view::npos || mark == 0) return 0;
  const std::string_view rest = name.substr(mark + kTempMark.size());
  const std::size_t dash = rest.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash + 1 == rest.size()) return 0;
  auto digits = [](std::string_view s) {
    return s.size() <= 10 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(rest.substr(0, dash)) || !digits(rest.substr(dash + 1))) return 0;
  const long long pid = std::atoll(std::string(rest.substr(0, dash)).c_str());
  return pid > 0 && pid <= 0x7fffffff ? static_cast<pid_t>(pid) : 0;
}

bool process_alive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

int remove_stale_temp_files(const std::string& dir) {
  if (dir.empty()) return 0;
  DIR* folder = ::opendir(to_os(dir).c_str());
  if (folder == nullptr) return 0;
  const int dir_fd = ::dirfd(folder);
  constexpr time_t kDay = 24 * 60 * 60;
  const time_t now = ::time(nullptr);
  int removed = 0;
  std::vector<std::string> stale;
  try {
    while (const dirent* entry = ::readdir(folder)) {
      const std::string name = entry->d_name;
      const pid_t writer = temp_file_writer(name);
      if (writer == 0) continue;
      struct stat st;
      if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        continue;
      }
      if (process_alive(writer) && now - st.st_mtime < kDay) continue;
      stale.push_back(name);
    }
    for (const std::string& name : stale) {
      if (::unlinkat(dir_fd, name.c_str(), 0) == 0) ++removed;
    }
  } catch (...) {
  }
  ::closedir(folder);
  return removed;
}

}  // namespace brindle::platform

namespace brindle::platform {

namespace {

// Takes the lock of an open descriptor without waiting; the descriptor is closed unless taken.
LockOutcome lock_now(int fd, FileHandle& out) {
  if (fd < 0) return LockOutcome::kFailed;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      out = static_cast<FileHandle>(fd);
      return LockOutcome::kTaken;
    }
    if (errno == EINTR) continue;
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? LockOutcome::kHeldElsewhere : LockOutcome::kFailed;
  }
}

}  // namespace

LockOutcome lock_file(const std::string& path, FileHandle& out) {
  out = kInvalidFile;
  if (path.empty()) return LockOutcome::kFailed;
  // flock belongs to the open file description, so a second open of the same file in this
  // process is refused too, as another process would be.
  return lock_now(::open(to_os(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644), out);
}

LockOutcome lock_file_wait(const std::string& path, int wait_ms, FileHandle& out) {
  out = kInvalidFile;
  if (path.empty()) return LockOutcome::kFailed;
  Fd fd(::open(to_os(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.ok()) return LockOutcome::kFailed;
  struct timespec start;
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  // Holders keep these locks for milliseconds: short naps first, then a few a second at most.
  long nap_us = 500;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
      out = static_cast<FileHandle>(fd.get());
      (void)fd.release();  // the handle owns the descriptor now
      return LockOutcome::kTaken;
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return LockOutcome::kFailed;
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long long waited_ms =
        (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (waited_ms >= wait_ms) return LockOutcome::kHeldElsewhere;
    const struct timespec nap = {0, nap_us * 1000};
    ::nanosleep(&nap, nullptr);
    nap_us = std::min(nap_us * 2, 50000L);
  }
}

LockOutcome lock_folder(const std::string& path, FileHandle& out) {
  out = kInvalidFile;
  if (path.empty()) return LockOutcome::kFailed;
  return lock_now(::open(to_os(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), out);
}

void unlock_file(FileHandle lock) {
  if (lock < 0) return;
  ::close(static_cast<int>(lock));  // drops the lock with the descriptor
}

bool folder_writable(const std::string& dir) {
  if (dir.empty()) return false;
  const std::string os_dir = to_os(dir);
  struct stat st;
  if (::stat(os_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (::geteuid() == 0 && (st.st_mode & 0222) == 0) return false;
  return ::access(os_dir.c_str(), W_OK | X_OK) == 0;
}

std::string user_program_folder() {
  // The XDG base directory rules: an unset or relative XDG_DATA_HOME means ~/.local/share.
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    base = std::string(home) + "/.local/share";
  } else {
    return {};
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string folder = base + "/brindle";
  // Each missing level, owner-only as the rules ask of the folders they name.
  for (std::size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
    const std::string level = folder.substr(0, at);
    struct stat st;
    if (::stat(level.c_str(), &st) != 0 && ::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) {
      return {};
    }
    if (at == std::string::npos) break;
  }
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return from_os(folder);
}

}  // namespace brindle::platform
