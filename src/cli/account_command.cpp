// brindle-cli login NAME [CODE] | logout | whoami | reward: the forum account of the program
// folder. Every command first lets the automatic login of start-up finish, so the stored tokens
// make it logged in as the window would be. Tokens, user_auth and the security code are never
// printed. Without CODE the login reads it from --code-file FILE or one line of standard input,
// since a CODE on the command line is visible to every user of the computer in the process list.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "account/account_feature.h"
#include "account/daily_reward.h"
#include "account/forum_login.h"
#include "account/login_window.h"
#include "account/stored_token.h"
#include "app/core.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "foundation/terminal_text.h"
#include "platform/platform.h"

namespace brindle {
namespace {

constexpr int kDefaultWaitMs = 60000;
// A security code is a short line; anything longer is no code.
constexpr std::size_t kMaxCodeLineBytes = 4096;
constexpr const char* kLoginUsage =
    "usage: brindle-cli login [--timeout MS] NAME [--code-file FILE]\n"
    "       (the security code is read from FILE, or else from one line of standard input)\n"
    "       brindle-cli login [--timeout MS] NAME CODE\n"
    "       (a CODE given here is visible to every user of this computer in the process list)\n";

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

// The first line of `text`, without its line end.
std::string FirstLine(std::string text) {
  text.resize(std::min(text.find('\n'), text.size()));
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

// The security code from --code-file FILE, or one line of standard input. False (with a
// message) when neither gives one.
bool ReadCode(const std::string& code_file_utf8, std::string& code_utf8) {
  std::string text;
  if (!code_file_utf8.empty()) {
    if (!platform::read_file(utf8_to_gbk(code_file_utf8), text)) {
      std::fprintf(stderr, "brindle-cli login: cannot read the code file %s\n",
                   code_file_utf8.c_str());
      return false;
    }
  } else {
    char buffer[kMaxCodeLineBytes + 2];
    if (std::fgets(buffer, sizeof buffer, stdin) != nullptr) text = buffer;
  }
  code_utf8 = FirstLine(std::move(text));
  if (code_utf8.size() > kMaxCodeLineBytes) code_utf8.clear();
  return true;
}

int RunLogin(CliContext& ctx) {
  int wait_ms = 0;
  std::string code_file;
  std::vector<std::string> words;
  for (std::size_t i = 0; i < ctx.args.size(); ++i) {
    if (ctx.args[i] == "--code-file" && i + 1 < ctx.args.size()) {
      code_file = ctx.args[++i];
    } else if (ctx.args[i] == "--code-file") {
      std::fputs(kLoginUsage, stderr);
      return 2;
    } else {
      words.push_back(ctx.args[i]);
    }
  }
  ctx.args = std::move(words);
  AccountFeature* account = SettledAccount(ctx, "login", wait_ms);
  if (account == nullptr) return 1;
  if (ctx.args.empty() || ctx.args.size() > 2 || (ctx.args.size() == 2 && !code_file.empty())) {
    std::fputs(kLoginUsage, stderr);
    return 2;
  }
  std::string code_utf8;
  if (ctx.args.size() == 2) {
    code_utf8 = ctx.args[1];
  } else if (!ReadCode(code_file, code_utf8)) {
    return 1;
  }
  // The window's rules: blanks around both fields go, then the two length checks.
  const std::string name = TrimLoginField(utf8_to_gbk(ctx.args[0]));
  const std::string code = TrimLoginField(utf8_to_gbk(code_utf8));
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
      break;
    case LoginOutcome::kRefused:
      Fail("login", gbk("用户或密码不正确?"));
      return 1;
    case LoginOutcome::kNoAnswer:
      std::fputs("brindle-cli login: the forum's answer is no login answer\n", stderr);
      return 1;
    default:
      std::fputs("brindle-cli login: the forum could not be reached\n", stderr);
      return 1;
  }
  const LoginState login = CurrentLogin(ctx.core.state());
  PrintLogin(ctx, login);
  // This command's purpose is a login the next command finds: it needs a user and the two
  // tokens of the automatic login.
  if (!IsLoggedIn(login)) {
    std::fputs("brindle-cli login: the forum said yes but named no user id\n", stderr);
    return 1;
  }
  std::string machine;
  {
    std::lock_guard lock(ctx.core.state().mutex);
    machine = ctx.core.state().machine_id;
  }
  if (DecodeStoredToken(ctx.core.ReadSetting("Login_Qinum"), machine).size() < 2 ||
      DecodeStoredToken(ctx.core.ReadSetting("Login_Dypw"), machine).size() < 2) {
    std::fputs(
        "brindle-cli login: the forum's answer holds no tokens for the automatic login, so the "
        "login is not kept for later commands\n",
        stderr);
    return 1;
  }
  return 0;
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
  if (answer.status != 200) {
    // An error page is no answer of the sign-in plug-in: nothing of it is printed.
    std::fprintf(stderr, "brindle-cli reward: the forum answered with status %d\n", answer.status);
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

BRINDLE_CLI_COMMAND("login",
                    "[--timeout MS] NAME [CODE | --code-file FILE]: log into the forum (the tokens "
                    "are kept); without CODE it is read from FILE or standard input (a CODE here "
                    "is visible to other users)",
                    RunLogin);
BRINDLE_CLI_COMMAND("logout", "log out of the forum and forget the stored tokens", RunLogout);
BRINDLE_CLI_COMMAND("whoami", "the logged-in forum user: uid, name, Steam ids (exit 1: nobody)",
                    RunWhoami);
BRINDLE_CLI_COMMAND("reward", "claim the forum's daily sign-in reward and print the answer",
                    RunReward);

}  // namespace brindle
