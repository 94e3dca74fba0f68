// Open files and mapped views on Windows: CreateFileW with the store's sharing modes, file
// mappings and positioned writes.
//
// A view here cannot reach past the file's end (a mapping larger than the file would grow it),
// so map_view maps only the part of the asked range that the file holds and says so in
// MappedView::length. The mapped file store asks again when it needs bytes past a view's end,
// and it only ever touches bytes inside the file.
#include <algorithm>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace brindle::platform {
namespace {

HANDLE native(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
bool valid(FileHandle file) { return file != kInvalidFile && file != 0; }

DWORD share_flags(ShareMode share) {
  switch (share) {
    case ShareMode::kReadWrite:
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
    case ShareMode::kWrite:
      return FILE_SHARE_WRITE;
    case ShareMode::kRead:
      return FILE_SHARE_READ;
    case ShareMode::kNone:
      break;
  }
  return 0;
}

bool set_length_by_pointer(HANDLE h, std::int64_t length) {
  LARGE_INTEGER at{};
  at.QuadPart = length;
  return ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
}

}  // namespace

FileHandle open_file(const std::string& path, OpenMode mode, ShareMode share, bool sequential) {
  if (path.empty()) return kInvalidFile;
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case OpenMode::kReadExisting:
      access = GENERIC_READ;
      break;
    case OpenMode::kReadWriteExisting:
      break;
    case OpenMode::kCreateAlways:
      // The contents go only once the sharing check has passed, so a refused open destroys
      // nothing (the system checks sharing before it truncates).
      disposition = CREATE_ALWAYS;
      break;
    case OpenMode::kOpenAlways:
      disposition = OPEN_ALWAYS;
      break;
  }
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | (sequential ? FILE_FLAG_SEQUENTIAL_SCAN : 0);
  win::Handle h(::CreateFileW(win::os_path(path).c_str(), access, share_flags(share), nullptr,
                              disposition, flags, nullptr));
  if (!h.ok()) return kInvalidFile;
  // Files only: a device name (CON, NUL) opens too but is no file to map.
  if (::GetFileType(h.get()) != FILE_TYPE_DISK) return kInvalidFile;
  return reinterpret_cast<FileHandle>(h.release());
}

std::int64_t open_file_size(FileHandle file) {
  LARGE_INTEGER size{};
  if (!valid(file) || !::GetFileSizeEx(native(file), &size)) return -1;
  return static_cast<std::int64_t>(size.QuadPart);
}

std::string open_file_identity(FileHandle file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!valid(file) || !::GetFileInformationByHandle(native(file), &info)) return {};
  const std::uint64_t index =
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(index);
}

bool set_file_length(FileHandle file, std::int64_t length) {
  if (!valid(file) || length < 0) return false;
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = length;
  // By handle information, so no file position moves; the pointer route where that is missing.
  if (::SetFileInformationByHandle(native(file), FileEndOfFileInfo, &end, sizeof end)) return true;
  const DWORD error = ::GetLastError();
  if (error == ERROR_USER_MAPPED_FILE || error == ERROR_DISK_FULL) return false;
  return set_length_by_pointer(native(file), length);
}

bool reserve_file_space(FileHandle file, std::int64_t offset, std::int64_t length) {
  if (!valid(file) || offset < 0 || length < 0) return false;
  if (length == 0) return true;
  const std::int64_t size = open_file_size(file);
  if (size < 0) return false;
  const std::int64_t end = offset + length;
  if (size >= end) return true;
  // An ordinary (not sparse) file has disk space for every byte below its end, so only growth
  // needs allocating. The allocation is asked for first so a full disk fails here. (Never for a
  // range inside the file: an allocation below the end would cut the file.)
  FILE_STANDARD_INFO standard{};
  if (::GetFileInformationByHandleEx(native(file), FileStandardInfo, &standard, sizeof standard) &&
      standard.AllocationSize.QuadPart < end) {
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = end;
    if (!::SetFileInformationByHandle(native(file), FileAllocationInfo, &allocation,
                                      sizeof allocation) &&
        ::GetLastError() == ERROR_DISK_FULL) {
      return false;
    }
  }
  return set_file_length(file, end);
}

bool write_at(FileHandle file, std::int64_t offset, std::string_view bytes) {
  if (!valid(file) || offset < 0) return false;
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const DWORD piece = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD done = 0;
    if (!::WriteFile(native(file), data, piece, &done, &at)) return false;
    if (done == 0) return false;  // no progress and no error: give up rather than spin
    data += done;
    left -= done;
    offset += done;
  }
  return true;
}

bool flush_file(FileHandle file) { return valid(file) && ::FlushFileBuffers(native(file)); }

void close_file(FileHandle file) {
  if (valid(file)) ::CloseHandle(native(file));
}

bool map_view(FileHandle file, bool writable, std::uint64_t offset, std::size_t length,
              MappedView& out) {
  out = MappedView{};
  if (!valid(file) || length == 0 || offset % allocation_granularity() != 0) return false;
  const std::int64_t size = open_file_size(file);
  if (size <= 0 || offset >= static_cast<std::uint64_t>(size)) return false;
  const std::size_t mapped = static_cast<std::size_t>(
      std::min<std::uint64_t>(length, static_cast<std::uint64_t>(size) - offset));
  // A mapping object of the file's present size; the view keeps it alive once mapped.
  win::Handle mapping(::CreateFileMappingW(
      native(file), nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.ok()) return false;
  const DWORD access = writable ? (FILE_MAP_READ | FILE_MAP_WRITE) : FILE_MAP_READ;
  void* base = ::MapViewOfFile(mapping.get(), access, static_cast<DWORD>(offset >> 32),
                               static_cast<DWORD>(offset & 0xFFFFFFFFu), mapped);
  if (base == nullptr) return false;
  out.base = base;
  out.length = mapped;
  return true;
}

void unmap_view(MappedView& view) {
  if (view.base != nullptr) ::UnmapViewOfFile(view.base);
  view = MappedView{};
}

std::size_t allocation_granularity() {
  static const std::size_t granularity = [] {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return info.dwAllocationGranularity > 0 ? static_cast<std::size_t>(info.dwAllocationGranularity)
                                            : std::size_t{65536};
  }();
  return granularity;
}

}  // namespace brindle::platform
