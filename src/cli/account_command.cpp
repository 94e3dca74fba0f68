// brindle-cli login NAME CODE | logout | whoami | reward: the forum account of the program folder.
// Every command first lets the automatic login of start-up finish, so the stored tokens make it
// logged in as the window would be. Tokens, user_auth and the security code are never printed.
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "account/account_feature.h"
#include "account/daily_reward.h"
#include "account/forum_login.h"
#include "account/login_window.h"
#include "app/core.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "foundation/terminal_text.h"

namespace brindle {
namespace {

constexpr int kDefaultWaitMs = 60000;

std::string U(const std::string& gbk_text) { return gbk_to_utf8(gbk_text); }

void Fail(const char* command, const std::string& message_gbk) {
  std::fprintf(stderr, "brindle-cli %s: %s\n", command, gbk_to_terminal_text(message_gbk).c_str());
}

// The account feature once the automatic login has ended; nullptr (with a message) otherwise.
AccountFeature* SettledAccount(CliContext& ctx, const char* command, int& wait_ms) {
  wait_ms = kDefaultWaitMs;
  if (!TakeTimeoutOption(ctx, command, wait_ms)) return nullptr;
  auto* account = ctx.core.FindFeature<AccountFeature>();
  if (account == nullptr) {
    std::fprintf(stderr, "brindle-cli %s: the program has no account feature\n", command);
    return nullptr;
  }
  if (!account->WaitForAutoLogin(std::chrono::milliseconds(wait_ms))) {
    std::fprintf(stderr, "brindle-cli %s: the automatic login did not finish in %d ms\n", command,
                 wait_ms);
    return nullptr;
  }
  return account;
}

void PrintLogin(CliContext& ctx, const LoginState& login) {
  if (ctx.json) {
    nlohmann::ordered_json j;
    j["logged_in"] = IsLoggedIn(login);
    if (IsLoggedIn(login)) {
      j["uid"] = U(login.uid);
      j["username"] = U(login.username);
      j["steamid64"] = U(login.steamid64);
      j["steamid32"] = U(login.steamid32);
      j["steamaccountid"] = login.steamaccountid;
    }
    PrintJson(ctx, j);
    return;
  }
  if (!IsLoggedIn(login)) {
    std::fprintf(ctx.out, "not logged in\n");
    return;
  }
  // What the forum answered, with controls escaped.
  std::fprintf(ctx.out, "uid            %s\n", gbk_to_terminal_text(login.uid).c_str());
  std::fprintf(ctx.out, "username       %s\n", gbk_to_terminal_text(login.username).c_str());
  std::fprintf(ctx.out, "steamid64      %s\n", gbk_to_terminal_text(login.steamid64).c_str());
  std::fprintf(ctx.out, "steamid32      %s\n", gbk_to_terminal_text(login.steamid32).c_str());
  std::fprintf(ctx.out, "steamaccountid %lld\n", static_cast<long long>(login.steamaccountid));
}

int RunLogin(CliContext& ctx) {
  int wait_ms = 0;
  AccountFeature* account = SettledAccount(ctx, "login", wait_ms);
  if (account == nullptr) return 1;
  if (ctx.args.size() != 2) {
    std::fputs("usage: brindle-cli login [--timeout MS] NAME CODE\n", stderr);
    return 2;
  }
  // The window's rules: blanks around both fields go, then the two length checks.
  const std::string name = TrimLoginField(utf8_to_gbk(ctx.args[0]));
  const std::string code = TrimLoginField(utf8_to_gbk(ctx.args[1]));
  if (name.size() < kMinNameBytes) {
    Fail("login", gbk("您输入的用户名长度不正确"));
    return 1;
  }
  if (code.size() < kMinCodeBytes) {
    Fail("login", gbk("您输入的密码长度不正确"));
    return 1;
  }
  switch (account->Login(ctx.core, name, code)) {
    case LoginOutcome::kLoggedIn:
      PrintLogin(ctx, CurrentLogin(ctx.core.state()));
      return 0;
    case LoginOutcome::kRefused:
      Fail("login", gbk("用户或密码不正确?"));
      return 1;
    default:
      std::fputs("brindle-cli login: the forum could not be reached\n", stderr);
      return 1;
  }
}

int RunLogout(CliContext& ctx) {
  int wait_ms = 0;
  AccountFeature* account = SettledAccount(ctx, "logout", wait_ms);
  if (account == nullptr) return 1;
  if (!ctx.args.empty()) {
    std::fputs("usage: brindle-cli logout [--timeout MS]\n", stderr);
    return 2;
  }
  account->LogOut(ctx.core);
  if (ctx.json) {
    PrintJson(ctx, {{"logged_in", false}});
  } else {
    std::fprintf(ctx.out, "logged out\n");
  }
  return 0;
}

int RunWhoami(CliContext& ctx) {
  int wait_ms = 0;
  AccountFeature* account = SettledAccount(ctx, "whoami", wait_ms);
  if (account == nullptr) return 1;
  if (!ctx.args.empty()) {
    std::fputs("usage: brindle-cli whoami [--timeout MS]\n", stderr);
    return 2;
  }
  const LoginState login = CurrentLogin(ctx.core.state());
  PrintLogin(ctx, login);
  return IsLoggedIn(login) ? 0 : 1;
}

int RunReward(CliContext& ctx) {
  int wait_ms = 0;
  AccountFeature* account = SettledAccount(ctx, "reward", wait_ms);
  if (account == nullptr) return 1;
  if (!ctx.args.empty()) {
    std::fputs("usage: brindle-cli reward [--timeout MS]\n", stderr);
    return 2;
  }
  const RewardAnswer answer = ClaimDailyReward(ctx.core);
  if (answer.refused) {
    Fail("reward", gbk("请先登录"));
    return 1;
  }
  if (ctx.json) {
    PrintJson(ctx, {{"answer", U(answer.text)}});
  } else {
    std::fprintf(ctx.out, "%s\n", gbk_to_terminal_text(answer.text).c_str());
  }
  if (answer.text.empty()) {
    std::fputs("brindle-cli reward: the forum gave no answer\n", stderr);
    return 1;
  }
  return 0;
}

}  // namespace

BRINDLE_CLI_COMMAND("login", "[--timeout MS] NAME CODE: log into the forum (the tokens are kept)",
                    RunLogin);
BRINDLE_CLI_COMMAND("logout", "log out of the forum and forget the stored tokens", RunLogout);
BRINDLE_CLI_COMMAND("whoami", "the logged-in forum user: uid, name, Steam ids (exit 1: nobody)",
                    RunWhoami);
BRINDLE_CLI_COMMAND("reward", "claim the forum's daily sign-in reward and print the answer",
                    RunReward);

}  // namespace brindle
