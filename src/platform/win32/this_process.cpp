#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "platform/platform.h"
#include "platform/win32/system.h"

namespace brindle::platform {

std::string executable_path() {
  try {
    std::u16string wide(MAX_PATH, u'\0');
    for (;;) {
      const DWORD n = ::GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(wide.data()),
                                           static_cast<DWORD>(wide.size()));
      if (n == 0) return {};
      // A full buffer means a cut path (the function truncates silently on older systems).
      if (n < wide.size()) {
        wide.resize(n);
        return wide_to_multibyte(wide, kCodePageGbk);
      }
      if (wide.size() >= 32768) return {};
      wide.resize(wide.size() * 2);
    }
  } catch (...) {
    return {};
  }
}

bool is_terminal(std::FILE* stream) {
  if (stream == nullptr) return false;
  const int fd = ::_fileno(stream);
  if (fd < 0) return false;
  // _isatty also says yes for the NUL device; only a console has a console mode.
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

std::vector<std::string> command_line_utf8(int argc, char** argv) {
  std::vector<std::string> out;
  try {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide != nullptr) {
      for (int i = 1; i < count; ++i) {
        const std::u16string_view arg(reinterpret_cast<const char16_t*>(wide[i]));
        out.push_back(wide_to_multibyte(arg, kCodePageUtf8));
      }
      ::LocalFree(wide);
      return out;
    }
    // Without the wide form the ANSI one is all there is.
    out.clear();
    for (int i = 1; i < argc; ++i) out.emplace_back(argv[i]);
  } catch (...) {
    out.clear();
  }
  return out;
}

void use_utf8_standard_streams() {
  (void)::_setmode(::_fileno(stdout), _O_BINARY);  // not a file descriptor: stays as it was
  (void)::_setmode(::_fileno(stderr), _O_BINARY);
  (void)::SetConsoleOutputCP(CP_UTF8);  // fails without a console, where nothing is shown
}

bool running_as_root() { return false; }

std::string installed_extractor() {
  // A program unpacked where its user may not write (Program Files) keeps its program folder in
  // the user's data folder, and its extractor where it was unpacked.
  const std::string exe = executable_path();
  const std::size_t last = exe.rfind('\\');  // the file name after it is ASCII
  if (last == std::string::npos) return {};
  const std::string extractor = exe.substr(0, last) + "\\qdata\\7zip\\q_unbz2.exe";
  return file_exists(extractor) ? extractor : std::string();
}

void lower_this_thread_priority() {
  (void)::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace brindle::platform
