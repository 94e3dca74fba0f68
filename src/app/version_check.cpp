#include "app/version_check.h"

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/settings_file.h"
#include "platform/gbk_text.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

// The raw answer as the status line may repeat it: no control characters (a line break would
// break the line), and short.
std::string Shown(const std::string& answer) {
  std::string clean;
  for (char c : answer) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) clean.push_back(c);
  }
  return std::string(GbkClip(clean, kVersionShownMaxBytes));
}

}  // namespace

std::string VersionUrl(const std::string& software_base_url, int local_version) {
  return software_base_url + "/version.php?version=" + std::to_string(local_version);
}

std::string DownloadThreadUrl(const std::string& forum_base_url) {
  return forum_base_url + "/forum.php?mod=viewthread&tid=9";
}

VersionAnswer FetchNewestVersion(Core& core) {
  VersionAnswer answer;
  std::string url;
  {
    std::lock_guard lock(core.state().mutex);
    answer.local = core.state().local_version;
    url = VersionUrl(core.state().software_base_url, answer.local);
  }
  HttpRequestArgs args;
  args.max_body_bytes = kVersionAnswerMaxBytes;
  args.cancel = &core.workers().stop_flag();
  int status = 0;
  HttpTransferInfo info;
  Bytes body = http_request(url, args, &status, &info);
  // An error page or an answer too long to be a number is no answer.
  if (status != 200 || !info.complete() || body.empty()) return answer;
  // The body is taken as text: it ends at a NUL, as every text does.
  if (const std::size_t nul = body.find('\0'); nul != std::string::npos) body.resize(nul);
  if (body.empty()) return answer;
  answer.answered = true;
  answer.text = std::move(body);
  answer.newest = TextToInt(answer.text);
  return answer;
}

VersionAnswer CheckVersion(Core& core, const UrlOpener& open) {
  VersionAnswer answer = FetchNewestVersion(core);
  if (!answer.newer()) return answer;
  Window& window = core.window();
  window.ShowStatus(gbk("软件版本过期 最新版本号是:") + Shown(answer.text) + gbk("本机:") +
                    std::to_string(answer.local));
  window.controls().SetCaption(names::kProductTitle, gbk("软件需要更新"));
  const int pressed = window.MessageBox(gbk("版本已过期"),
                                        gbk("版本已过期 请更新 为了保证正常使用 强烈建议您升级 "),
                                        gbk("前往下载最新版本&&暂不更新"));
  if (pressed == 0) {
    std::string forum;
    {
      std::lock_guard lock(core.state().mutex);
      forum = core.state().forum_base_url;
    }
    OpenWith(open, DownloadThreadUrl(forum));
  }
  return answer;
}

void VersionCheckFeature::OnStartup(Core& core) {
  // A start refused because the program is closing needs no check.
  (void)core.workers().Start("version-check", [this, &core] {
    (void)CheckVersion(core, open_);
    finished_.store(true, std::memory_order_release);
  });
}

}  // namespace brindle
