// Open files and mapped views on Linux: descriptors, mmap and a little advice to the kernel.
//
// Windows share modes have no POSIX counterpart. "Share nothing" is kept with an advisory
// flock(LOCK_EX), every other share mode takes LOCK_SH, so an exclusive open here and a second
// open of the same file (by this program or another that uses flock) refuse each other. Finer
// rules (deny read, deny write) are left to the layer above, which knows its own open handles.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace brindle::platform {
namespace {

std::string to_os_path(const std::string& gbk_path) {
  const bool ascii = std::all_of(gbk_path.begin(), gbk_path.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return gbk_path;
  return wide_to_multibyte(multibyte_to_wide(gbk_path, kCodePageGbk), kCodePageUtf8);
}

int retry_open(const char* path, int flags) {
  for (;;) {
    int fd = ::open(path, flags, 0666);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

bool lock_for_share(int fd, ShareMode share) {
  const int op = (share == ShareMode::kNone ? LOCK_EX : LOCK_SH) | LOCK_NB;
  for (;;) {
    if (::flock(fd, op) == 0) return true;
    if (errno == EINTR) continue;
    // File systems without flock cannot keep the promise; the open still goes ahead there.
    return errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS;
  }
}

// Views of at least this size are offered huge pages: writing a long file through small pages
// costs a fault per 4 KiB, which made mapped writes several times slower than write().
constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

FileHandle open_file(const std::string& path, OpenMode mode, ShareMode share, bool sequential) {
  if (path.empty()) return kInvalidFile;
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kReadExisting:
      flags |= O_RDONLY;
      break;
    case OpenMode::kReadWriteExisting:
      flags |= O_RDWR;
      break;
    // No O_TRUNC: the contents go only after the share lock is held, so a refused open
    // destroys nothing.
    case OpenMode::kCreateAlways:
      flags |= O_RDWR | O_CREAT;
      break;
    case OpenMode::kOpenAlways:
      flags |= O_RDWR | O_CREAT;
      break;
  }
  const std::string os_path = to_os_path(path);
  const int fd = retry_open(os_path.c_str(), flags);
  if (fd < 0) return kInvalidFile;
  struct stat st;
  // CreateFileA opens only files here; a directory or a device is refused.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !lock_for_share(fd, share)) {
    ::close(fd);
    return kInvalidFile;
  }
  if (mode == OpenMode::kCreateAlways && st.st_size != 0 && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return kInvalidFile;
  }
  if (sequential) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return static_cast<FileHandle>(fd);
}

std::int64_t open_file_size(FileHandle file) {
  struct stat st;
  if (file < 0 || ::fstat(static_cast<int>(file), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

std::string open_file_identity(FileHandle file) {
  struct stat st;
  if (file < 0 || ::fstat(static_cast<int>(file), &st) != 0) return {};
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

bool set_file_length(FileHandle file, std::int64_t length) {
  if (file < 0 || length < 0) return false;
  int rc;
  do {
    rc = ::ftruncate(static_cast<int>(file), length);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool reserve_file_space(FileHandle file, std::int64_t offset, std::int64_t length) {
  if (file < 0 || offset < 0 || length < 0) return false;
  if (length == 0) return true;
  // A write through a view into a hole that the disk cannot fill kills the process with SIGBUS;
  // allocating here turns that into an ordinary failure.
  int rc;
  do {
    rc = ::fallocate(static_cast<int>(file), 0, offset, length);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS) return false;
  const std::int64_t size = open_file_size(file);
  return size >= 0 && (size >= offset + length || set_file_length(file, offset + length));
}

bool write_at(FileHandle file, std::int64_t offset, std::string_view bytes) {
  if (file < 0 || offset < 0) return false;
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t done = ::pwrite(static_cast<int>(file), data, left, static_cast<off_t>(offset));
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (done == 0) return false;  // no progress and no error: give up rather than spin
    data += done;
    left -= static_cast<std::size_t>(done);
    offset += done;
  }
  return true;
}

bool flush_file(FileHandle file) { return file >= 0 && ::fsync(static_cast<int>(file)) == 0; }

void close_file(FileHandle file) {
  if (file >= 0) ::close(static_cast<int>(file));  // also drops the flock
}

bool map_view(FileHandle file, bool writable, std::uint64_t offset, std::size_t length,
              MappedView& out) {
  out = MappedView{};
  if (file < 0 || length == 0 || offset % allocation_granularity() != 0) return false;
  const int prot = PROT_READ | (writable ? PROT_WRITE : 0);
  void* base =
      ::mmap(nullptr, length, prot, MAP_SHARED, static_cast<int>(file), static_cast<off_t>(offset));
  if (base == MAP_FAILED) return false;
  if (length >= kHugePage) ::madvise(base, length, MADV_HUGEPAGE);  // advice only
  out.base = base;
  out.length = length;
  return true;
}

void unmap_view(MappedView& view) {
  if (view.base != nullptr) ::munmap(view.base, view.length);
  view = MappedView{};
}

std::size_t allocation_granularity() {
  static const std::size_t granularity = [] {
    const long page = ::sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<std::size_t>(page) : std::size_t{4096};
  }();
  return granularity;
}

}  // namespace brindle::platform
