#include "servers/favourites_cloud.h"

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/json_document.h"
#include "foundation/settings_file.h"
#include "servers/favourites.h"
#include "view/list_model.h"
#include "view/window.h"

namespace brindle {

namespace {

struct CloudLogin {
  bool logged_in = false;
  std::string token;
  std::string base_url;
};

CloudLogin ReadLogin(AppState& state) {
  std::lock_guard lock(state.mutex);
  CloudLogin login;
  login.logged_in = TextToInt64(state.login.uid) > 0;
  login.token = state.login.user_auth;
  login.base_url = state.favourites_base_url;
  return login;
}

const char* const kNothingFetched = "未获取到服务器数据 您可能没有上传到云端 或 远程服务器不可用";

}  // namespace

bool FavouritesLoggedIn(AppState& state) { return ReadLogin(state).logged_in; }

std::string CloudFavouritesUrl(const std::string& base_url, const std::string& token,
                               const std::string& sip, int type, const std::string& act) {
  return base_url + "/json.php?auth=" + url_query_value(token) +
         "&sIP=" + url_encode(sip, true, true) + "&Type=" + std::to_string(type) + "&act=" + act;
}

std::string CloudBackupUrl(const std::string& base_url, const std::string& token) {
  return base_url + "/json.php?auth=" + url_query_value(token);
}

std::string CloudBackupBody(const std::vector<std::string>& addresses) {
  JsonDocument document;
  document.set_by_expression("", "[]");
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    document.add_array_item("{}", "", true);
    document.set_value("[" + std::to_string(i) + "].x2", url_encode(addresses[i], true, true));
  }
  return document.serialise();
}

std::string CloudFavourites(Core& core, const std::string& sip, int type, const std::string& act) {
  const CloudLogin login = ReadLogin(core.state());
  if (!login.logged_in) {
    core.window().ShowNotice(gbk("需要登录"));
    return {};
  }
  int status = 0;
  const Bytes body =
      http_request(CloudFavouritesUrl(login.base_url, login.token, sip, type, act), {}, &status);
  // An error page is no answer: its text must never end up as the user's favourites.
  if (status != 200) return {};
  return utf8_to_gbk(body);
}

RestoreResult RestoreFavourites(Core& core) {
  Window& window = core.window();
  if (!FavouritesLoggedIn(core.state())) {
    window.ShowNotice(gbk("需要登录"));
    return RestoreResult::kRefused;
  }
  const std::string answer = CloudFavourites(core, kRestoreDummyAddress, 0, "GetData");
  if (answer.empty()) {
    window.ShowStatus(gbk(kNothingFetched));
    return RestoreResult::kEmpty;
  }
  auto file = FavouritesFileOf(core);
  RestoreResult result = RestoreResult::kUnreadable;
  // Only a list replaces the user's file; an object or a plain text is no set of favourites.
  if (IsFavouritesText(answer) && file->Write(answer)) {
    window.ShowNotice(gbk("下载成功!"));
    result = RestoreResult::kRestored;
  } else {
    window.ShowNotice(gbk("下载失败!"));
    window.ShowNotice(gbk(kNothingFetched));
  }
  window.PumpDelay(5000, 0);
  file->Reload();
  LoadFavourites(core);
  return result;
}

BackupResult BackupFavourites(Core& core) {
  const CloudLogin login = ReadLogin(core.state());
  Window& window = core.window();
  if (!login.logged_in) {
    window.ShowNotice(gbk("请登录"));
    return BackupResult::kRefused;
  }
  std::vector<std::string> addresses;
  for (const ListRow& row : window.favourites().Rows()) addresses.push_back(row[cols::kFavAddress]);
  HttpRequestArgs args;
  args.method = 1;
  args.body = CloudBackupBody(addresses);
  const Bytes answer = http_request(CloudBackupUrl(login.base_url, login.token), args);
  window.ShowNotice(utf8_to_gbk(answer));
  return BackupResult::kSent;
}

}  // namespace brindle
