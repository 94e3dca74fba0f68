#include "app/endpoints.h"

#include <string_view>

#include "app/app_state.h"
#include "foundation/http_settings.h"
#include "platform/gbk_text.h"
#include "platform/platform.h"

namespace brindle {

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine cl;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto take = [&](std::string& into) {
      if (i + 1 >= argc) {
        cl.error = std::string(arg) + " needs a value";
        return;
      }
      into = argv[++i];
    };
    if (arg == "--program-dir") {
      take(cl.program_dir);
    } else if (arg == "--endpoints") {
      take(cl.endpoints_file);
    } else if (arg.starts_with("--program-dir=")) {
      cl.program_dir = std::string(arg.substr(14));
    } else if (arg.starts_with("--endpoints=")) {
      cl.endpoints_file = std::string(arg.substr(12));
    } else {
      cl.rest.emplace_back(arg);
    }
  }
  while (cl.program_dir.size() > 1 && cl.program_dir.back() == '/') cl.program_dir.pop_back();
  return cl;
}

std::string ExecutableDir() {
  const std::string path = platform::executable_path();
  // The last separator that starts a character: a GBK trail byte can equal "\\".
  const std::string separator(1, platform::path_separator());
  std::size_t last = std::string::npos;
  for (std::size_t at = GbkFind(path, separator); at != std::string::npos;
       at = GbkFind(path, separator, at + 1)) {
    last = at;
  }
  if (last == std::string::npos) return {};
  // The root keeps its separator ("/", "C:\\").
  const bool root = last == 0 || (last == 2 && path[1] == ':');
  return path.substr(0, root ? last + 1 : last);
}

void ApplyDefaultEndpoints(AppState& s) {
  s.request_user_agent =
      "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
      "Chrome/91.0.4472.77 Safari/537.36 QDL";
  s.download_user_agent =
      "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
      "Chrome/91.0.4472.77 Safari/537.36 QCURL";
  s.software_base_url = "https://soft.brindle.example";
  s.server_list_base_url = "https://servers.brindle.example";
  s.favourites_base_url = "https://fav.brindle.example";
  s.forum_base_url = "https://bbs.brindle.example";
  s.user_info_base_url = "https://cloud.brindle.example";
  s.mirror_host = {"dl.brindle.example", "dl.brindle.example", "dl.brindle.example:9295"};
  s.mirror_https = {false, false, false};
  s.mirror_primary_host = "maps.brindle.example";
  s.mirror_secondary_host = "maps2.brindle.example";
  s.operator_uid = "1";
}

}  // namespace brindle

namespace brindle {

bool LoadEndpointsFile(const std::string& path, AppState& state) {
  std::string probe;
  if (!platform::read_file(path, probe)) return false;
  auto read = [&](const char* key, std::string& into) {
    // A sentinel tells an absent key from an empty value.
    static const std::string kAbsent =
        "\x01"
        "absent";
    std::string value = platform::profile_read("endpoints", key, kAbsent, path);
    if (value == kAbsent) return false;
    into = value;
    return true;
  };
  read("software", state.software_base_url);
  read("server_list", state.server_list_base_url);
  read("favourites", state.favourites_base_url);
  read("forum", state.forum_base_url);
  read("user_info", state.user_info_base_url);
  read("mirror_us1", state.mirror_host[0]);
  read("mirror_us2", state.mirror_host[1]);
  read("mirror_telecom", state.mirror_host[2]);
  read("mirror_primary_host", state.mirror_primary_host);
  read("mirror_secondary_host", state.mirror_secondary_host);
  read("operator_uid", state.operator_uid);
  std::string value;
  if (read("ca_file", value) && !value.empty()) set_tls_ca_file(value);
  if (read("tls_verify", value)) set_tls_verify(value != "0");
  return true;
}

}  // namespace brindle
