// Processes and the desktop shell on Linux: the process table from /proc, children through
// posix_spawn, URLs and folders through the freedesktop tools, elevation through pkexec.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "platform/platform.h"

extern char** environ;

namespace brindle::platform {
namespace {

bool is_ascii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

// The program holds GBK; the file system speaks UTF-8.
std::string to_os(const std::string& gbk_text) {
  if (is_ascii(gbk_text)) return gbk_text;
  return wide_to_multibyte(multibyte_to_wide(gbk_text, kCodePageGbk), kCodePageUtf8);
}

std::string from_os(const std::string& os_text) {
  if (is_ascii(os_text)) return os_text;
  return wide_to_multibyte(multibyte_to_wide(os_text, kCodePageUtf8), kCodePageGbk);
}

// readlink without a length limit; empty on failure.
std::string read_link(const std::string& link) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      return buffer;
    }
    if (buffer.size() >= 65536) return {};
    buffer.resize(buffer.size() * 2);
  }
}

// The kernel marks an executable replaced or removed since the start with this suffix.
std::string exe_link_path(int pid) {
  std::string path = read_link("/proc/" + std::to_string(pid) + "/exe");
  static const std::string kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() &&
      path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
    path.resize(path.size() - kDeleted.size());
  }
  return path;
}

bool parse_pid(const char* name, int& pid) {
  if (*name == '\0') return false;
  long value = 0;
  for (const char* p = name; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) return false;
  }
  pid = static_cast<int>(value);
  return pid > 0;
}

std::string read_comm(int pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/comm";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[64];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (n <= 0) return {};
  std::string comm(buffer, static_cast<std::size_t>(n));
  while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();
  return comm;
}

// Full path of an executable found through PATH (or `name` itself when it holds a "/").
std::string find_in_path(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path_env = std::getenv("PATH");
  const std::string path_list = path_env ? path_env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= path_list.size()) {
    std::size_t end = path_list.find(':', start);
    if (end == std::string::npos) end = path_list.size();
    std::string dir = path_list.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return {};
}

// argv already in the OS form.
pid_t spawn_os(const std::vector<std::string>& argv, const std::string& working_dir, bool quiet) {
  if (argv.empty() || argv[0].empty()) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  // The child starts with a clean signal state whatever this process blocks or ignores.
  sigset_t empty_mask;
  sigemptyset(&empty_mask);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigmask(&attributes, &empty_mask);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  bool ok = true;
  if (!working_dir.empty()) {
    ok = posix_spawn_file_actions_addchdir_np(&actions, working_dir.c_str()) == 0;
  }
  if (ok && quiet) {
    ok = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
         posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
         posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0) == 0;
  }
  pid_t pid = -1;
  if (ok) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const bool search = argv[0].find('/') == std::string::npos;
    const int rc = search ? posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ)
                          : posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
    if (rc != 0) pid = -1;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// fork and exec with the child bound to the calling thread (PR_SET_PDEATHSIG), which posix_spawn
// cannot ask for. Between fork and exec the child only makes async-signal-safe calls; a failed
// exec reports its errno through a close-on-exec pipe, so it reads as a failed start.
pid_t spawn_bound_os(const std::vector<std::string>& argv, const std::string& working_dir,
                     bool quiet) {
  if (argv.empty() || argv[0].empty()) return -1;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const bool search = argv[0].find('/') == std::string::npos;
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return -1;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return -1;
  }
  if (pid == 0) {
    int error = 0;
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGCHLD}) ::signal(sig, SIG_DFL);
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
    if (!working_dir.empty() && ::chdir(working_dir.c_str()) != 0) error = errno;
    if (error == 0 && quiet) {
      const int null_in = ::open("/dev/null", O_RDONLY);
      const int null_out = ::open("/dev/null", O_WRONLY);
      if (null_in < 0 || null_out < 0 || ::dup2(null_in, 0) < 0 || ::dup2(null_out, 1) < 0 ||
          ::dup2(null_out, 2) < 0) {
        error = errno;
      }
    }
    if (error == 0) {
      if (search) {
        ::execvp(args[0], args.data());
      } else {
        ::execv(args[0], args.data());
      }
      error = errno;
    }
    (void)!::write(report[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(report[1]);
  int error = 0;
  ssize_t n = 0;
  do {
    n = ::read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n > 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return -1;
  }
  return pid;
}

int exit_code_of(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Starts a program that outlives the call without leaving a zombie behind: a shell puts it in
// the background and ends at once, so the program is adopted by init, which reaps it.
bool spawn_detached(const std::vector<std::string>& os_argv) {
  std::vector<std::string> argv{"/bin/sh", "-c", "\"$0\" \"$@\" </dev/null >/dev/null 2>&1 &"};
  argv.insert(argv.end(), os_argv.begin(), os_argv.end());
  const pid_t shell = spawn_os(argv, "", true);
  if (shell < 0) return false;
  int status = 0;
  while (::waitpid(shell, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs a program to its end (bounded by timeout_ms) and gives its exit code, -1 on failure.
int run_and_wait(const std::vector<std::string>& os_argv, std::int64_t timeout_ms) {
  const pid_t pid = spawn_os(os_argv, "", true);
  if (pid < 0) return -1;
  int code = -1;
  const WaitOutcome outcome = wait_process(pid, timeout_ms, code);
  if (outcome == WaitOutcome::kTimedOut) {
    (void)kill_process(pid);
    (void)wait_process(pid, -1, code);
    return -1;
  }
  return outcome == WaitOutcome::kExited ? code : -1;
}

std::string absolute_os_path(const std::string& os_path) {
  char resolved[PATH_MAX];
  if (::realpath(os_path.c_str(), resolved) != nullptr) return resolved;
  return os_path;
}

std::string file_uri(const std::string& os_path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : os_path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0xF];
    }
  }
  return uri;
}

}  // namespace

bool list_processes(std::vector<ProcessInfo>& out) {
  out.clear();
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return false;
  while (const dirent* entry = ::readdir(proc)) {
    int pid = 0;
    if (!parse_pid(entry->d_name, pid)) continue;
    // The executable's own name; comm is cut to 15 bytes, so it only stands in when the link
    // cannot be read (other users' processes, kernel threads).
    std::string name;
    const std::string comm = read_comm(pid);
    const std::string exe = exe_link_path(pid);
    if (!exe.empty()) {
      name = exe.substr(exe.rfind('/') + 1);
    } else {
      name = comm;
      if (name.empty()) continue;  // gone meanwhile
    }
    // comm is the name the process was started by: a link's own name (the extractor is a link to
    // 7zz) or a script's name, where the executable is 7zz or the shell.
    out.push_back(ProcessInfo{pid, from_os(name), from_os(comm)});
  }
  ::closedir(proc);
  return true;
}

std::string process_image_path(int pid) {
  if (pid <= 0) return {};
  return from_os(exe_link_path(pid));
}

void open_url(const std::string& url) {
  if (url.empty()) return;
  const std::string opener = find_in_path("xdg-open");
  if (opener.empty()) return;
  spawn_detached({opener, to_os(url)});
}

namespace {

// The folders the desktop reads its handlers from: applications/ under the data folders, and
// the configuration folders holding mimeapps.list.
std::vector<std::string> HandlerFiles() {
  auto env = [](const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr && *value != '\0' ? value : fallback);
  };
  const std::string home = env("HOME", "");
  std::vector<std::string> data = {env("XDG_DATA_HOME", (home + "/.local/share").c_str())};
  std::vector<std::string> config = {env("XDG_CONFIG_HOME", (home + "/.config").c_str())};
  auto split = [](const std::string& list, std::vector<std::string>& out) {
    std::size_t start = 0;
    while (start <= list.size()) {
      const std::size_t end = std::min(list.find(':', start), list.size());
      if (end > start) out.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  };
  split(env("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), data);
  split(env("XDG_CONFIG_DIRS", "/etc/xdg"), config);
  std::vector<std::string> files;
  for (const std::string& dir : config) files.push_back(dir + "/mimeapps.list");
  for (const std::string& dir : data) {
    const std::string apps = dir + "/applications";
    files.push_back(apps + "/mimeapps.list");
    files.push_back(apps + "/mimeinfo.cache");
    if (DIR* d = ::opendir(apps.c_str())) {
      while (const dirent* entry = ::readdir(d)) {
        const std::string name = entry->d_name;
        if (name.size() > 8 && name.compare(name.size() - 8, 8, ".desktop") == 0) {
          files.push_back(apps + "/" + name);
        }
      }
      ::closedir(d);
    }
  }
  return files;
}

}  // namespace

bool has_url_handler(const std::string& scheme) {
  if (scheme.empty() || find_in_path("xdg-open").empty()) return false;
  const std::string claim = "x-scheme-handler/" + scheme;
  constexpr std::size_t kMaxHandlerFileBytes = 1 << 20;
  for (const std::string& file : HandlerFiles()) {
    const std::string text = read_file_head(file, kMaxHandlerFileBytes);
    for (std::size_t at = text.find(claim); at != std::string::npos;
         at = text.find(claim, at + 1)) {
      // "x-scheme-handler/steam" must not count for "x-scheme-handler/steamchina".
      const std::size_t end = at + claim.size();
      if (end == text.size() || text[end] == ';' || text[end] == '=' || text[end] == '\n') {
        return true;
      }
    }
  }
  return false;
}

bool run_elevated(const std::string& file, const std::string& parameters, int wait_ms) {
  std::string program = file.empty() ? read_link("/proc/self/exe") : to_os(file);
  if (program.empty() || ::access(program.c_str(), F_OK) != 0) return false;
  program = absolute_os_path(program);
  const std::string elevator = find_in_path("pkexec");
  if (elevator.empty()) return false;
  std::vector<std::string> argv{elevator, program};
  if (!parameters.empty()) argv.push_back(to_os(parameters));
  if (wait_ms <= 0) return spawn_detached(argv);

  const pid_t pid = spawn_os(argv, "", false);
  if (pid < 0) return false;
  int code = -1;
  const WaitOutcome outcome = wait_process(pid, wait_ms, code);
  if (outcome == WaitOutcome::kTimedOut) {
    (void)kill_process(pid);
    (void)wait_process(pid, -1, code);
    return true;
  }
  // pkexec ends with 126 when the prompt was dismissed and 127 when it was not authorised.
  return outcome == WaitOutcome::kExited && code != 126 && code != 127;
}

bool show_in_folder(const std::string& path, bool /*edit_name: no rename request on Linux*/) {
  const std::string os_path = to_os(path);
  if (os_path.empty() || ::access(os_path.c_str(), F_OK) != 0) return false;
  const std::string absolute = absolute_os_path(os_path);

  // The file manager interface of the desktop selects the item; a plain folder open is the
  // fallback when no file manager answers on the session bus.
  const std::string bus_tool = find_in_path("dbus-send");
  if (!bus_tool.empty() && std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr) {
    const int code =
        run_and_wait({bus_tool, "--session", "--print-reply", "--reply-timeout=3000",
                      "--dest=org.freedesktop.FileManager1", "--type=method_call",
                      "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1.ShowItems",
                      "array:string:" + file_uri(absolute), "string:"},
                     5000);
    if (code == 0) return true;
  }
  const std::string opener = find_in_path("xdg-open");
  if (opener.empty()) return false;
  std::string folder = absolute;
  const std::size_t slash = folder.rfind('/');
  folder = slash == 0 ? "/" : folder.substr(0, slash);
  return spawn_detached({opener, folder});
}

ProcessHandle spawn_process(const std::vector<std::string>& argv, const std::string& working_dir,
                            bool quiet, bool bound) {
  std::vector<std::string> os_argv;
  os_argv.reserve(argv.size());
  for (const std::string& arg : argv) os_argv.push_back(to_os(arg));
  const pid_t pid = bound ? spawn_bound_os(os_argv, to_os(working_dir), quiet)
                          : spawn_os(os_argv, to_os(working_dir), quiet);
  return pid < 0 ? kInvalidProcess : static_cast<ProcessHandle>(pid);
}

int current_process_id() { return static_cast<int>(::getpid()); }

bool process_running(int pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

int process_id(ProcessHandle process) { return static_cast<int>(process); }

WaitOutcome wait_process(ProcessHandle process, std::int64_t timeout_ms, int& exit_code) {
  if (process <= 0) return WaitOutcome::kFailed;
  const pid_t pid = static_cast<pid_t>(process);
  int status = 0;
  if (timeout_ms < 0) {
    for (;;) {
      if (::waitpid(pid, &status, 0) == pid) {
        exit_code = exit_code_of(status);
        return WaitOutcome::kExited;
      }
      if (errno != EINTR) return WaitOutcome::kFailed;
    }
  }
  const std::int64_t deadline = monotonic_ms() + timeout_ms;
  // A pidfd becomes readable when the child ends, so the wait needs no polling loop.
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  for (;;) {
    const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == pid) {
      if (pidfd >= 0) ::close(pidfd);
      exit_code = exit_code_of(status);
      return WaitOutcome::kExited;
    }
    if (reaped < 0 && errno != EINTR) {
      if (pidfd >= 0) ::close(pidfd);
      return WaitOutcome::kFailed;
    }
    const std::int64_t left = deadline - monotonic_ms();
    if (left <= 0) {
      if (pidfd >= 0) ::close(pidfd);
      return WaitOutcome::kTimedOut;
    }
    if (pidfd >= 0) {
      pollfd ready{pidfd, POLLIN, 0};
      ::poll(&ready, 1, static_cast<int>(left > INT_MAX ? INT_MAX : left));
    } else {
      sleep_ms(left < 5 ? left : 5);
    }
  }
}

bool kill_process(ProcessHandle process) {
  if (process <= 0) return false;
  return ::kill(static_cast<pid_t>(process), SIGKILL) == 0;
}

std::string installed_extractor() {
  // Debian's 7zip package installs 7-Zip's own console program as 7zz. A relative PATH entry
  // would make the extractor depend on the working folder: only an absolute find counts.
  const std::string found = find_in_path("7zz");
  if (found.empty() || found[0] != '/') return {};
  return convert_code_page(found, kCodePageUtf8, kCodePageGbk);
}

}  // namespace brindle::platform
