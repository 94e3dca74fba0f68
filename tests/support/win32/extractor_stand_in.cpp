// An extractor for the tests on Windows, copied where the program looks for qdata\7zip\q_unbz2.exe.
// stand-in.txt beside it says what to do, one "key=value" a line (UTF-8), in this order:
//   record=<file>   write the arguments, one a line, then the working folder (UTF-8)
//   map=<name>      write a file of that name into the -o folder ...
//   bytes=<text>    ... holding this text
//   link=<name>     make a link of that name in the -o folder to the root of drive C:
//   wait=<file>     wait until that file exists
//   exit=<code>     end with this exit code (0 when not given)
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::wstring own_folder() {
  std::wstring path(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::map<std::string, std::string> read_actions() {
  std::map<std::string, std::string> actions;
  std::ifstream in(std::filesystem::path(own_folder() + L"stand-in.txt"), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) actions[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return actions;
}

bool write_file(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::map<std::string, std::string> actions = read_actions();
  std::wstring out_dir;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg.rfind(L"-o", 0) == 0) out_dir = arg.substr(2);
  }
  if (!out_dir.empty() && out_dir.back() != L'\\') out_dir += L'\\';

  if (const auto record = actions.find("record"); record != actions.end()) {
    std::ostringstream text;
    for (int i = 1; i < argc; ++i) text << narrow(argv[i]) << '\n';
    std::wstring cwd(32768, L'\0');
    cwd.resize(::GetCurrentDirectoryW(static_cast<DWORD>(cwd.size()), cwd.data()));
    text << narrow(cwd) << '\n';
    // Whole or not at all: the test reads it as soon as it exists.
    const std::wstring target = widen(record->second);
    if (!write_file(target + L".part", text.str()) ||
        !::MoveFileExW((target + L".part").c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return 90;
    }
  }
  if (const auto map = actions.find("map"); map != actions.end()) {
    if (out_dir.empty() || !write_file(out_dir + widen(map->second), actions["bytes"])) return 91;
  }
  if (const auto link = actions.find("link"); link != actions.end()) {
    // Needs the right to make links (or developer mode) on Windows.
    const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2;  // ..._ALLOW_UNPRIVILEGED_CREATE
    if (out_dir.empty() ||
        !::CreateSymbolicLinkW((out_dir + widen(link->second)).c_str(), L"C:\\", flags)) {
      return 92;
    }
  }
  if (const auto wait = actions.find("wait"); wait != actions.end()) {
    const std::filesystem::path until(widen(wait->second));
    while (!std::filesystem::exists(until)) ::Sleep(50);
  }
  const auto code = actions.find("exit");
  return code == actions.end() ? 0 : std::atoi(code->second.c_str());
}
