// The server list: the community's server API turned into the rows of 服务器列表_EX, all of them
// ("AllServers") or those of one keyword category, unique by address, with the map names
// translated by the map name dictionary. Each load runs on its own worker thread and retries an
// unreadable answer every 5 seconds, up to the limit of one process-wide counter, until a newer
// load (the person chose another category) supersedes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "view/list_model.h"

namespace brindle {

class Core;
class Controls;
class StringMap;
struct AppState;
struct HttpTransferInfo;

// One row of the server list; the address is its identity (compared byte for byte).
struct ServerRow {
  std::string name;         // `name` ("?" removed under a keyword category)
  std::string map;          // `map_name` followed by its "(...)" translation when there is one
  std::string players;      // players + "/" + max_players
  std::string address;      // ip + ":" + port
  std::string description;  // `comments`, or the address for the operator account
  ListRow Cells() const&;
  ListRow Cells() &&;  // the texts moved out
};

struct ServerRowOptions {
  bool operator_view = false;             // the description cell shows the address
  const StringMap* dictionary = nullptr;  // map name -> "(...)"; nullptr: no translations
};

// The operator flag from the login state and the process-wide map name dictionary.
ServerRowOptions ServerRowOptionsFor(AppState& state);

// The rows the list shows for one answer (GBK text) and a category: every server in answer order
// for "AllServers", else grouped by the first keyword that matched, in answer order within a
// group; a later server with an address already listed is left out. False when the text is not
// JSON (out is left alone). An answer whose root is not an array gives no rows. A server whose
// members have the wrong type is left out: name, map_name, comments and ip must be strings;
// players, max_players and port numbers or strings holding a whole number (counts 0 to 65535,
// port 1 to 65535, written back in plain decimal); ip and port must be there (ip a dotted
// address or host name), the others read as empty text when missing or null.
bool BuildServerRows(std::string_view body_gbk, std::string_view category,
                     const ServerRowOptions& options, std::vector<ServerRow>& out);
// The same rows from the answer as it came (UTF-8): read straight from the text where the fast
// reader can, else converted to GBK and read through the document as above.
bool BuildServerRowsFromAnswer(std::string_view body_utf8, std::string_view category,
                               const ServerRowOptions& options, std::vector<ServerRow>& out);

// One answer (UTF-8, as it came) into the list: converted to GBK, read, and the list's rows
// replaced in one step. False, and the list untouched, when the answer is not JSON. (The caller
// has checked IsWholeServerListAnswer.)
bool FillServerList(ListModel& list, std::string_view body_utf8, std::string_view category,
                    const ServerRowOptions& options);

// Whether a transfer of the server list brought the list: a 2xx status and every announced byte.
// An error status or a cut body is a failed fetch even when its text parses.
bool IsWholeServerListAnswer(int status, const HttpTransferInfo& transfer);

// server_list_base_url + "/api/servers?game=csgo"
std::string ServerListUrl(AppState& state);

inline constexpr int kServerListTimeoutSeconds = 20;
inline constexpr int kServerListRetryLimit = 100;  // retries while the counter is at most this
inline constexpr std::int64_t kServerListRetryDelayMs = 5000;

// Failed fetches since start-up or the last give-up; a success leaves it alone.
std::atomic<int>& ServerListRetryCounter();

// The fifteen category buttons (全部服务器 and the fourteen modes) on or off together.
void SetCategoryButtonsEnabled(Controls& controls, bool enabled);
// Marks `button` as the chosen category and every other category button as not chosen.
void SelectCategoryButton(Controls& controls, const std::string& button);

// The status line and the empty list's text while a failed server list fetch is retried:
// "无法获取服务器列表(" + reason + "),5秒后自动重试(第N次)".
std::string ServerListRetryText(const std::string& reason, int attempt);

// A load is superseded by every later LoadServerList: from then on it writes neither the list
// nor the category buttons, shows nothing and tries no more. BeginServerListLoad makes the
// newest load's generation; kAnyServerListLoad is never superseded (brindle-cli's one fetch).
inline constexpr std::uint64_t kAnyServerListLoad = 0;
std::uint64_t BeginServerListLoad();

// One fetch and fill on the calling thread, without the retry: disables the category buttons,
// asks the API (its answer capped at kHttpBodyCapLargeList) and fills the list. True when the
// answer was read (a whole 2xx answer holding JSON); the buttons are enabled again only then.
// Otherwise `reason` (when given) says why, as the window's retry text does (GBK).
bool FetchServerListOnce(Core& core, const std::string& category, std::string* reason = nullptr);

enum class ServerListRun {
  kFilled,      // the list shows the answer
  kRetrying,    // waited and started the next attempt on a new worker
  kGaveUp,      // "重试中 N" shown, counter back to 0, no further attempt
  kStopped,     // the program is closing: no further attempt
  kSuperseded,  // a newer load began: nothing written, no further attempt
};
// A whole run of load `generation` as the worker does it: fetch and fill, and on failure the
// retry rule (the retry keeps the generation).
ServerListRun RunServerListLoad(Core& core, const std::string& category, std::uint64_t generation);

// Begins a new load (superseding every earlier one) and starts RunServerListLoad on a new worker
// thread; returns at once. `category` (GBK) holds "AllServers" or a "--"-joined keyword list.
void LoadServerList(Core& core, const std::string& category);

// The text the server list shows while it has no rows (the control names::kServerListEmpty).
std::string ServerListLoadingText();  // "正在获取服务器列表..."
std::string NoServersText();          // "此分类暂无服务器"

// Whether a server list row is a CS2 server: "[cs2]" in its description, else in its name,
// ignoring case.
bool IsCs2Row(const ListRow& row);

}  // namespace brindle
