// The remote configuration document applied to one core on test ports. The document is
// untrusted; whatever it holds, every value it leaves in the state must pass the checks the
// reader documents (mirror hosts, service URLs, header-safe user agents, thread counts), and the
// number of objects read is the length of the root array.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "app/core.h"
#include "app/endpoints.h"
#include "app/remote_config.h"
#include "foundation/http_settings.h"
#include "foundation/json_document.h"
#include "fuzz_check.h"
#include "view/control_names.h"
#include "view/test_ports.h"

namespace {

struct Program {
  brindle::TestWindow window;
  brindle::AppState state;
  brindle::Core core{state, window.window()};
  brindle::AppState defaults;
};

Program& TheProgram() {
  static Program* program = [] {
    auto* p = new Program;  // lives for the process: the core's workers outlive every run
    brindle::ApplyDefaultEndpoints(p->state);
    brindle::ApplyDefaultEndpoints(p->defaults);
    return p;
  }();
  return *program;
}

bool Kept(const std::string& now, const std::string& before, bool (*valid)(std::string_view),
          std::size_t min_size) {
  return now == before || (now.size() >= min_size && valid(now));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Program& p = TheProgram();
  brindle::AppState& s = p.state;
  // Each document starts from the built-in values, so one run never depends on another.
  s.request_user_agent = p.defaults.request_user_agent;
  s.download_user_agent = p.defaults.download_user_agent;
  s.server_list_base_url = p.defaults.server_list_base_url;
  s.favourites_base_url = p.defaults.favourites_base_url;
  s.mirror_host = p.defaults.mirror_host;
  s.mirror_https = p.defaults.mirror_https;
  brindle::set_request_user_agent(s.request_user_agent);
  brindle::set_download_user_agent(s.download_user_agent);

  const brindle::RemoteConfiguration config = brindle::ApplyRemoteConfigurationText(p.core, text);

  brindle::JsonDocument doc;
  const bool json = !text.empty() && doc.parse(text);
  FUZZ_CHECK(config.parsed == json);
  FUZZ_CHECK(config.objects == (json ? doc.count("") : 0));
  FUZZ_CHECK(Kept(s.request_user_agent, p.defaults.request_user_agent, brindle::IsHeaderSafe, 6));
  FUZZ_CHECK(Kept(s.download_user_agent, p.defaults.download_user_agent, brindle::IsHeaderSafe, 6));
  FUZZ_CHECK(brindle::http_settings().request_user_agent == s.request_user_agent);
  FUZZ_CHECK(brindle::http_settings().download_user_agent == s.download_user_agent);
  FUZZ_CHECK(
      Kept(s.server_list_base_url, p.defaults.server_list_base_url, brindle::IsServiceUrl, 6));
  FUZZ_CHECK(Kept(s.favourites_base_url, p.defaults.favourites_base_url, brindle::IsServiceUrl, 6));
  for (std::size_t line = 0; line < 3; ++line) {
    FUZZ_CHECK(
        Kept(s.mirror_host[line], p.defaults.mirror_host[line], brindle::IsMirrorAddress, 10));
    const brindle::MirrorLineSettings& settings = config.lines[line];
    FUZZ_CHECK(settings.origin_threads >= 1 && settings.origin_threads <= 24);
    FUZZ_CHECK(settings.sum_threads >= 1 && settings.sum_threads <= 24);
  }
  FUZZ_CHECK(config.csgo_launch_options.empty() || config.csgo_launch_options.size() > 2);
  for (const std::string* engine : {&config.download_map_engine, &config.download_model_engine,
                                    &config.pre_download_map_engine}) {
    FUZZ_CHECK(*engine != "1" && *engine != "2");
  }
  // One mirror radio button stays chosen.
  FUZZ_CHECK(!p.window.window().controls().CheckedInGroup(brindle::names::kMirrorGroup).empty());
  return 0;
}
