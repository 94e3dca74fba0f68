#include "support/host_paths.h"

#ifdef _WIN32
#include <windows.h>

#include <cwchar>
#endif

namespace brindle::test {

#ifdef _WIN32
namespace {

// Wine's own conversions (kernel32 exports them under Wine only); Z: maps "/" by default.
using ToUnixFn = char*(CDECL*)(const wchar_t*);
using ToDosFn = wchar_t*(CDECL*)(const char*);

template <typename Fn>
Fn wine_function(const char* name) {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, name)))
                : nullptr;
}

std::wstring widen(const std::string& text) {
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string narrow(const wchar_t* text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();
  return out;
}

}  // namespace

std::string NativePath(const std::string& path) {
  const bool absolute = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  if (!absolute) return path;
  if (auto to_unix = wine_function<ToUnixFn>("wine_get_unix_file_name")) {
    if (char* unix_name = to_unix(widen(path).c_str())) {
      std::string out = unix_name;
      ::HeapFree(::GetProcessHeap(), 0, unix_name);
      return out;
    }
  }
  if (path[0] != 'Z' && path[0] != 'z') return path;
  std::string out = path.substr(2);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string HostPath(const std::string& native_path) {
  if (native_path.empty() || native_path[0] != '/') return native_path;
  if (auto to_dos = wine_function<ToDosFn>("wine_get_dos_file_name")) {
    if (wchar_t* dos_name = to_dos(native_path.c_str())) {
      std::string out = narrow(dos_name);
      ::HeapFree(::GetProcessHeap(), 0, dos_name);
      if (out.starts_with("\\\\?\\")) out.erase(0, 4);
      return out;
    }
  }
  std::string out = "Z:" + native_path;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

#else

std::string NativePath(const std::string& path) { return path; }
std::string HostPath(const std::string& native_path) { return native_path; }

#endif

bool UnderWine() {
#ifdef _WIN32
  return wine_function<ToUnixFn>("wine_get_unix_file_name") != nullptr;
#else
  return false;
#endif
}

}  // namespace brindle::test
