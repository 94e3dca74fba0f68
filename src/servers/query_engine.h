// The live server query: one UDP socket for the process, requests sent from wherever a query is
// wanted, and one receive loop that writes every answer into the favourites rows or the player
// panel of the window it was started for.
//
// The process has one engine (StartQueryEngine, normally from the start-up clock through
// BindQueryEngine); the free functions below act on it. Tests and brindle-cli may also build
// their own QueryEngine over their own window.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/feature.h"
#include "platform/platform.h"
#include "servers/a2s_parser.h"
#include "view/list_model.h"

namespace brindle {

class Core;
class Window;
class Workers;

// Where a query for an address goes. `host` is the dotted address sent to (resolved when the
// address holds a host name), `key` is host + ":" + port as replies are matched.
struct QueryTarget {
  std::string host;
  std::uint16_t port = 0;
  std::string key;
  bool resolved = false;      // the address held a host name that the lookup turned into `host`
  bool needs_lookup = false;  // ParseQueryTarget: `host` is a name still to be looked up
  bool ok() const { return port != 0 && !host.empty() && !needs_lookup; }
};

// Splits "host:port" at the first ":" without any lookup. A host that holds no dotted IPv4
// address comes back as it is with needs_lookup set (and no key).
QueryTarget ParseQueryTarget(const std::string& address);

// Splits "host:port" at the first ":" and looks the host up when it holds no dotted IPv4
// address (this may block for as long as the system's resolver takes: not on the UI thread).
// When `favourites` has a row with this address, a resolved host also goes into that row's ipv4
// column (address + ":" + port). A target that cannot be reached (no ":", port not in 1..65535,
// lookup failed) has ok() false.
QueryTarget ResolveQueryTarget(const std::string& address, ListModel* favourites);

// The host name lookup behind ResolveQueryTarget: the first IPv4 address of a name, dotted;
// empty when there is none. An empty function (the default) is the system's resolver. Tests
// replace it with one they control. Returns the one it replaces. Any thread.
using HostLookup = std::function<std::string(const std::string& host)>;
HostLookup SetHostLookup(HostLookup lookup);

// One row of the player list: name ("资源加载过程" when empty), score, HH:MM:SS.
ListRow PlayerListRow(const PlayerEntry& player);

// The latency cell of a round trip: "37 ms".
std::string LatencyText(std::int64_t ms);
// "无响应" (GBK): what the latency cell of a server that did not answer reads.
std::string NoAnswerText();
// The player panel's label: "玩家信息表单: " + title, with " 查询中..." while asked and
// " 无响应" when no answer came (GBK).
// The server as the panel names it: "name (address)", or the address alone when the name is
// empty or is the address (a favourite that has not answered yet).
std::string PlayerPanelTitle(const std::string& name, const std::string& address);
enum class PlayerPanelState { kAsking, kAnswered, kNoAnswer };
std::string PlayerPanelLabel(const std::string& title, PlayerPanelState state);

class QueryEngine {
 public:
  // Seconds after the player request within which a player reply is still shown.
  static constexpr std::int64_t kPlayerReplyWindowSeconds = 5;
  static constexpr int kReceiveWaitMs = 1000;
  // A server that has not answered an information request this long is shown as not answering
  // ("无响应"); a player request gets kPlayerReplyWindowSeconds.
  static constexpr std::int64_t kInfoAnswerTimeoutMs = 3000;
  // Challenges answered per query of a server. A server that answers every request with a new
  // challenge would otherwise keep the engine busy for ever.
  static constexpr int kChallengeRoundsPerQuery = 3;

  // Called on the receive thread after an answer was applied to the window (or was ignored, for
  // players arriving late). For programs and tests that want the whole record.
  using InfoObserver = std::function<void(const std::string& sender_key, const ServerInfo& info)>;
  using PlayersObserver = std::function<void(
      const std::string& sender_key, const std::vector<PlayerEntry>& players, bool accepted)>;

  // The window (its favourites list, player list, player panel, status line and clock) must
  // outlive the engine.
  explicit QueryEngine(Window& window);
  ~QueryEngine();  // Stop()
  QueryEngine(const QueryEngine&) = delete;
  QueryEngine& operator=(const QueryEngine&) = delete;

  // Opens the socket and starts the receive loop on the engine's own thread, or, given
  // `workers`, as one of their jobs (so the program's exit stops it with the other workers).
  // False when the socket cannot be opened; the engine then stays not started. A second call on
  // a started engine does nothing and returns true.
  bool Start(Workers* workers = nullptr);
  // Ends the receive loop, waits for it and closes the socket. Queries then send nothing. Not
  // from the receive thread (an observer).
  void Stop();
  bool Started() const { return started_.load(std::memory_order_acquire); }
  std::uint16_t LocalPort() const { return socket_.local_port(); }

  // Asks the server at "host:port" for its information; the answer fills the favourites rows
  // whose address (or ipv4) column is the sender, with the round trip in their latency column,
  // and the latency and live map of the server list rows of that address. A server that does not
  // answer within kInfoAnswerTimeoutMs reads "无响应" there instead, and its favourites rows lose
  // the map, player count and version of an earlier answer. Returns at once: a host name is looked
  // up on the engine's resolver thread (names in the order asked), which then fills the row's ipv4
  // column as ResolveQueryTarget does and sends the request. Names are looked up also when the
  // engine is not started (nothing is sent then).
  void QueryServerInfo(const std::string& address);
  // The same for many servers at once, their requests sent in batches (one system call for many
  // where the system offers it). A list load or refresh asks this way.
  void QueryServerInfos(const std::vector<std::string>& addresses);
  // Asks for the server's players and shows "查询玩家情况-> ADDRESS(人多时可能不会反馈)". The
  // answer is shown in the player panel when it comes from that server within 5 seconds of this
  // call. A host name is looked up as above; only the newest player query sends when its lookup
  // ends.
  void QueryPlayers(const std::string& address);
  // The same, for the player panel: the panel shows at once, emptied, its label naming `title`
  // (GBK: the server's name and address), and says so when no answer comes within the window.
  void QueryPlayers(const std::string& address, const std::string& title);

  // The player-query stamp (Unix seconds, 0 = none). The favourites refresh clears it.
  void ClearPlayerQueryStamp();
  std::int64_t PlayerQueryStamp() const;

  // Re-queries every favourites row: clears the stamp, sets each row's server column to its
  // address, then queries it.
  void RefreshFavourites();

  void SetInfoObserver(InfoObserver observer);
  void SetPlayersObserver(PlayersObserver observer);

  // One datagram as the receive loop handles it (the loop calls this; tests may too).
  void HandleDatagram(const platform::UdpSocket::Datagram& datagram);

 private:
  // Handles one datagram; what it answers (a challenge's requests) goes into `replies`, which the
  // receive loop sends once per batch of datagrams.
  void Handle(const platform::UdpSocket::Datagram& datagram,
              std::vector<platform::UdpSocket::Outgoing>& replies);
  void ReceiveLoop(const std::atomic<bool>* also_stop);
  // Marks the servers whose answer is overdue, and the player query when its window has passed.
  void ExpireQueries();
  void MarkNoAnswer(const std::string& key);
  void RememberInfoAsked(const std::string& key);
  void ApplyServerInfo(const std::string& key, const ServerInfo& info);
  void ApplyPlayers(const std::string& key, const std::vector<PlayerEntry>& players);
  bool Send(const QueryTarget& target, const std::string& packet);
  // Sends a request of a new query and grants its server the challenge rounds.
  bool Ask(const QueryTarget& target, const std::string& packet);

  // A query waiting for its host name to be looked up.
  struct Lookup {
    std::string address;
    std::uint64_t player_query = 0;  // the player query it belongs to; 0 for an information query
    bool send = false;               // asked while started: the request goes out once resolved
  };
  void EnqueueLookup(Lookup lookup);
  void ResolverLoop(const std::atomic<bool>* also_stop);
  void FinishLookup(const Lookup& lookup);
  void StopResolver();
  // Whether a challenge from `key` may be answered (and uses up one round if so).
  bool TakeChallengeRound(const std::string& key);

  Window& window_;
  platform::UdpSocket socket_;
  const std::string info_request_;
  const std::string player_request_;

  mutable std::mutex mutex_;  // start/stop, the stamp, the player target and the observers
  std::atomic<bool> started_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;         // when running on its own thread
  bool loop_running_ = false;  // guarded by mutex_
  std::condition_variable loop_done_;
  std::int64_t player_stamp_ = 0;
  std::string player_key_;  // sender expected to answer the player request
  // Challenge rounds left per asked server (address:port as replies come from it). Only servers
  // asked appear here, so a challenge from anywhere else is never answered.
  std::map<std::string, int> challenge_rounds_;
  std::shared_ptr<InfoObserver> info_observer_;
  std::shared_ptr<PlayersObserver> players_observer_;
  std::uint64_t player_query_ = 0;  // serial of the newest player query, guarded by mutex_
  // Steady milliseconds at which each server was last sent an information request, until it
  // answers or is marked as not answering (guarded by mutex_).
  std::map<std::string, std::int64_t> info_asked_;
  // The player panel's label for the pending player query, and when it was asked (steady ms; 0
  // once answered or marked), guarded by mutex_.
  std::string player_title_;
  std::int64_t player_asked_ms_ = 0;

  // The resolver: runs while lookups are queued and ends when none are left, as a job of the
  // workers given to Start (so the program's exit waits for it) or on its own thread.
  std::mutex resolver_mutex_;
  std::condition_variable resolver_done_;
  std::deque<Lookup> lookups_;
  bool resolver_running_ = false;
  bool resolver_stopping_ = false;
  Workers* workers_ = nullptr;  // guarded by resolver_mutex_
  std::thread resolver_thread_;
};

// ---- The process's engine ---------------------------------------------------------------------

// The engine as a feature: started by the start-up clock.
class QueryEngineFeature final : public Feature {
 public:
  const char* name() const override { return "query-engine"; }
  void Bind(Core& /*core*/) override {}
  void OnStartup(Core& core) override;
};
// Starts the process's engine for the core's window, its receive loop a job of the core's
// workers. Once per process: a second call while it runs does nothing. A failed socket leaves it
// not started and later queries send nothing.
void StartQueryEngine(Core& core);
bool QueryEngineStarted();

// The engine's queries for `window`. When the engine is not running nothing is sent and no host
// name is looked up (the window must never wait for a lookup; the next load or refresh does it).
void QueryServerInfo(Window& window, const std::string& address);
void QueryServerInfos(Window& window, const std::vector<std::string>& addresses);
void QueryPlayers(Window& window, const std::string& address);
void QueryPlayers(Window& window, const std::string& address, const std::string& title);
void ClearPlayerQueryStamp();
void RefreshFavourites(Window& window);

}  // namespace brindle
