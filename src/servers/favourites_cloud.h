// The favourites service: the user's favourites backed up to the community's cloud and restored
// from it. Every call needs the forum login (uid and user_auth of the login state).
#pragma once

#include <string>
#include <vector>

namespace brindle {

class Core;
struct AppState;

// True when the uid, read as an integer, is positive.
bool FavouritesLoggedIn(AppState& state);

// base + "/json.php?auth=" + token + "&sIP=" + sIP (UTF-8, percent-encoded) + "&Type=" + type +
// "&act=" + act.
std::string CloudFavouritesUrl(const std::string& base_url, const std::string& token,
                               const std::string& sip, int type, const std::string& act);
// base + "/json.php?auth=" + token.
std::string CloudBackupUrl(const std::string& base_url, const std::string& token);
// The backup body: [{"x2": address percent-encoded as UTF-8}, …] in list order.
std::string CloudBackupBody(const std::vector<std::string>& addresses);

// The sIP the restore sends (the service ignores it, but wants one).
inline constexpr const char* kRestoreDummyAddress = "127.0.0.1:27015";

// One cloud request. Refused when not logged in: "需要登录" in the notice window, nothing sent, "".
// Otherwise the answer body as GBK; "" when nothing (or an answer with a status other than 200)
// came back.
std::string CloudFavourites(Core& core, const std::string& sip, int type, const std::string& act);

enum class RestoreResult {
  kRefused,     // not logged in ("需要登录")
  kEmpty,       // nothing came back: the status line says so, the file is untouched
  kUnreadable,  // the answer is not a favourites list: "下载失败!", the file is untouched
  kRestored,    // the answer was written to the file: "下载成功!"
};
// "从云端下载收藏": asks for the stored list, writes it to the file unchanged, waits 5 s keeping
// the window responsive and rebuilds the list. Blocks; the button runs it on a worker.
RestoreResult RestoreFavourites(Core& core);

enum class BackupResult {
  kRefused,  // not logged in ("请登录")
  kSent,     // the service's answer was shown in the notice window
};
// "备份收藏到云端": posts the list's addresses. Blocks; the button runs it on a worker.
BackupResult BackupFavourites(Core& core);

}  // namespace brindle
