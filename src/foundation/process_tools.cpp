#include "foundation/process_tools.h"

#include "foundation/encoding.h"
#include "platform/gbk_text.h"
#include "platform/platform.h"

namespace brindle {
namespace {

// Replaces every occurrence of `from` in `text` (exact case).
std::string replace_all(std::string text, std::string_view from, std::string_view to) {
  if (from.empty()) return text;
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

}  // namespace

ProcessIdList FindProcessIds(const std::string& exe_name, bool case_sensitive) {
  ProcessIdList result;
  std::vector<platform::ProcessInfo> processes;
  if (!platform::list_processes(processes)) {
    result.count = -1;
    return result;
  }
  for (const platform::ProcessInfo& process : processes) {
    if (case_sensitive ? process.exe_name == exe_name
                       : GbkEqualsIgnoreCase(process.exe_name, exe_name)) {
      result.ids.push_back(process.pid);
    }
  }
  result.count = static_cast<int>(result.ids.size());
  return result;
}

int FindProcessId(const std::string& exe_name) {
  const ProcessIdList found = FindProcessIds(exe_name, false);
  return found.ids.empty() ? 0 : found.ids.front();
}

std::string ProcessImagePath(int pid) { return platform::process_image_path(pid); }

bool RunElevated(const std::string& file, const std::string& parameters, int wait_ms) {
  return platform::run_elevated(file, parameters, wait_ms);
}

void OpenUrl(const std::string& url) { platform::open_url(url); }

bool ShowInFolder(const std::string& path, bool edit_name) {
  return platform::show_in_folder(path, edit_name);
}

std::string FindSteamBinFolder() {
  const std::string sep(1, platform::path_separator());
  for (std::string_view client : {kSteamExeName, kSteamChinaExeName}) {
    const int pid = FindProcessId(std::string(client));
    if (pid == 0) continue;
    // The executable's own spelling decides: a differently cased name is not replaced and the
    // script then gets the executable path itself.
    return replace_all(ProcessImagePath(pid), sep + std::string(client), sep + "bin");
  }
  return {};
}

}  // namespace brindle
