#include "support/child_process.h"

#ifdef _WIN32
#include <windows.h>

#include "support/host_paths.h"
#include "support/temp_dir.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;
#endif

namespace brindle::test {

#ifdef _WIN32

namespace {

std::wstring decode(const std::string& text, UINT code_page, DWORD flags) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()), out.data(),
                        n);
  return out;
}

// A handle the child inherits as one of its standard streams.
HANDLE inheritable(const std::wstring& path, bool write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return ::CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void close_all(std::initializer_list<HANDLE> handles) {
  for (HANDLE h : handles) {
    if (h != INVALID_HANDLE_VALUE && h != nullptr) ::CloseHandle(h);
  }
}

// Starts `line` with the three handles as its standard streams (`err` may be `out`), which are
// closed here whatever happens; `program` and `folder` may be empty.
bool start_with_streams(const std::wstring& program, std::wstring line, HANDLE in, HANDLE out,
                        HANDLE err, DWORD flags, const std::wstring& folder,
                        PROCESS_INFORMATION& child) {
  const HANDLE own_err = err == out ? INVALID_HANDLE_VALUE : err;
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    close_all({in, out, own_err});
    ::SetLastError(error);
    return false;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  const BOOL started = ::CreateProcessW(
      program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr, TRUE, flags,
      nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &child);
  const DWORD error = ::GetLastError();
  close_all({in, out, own_err});
  ::SetLastError(error);
  return started != 0;
}

}  // namespace

std::wstring WideText(const std::string& text) {
  std::wstring wide = decode(text, CP_UTF8, MB_ERR_INVALID_CHARS);
  return wide.empty() && !text.empty() ? decode(text, 936, 0) : wide;
}

std::wstring WindowsCommandLine(const std::vector<std::string>& argv) {
  std::wstring line;
  for (const std::string& item : argv) {
    const std::wstring arg = WideText(item);
    if (!line.empty()) line += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
      line += arg;
      continue;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      // Backslashes count only before a quote: there they are doubled, and the quote escaped.
      line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
  }
  return line;
}

ChildRun RunChild(const std::vector<std::string>& argv, const std::string& working_dir,
                  int safety_ms, const std::string& stdin_file) {
  ChildRun run;
  if (argv.empty()) return run;
  TempDir streams;
  PROCESS_INFORMATION child{};
  // Wine now and then refuses a process start on a loaded machine and takes the next one: a
  // start is tried three times, and what refused it is kept for the test's message.
  bool started = false;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) ::Sleep(200);
    // Paths the build wrote in (BRINDLE_CLI_PATH) are the build machine's.
    started = start_with_streams(
        WideText(HostPath(argv[0])), WindowsCommandLine(argv),
        inheritable(stdin_file.empty() ? std::wstring(L"NUL") : WideText(stdin_file), false),
        inheritable(WideText(streams.file("out")), true),
        inheritable(WideText(streams.file("err")), true), CREATE_NO_WINDOW, WideText(working_dir),
        child);
    if (!started)
      run.err += "could not start " + argv[0] + ": Windows error " +
                 std::to_string(::GetLastError()) + "\n";
  }
  if (!started) return run;
  run.started = true;
  run.err.clear();
  if (::WaitForSingleObject(child.hProcess, static_cast<DWORD>(safety_ms)) != WAIT_OBJECT_0) {
    ::TerminateProcess(child.hProcess, 128 + 9);
    ::WaitForSingleObject(child.hProcess, INFINITE);
  }
  DWORD code = 0;
  if (::GetExitCodeProcess(child.hProcess, &code)) run.exit_code = static_cast<int>(code);
  close_all({child.hProcess, child.hThread});
  run.out = slurp(streams.file("out"));
  run.err = slurp(streams.file("err"));
  return run;
}

bool StartNative(const std::vector<std::string>& argv, const std::string& out_file) {
  if (argv.empty()) return false;
  PROCESS_INFORMATION child{};
  // Wine starts a program that is no Windows executable as a native one; the handles it returns
  // for it are empty.
  const HANDLE out = inheritable(WideText(out_file), true);
  const bool started = start_with_streams({}, WindowsCommandLine(argv), inheritable(L"NUL", false),
                                          out, out, 0, {}, child);
  if (!started) return false;
  close_all({child.hProcess, child.hThread});
  return true;
}

#else

ChildRun RunChild(const std::vector<std::string>& argv, const std::string& working_dir,
                  int safety_ms, const std::string& stdin_file) {
  ChildRun run;
  if (argv.empty()) return run;
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return run;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return run;
  }
  std::vector<std::string> args = argv;
  std::vector<char*> raw;
  for (std::string& arg : args) raw.push_back(arg.data());
  raw.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(
      &actions, STDIN_FILENO, stdin_file.empty() ? "/dev/null" : stdin_file.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  if (!working_dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, working_dir.c_str());
  pid_t child = -1;
  const int spawned = posix_spawn(&child, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  if (spawned != 0) {
    ::close(out[0]);
    ::close(err[0]);
    return run;
  }
  run.started = true;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(safety_ms);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open_pipes = 2;
  bool killed = false;
  while (open_pipes > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0 && !killed) {
      ::kill(child, SIGKILL);
      killed = true;
    }
    if (::poll(fds, 2, left > 0 ? static_cast<int>(left) : 100) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;  // poll skips negative descriptors
        --open_pipes;
      }
    }
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

#endif

}  // namespace brindle::test
