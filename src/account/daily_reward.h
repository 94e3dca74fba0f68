// The forum's daily sign-in reward, claimed for the logged-in user; the forum's answer is shown
// as it comes.
#pragma once

#include <cstddef>
#include <string>

namespace brindle {

class Core;

// A reward answer is a short message; a longer one (or a cut one) counts as no answer.
inline constexpr std::size_t kRewardAnswerMaxBytes = std::size_t{64} << 10;

// forum_base_url + "/plugin.php?id=ora_lin_qiandao:getawardsoftapi&auth=" + auth + "&uid=" + uid.
std::string DailyRewardUrl(const std::string& forum_base_url, const std::string& auth,
                           const std::string& uid);

struct RewardAnswer {
  bool refused = false;  // not logged in: only the notice "请先登录"
  std::string text;      // the forum's answer as GBK; empty when none came
};

// Logged out: the notice "请先登录". Otherwise the request, and a box with the decoded answer and
// the one button "确定" (an empty box when nothing came back). Blocks for the request.
RewardAnswer ClaimDailyReward(Core& core);

}  // namespace brindle
