// qdata\7zip\q_unbz2.exe for the tests under Wine. 7-Zip's Windows build is not at hand, so this
// hands its arguments (paths in their native names) to the native 7zz and ends with its exit
// status. BRINDLE_7ZZ names another 7zz than /usr/bin/7zz.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/host_paths.h"
#include "support/temp_dir.h"

namespace {

// Wine gives no handle for a native child, so the shell leaves the status in a file.
constexpr const char* kRelay =
    "status=$1; shift; \"$@\" >/dev/null 2>&1; echo $? > \"$status.part\" && "
    "mv \"$status.part\" \"$status\"";

std::string native_arg(const std::string& arg) {
  if (arg.rfind("-o", 0) == 0) return "-o" + brindle::test::NativePath(arg.substr(2));
  return brindle::test::NativePath(arg);
}

}  // namespace

int main(int argc, char** argv) {
  wchar_t temp[MAX_PATH + 1] = {};
  wchar_t status_file[MAX_PATH + 1] = {};
  if (::GetTempPathW(MAX_PATH, temp) == 0 ||
      ::GetTempFileNameW(temp, L"q7z", 0, status_file) == 0) {
    return 2;
  }
  char narrow[MAX_PATH * 3] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, status_file, -1, narrow, sizeof narrow, nullptr, nullptr);
  const std::string status = narrow;

  const char* seven_zip = std::getenv("BRINDLE_7ZZ");
  std::vector<std::string> relay = {
      "/bin/sh",
      "-c",
      kRelay,
      "q_unbz2",
      brindle::test::NativePath(status),
      seven_zip != nullptr && *seven_zip ? seven_zip : "/usr/bin/7zz"};
  for (int i = 1; i < argc; ++i) relay.push_back(native_arg(argv[i]));
  if (!brindle::test::StartNative(relay, "NUL")) return 2;

  // The status file exists (empty) from the start; the shell replaces it when 7zz has ended.
  for (int waited_ms = 0; waited_ms < 30 * 60 * 1000; waited_ms += 10) {
    const std::string code = brindle::test::slurp(status);
    if (!code.empty()) {
      ::DeleteFileW(status_file);
      return std::atoi(code.c_str());
    }
    ::Sleep(10);
  }
  return 2;
}
