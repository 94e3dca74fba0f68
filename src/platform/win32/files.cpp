// Files on Windows. Paths arrive as GBK texts and reach the wide-character API as UTF-16;
// names read back from a folder go the other way. Reparse points (symbolic links, junctions)
// are reported and removed as links, never followed when removing.

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folders.h"
#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace brindle::platform {

namespace win {

std::wstring os_path(const std::string& gbk_path) {
  std::wstring wide = to_wide(gbk_path);
  // Below this length every file function takes the path as it is.
  constexpr std::size_t kShortEnough = 240;
  if (wide.size() < kShortEnough || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD need = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return wide;
  std::wstring full(need, L'\0');
  const DWORD got = ::GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return wide;
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
  return L"\\\\?\\" + full;
}

}  // namespace win

namespace {

using win::Handle;
using win::os_path;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DWORD attributes_of(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

bool missing_error(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

// Facts about what a path names, following links, as stat() would give them.
struct Facts {
  bool exists = false;
  bool directory = false;
  std::int64_t size = 0;
  DWORD volume = 0;
  std::uint64_t index = 0;
};

Facts facts_of(const std::wstring& path) {
  Facts facts;
  // Backup semantics let the same call open a folder; no access right is needed for the facts.
  Handle h(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!h.ok() || !::GetFileInformationByHandle(h.get(), &info)) {
    // A file opened elsewhere without sharing can still be seen through its folder's listing.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return facts;
    facts.exists = true;
    facts.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.size =
        facts.directory
            ? 0
            : static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                        data.nFileSizeLow);
    return facts;
  }
  facts.exists = true;
  facts.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.size =
      facts.directory
          ? 0
          : static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                      info.nFileSizeLow);
  facts.volume = info.dwVolumeSerialNumber;
  facts.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return facts;
}

bool write_all(HANDLE file, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const DWORD piece = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD done = 0;
    if (!::WriteFile(file, p, piece, &done, nullptr) || done == 0) return false;
    p += done;
    left -= done;
  }
  return true;
}

// A fresh temporary name beside `target` (same folder, so the rename is atomic).
std::wstring temp_name_beside(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  return target + L".tmp-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter.fetch_add(1, std::memory_order_relaxed));
}

// Creates a new, empty temporary file beside `target` for writing, with `security` (null: the
// folder's inherited permissions). `name` receives its path.
Handle create_temp_beside(const std::wstring& target, std::wstring& name,
                          SECURITY_ATTRIBUTES* security = nullptr) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = temp_name_beside(target);
    Handle h(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, security, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (h.ok() || ::GetLastError() != ERROR_FILE_EXISTS) return Handle(h.release());
  }
  return Handle();
}

bool same_file(const Facts& a, const Facts& b) {
  return a.exists && b.exists && a.volume == b.volume && a.index == b.index &&
         (a.volume != 0 || a.index != 0);
}

// `path` made full with the "\\?\" prefix, as a rename by handle takes its new name.
std::wstring verbatim_path(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) == 0) return path;
  const DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return {};
  std::wstring full(need, L'\0');
  const DWORD got = ::GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return {};
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// The name `to` for the file `from`, replacing what is there, through a handle with POSIX
// semantics: the old file goes even while another program has it open (shared for deleting, as
// every reader here opens it), as rename() does on POSIX. Windows 10 1809 and later on NTFS; false
// elsewhere (older systems, other file systems, Wine), and the caller falls back to MoveFileExW.
bool rename_posix(const std::wstring& from, const std::wstring& to) {
  // FILE_RENAME_INFO as Windows 10 lays it out (Flags in place of ReplaceIfExists); the headers
  // for the Windows 7 target have only the older name.
  struct RenameInfo {
    DWORD flags;
    HANDLE root;
    DWORD name_bytes;
    WCHAR name[1];
  };
  constexpr DWORD kReplaceIfExists = 0x1;  // FILE_RENAME_FLAG_REPLACE_IF_EXISTS
  constexpr DWORD kPosixSemantics = 0x2;   // FILE_RENAME_FLAG_POSIX_SEMANTICS
  constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);  // FileRenameInfoEx
  const std::wstring full = verbatim_path(to);
  if (full.empty()) return false;
  Handle file(::CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.ok()) return false;
  const std::size_t name_bytes = full.size() * sizeof(WCHAR);
  std::vector<unsigned char> buffer(sizeof(RenameInfo) + name_bytes, 0);
  auto* info = reinterpret_cast<RenameInfo*>(buffer.data());
  info->flags = kReplaceIfExists | kPosixSemantics;
  info->root = nullptr;
  info->name_bytes = static_cast<DWORD>(name_bytes);
  std::copy(full.begin(), full.end(), info->name);
  return ::SetFileInformationByHandle(file.get(), kRenameInfoEx, buffer.data(),
                                      static_cast<DWORD>(buffer.size())) != 0;
}

// Renames `from` over `to`. Without POSIX semantics Windows refuses to replace a file that
// another program has open at this moment (every reader of the settings, a virus scanner, a
// second writer's rename) with a sharing or access error; those are tried again for up to
// kReplaceWaitMs before the rename counts as failed. Readers hold the file for milliseconds, but
// several programs reading the same file on a loaded machine keep it open most of the time.
constexpr std::int64_t kReplaceWaitMs = 10000;

bool rename_replacing(const std::wstring& from, const std::wstring& to, DWORD flags) {
  if ((flags & MOVEFILE_REPLACE_EXISTING) && rename_posix(from, to)) return true;
  const std::int64_t start = monotonic_ms();
  DWORD nap_ms = 1;
  for (;;) {
    if (::MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
    const DWORD error = ::GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
        error != ERROR_LOCK_VIOLATION) {
      return false;
    }
    // A read-only target refuses for good; waiting would not change that.
    const DWORD target = attributes_of(to);
    if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_READONLY)) return false;
    if (monotonic_ms() - start >= kReplaceWaitMs) return false;
    ::Sleep(nap_ms);
    nap_ms = std::min<DWORD>(nap_ms * 2, 20);
  }
}

bool copy_regular(const std::wstring& from, const std::wstring& to, bool overwrite) {
  const Facts source = facts_of(from);
  if (!source.exists || source.directory) return false;
  const Facts target = facts_of(to);
  if (target.exists) {
    if (!overwrite || target.directory || same_file(source, target)) return false;
  }
  const std::wstring temp = temp_name_beside(to);
  if (!::CopyFileW(from.c_str(), temp.c_str(), TRUE)) return false;
  // The copy keeps the source's attributes; a read-only one could not be renamed over later.
  const DWORD attributes = attributes_of(temp);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    ::SetFileAttributesW(temp.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
  {
    Handle h(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h.ok() || !::FlushFileBuffers(h.get())) {
      ::DeleteFileW(temp.c_str());
      return false;
    }
  }
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (overwrite ? MOVEFILE_REPLACE_EXISTING : 0);
  if (rename_replacing(temp, to, flags)) {
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      ::SetFileAttributesW(to.c_str(), attributes);
    }
    return true;
  }
  ::DeleteFileW(temp.c_str());
  return false;
}

// Removes a file, clearing the read-only attribute first when that is what stands in the way
// (the POSIX side removes such files too: only the folder's permissions count there).
bool delete_one_file(const std::wstring& path) {
  if (::DeleteFileW(path.c_str())) return true;
  if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
  const DWORD attributes = attributes_of(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
    return false;
  ::SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if (::DeleteFileW(path.c_str())) return true;
  ::SetFileAttributesW(path.c_str(), attributes);
  return false;
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring without_trailing_separators(std::wstring path) {
  // Keep "C:\" and "\" whole.
  while (path.size() > 1 && is_separator(path.back()) && !(path.size() == 3 && path[1] == L':')) {
    path.pop_back();
  }
  return path;
}

std::wstring join(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && is_separator(folder.back())) return folder + name;
  return folder + L"\\" + name;
}

// Removes everything below `folder` (which is a real folder, not a link); links inside are
// removed themselves, never followed.
bool remove_contents(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileExW(join(folder, L"*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  std::vector<std::pair<std::wstring, DWORD>> entries;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") entries.emplace_back(name, found.dwFileAttributes);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  bool ok = true;
  for (const auto& [name, attributes] : entries) {
    const std::wstring path = join(folder, name);
    const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (directory && !link) {
      ok = remove_contents(path) && ok;
    }
    if (directory) {
      if (attributes & FILE_ATTRIBUTE_READONLY) {
        ::SetFileAttributesW(path.c_str(),
                             attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
      }
      ok = ::RemoveDirectoryW(path.c_str()) && ok;  // a folder link goes without its target
    } else {
      ok = delete_one_file(path) && ok;
    }
  }
  return ok;
}

}  // namespace

char path_separator() { return '\\'; }

bool file_exists(const std::string& path) {
  if (path.empty()) return false;
  return facts_of(os_path(path)).exists;
}

bool is_directory(const std::string& path) {
  if (path.empty()) return false;
  const Facts facts = facts_of(os_path(path));
  return facts.exists && facts.directory;
}

std::int64_t file_size(const std::string& path) {
  if (path.empty()) return -1;
  const Facts facts = facts_of(os_path(path));
  if (!facts.exists || facts.directory) return -1;
  return facts.size;
}

bool copy_file(const std::string& from, const std::string& to, bool overwrite) {
  if (from.empty() || to.empty()) return false;
  return copy_regular(os_path(from), os_path(to), overwrite);
}

bool move_file(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  // Without MOVEFILE_REPLACE_EXISTING an existing target refuses the move; across volumes a
  // file is copied and the original removed (a folder is refused, as on POSIX).
  return ::MoveFileExW(os_path(from).c_str(), os_path(to).c_str(),
                       MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != 0;
}

bool replace_file(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  const std::wstring os_from = os_path(from);
  const std::wstring os_to = os_path(to);
  const DWORD target = attributes_of(os_to);
  if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return rename_replacing(
      os_from, os_to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH | MOVEFILE_COPY_ALLOWED);
}

bool delete_file(const std::string& path) {
  if (path.empty()) return false;
  const std::wstring os = os_path(path);
  const DWORD attributes = attributes_of(os);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    // Folders are not files; a link to a folder is, as unlink() sees it.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    return ::RemoveDirectoryW(os.c_str()) != 0;
  }
  return delete_one_file(os);
}

bool create_directory(const std::string& path) {
  if (path.empty()) return false;
  const std::wstring os = os_path(path);
  if (::CreateDirectoryW(os.c_str(), nullptr)) return true;
  if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  const DWORD attributes = attributes_of(os);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool remove_tree(const std::string& path) {
  if (path.empty()) return false;
  const std::wstring os = without_trailing_separators(os_path(path));
  const DWORD attributes = attributes_of(os);
  if (attributes == INVALID_FILE_ATTRIBUTES) return missing_error(::GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return delete_one_file(os);
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) (void)remove_contents(os);  // checked below
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    ::SetFileAttributesW(os.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
  return ::RemoveDirectoryW(os.c_str()) != 0;
}

std::vector<DirEntry> list_directory(const std::string& path) {
  std::vector<DirEntry> entries;
  if (path.empty()) return entries;
  try {
    const std::wstring folder = os_path(path);
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(join(folder, L"*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      DirEntry item;
      const DWORD attributes = found.dwFileAttributes;
      item.is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      // Symbolic links (the system's and WSL's) and junctions; other reparse points (cloud
      // placeholders, deduplicated files) are ordinary files and folders to their users. No
      // reparse point has the tag 0: Wine shows a Unix link to a folder that way.
      constexpr DWORD kWslLinkTag = 0xA000001D;  // IO_REPARSE_TAG_LX_SYMLINK
      const DWORD tag = found.dwReserved0;
      item.is_link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                     (tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT ||
                      tag == kWslLinkTag || tag == 0);
      item.is_regular = !item.is_directory && !item.is_link;
      if (!item.is_directory) {
        item.size = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
        // A link's own entry has no size; its target's is what stat() would report.
        if (item.is_link) item.size = std::max<std::int64_t>(0, facts_of(join(folder, name)).size);
      }
      item.name = win::from_wide(name);
      entries.push_back(std::move(item));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  } catch (...) {
    entries.clear();
  }
  // The file system's order differs between volumes; callers get a stable one.
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return entries;
}

std::string read_file_head(const std::string& path, std::size_t max_bytes) {
  if (path.empty()) return {};
  Handle h(::CreateFileW(os_path(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0,
                         nullptr));
  if (!h.ok() || ::GetFileType(h.get()) != FILE_TYPE_DISK) return {};
  try {
    std::string head(max_bytes, '\0');
    std::size_t got = 0;
    while (got < max_bytes) {
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(max_bytes - got, 1u << 20));
      if (!::ReadFile(h.get(), head.data() + got, want, &n, nullptr)) return {};
      if (n == 0) break;
      got += n;
    }
    head.resize(got);
    return head;
  } catch (...) {
    return {};
  }
}

bool read_file(const std::string& path, std::string& out) {
  if (path.empty()) return false;
  // Shared with writers and deleters, as a POSIX reader would be.
  Handle h(::CreateFileW(os_path(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h.ok() || ::GetFileType(h.get()) != FILE_TYPE_DISK) return false;
  try {
    std::string data;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(h.get(), &size) && size.QuadPart > 0)
      data.reserve(static_cast<std::size_t>(size.QuadPart));
    std::string buffer(64 * 1024, '\0');
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(h.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
        return false;
      if (got == 0) break;
      data.append(buffer.data(), got);
    }
    out = std::move(data);
    return true;
  } catch (...) {
    return false;
  }
}

namespace {

// Permissions for a file only its owner may open: a protected DACL (nothing inherited from the
// folder) with one entry, full access for the user this process runs as.
class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    Handle token_handle(token);
    DWORD need = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &need);
    if (need == 0) return;
    user_.resize(need);
    if (!::GetTokenInformation(token, TokenUser, user_.data(), need, &need)) return;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid);
    acl_.resize(acl_size);
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!::InitializeAcl(acl, acl_size, ACL_REVISION) ||
        !::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) ||
        !::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      return;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    ready_ = true;
  }
  SECURITY_ATTRIBUTES* get() { return ready_ ? &attributes_ : nullptr; }

 private:
  std::vector<unsigned char> user_;
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ready_ = false;
};

// The DACL of an existing file, to give its replacement the same permissions.
class CopiedSecurity {
 public:
  explicit CopiedSecurity(const std::wstring& path) {
    PACL dacl = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, &descriptor_) != ERROR_SUCCESS) {
      descriptor_ = nullptr;
      return;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
  ~CopiedSecurity() {
    if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  }
  CopiedSecurity(const CopiedSecurity&) = delete;
  CopiedSecurity& operator=(const CopiedSecurity&) = delete;
  SECURITY_ATTRIBUTES* get() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace

bool write_file_atomic(const std::string& path, std::string_view bytes, bool owner_only) {
  if (path.empty()) return false;
  try {
    const std::wstring os = os_path(path);
    const DWORD old_attributes = attributes_of(os);
    const bool replacing = old_attributes != INVALID_FILE_ATTRIBUTES;
    if (replacing && (old_attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // An owner-only file is never open to others, not even while it is being written.
    OwnerOnlySecurity owner;
    std::unique_ptr<CopiedSecurity> copied;
    SECURITY_ATTRIBUTES* security = nullptr;
    if (owner_only) {
      security = owner.get();
      if (security == nullptr) return false;  // cannot promise privacy: write nothing
    } else if (replacing) {
      copied = std::make_unique<CopiedSecurity>(os);
      security = copied->get();
    }
    std::wstring temp;
    Handle h = create_temp_beside(os, temp, security);
    if (!h.ok()) return false;
    bool ok = write_all(h.get(), bytes) && ::FlushFileBuffers(h.get());
    h.reset();
    if (ok && replacing && (old_attributes & FILE_ATTRIBUTE_READONLY)) {
      // The rename cannot replace a read-only file; the new one keeps the attribute.
      ::SetFileAttributesW(os.c_str(),
                           old_attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    if (ok && rename_replacing(temp, os, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      if (replacing && (old_attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(os.c_str(), old_attributes);
      return true;
    }
    if (replacing && (old_attributes & FILE_ATTRIBUTE_READONLY))
      ::SetFileAttributesW(os.c_str(), old_attributes);
    ::DeleteFileW(temp.c_str());
    return false;
  } catch (...) {
    return false;
  }
}

namespace {

constexpr std::wstring_view kTempMark = L".tmp-";

// The writer's process id in a temporary file's name ("<target>.tmp-<pid>-<n>"), or 0 when the
// name is not one of ours.
DWORD temp_file_writer(std::wstring_view name) {
  const std::size_t mark = name.rfind(kTempMark);
  if (mark == std::wstring_view::npos || mark == 0) return 0;
  const std::wstring_view rest = name.substr(mark + kTempMark.size());
  const std::size_t dash = rest.find(L'-');
  if (dash == 0 || dash == std::wstring_view::npos || dash + 1 == rest.size()) return 0;
  auto digits = [](std::wstring_view s) {
    return s.size() <= 10 &&
           std::all_of(s.begin(), s.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
  };
  if (!digits(rest.substr(0, dash)) || !digits(rest.substr(dash + 1))) return 0;
  unsigned long long pid = 0;
  for (wchar_t c : rest.substr(0, dash)) pid = pid * 10 + static_cast<unsigned>(c - L'0');
  return pid > 0 && pid <= 0xFFFFFFFFull ? static_cast<DWORD>(pid) : 0;
}

bool process_alive(DWORD pid) {
  Handle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!process.ok()) return ::GetLastError() == ERROR_ACCESS_DENIED;  // someone else's, running
  return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

int remove_stale_temp_files(const std::string& dir) {
  if (dir.empty()) return 0;
  int removed = 0;
  try {
    const std::wstring folder = os_path(dir);
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(join(folder, L"*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FILETIME now_time{};
    ::GetSystemTimeAsFileTime(&now_time);
    auto ticks = [](const FILETIME& t) {
      return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    constexpr std::uint64_t kDay = 24ull * 60 * 60 * 10'000'000;  // in 100 ns steps
    std::vector<std::wstring> stale;
    do {
      const std::wstring name = found.cFileName;
      const DWORD writer = temp_file_writer(name);
      if (writer == 0) continue;
      if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        continue;
      const bool old = ticks(now_time) > ticks(found.ftLastWriteTime) + kDay;
      if (!old && process_alive(writer)) continue;
      stale.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    // A file its writer still has open (a reused process id) refuses the delete: it stays.
    for (const std::wstring& name : stale) {
      if (::DeleteFileW(join(folder, name).c_str())) ++removed;
    }
  } catch (...) {
  }
  return removed;
}

LockOutcome lock_file(const std::string& path, FileHandle& out) {
  out = kInvalidFile;
  if (path.empty()) return LockOutcome::kFailed;
  // Opened shared, so the lock (not the open) decides; the lock covers one byte far past any
  // content, so whoever holds it may still read and write the file's bytes. Not shared for
  // deletion: a lock file deleted under its holder would let the next program take a new one.
  Handle h(::CreateFileW(os_path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.ok()) return LockOutcome::kFailed;
  OVERLAPPED at{};
  at.Offset = 0xFFFFFFFEu;
  at.OffsetHigh = 0x7FFFFFFFu;
  // Byte-range locks belong to the handle: a second handle of this process is refused too.
  if (::LockFileEx(h.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    out = reinterpret_cast<FileHandle>(h.release());
    return LockOutcome::kTaken;
  }
  const DWORD error = ::GetLastError();
  return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? LockOutcome::kHeldElsewhere
                                                                    : LockOutcome::kFailed;
}

LockOutcome lock_folder(const std::string& path, FileHandle& out) {
  out = kInvalidFile;
  return path.empty() ? LockOutcome::kFailed : LockOutcome::kTaken;
}

LockOutcome lock_file_wait(const std::string& path, int wait_ms, FileHandle& out) {
  const std::int64_t start = monotonic_ms();
  // Holders keep these locks for milliseconds: short naps first, then a few a second at most.
  DWORD nap_ms = 1;
  for (;;) {
    const LockOutcome outcome = lock_file(path, out);
    if (outcome != LockOutcome::kHeldElsewhere) return outcome;
    if (monotonic_ms() - start >= wait_ms) return outcome;
    ::Sleep(nap_ms);
    nap_ms = std::min<DWORD>(nap_ms * 2, 50);
  }
}

void unlock_file(FileHandle lock) {
  if (lock == kInvalidFile || lock == 0) return;
  ::CloseHandle(reinterpret_cast<HANDLE>(lock));  // the lock ends with the handle
}

bool folder_writable(const std::string& dir) {
  if (!is_directory(dir)) return false;
  // Access lists, inherited rights and read-only media decide together: only a try tells. The
  // file goes with its handle.
  const std::string probe =
      dir + "\\.brindle-write-probe-" + std::to_string(::GetCurrentProcessId());
  win::Handle file(::CreateFileW(win::os_path(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return file.ok();
}

std::string user_program_folder() {
  wchar_t base[MAX_PATH];
  if (::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                         SHGFP_TYPE_CURRENT, base) != S_OK) {
    return {};
  }
  const std::string folder = win::from_wide(base) + "\\Brindle";
  return create_directory(folder) ? folder : std::string();
}

}  // namespace brindle::platform
