// The forum account as a feature: the sign-in button, the login window, the security-code page,
// the daily reward (the forum page's "签到" title) and the automatic login of the initialisation
// thread (after the remote configuration). Network work runs on workers so the window stays
// responsive; one login or logout runs at a time.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "account/forum_login.h"
#include "app/feature.h"
#include "app/url_opener.h"

namespace brindle {

class AccountFeature final : public Feature {
 public:
  const char* name() const override { return "account"; }
  void Bind(Core& core) override;
  void OnWindowCreated(Core& core) override;
  void OnInitThread(Core& core) override;
  void OnPageShown(Core& core, int page) override;

  // Tests capture the security-code page instead of opening a browser. Set before binding work.
  void SetUrlOpener(UrlOpener open) { open_ = std::move(open); }

  // Waits until the automatic login of the initialisation thread has ended (it may have had
  // nothing to do); false when `limit` passed first. For brindle-cli, whose commands must see the
  // login the stored tokens give, as the window does.
  bool WaitForAutoLogin(std::chrono::milliseconds limit);

  // A login and a logout as the window makes them, one at a time with the automatic login.
  LoginOutcome Login(Core& core, const std::string& name, const std::string& code);
  void LogOut(Core& core);

  // The window's handlers (bound to the controls by Bind).
  void OnSignInButton(Core& core);
  void OnLoginSubmit(Core& core);
  void OnRewardButton(Core& core);

 private:
  UrlOpener open_;
  std::mutex session_mutex_;  // held for a whole login or logout
  std::atomic<bool> submitting_{false};
  std::atomic<bool> claiming_{false};

  std::mutex settled_mutex_;
  std::condition_variable settled_cv_;
  bool settled_ = false;
};

}  // namespace brindle
