// Processes and the shell on Windows: the process table from a Toolhelp snapshot, children
// through CreateProcessW (hidden, no console window), URLs and elevation through the shell.

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace brindle::platform {
namespace {

using win::Handle;

// One argument as the C runtime's command-line parser (and CommandLineToArgvW) reads it back:
// quotes only when needed; backslashes are doubled only where a quote follows them.
void append_argument(std::wstring& line, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');  // the closing quote must not be escaped
  line += L'"';
}

// The program name is read differently (no escapes: everything up to the next quote), and a
// file name cannot hold a quote anyway.
void append_program(std::wstring& line, const std::wstring& program) {
  if (!program.empty() && program.find_first_of(L" \t") == std::wstring::npos) {
    line += program;
  } else {
    line += L'"' + program + L'"';
  }
}

std::wstring command_line(const std::vector<std::string>& argv) {
  std::wstring line;
  append_program(line, win::to_wide(argv[0]));
  for (std::size_t i = 1; i < argv.size(); ++i) {
    line += L' ';
    append_argument(line, win::to_wide(argv[i]));
  }
  return line;
}

std::wstring module_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::wstring full_path(const std::wstring& path) {
  const DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD got = ::GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return path;
  full.resize(got);
  return full;
}

// Starts a program that is not waited for; its handles are let go at once.
bool start_detached(const std::wstring& application, std::wstring line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr,
                        nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

// COM for the calling thread while the shell is asked: some of its handlers are COM objects.
// A thread that already runs COM in another model keeps it; that is fine for these calls.
class ComScope {
 public:
  ComScope()
      : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

HANDLE native(ProcessHandle process) { return reinterpret_cast<HANDLE>(process); }
bool valid(ProcessHandle process) { return process != kInvalidProcess && process != 0; }

// The job every bound child joins: it ends them when the last handle to it closes, which the
// system does when this program ends, however it ends.
HANDLE bound_children_job() {
  static const HANDLE job = [] {
    HANDLE created = ::CreateJobObjectW(nullptr, nullptr);
    if (created == nullptr) return created;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits)) {
      ::CloseHandle(created);
      return static_cast<HANDLE>(nullptr);
    }
    return created;
  }();
  return job;
}

}  // namespace

bool list_processes(std::vector<ProcessInfo>& out) {
  out.clear();
  Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.ok()) return false;
  try {
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!::Process32FirstW(snapshot.get(), &entry)) return ::GetLastError() == ERROR_NO_MORE_FILES;
    do {
      if (entry.th32ProcessID == 0) continue;  // the idle process is no program
      out.push_back(ProcessInfo{static_cast<int>(entry.th32ProcessID),
                                win::from_wide(entry.szExeFile), std::string()});
    } while (::Process32NextW(snapshot.get(), &entry));
    return true;
  } catch (...) {
    out.clear();
    return false;
  }
}

std::string process_image_path(int pid) {
  if (pid <= 0) return {};
  Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
  if (!process.ok()) return {};
  // An ended process stays open to whoever still holds a handle to it, and its name can still be
  // read then; it no longer runs, so it has no path here. (A program that ends with code 259,
  // STILL_ACTIVE's value, passes for a running one.)
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.get(), &code) || code != STILL_ACTIVE) return {};
  std::wstring path(32768, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  if (!::QueryFullProcessImageNameW(process.get(), 0, path.data(), &size)) return {};
  path.resize(size);
  return win::from_wide(path);
}

void open_url(const std::string& url) {
  if (url.empty()) return;
  ComScope com;
  // The shell returns a value above 32 on success; nothing is reported either way.
  (void)::ShellExecuteW(nullptr, L"open", win::to_wide(url).c_str(), nullptr, nullptr,
                        SW_SHOWNORMAL);
}

bool has_url_handler(const std::string& scheme) {
  if (scheme.empty()) return false;
  const std::wstring key = win::to_wide(scheme) + L"\\shell\\open\\command";
  HKEY handle = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(handle);
  return true;
}

bool run_elevated(const std::string& file, const std::string& parameters, int wait_ms) {
  const std::wstring program = file.empty() ? module_path() : win::os_path(file);
  if (program.empty() || ::GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
    return false;
  std::wstring arguments;
  if (!parameters.empty()) append_argument(arguments, win::to_wide(parameters));
  SHELLEXECUTEINFOW request{};
  request.cbSize = sizeof request;
  request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  request.lpVerb = L"runas";
  request.lpFile = program.c_str();
  request.lpParameters = arguments.empty() ? nullptr : arguments.c_str();
  request.nShow = SW_SHOWNORMAL;
  ComScope com;
  // False also when the user refuses the prompt (ERROR_CANCELLED).
  if (!::ShellExecuteExW(&request)) return false;
  Handle process(request.hProcess);  // may be null when the shell reused a running program
  if (wait_ms > 0 && process.ok()) {
    if (::WaitForSingleObject(process.get(), static_cast<DWORD>(wait_ms)) == WAIT_TIMEOUT) {
      ::TerminateProcess(process.get(), 1);
    }
  }
  return true;
}

bool show_in_folder(const std::string& path, bool edit_name) {
  if (path.empty()) return false;
  const std::wstring os = full_path(win::os_path(path));
  if (::GetFileAttributesW(os.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  // The shell call selects the item (and opens its name for editing when asked); it needs COM
  // on this thread. Explorer's own /select switch is the fallback.
  {
    ComScope com;
    PIDLIST_ABSOLUTE item = nullptr;
    if (SUCCEEDED(::SHParseDisplayName(os.c_str(), nullptr, &item, 0, nullptr)) &&
        item != nullptr) {
      const bool shown =
          SUCCEEDED(::SHOpenFolderAndSelectItems(item, 0, nullptr, edit_name ? OFASI_EDIT : 0));
      ::CoTaskMemFree(item);
      if (shown) return true;
    }
  }
  wchar_t windows[MAX_PATH] = {};
  const UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring explorer =
      (n > 0 && n < MAX_PATH) ? std::wstring(windows) + L"\\explorer.exe" : L"explorer.exe";
  std::wstring line;
  append_program(line, explorer);
  line += L" /select,\"" + os + L"\"";
  return start_detached(explorer, line);
}

ProcessHandle spawn_process(const std::vector<std::string>& argv, const std::string& working_dir,
                            bool quiet, bool bound) {
  if (argv.empty() || argv[0].empty()) return kInvalidProcess;
  try {
    std::wstring line = command_line(argv);
    const std::wstring folder = working_dir.empty() ? std::wstring() : win::os_path(working_dir);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    Handle null_in;
    Handle null_out;
    if (quiet) {
      SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
      null_in.reset(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, 0, nullptr));
      null_out.reset(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr));
      if (!null_in.ok() || !null_out.ok()) return kInvalidProcess;
      startup.dwFlags |= STARTF_USESTDHANDLES;
      startup.hStdInput = null_in.get();
      startup.hStdOutput = null_out.get();
      startup.hStdError = null_out.get();
    }
    PROCESS_INFORMATION info{};
    // A quiet child needs no console at all: its streams are the null device. Without one no
    // hidden console host is started beside it, which could outlive a child that is ended early
    // and keep this program's inherited output open.
    const DWORD console = quiet ? DETACHED_PROCESS : CREATE_NO_WINDOW;
    // A bound child joins the job before it runs a single instruction.
    const HANDLE job = bound ? bound_children_job() : nullptr;
    const DWORD suspended = job != nullptr ? CREATE_SUSPENDED : 0;
    // No application name: the system finds argv[0] the way a command line would (the
    // program's folder, the current folder, the system folders, then PATH; ".exe" added).
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, quiet ? TRUE : FALSE,
                          console | suspended, nullptr, folder.empty() ? nullptr : folder.c_str(),
                          &startup, &info)) {
      return kInvalidProcess;
    }
    if (job != nullptr) {
      (void)::AssignProcessToJobObject(job, info.hProcess);
      ::ResumeThread(info.hThread);
    }
    ::CloseHandle(info.hThread);
    return reinterpret_cast<ProcessHandle>(info.hProcess);
  } catch (...) {
    return kInvalidProcess;
  }
}

int current_process_id() { return static_cast<int>(::GetCurrentProcessId()); }

bool process_running(int pid) {
  if (pid <= 0) return false;
  Handle process(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
  if (!process.ok()) return ::GetLastError() == ERROR_ACCESS_DENIED;  // someone else's, running
  return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

int process_id(ProcessHandle process) {
  if (!valid(process)) return 0;
  return static_cast<int>(::GetProcessId(native(process)));
}

WaitOutcome wait_process(ProcessHandle process, std::int64_t timeout_ms, int& exit_code) {
  if (!valid(process)) return WaitOutcome::kFailed;
  const std::int64_t deadline = timeout_ms < 0 ? 0 : monotonic_ms() + timeout_ms;
  for (;;) {
    DWORD slice = INFINITE;
    if (timeout_ms >= 0) {
      const std::int64_t left = std::max<std::int64_t>(0, deadline - monotonic_ms());
      slice = left >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(left);
    }
    const DWORD waited = ::WaitForSingleObject(native(process), slice);
    if (waited == WAIT_OBJECT_0) break;
    if (waited != WAIT_TIMEOUT) return WaitOutcome::kFailed;
    if (timeout_ms >= 0 && deadline - monotonic_ms() <= 0) return WaitOutcome::kTimedOut;
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(native(process), &code)) return WaitOutcome::kFailed;
  exit_code = static_cast<int>(code);
  ::CloseHandle(native(process));
  return WaitOutcome::kExited;
}

bool kill_process(ProcessHandle process) {
  if (!valid(process)) return false;
  // 137 is what a POSIX caller sees for a child ended this way (128 + SIGKILL).
  if (::TerminateProcess(native(process), 137)) return true;
  // A child that has already ended counts as ended, as kill() on a zombie does.
  return ::WaitForSingleObject(native(process), 0) == WAIT_OBJECT_0;
}

}  // namespace brindle::platform
