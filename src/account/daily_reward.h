// The forum's daily sign-in reward, claimed for the logged-in user; the forum's answer is shown
// as it comes.
#pragma once

#include <cstddef>
#include <string>

namespace brindle {

class Core;

// A reward answer is a short message; a longer one (or a cut one) counts as no answer.
inline constexpr std::size_t kRewardAnswerMaxBytes = std::size_t{64} << 10;

// forum_base_url + "/plugin.php?id=ora_lin_qiandao:getawardsoftapi&auth=" + auth + "&uid=" + uid,
// both URL-encoded where they would break the URL.
std::string DailyRewardUrl(const std::string& forum_base_url, const std::string& auth,
                           const std::string& uid);

struct RewardAnswer {
  bool refused = false;  // not logged in: only the notice "请先登录"
  int status = 0;        // the answer's status code (0: none came)
  std::string text;      // the forum's answer as GBK; empty unless a whole 200 answer came
};

// Logged out: the notice "请先登录". Otherwise the request, and a box with the decoded answer and
// the one button "确定". An answer that is not a whole status 200 is a failed request: its error
// page is not shown, the box is empty as when nothing came back. Blocks for the request.
RewardAnswer ClaimDailyReward(Core& core);

}  // namespace brindle
