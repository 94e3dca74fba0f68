// The only door to the operating system. Everything above this header is portable; the POSIX
// implementation lives in posix/, the Windows one in win32/. No function throws: each reports
// failure through its result (false, -1, 0 or an empty value) as documented beside it.
//
// Texts are GBK (code page 936) unless a name says UTF-8 or UTF-16. Paths are GBK texts as the
// rest of the program holds them; the implementation converts them to the OS form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::platform {

// ---- Code pages ------------------------------------------------------------------------------

inline constexpr unsigned kCodePageGbk = 936;
inline constexpr unsigned kCodePageUtf8 = 65001;
// GBK for every character GBK has, and GB18030's four-byte form for the ones it lacks (emoji,
// Hangul, ...): a superset of GBK whose extra sequences are never GBK pairs (their second byte is
// a digit), so GBK-aware code passes them through whole. A target of wide_to_multibyte and
// convert_code_page; decoding code page 936 reads the four-byte forms as well.
inline constexpr unsigned kCodePageGbkKeepingAll = 54936;

// Decodes `bytes` (counted; NUL bytes are ordinary characters) from `code_page` to UTF-16 code
// units, as MultiByteToWideChar with flags 0 does: an invalid sequence becomes U+FFFD. GBK's
// decoding takes the four-byte forms of kCodePageGbkKeepingAll too.
// An unknown code page gives an empty result.
std::u16string multibyte_to_wide(std::string_view bytes, unsigned code_page);

// Encodes UTF-16 code units into `code_page`, as WideCharToMultiByte with flags 0 does: a
// character the code page lacks (or a lone surrogate) becomes one "?".
[[nodiscard]] std::string wide_to_multibyte(std::u16string_view wide, unsigned code_page);

// The same as wide_to_multibyte(multibyte_to_wide(bytes, from_code_page), to_code_page), in one
// pass without the UTF-16 string in between (the network's UTF-8 to GBK path is a hot one).
[[nodiscard]] std::string convert_code_page(std::string_view bytes, unsigned from_code_page,
                                            unsigned to_code_page);

// ---- Digests ---------------------------------------------------------------------------------

// The 16 raw bytes of the MD5 digest of `bytes`.
std::string md5_digest(std::string_view bytes);

// ---- Files -----------------------------------------------------------------------------------

// The separator of directory values on this platform ("\" on Windows, "/" here). Directory texts
// keep a trailing separator and file names are appended without one.
char path_separator();

[[nodiscard]] bool file_exists(const std::string& path);  // a file or a directory
[[nodiscard]] bool is_directory(const std::string& path);
[[nodiscard]] std::int64_t file_size(
    const std::string& path);  // -1 when missing or not a regular file
[[nodiscard]] bool copy_file(const std::string& from, const std::string& to, bool overwrite);
[[nodiscard]] bool move_file(const std::string& from,
                             const std::string& to);  // fails when `to` exists
[[nodiscard]] bool replace_file(const std::string& from,
                                const std::string& to);  // atomic rename over `to`
[[nodiscard]] bool delete_file(const std::string& path);
[[nodiscard]] bool create_directory(
    const std::string& path);  // one level; true when it exists afterwards

struct DirEntry {
  std::string name;           // GBK
  bool is_directory = false;  // a folder, or a link to one
  std::int64_t size = 0;
  bool is_link = false;     // the entry itself is a symbolic link
  bool is_regular = false;  // a regular file itself (not a link to one)
};
// Entries of a directory without "." and ".."; empty when the directory cannot be read.
[[nodiscard]] std::vector<DirEntry> list_directory(const std::string& path);

// Removes `path` and, for a folder, everything in it; links are removed, never followed. True
// when nothing is left at `path` afterwards (also when nothing was there).
bool remove_tree(const std::string& path);

// Whole-file helpers for small files. `write_file_atomic` writes a temporary file beside `path`
// and renames it over `path`, so a crash leaves either the old or the new contents. The new file
// keeps the permissions of the one it replaces; with `owner_only` it is readable and writable by
// its owner alone (POSIX 0600) from the moment it exists, whatever the old one allowed.
[[nodiscard]] bool read_file(const std::string& path, std::string& out);
// At most the first `max_bytes` of a regular file (fewer when it is shorter); empty when it
// cannot be read.
[[nodiscard]] std::string read_file_head(const std::string& path, std::size_t max_bytes);
[[nodiscard]] bool write_file_atomic(const std::string& path, std::string_view bytes,
                                     bool owner_only = false);
// Removes the temporary files that write_file_atomic and copy_file left in the folder `dir` when
// their process died before the rename (a kill, a power cut). A temporary file whose writer still
// runs is left alone; one older than a day is removed whoever wrote it. Returns how many were
// removed.
int remove_stale_temp_files(const std::string& dir);

// ---- Open files and mapped views (the mapped file store's ground) ----------------------------

enum class OpenMode { kReadExisting, kReadWriteExisting, kCreateAlways, kOpenAlways };
enum class ShareMode { kReadWrite, kWrite, kRead, kNone };

using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

[[nodiscard]] FileHandle open_file(const std::string& path, OpenMode mode, ShareMode share,
                                   bool sequential);
[[nodiscard]] std::int64_t open_file_size(FileHandle file);                // -1 on failure
[[nodiscard]] bool set_file_length(FileHandle file, std::int64_t length);  // growth leaves a hole
// Allocates disk space for [offset, offset + length), growing the file when that range passes its
// end, so writes through a view there cannot fail for lack of space. Where the file system cannot
// allocate ahead it only grows the file.
[[nodiscard]] bool reserve_file_space(FileHandle file, std::int64_t offset, std::int64_t length);
// A key naming the file itself (equal for every open handle of one file, whatever the path);
// empty on failure.
[[nodiscard]] std::string open_file_identity(FileHandle file);
// Writes all of `bytes` at `offset` without moving any file position, growing the file when the
// range passes its end (a gap before `offset` stays a hole). False when any part cannot be
// written; part of it may then be written and the file grown, which the caller undoes.
[[nodiscard]] bool write_at(FileHandle file, std::int64_t offset, std::string_view bytes);
[[nodiscard]] bool flush_file(FileHandle file);  // data and size on disk before returning
void close_file(FileHandle file);

struct MappedView {
  void* base = nullptr;  // start of the mapping (aligned offset)
  std::size_t length = 0;
};
// Maps [offset, offset + length) of `file`; offset must be a multiple of
// allocation_granularity(). Returns false and leaves `out` empty on failure. On POSIX the range
// may pass the file's end; bytes there must not be touched until the file has grown over them.
// Windows cannot map past the end: there only the part the file holds is mapped, `out.length`
// says how much, and bytes past it need a new view once the file has grown.
[[nodiscard]] bool map_view(FileHandle file, bool writable, std::uint64_t offset,
                            std::size_t length, MappedView& out);
void unmap_view(MappedView& view);
std::size_t allocation_granularity();

// Puts the calling thread below the program's other threads when the processor is contended, so
// background work never keeps the window's thread waiting for a core (best effort; children the
// thread starts inherit it).
void lower_this_thread_priority();

// Runs work(context) on a new thread with a stack of `stack_bytes` and waits for it: for deeply
// recursive library code (std::regex). False, without running it, when no such thread can start.
[[nodiscard]] bool run_with_stack(std::size_t stack_bytes, void (*work)(void*), void* context);

// ---- Exclusive lock files ----------------------------------------------------------------------

// A lock held on a file for as long as the handle stays open: one owner at a time, whether the
// other owner is another process or another handle of this one. The lock ends with the handle
// (and with the process), so a crash never leaves a stale lock behind.
enum class LockOutcome { kTaken, kHeldElsewhere, kFailed };
// Creates `path` when missing and takes its lock without waiting. kTaken sets `out` (release it
// with unlock_file); kHeldElsewhere when someone holds it; kFailed when the file cannot be opened.
LockOutcome lock_file(const std::string& path, FileHandle& out);
// The same, waiting up to wait_ms (at least once tried) for a holder to let go: kHeldElsewhere
// when someone still holds it after the wait.
LockOutcome lock_file_wait(const std::string& path, int wait_ms, FileHandle& out);
// Locks the folder itself where the system can (here: flock on the folder; on Windows, where
// an open lock file cannot be replaced, kTaken with no handle), so deleting or replacing a lock
// file inside it does not free it. Release with unlock_file.
LockOutcome lock_folder(const std::string& path, FileHandle& out);
void unlock_file(FileHandle lock);

// ---- Profile files (INI) ---------------------------------------------------------------------

// GetPrivateProfileStringA semantics: section and key compare without regard to case, values are
// trimmed, at most buffer_size - 1 bytes are returned; `fallback` when the key is absent or the
// file unreadable.
[[nodiscard]] std::string profile_read(const std::string& section, const std::string& key,
                                       const std::string& fallback, const std::string& path,
                                       std::size_t buffer_size = 10240);
// WritePrivateProfileStringA semantics: replaces the value in place keeping every other line,
// creates the file and the section when missing; written atomically. The settings file holds
// login tokens, so a profile file is written readable by its owner only.
[[nodiscard]] bool profile_write(const std::string& section, const std::string& key,
                                 const std::string& value, const std::string& path);

// ---- Machine facts (each empty when unavailable) ---------------------------------------------

[[nodiscard]] std::string user_name();  // as GetUserNameA with a 50-byte buffer
[[nodiscard]] std::string host_name();  // gethostname with a 16-byte buffer
[[nodiscard]] std::string
mac_address_text();  // "00:1A:2B:3C:4D:5E" of the connected physical adapter
// Windows: name, edition, architecture and build. Elsewhere: name, version and architecture;
// never the kernel release, which changes at every update and would change the machine identity.
[[nodiscard]] std::string os_version_text();

// ---- This process -----------------------------------------------------------------------------

// Full path of this program's executable (GBK); empty when the system cannot say.
[[nodiscard]] std::string executable_path();
// The stream is a terminal (a console window on Windows), so a live progress line may be drawn
// on it; false for files, pipes and a null stream.
[[nodiscard]] bool is_terminal(std::FILE* stream);
// The program's arguments (argv[1] on) as UTF-8. POSIX: argv as given (the locale's UTF-8).
// Windows: from the wide command line, since argv there is in the ANSI code page and loses what
// that page cannot hold.
[[nodiscard]] std::vector<std::string> command_line_utf8(int argc, char** argv);
// Makes standard output and standard error carry the bytes written unchanged (Windows: binary
// mode, so "\n" is not widened to "\r\n") and a console show them as UTF-8. Nothing elsewhere.
void use_utf8_standard_streams();
// This process runs as the POSIX superuser (effective user id 0). Always false on Windows, which
// has no such user: an elevated administrator is not one.
[[nodiscard]] bool running_as_root();

// ---- Processes and shell ---------------------------------------------------------------------

struct ProcessInfo {
  int pid = 0;
  std::string exe_name;  // file name of the executable (GBK), without its folder
  // The name the process was started under, where the system keeps one apart from its
  // executable (Linux: a link or a script started by its own name; at most 15 bytes); empty
  // elsewhere.
  std::string started_as;
};
// Every process visible to this user. Returns false (and leaves `out` empty) when the process
// table cannot be read at all; processes that vanish while being read are skipped.
[[nodiscard]] bool list_processes(std::vector<ProcessInfo>& out);
// Full path of the process's executable, or empty text when it is gone or not ours to read.
[[nodiscard]] std::string process_image_path(int pid);

// Opens a URL with the desktop's handler, detached; nothing is reported.
void open_url(const std::string& url);
// Whether the desktop knows a program for URLs of `scheme` ("steam", "https"): Windows: the
// scheme's open command in the registry; elsewhere xdg-open on PATH and a desktop entry or a
// default that claims x-scheme-handler/<scheme>.
[[nodiscard]] bool has_url_handler(const std::string& scheme);
// Starts `file` with administrator rights, `parameters` as its one argument (none when empty);
// an empty `file` stands for this program. With wait_ms > 0 it waits that long and then ends the
// process. False when the start was refused (missing file, no elevation tool, prompt refused).
[[nodiscard]] bool run_elevated(const std::string& file, const std::string& parameters,
                                int wait_ms);
// Shows the folder holding `path` in the file manager with the item selected where the desktop
// allows it (`edit_name` asks for the rename field where supported). False when the path does
// not exist or no file manager could be asked.
[[nodiscard]] bool show_in_folder(const std::string& path, bool edit_name);

// Child processes that the caller owns and must wait for (the extractor).
using ProcessHandle = std::intptr_t;
inline constexpr ProcessHandle kInvalidProcess = -1;
// Starts argv[0] (a path, or a name looked up in PATH) with the other items as arguments, in
// `working_dir` (empty: this process's folder). With `quiet` the child's standard streams are
// tied to the null device. kInvalidProcess when it cannot be started.
//
// With `bound` the child never outlives this program: on Windows it joins a job that ends with the
// program; here it is ended when the thread that started it ends (which a crash of the program
// does too), so start a bound child from a thread that lives at least as long as the child.
[[nodiscard]] ProcessHandle spawn_process(const std::vector<std::string>& argv,
                                          const std::string& working_dir, bool quiet = false,
                                          bool bound = false);
// This process's id, and whether a process of that id runs (someone else's counts too).
[[nodiscard]] int current_process_id();
[[nodiscard]] bool process_running(int pid);
[[nodiscard]] int process_id(ProcessHandle process);
enum class WaitOutcome { kExited, kTimedOut, kFailed };
// Waits up to timeout_ms (negative: without limit) for the child to end. kExited sets
// `exit_code` (128 + signal number for a child ended by a signal) and releases the handle; after
// that the handle must not be used again.
[[nodiscard]] WaitOutcome wait_process(ProcessHandle process, std::int64_t timeout_ms,
                                       int& exit_code);
// Ends the child at once; it still has to be waited for.
[[nodiscard]] bool kill_process(ProcessHandle process);

// ---- Time ------------------------------------------------------------------------------------

[[nodiscard]] std::int64_t monotonic_ms();
// The local date and time now, in the machine's time zone.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
[[nodiscard]] LocalTime local_time_now();
void sleep_ms(std::int64_t ms);

// ---- UDP -------------------------------------------------------------------------------------

// One IPv4 datagram socket. Sending and receiving may run on different threads at once, and
// close() may be called from any thread: it wakes a receive that is waiting and waits for the
// calls in progress to leave before the socket is released. Addresses are dotted IPv4 texts.
class UdpSocket {
 public:
  static constexpr std::size_t kReceiveBufferBytes = 10240;
  // The system's buffer of arrived datagrams asked for at open (the system may grant less).
  static constexpr std::size_t kSocketBufferBytes = 4 << 20;

  // Datagrams taken by one receive_batch call, at most.
  static constexpr std::size_t kReceiveBatch = 32;

  enum class Receive { kDatagram, kTimeout, kClosed, kError };
  struct Datagram {
    std::string bytes;    // at most kReceiveBufferBytes; a longer datagram arrives cut
    std::string address;  // sender, dotted
    std::uint16_t port = 0;
  };
  struct Outgoing {
    std::string host;  // dotted
    std::uint16_t port = 0;
    std::string bytes;
  };

  UdpSocket();
  ~UdpSocket();  // closes
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Creates the socket and binds it ("0.0.0.0", 0: any address, an ephemeral port). False when
  // it is already open, the address is not dotted IPv4, or creating or binding fails.
  bool open(const std::string& bind_address = "0.0.0.0", std::uint16_t port = 0);
  void close();
  bool is_open() const;
  std::uint16_t local_port() const;  // 0 when closed

  // False when closed, `host` is not a dotted address, port is 0, or the system refuses.
  bool send_to(const std::string& host, std::uint16_t port, std::string_view bytes);
  // Sends each datagram in order, many per system call where the system offers it (a refresh
  // of thousands of servers would otherwise pay a call each). Returns how many were sent; one
  // refused (bad address, port 0, the system says no) is skipped and the rest still go.
  std::size_t send_batch(const std::vector<Outgoing>& datagrams);
  // Waits up to timeout_ms (at least 0) for one datagram.
  Receive receive(int timeout_ms, Datagram& out);
  // The same, taking also the datagrams already queued behind the first, up to kReceiveBatch,
  // in arrival order: on kDatagram the first `count` elements of `out` hold them. `out` is
  // grown to kReceiveBatch and never shrunk, so its buffers serve call after call.
  Receive receive_batch(int timeout_ms, std::vector<Datagram>& out, std::size_t& count);

  struct State;  // the implementation's

 private:
  State* state_;
};

// The first IPv4 address of `host` from the system's resolver, dotted; empty when there is none.
std::string resolve_ipv4(const std::string& host);

}  // namespace brindle::platform
