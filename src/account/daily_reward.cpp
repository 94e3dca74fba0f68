#include "account/daily_reward.h"

#include "account/forum_login.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "view/window.h"

namespace brindle {

std::string DailyRewardUrl(const std::string& forum_base_url, const std::string& auth,
                           const std::string& uid) {
  return forum_base_url +
         "/plugin.php?id=ora_lin_qiandao:getawardsoftapi&auth=" + url_query_value(auth) +
         "&uid=" + url_query_value(uid);
}

RewardAnswer ClaimDailyReward(Core& core) {
  RewardAnswer answer;
  const LoginState login = CurrentLogin(core.state());
  if (!IsLoggedIn(login)) {
    core.window().ShowNotice(gbk("请先登录"));
    answer.refused = true;
    return answer;
  }
  std::string forum;
  {
    std::lock_guard lock(core.state().mutex);
    forum = core.state().forum_base_url;
  }
  HttpRequestArgs args;
  args.max_body_bytes = kRewardAnswerMaxBytes;
  args.cancel = &core.workers().stop_flag();
  HttpTransferInfo info;
  const Bytes body =
      http_request(DailyRewardUrl(forum, login.user_auth, login.uid), args, &answer.status, &info);
  if (answer.status == 200 && info.complete()) answer.text = utf8_to_gbk(body);
  core.window().MessageBox("", answer.text, gbk("确定"));
  return answer;
}

}  // namespace brindle
