// The mapped file store. The table lock only guards the handle table and the per-file records;
// each open handle has its own lock, so downloads on different files write side by side.
//
// Views: a read or overwrite at p of n bytes needs the window of 81920 bytes placed half before
// p (p - 40960 .. p + n + 40960). The view mapped for it is wider: it starts on a 2 MiB boundary
// below the window and spans at least 8 MiB, so consecutive reads of a file land in the view of
// an earlier one and the kernel can back it with huge pages. A view may reach past the
// file's end; only bytes inside the file are ever touched.
//
// Writes: the part of a write that lies inside the file goes through a view; the part past the
// file's end (an append, the usual download case) is handed to the system with a positioned
// write. Writing fresh pages through a view costs a page fault and a page allocation per page,
// which made downloads far slower than write(); the system's write path fills the page cache
// directly. Views are MAP_SHARED mappings of the same page cache, so a view that was mapped
// before an append and reaches over it sees the appended bytes without being remapped.
//
// Growth: the file grows exactly to the end of each write. The bytes a write touches through a
// view are allocated first, so a full disk fails the write instead of raising SIGBUS; an append
// that fails part way is cut back, so a failed write leaves the length as it was.
//
// Lock order: handle -> table -> file record; the table lock is never held while a handle
// lock is taken.
#include "foundation/mapped_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace brindle::mapped_file {
namespace {

constexpr std::int64_t kWindow = 81920;
constexpr std::int64_t kViewAlign = std::int64_t{2} << 20;
constexpr std::int64_t kMinView = std::int64_t{8} << 20;
constexpr std::uint32_t kRandomAccessFlag = 1u << 28;

// Access and share as bit sets, to apply CreateFileA's sharing rule between handles.
constexpr int kRead = 1;
constexpr int kWrite = 2;

std::int64_t align_down(std::int64_t value, std::int64_t unit) { return value / unit * unit; }
std::int64_t align_up(std::int64_t value, std::int64_t unit) {
  return (value + unit - 1) / unit * unit;
}

// What this process knows about one file, shared by all its open handles.
struct FileRecord {
  std::mutex mutex;
  std::int64_t disk_length = 0;  // the file's length on disk, as this process left it
  std::int64_t content_end = 0;  // what the last close trims the file to (kept equal to it)
  // Ranges inside the file left as holes (a write far past the end, a grown length); a write
  // into one allocates it first.
  std::vector<std::pair<std::int64_t, std::int64_t>> holes;

  // Guarded by the table lock.
  struct Opener {
    const void* owner;
    int access;
    int share;
  };
  std::vector<Opener> openers;
};

struct Record {
  std::mutex mutex;
  platform::FileHandle file = platform::kInvalidFile;
  bool writable = false;
  bool closed = false;
  std::shared_ptr<FileRecord> shared;
  std::string identity;
  std::int64_t size = 0;      // logical size
  std::int64_t position = 0;  // where the next read or write happens
  std::int64_t view_offset = 0;
  platform::MappedView view;
};

struct Table {
  std::mutex mutex;
  std::unordered_map<MappedHandle, std::shared_ptr<Record>> records;
  std::unordered_map<std::string, std::shared_ptr<FileRecord>> files;
  MappedHandle next_handle = 1;
};

// Never destroyed: a worker still writing at exit must not find the table gone.
Table& table() {
  static Table* const instance = new Table;
  return *instance;
}

std::shared_ptr<Record> find(MappedHandle handle) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.records.find(handle);
  return it == t.records.end() ? nullptr : it->second;
}

int share_bits(int share) {
  switch (share) {
    case 1:
      return kRead | kWrite;
    case 2:
      return kWrite;
    case 3:
      return kRead;
    default:
      return 0;
  }
}

// Allocates whatever part of [from, to) still lies in a hole. Caller holds f.mutex.
bool fill_holes(platform::FileHandle file, FileRecord& f, std::int64_t from, std::int64_t to) {
  for (std::size_t i = 0; i < f.holes.size();) {
    auto [a, b] = f.holes[i];
    const std::int64_t lo = std::max(a, from);
    const std::int64_t hi = std::min(b, to);
    if (lo >= hi) {
      ++i;
      continue;
    }
    if (!platform::reserve_file_space(file, lo, hi - lo)) return false;
    f.holes.erase(f.holes.begin() + static_cast<std::ptrdiff_t>(i));
    if (hi < b) f.holes.insert(f.holes.begin() + static_cast<std::ptrdiff_t>(i), {hi, b});
    if (a < lo) f.holes.insert(f.holes.begin() + static_cast<std::ptrdiff_t>(i), {a, lo});
    i += (a < lo ? 1 : 0) + (hi < b ? 1 : 0);
  }
  return true;
}

void drop_holes_beyond(FileRecord& f, std::int64_t length) {
  std::vector<std::pair<std::int64_t, std::int64_t>> kept;
  for (auto [a, b] : f.holes) {
    if (a < length) kept.emplace_back(a, std::min(b, length));
  }
  f.holes = std::move(kept);
}

// Writes bytes at `at`, at or past the file's end, with the system's write. A failure cuts the
// file back to its old length. Caller holds r.mutex and f.mutex.
bool append(Record& r, FileRecord& f, std::int64_t at, std::string_view bytes) {
  if (bytes.empty()) return true;
  if (!platform::write_at(r.file, at, bytes)) {
    if (platform::open_file_size(r.file) != f.disk_length) {
      (void)platform::set_file_length(r.file,
                                      f.disk_length);  // best effort: the write failed anyway
    }
    return false;
  }
  // A gap before `at` stays a hole, as a write far past the end should not fill the disk with
  // zeros; a later write into it through a view allocates it first.
  if (at > f.disk_length) f.holes.emplace_back(f.disk_length, at);
  f.disk_length = at + static_cast<std::int64_t>(bytes.size());
  return true;
}

// Maps a view holding [p, end) unless the current one already does. Caller holds r.mutex.
bool ensure_view(Record& r, std::int64_t p, std::int64_t end) {
  if (r.view.base != nullptr && p >= r.view_offset &&
      end <= r.view_offset + static_cast<std::int64_t>(r.view.length)) {
    return true;
  }
  platform::unmap_view(r.view);
  const std::int64_t align = std::max<std::int64_t>(
      kViewAlign, static_cast<std::int64_t>(platform::allocation_granularity()));
  const std::int64_t start = align_down(std::max<std::int64_t>(0, p - kWindow / 2), align);
  const std::int64_t stop = std::max(start + kMinView, align_up(end + kWindow / 2, align));
  if (!platform::map_view(r.file, r.writable, static_cast<std::uint64_t>(start),
                          static_cast<std::size_t>(stop - start), r.view)) {
    return false;
  }
  r.view_offset = start;
  return true;
}

bool write_at_position(Record& r, std::string_view bytes, std::int64_t advance) {
  if (r.closed || !r.writable) return false;
  if (bytes.empty()) return true;
  const std::int64_t p = r.position;
  const auto n = static_cast<std::int64_t>(bytes.size());
  if (p > std::numeric_limits<std::int64_t>::max() - n - kMinView - kWindow) return false;
  const std::int64_t end = p + n;
  FileRecord& f = *r.shared;
  std::int64_t inside_end = 0;
  {
    // Held through the whole change of the file's length, so two handles of one file appending
    // at once each undo only their own failure.
    std::lock_guard lock(f.mutex);
    inside_end = std::min(end, f.disk_length);
    // Everything that can fail comes before the first byte changes: the view (which may reach
    // past the file's end; only the part inside is touched), the blocks under it, then the
    // append, which undoes itself.
    if (p < inside_end && !ensure_view(r, p, inside_end)) return false;
    if (p < inside_end && !f.holes.empty() && !fill_holes(r.file, f, p, inside_end)) return false;
    const std::int64_t outside = std::max(p, inside_end);
    if (!append(r, f, outside, bytes.substr(static_cast<std::size_t>(outside - p)))) return false;
    f.content_end = std::max(f.content_end, end);
  }
  if (p < inside_end) {
    std::memcpy(static_cast<char*>(r.view.base) + (p - r.view_offset), bytes.data(),
                static_cast<std::size_t>(inside_end - p));
  }
  r.size = std::max(r.size, end);
  r.position = p + advance;
  return true;
}

// Releases a record's view and descriptor; the last writer of a file trims it to its contents.
// Caller holds r.mutex and the table lock.
void release(Table& t, Record& r) {
  platform::unmap_view(r.view);
  FileRecord& f = *r.shared;
  auto& openers = f.openers;
  openers.erase(std::remove_if(openers.begin(), openers.end(),
                               [&](const FileRecord::Opener& o) { return o.owner == &r; }),
                openers.end());
  // The last writer trims the growth step. Readers may stay: none of them reads past the
  // contents. Another writer may be filling the step right now, so it waits for the last one.
  const bool writers_left =
      std::any_of(openers.begin(), openers.end(),
                  [](const FileRecord::Opener& o) { return o.access & kWrite; });
  if (r.writable && !writers_left) {
    std::lock_guard lock(f.mutex);
    if (f.disk_length != f.content_end && platform::set_file_length(r.file, f.content_end)) {
      f.disk_length = f.content_end;
      drop_holes_beyond(f, f.disk_length);
    }
  }
  if (openers.empty()) t.files.erase(r.identity);
  platform::close_file(r.file);
  r.file = platform::kInvalidFile;
  r.closed = true;
}

platform::OpenMode open_mode(int mode) {
  switch (mode) {
    case 1:
      return platform::OpenMode::kReadExisting;
    case 3:
      return platform::OpenMode::kReadWriteExisting;
    default:
      return platform::OpenMode::kOpenAlways;  // 4 truncates itself once allowed to
  }
}

platform::ShareMode share_mode(int share) {
  switch (share) {
    case 1:
      return platform::ShareMode::kReadWrite;
    case 2:
      return platform::ShareMode::kWrite;
    case 3:
      return platform::ShareMode::kRead;
    default:
      return platform::ShareMode::kNone;
  }
}

}  // namespace

MappedHandle open(const std::string& path, int mode, int share, std::uint32_t flags) {
  if (mode != 1 && mode != 3 && mode != 4 && mode != 6) return 0;
  if (share < 1 || share > 4) return 0;
  const bool sequential = (flags & kRandomAccessFlag) == 0;
  const platform::FileHandle file =
      platform::open_file(path, open_mode(mode), share_mode(share), sequential);
  if (file == platform::kInvalidFile) return 0;
  std::string identity = platform::open_file_identity(file);
  if (identity.empty()) {
    platform::close_file(file);
    return 0;
  }
  try {
    auto record = std::make_shared<Record>();
    record->file = file;
    record->writable = mode != 1;
    record->identity = identity;
    const int access = record->writable ? (kRead | kWrite) : kRead;

    Table& t = table();
    std::lock_guard lock(t.mutex);
    std::shared_ptr<FileRecord>& shared = t.files[identity];
    const bool known = shared != nullptr && !shared->openers.empty();
    if (known) {
      // CreateFileA's rule: each side's access must be allowed by the other's share mode.
      // A new empty file (mode 4) must not cut a file this process still has mapped.
      bool allowed = mode != 4;
      for (const auto& o : shared->openers) {
        allowed = allowed && (access & ~o.share) == 0 && (o.access & ~share_bits(share)) == 0;
      }
      if (!allowed) {
        platform::close_file(file);
        return 0;
      }
    } else {
      std::int64_t length = platform::open_file_size(file);
      if (mode == 4 && length != 0) length = platform::set_file_length(file, 0) ? 0 : -1;
      if (length < 0) {
        t.files.erase(identity);
        platform::close_file(file);
        return 0;
      }
      shared = std::make_shared<FileRecord>();
      shared->disk_length = length;
      shared->content_end = length;
    }
    {
      std::lock_guard file_lock(shared->mutex);
      record->size = shared->content_end;
    }
    record->shared = shared;
    const MappedHandle handle = t.next_handle++;
    const auto it = t.records.emplace(handle, record).first;
    try {
      shared->openers.push_back({record.get(), access, share_bits(share)});
    } catch (...) {
      t.records.erase(it);
      throw;
    }
    return handle;
  } catch (...) {
    // Allocation failure. A file record left without openers is replaced by the next open.
    platform::close_file(file);
    return 0;
  }
}

bool write_text(MappedHandle handle, std::string_view text, char terminator, bool add_terminator) {
  auto r = find(handle);
  if (!r) return false;
  std::lock_guard lock(r->mutex);
  if (!add_terminator) return write_at_position(*r, text, static_cast<std::int64_t>(text.size()));
  std::string buffer;
  try {
    buffer.reserve(text.size() + 1);
    buffer.append(text);
    buffer.push_back(terminator);
  } catch (...) {
    return false;
  }
  return write_at_position(*r, buffer, static_cast<std::int64_t>(text.size()));
}

bool write_bytes(MappedHandle handle, std::string_view bytes) {
  auto r = find(handle);
  if (!r) return false;
  std::lock_guard lock(r->mutex);
  return write_at_position(*r, bytes, static_cast<std::int64_t>(bytes.size()));
}

std::string read(MappedHandle handle, std::int64_t count) {
  auto r = find(handle);
  if (!r || count <= 0) return {};
  std::lock_guard lock(r->mutex);
  if (r->closed || r->position >= r->size) return {};
  const std::int64_t p = r->position;
  const std::int64_t n = std::min(count, r->size - p);
  if (!ensure_view(*r, p, p + n)) return {};
  std::string out;
  try {
    out.assign(static_cast<const char*>(r->view.base) + (p - r->view_offset),
               static_cast<std::size_t>(n));
  } catch (...) {
    return {};
  }
  r->position = p + n;
  return out;
}

bool set_length(MappedHandle handle, std::int64_t length) {
  auto r = find(handle);
  if (!r || length < 0) return false;
  std::lock_guard lock(r->mutex);
  if (r->closed || !r->writable) return false;
  Table& t = table();
  std::lock_guard table_lock(t.mutex);
  FileRecord& f = *r->shared;
  std::lock_guard file_lock(f.mutex);
  // Cutting bytes another handle may still read through its view would crash it.
  if (f.openers.size() > 1 && length < f.content_end) return false;
  platform::unmap_view(r->view);
  if (length != f.disk_length && !platform::set_file_length(r->file, length)) return false;
  if (length > f.disk_length) {
    f.holes.emplace_back(f.disk_length, length);
  } else {
    drop_holes_beyond(f, length);
  }
  f.disk_length = length;
  f.content_end = length;
  r->size = length;
  r->position = std::min(r->position, length);
  return true;
}

std::int64_t size(MappedHandle handle) {
  auto r = find(handle);
  if (!r) return -1;
  std::lock_guard lock(r->mutex);
  return r->closed ? -1 : r->size;
}

std::int64_t position(MappedHandle handle) {
  auto r = find(handle);
  if (!r) return -1;
  std::lock_guard lock(r->mutex);
  return r->closed ? -1 : r->position;
}

bool seek(MappedHandle handle, std::int64_t new_position) {
  auto r = find(handle);
  if (!r || new_position < 0) return false;
  std::lock_guard lock(r->mutex);
  if (r->closed) return false;
  r->position = new_position;
  return true;
}

void close(MappedHandle handle) {
  auto r = find(handle);
  if (!r) return;
  std::lock_guard lock(r->mutex);
  if (r->closed) return;
  Table& t = table();
  std::lock_guard table_lock(t.mutex);
  t.records.erase(handle);
  release(t, *r);
}

bool read_whole_file(const std::string& path, std::string& out) {
  out.clear();
  const MappedHandle h = open(path, 1, 1, 0);
  if (h == 0) return false;
  const std::int64_t length = size(h);
  out = length > 0 ? read(h, length) : std::string();
  const bool ok = static_cast<std::int64_t>(out.size()) == std::max<std::int64_t>(length, 0);
  close(h);
  if (!ok) out.clear();
  return ok;
}

bool write_whole_file(const std::string& path, std::string_view text) {
  if (path.empty()) return false;
  std::string temp;
  try {
    std::random_device device;
    temp = path + ".~" + std::to_string(device()) + std::to_string(device());
  } catch (...) {
    return false;
  }
  const MappedHandle h = open(temp, 4, 4, 0);
  if (h == 0) return false;
  // Trim the growth step before flushing, so what reaches the disk is exactly the text.
  bool ok = write_text(h, text) && set_length(h, static_cast<std::int64_t>(text.size()));
  if (ok) {
    auto r = find(h);
    std::lock_guard lock(r->mutex);
    ok = platform::flush_file(r->file);
  }
  close(h);
  ok = ok && platform::replace_file(temp, path);
  if (!ok) (void)platform::delete_file(temp);
  return ok;
}

std::size_t open_count() {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  return t.records.size();
}

}  // namespace brindle::mapped_file
