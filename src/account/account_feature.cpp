#include "account/account_feature.h"

#include "account/daily_reward.h"
#include "account/login_window.h"
#include "app/core.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {

void AccountFeature::Bind(Core& core) {
  Window& w = core.window();
  w.Bind(names::kSignIn, [this, &core] { OnSignInButton(core); });
  w.Bind(names::kLoginButton, [this, &core] { OnLoginSubmit(core); });
  // Enter in either field sends the login as the button does.
  w.Bind(names::kLoginUserBox, [this, &core] { OnLoginSubmit(core); });
  w.Bind(names::kLoginCodeBox, [this, &core] { OnLoginSubmit(core); });
  w.Bind(names::kLoginSecureCodePage, [this, &core] { OpenSecureCodePage(core, open_); });
  w.Bind(names::kSignInTitle, [this, &core] { OnRewardButton(core); });
}

void AccountFeature::OnWindowCreated(Core& core) {
  std::string forum;
  {
    std::lock_guard lock(core.state().mutex);
    forum = core.state().forum_base_url;
  }
  core.window().controls().SetCaption(names::kLoginWindow, LoginWindowTitle(forum));
}

void AccountFeature::OnInitThread(Core& core) {
  {
    std::lock_guard lock(session_mutex_);
    (void)AutoLogin(core);
  }
  {
    std::lock_guard lock(settled_mutex_);
    settled_ = true;
  }
  settled_cv_.notify_all();
}

void AccountFeature::OnPageShown(Core& core, int page) {
  if (page == names::kForumPage) (void)OpenForumPage(core);
}

bool AccountFeature::WaitForAutoLogin(std::chrono::milliseconds limit) {
  std::unique_lock lock(settled_mutex_);
  return settled_cv_.wait_for(lock, limit, [this] { return settled_; });
}

LoginOutcome AccountFeature::Login(Core& core, const std::string& name, const std::string& code) {
  std::lock_guard lock(session_mutex_);
  const LoginOutcome outcome = ForumLoginOutcome(core, name, code, false);
  if (outcome == LoginOutcome::kLoggedIn) core.WriteSetting("AutoLoginDiscuz", "1");
  return outcome;
}

void AccountFeature::LogOut(Core& core) {
  std::lock_guard lock(session_mutex_);
  Logout(core);
}

void AccountFeature::OnSignInButton(Core& core) {
  Window& window = core.window();
  if (!window.RequireInitialised(core.state().initialised)) return;
  if (!IsLoggedIn(CurrentLogin(core.state()))) {
    OpenLoginWindow(core);
    return;
  }
  // A login still being sent holds the session; the person can press again when it is done
  // rather than wait here with the window frozen.
  std::unique_lock lock(session_mutex_, std::try_to_lock);
  if (lock.owns_lock()) Logout(core);
}

void AccountFeature::OnLoginSubmit(Core& core) {
  if (submitting_.exchange(true)) return;  // the first press is still being sent
  std::string name, code;
  if (!TakeLoginFields(core.window(), name, code)) {
    submitting_ = false;
    return;
  }
  Controls& controls = core.window().controls();
  controls.SetEnabled(names::kLoginButton, false);
  const bool started = core.workers().Start("login", [this, &core, name, code] {
    LoginOutcome outcome;
    {
      std::lock_guard lock(session_mutex_);
      outcome = ForumLoginOutcome(core, name, code, false);
    }
    if (outcome != LoginOutcome::kCancelled) {
      FinishWindowLogin(core, outcome == LoginOutcome::kLoggedIn);
    }
    submitting_ = false;
  });
  if (!started) {
    controls.SetEnabled(names::kLoginButton, true);
    submitting_ = false;
  }
}

void AccountFeature::OnRewardButton(Core& core) {
  if (claiming_.exchange(true)) return;  // the answer to the last press has not come yet
  const bool started = core.workers().Start("daily-reward", [this, &core] {
    (void)ClaimDailyReward(core);
    claiming_ = false;
  });
  if (!started) claiming_ = false;
}

}  // namespace brindle
