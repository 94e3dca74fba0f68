#include "foundation/process_tools.h"

#include "foundation/encoding.h"
#include "platform/gbk_text.h"
#include "platform/platform.h"

namespace brindle {
namespace {

// Replaces every occurrence of `from` that starts a character of the GBK text (exact case): a
// trail byte can equal "\\", which must not pass for a separator.
std::string replace_all(const std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return text;
  std::string out;
  std::size_t pos = 0;
  for (std::size_t at = GbkFind(text, from); at != std::string::npos;
       at = GbkFind(text, from, pos)) {
    out.append(text, pos, at - pos);
    out.append(to);
    pos = at + from.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
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

bool HasUrlHandler(const std::string& scheme) { return platform::has_url_handler(scheme); }

std::string UrlScheme(const std::string& url) {
  const std::size_t colon = url.find("://");
  if (colon == std::string::npos || colon == 0) return {};
  std::string scheme = url.substr(0, colon);
  for (char& c : scheme) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return scheme;
}

bool ShowInFolder(const std::string& path, bool edit_name) {
  return platform::show_in_folder(path, edit_name);
}

std::string SteamBinFolderOf(const std::string& image_path, std::string_view exe_name,
                             char separator) {
  const std::string sep(1, separator);
  return replace_all(image_path, sep + std::string(exe_name), sep + "bin");
}

std::string FindSteamBinFolder() {
  for (std::string_view client : {kSteamExeName, kSteamChinaExeName}) {
    const int pid = FindProcessId(std::string(client));
    if (pid == 0) continue;
    // The executable's own spelling decides: a differently cased name is not replaced and the
    // script then gets the executable path itself.
    return SteamBinFolderOf(ProcessImagePath(pid), client, platform::path_separator());
  }
  return {};
}

}  // namespace brindle
