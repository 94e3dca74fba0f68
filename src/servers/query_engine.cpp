#include "servers/query_engine.h"

#include <chrono>
#include <memory>
#include <utility>

#include "app/core.h"
#include "app/workers.h"
#include "foundation/encoding.h"
#include "foundation/regex_matcher.h"
#include "view/window.h"

namespace brindle {

namespace {

constexpr const char* kDottedAddressPattern = "(\\d+\\.\\d+\\.\\d+\\.\\d+)";

// The port text read as a decimal number the way the C library's atoi reads it (leading blanks,
// a sign, digits up to the first other character); 0 when that is no usable port.
std::uint16_t PortOf(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  long value = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    digits = true;
    value = value * 10 + (text[i] - '0');
    if (value > 65535) return 0;
  }
  return digits ? static_cast<std::uint16_t>(value) : 0;
}

// Round trips are measured on the steady clock: the window's clock may be a test's virtual one,
// and a round trip is the network's, not the window's.
std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// How often the receive loop looks for overdue answers, at most.
constexpr std::int64_t kExpiryScanMs = 200;
// Requests of a many-server query stamped and sent together: a round trip counts from its own
// group's stamp, so a long list's last servers are not charged for the sending of the first.
constexpr std::size_t kSendGroup = 64;

std::string KeyOf(const std::string& host, std::uint16_t port) {
  return host + ":" + std::to_string(port);
}

// Whether kDottedAddressPattern finds a match in host. Every query asks this, and a compiled
// regular expression costs tens of microseconds a time, which a refresh of thousands of servers
// would pay per server; so a short plain-ASCII host (every real address) is scanned by hand for
// the same thing: four runs of digits joined by single dots, anywhere. Other hosts (non-ASCII
// bytes, read as GBK characters by the matcher) go through the matcher itself.
bool HoldsDottedAddress(const std::string& host) {
  constexpr std::size_t kScannedBytes = 255;
  bool ascii = host.size() <= kScannedBytes;
  for (std::size_t i = 0; ascii && i < host.size(); ++i) {
    ascii = static_cast<unsigned char>(host[i]) < 0x80;
  }
  if (!ascii) {
    RegexMatcher matcher;
    return matcher.execute(kDottedAddressPattern, host) && matcher.match_count() > 0;
  }
  const std::size_t n = host.size();
  auto digit = [&](std::size_t i) { return i < n && host[i] >= '0' && host[i] <= '9'; };
  for (std::size_t start = 0; start < n; ++start) {
    // A match may as well begin where its first run of digits begins.
    if (!digit(start) || (start > 0 && digit(start - 1))) continue;
    std::size_t i = start;
    for (int runs = 1;; ++runs) {
      while (digit(i)) ++i;
      if (runs == 4) return true;
      if (i >= n || host[i] != '.' || !digit(i + 1)) break;
      ++i;
    }
  }
  return false;
}

}  // namespace

QueryTarget ParseQueryTarget(const std::string& address) {
  QueryTarget target;
  const std::size_t colon = address.find(':');
  if (colon == std::string::npos) return target;
  target.host = address.substr(0, colon);
  target.port = PortOf(std::string_view(address).substr(colon + 1));
  if (!HoldsDottedAddress(target.host)) {
    target.needs_lookup = !target.host.empty();
    return target;
  }
  if (target.port != 0) target.key = KeyOf(target.host, target.port);
  return target;
}

namespace {

std::mutex& lookup_mutex() {
  static std::mutex mutex;
  return mutex;
}

HostLookup& lookup_hook() {
  static HostLookup hook;
  return hook;
}

std::string LookUpHost(const std::string& host) {
  HostLookup lookup;
  {
    std::lock_guard lock(lookup_mutex());
    lookup = lookup_hook();
  }
  return lookup ? lookup(host) : platform::resolve_ipv4(host);
}

}  // namespace

HostLookup SetHostLookup(HostLookup lookup) {
  std::lock_guard lock(lookup_mutex());
  HostLookup previous = std::move(lookup_hook());
  lookup_hook() = std::move(lookup);
  return previous;
}

QueryTarget ResolveQueryTarget(const std::string& address, ListModel* favourites) {
  QueryTarget target = ParseQueryTarget(address);
  if (!target.needs_lookup) return target;
  const std::string resolved = LookUpHost(target.host);
  if (resolved.empty()) return QueryTarget{};
  target.host = resolved;
  target.needs_lookup = false;
  target.resolved = true;
  if (target.port != 0) {
    target.key = KeyOf(target.host, target.port);
    if (favourites != nullptr) {
      favourites->SetCellsWhere(cols::kFavAddress, address, {{cols::kFavIpv4, target.key}});
    }
  }
  return target;
}

ListRow PlayerListRow(const PlayerEntry& player) {
  ListRow row(3);
  row[cols::kPlayerName] = player.name.empty() ? gbk("资源加载过程") : player.name;
  row[cols::kPlayerScore] = std::to_string(player.score);
  row[cols::kPlayerTime] = FormatPlayTime(player.seconds);
  return row;
}

std::string LatencyText(std::int64_t ms) { return std::to_string(ms < 0 ? 0 : ms) + " ms"; }

std::string NoAnswerText() { return gbk("无响应"); }

std::string PlayerPanelTitle(const std::string& name, const std::string& address) {
  if (name.empty() || name == address) return address;
  return name + " (" + address + ")";
}

std::string PlayerPanelLabel(const std::string& title, PlayerPanelState state) {
  std::string label = gbk("玩家信息表单: ") + title;
  if (state == PlayerPanelState::kAsking) label += gbk(" 查询中...");
  if (state == PlayerPanelState::kNoAnswer) label += gbk(" 无响应");
  return label;
}

QueryEngine::QueryEngine(Window& window)
    : window_(window), info_request_(InfoRequest()), player_request_(PlayerRequest()) {}

QueryEngine::~QueryEngine() { Stop(); }

bool QueryEngine::Start(Workers* workers) {
  std::lock_guard lock(mutex_);
  if (Started()) return true;
  if (loop_running_) return false;  // a loop from before is still on its way out
  if (!socket_.open("0.0.0.0", 0)) return false;
  stop_.store(false, std::memory_order_release);
  loop_running_ = true;
  started_.store(true, std::memory_order_release);
  {
    std::lock_guard resolver_lock(resolver_mutex_);
    workers_ = workers;
  }
  if (workers != nullptr) {
    const std::atomic<bool>* also_stop = &workers->stop_flag();
    auto job = [this, workers, also_stop] {
      // The program's exit wakes the loop out of its wait at once: the exit must not wait for
      // the wait to run out.
      const std::uint64_t hook = workers->AddStopHook([this] { socket_.close(); });
      ReceiveLoop(also_stop);
      if (hook != 0) workers->RemoveStopHook(hook);
    };
    if (workers->Start("query-receive", std::move(job))) return true;
    started_.store(false, std::memory_order_release);
    loop_running_ = false;
    socket_.close();
    return false;
  }
  thread_ = std::thread([this] { ReceiveLoop(nullptr); });
  return true;
}

void QueryEngine::Stop() {
  StopResolver();
  stop_.store(true, std::memory_order_release);
  socket_.close();  // wakes the receive loop
  std::thread thread;
  {
    std::unique_lock lock(mutex_);
    loop_done_.wait(lock, [this] { return !loop_running_; });
    thread = std::move(thread_);
  }
  if (thread.joinable()) thread.join();
  started_.store(false, std::memory_order_release);
}

void QueryEngine::ReceiveLoop(const std::atomic<bool>* also_stop) {
  const int wait_ms = kReceiveWaitMs;
  auto stopping = [&] {
    return stop_.load(std::memory_order_acquire) ||
           (also_stop != nullptr && also_stop->load(std::memory_order_acquire));
  };
  std::vector<platform::UdpSocket::Datagram> batch;
  std::vector<platform::UdpSocket::Outgoing> replies;
  std::size_t count = 0;
  std::int64_t last_scan = 0;
  while (!stopping()) {
    const auto result = socket_.receive_batch(wait_ms, batch, count);
    if (const std::int64_t now = SteadyMs(); now - last_scan >= kExpiryScanMs) {
      last_scan = now;
      ExpireQueries();
    }
    if (result == platform::UdpSocket::Receive::kClosed) break;
    if (result == platform::UdpSocket::Receive::kError) {
      platform::sleep_ms(20);  // keep a failing socket from spinning the loop
      continue;
    }
    if (result != platform::UdpSocket::Receive::kDatagram) continue;
    for (std::size_t i = 0; i < count; ++i) Handle(batch[i], replies);
    if (!replies.empty()) {
      socket_.send_batch(replies);
      replies.clear();
    }
  }
  started_.store(false, std::memory_order_release);
  socket_.close();
  if (also_stop != nullptr) {
    // The workers are stopping and may soon be gone: later lookups get a thread of their own.
    std::lock_guard lock(resolver_mutex_);
    workers_ = nullptr;
  }
  std::lock_guard lock(mutex_);
  loop_running_ = false;
  loop_done_.notify_all();
}

void QueryEngine::EnqueueLookup(Lookup lookup) {
  std::lock_guard lock(resolver_mutex_);
  if (resolver_stopping_) return;
  lookups_.push_back(std::move(lookup));
  if (resolver_running_) return;
  resolver_running_ = true;
  if (workers_ != nullptr) {
    const std::atomic<bool>* also_stop = &workers_->stop_flag();
    if (workers_->Start("query-resolve", [this, also_stop] { ResolverLoop(also_stop); })) return;
    resolver_running_ = false;  // the program is closing
    lookups_.clear();
    return;
  }
  // A thread of an earlier run has left its loop (running was false) and only needs joining.
  if (resolver_thread_.joinable()) resolver_thread_.join();
  resolver_thread_ = std::thread([this] { ResolverLoop(nullptr); });
}

void QueryEngine::ResolverLoop(const std::atomic<bool>* also_stop) {
  while (true) {
    Lookup lookup;
    {
      std::lock_guard lock(resolver_mutex_);
      const bool stopping = resolver_stopping_ ||
                            (also_stop != nullptr && also_stop->load(std::memory_order_acquire));
      if (stopping || lookups_.empty()) {
        lookups_.clear();
        resolver_running_ = false;
        resolver_done_.notify_all();
        return;
      }
      lookup = std::move(lookups_.front());
      lookups_.pop_front();
    }
    FinishLookup(lookup);
  }
}

void QueryEngine::FinishLookup(const Lookup& lookup) {
  const QueryTarget target = ResolveQueryTarget(lookup.address, &window_.favourites());
  if (!target.ok() || !lookup.send) return;
  if (lookup.player_query == 0) {
    if (Started()) {
      RememberInfoAsked(target.key);
      Ask(target, info_request_);
    }
    return;
  }
  {
    std::lock_guard lock(mutex_);
    // A newer player query, or a refresh that cleared the stamp, has made this one moot.
    if (lookup.player_query != player_query_ || player_stamp_ == 0) return;
    player_key_ = target.key;
    // The 5 seconds are the server's to answer in; the lookup's time is not counted.
    player_stamp_ = window_.clock().UnixSeconds();
  }
  if (Started()) Ask(target, player_request_);
}

void QueryEngine::StopResolver() {
  std::thread thread;
  {
    std::unique_lock lock(resolver_mutex_);
    resolver_stopping_ = true;
    lookups_.clear();
    // A lookup in progress cannot be interrupted; it ends as the resolver's timeouts say.
    resolver_done_.wait(lock, [this] { return !resolver_running_; });
    thread = std::move(resolver_thread_);
    workers_ = nullptr;
  }
  if (thread.joinable()) thread.join();
  std::lock_guard lock(resolver_mutex_);
  resolver_stopping_ = false;
}

bool QueryEngine::Send(const QueryTarget& target, const std::string& packet) {
  return target.ok() && socket_.send_to(target.host, target.port, packet);
}

bool QueryEngine::Ask(const QueryTarget& target, const std::string& packet) {
  if (!target.ok()) return false;
  {
    std::lock_guard lock(mutex_);
    challenge_rounds_[target.key] = kChallengeRoundsPerQuery;
  }
  return Send(target, packet);
}

bool QueryEngine::TakeChallengeRound(const std::string& key) {
  std::lock_guard lock(mutex_);
  const auto it = challenge_rounds_.find(key);
  if (it == challenge_rounds_.end() || it->second <= 0) return false;
  --it->second;
  return true;
}

void QueryEngine::QueryServerInfo(const std::string& address) { QueryServerInfos({address}); }

void QueryEngine::QueryServerInfos(const std::vector<std::string>& addresses) {
  std::vector<platform::UdpSocket::Outgoing> group;
  std::vector<std::string> keys;
  auto send_group = [&] {
    if (group.empty()) return;
    {
      std::lock_guard lock(mutex_);
      const std::int64_t now = SteadyMs();
      for (const std::string& key : keys) {
        info_asked_[key] = now;
        challenge_rounds_[key] = kChallengeRoundsPerQuery;
      }
    }
    socket_.send_batch(group);
    group.clear();
    keys.clear();
  };
  const bool started = Started();
  for (const std::string& address : addresses) {
    QueryTarget target = ParseQueryTarget(address);
    if (target.needs_lookup) {
      // The lookup may take as long as the resolver likes; the caller (the UI thread) never waits.
      if (target.port != 0) EnqueueLookup({address, 0, started});
      continue;
    }
    if (!started || !target.ok()) continue;
    keys.push_back(std::move(target.key));
    group.push_back({std::move(target.host), target.port, info_request_});
    if (group.size() == kSendGroup) send_group();
  }
  send_group();
}

void QueryEngine::RememberInfoAsked(const std::string& key) {
  std::lock_guard lock(mutex_);
  info_asked_[key] = SteadyMs();
}

void QueryEngine::ExpireQueries() {
  const std::int64_t now = SteadyMs();
  std::vector<std::string> overdue;
  std::string player_title;
  {
    std::lock_guard lock(mutex_);
    for (auto it = info_asked_.begin(); it != info_asked_.end();) {
      if (now - it->second >= kInfoAnswerTimeoutMs) {
        overdue.push_back(it->first);
        it = info_asked_.erase(it);
      } else {
        ++it;
      }
    }
    if (player_asked_ms_ != 0 && now - player_asked_ms_ >= kPlayerReplyWindowSeconds * 1000) {
      player_asked_ms_ = 0;
      player_title = player_title_;
    }
  }
  for (const std::string& key : overdue) MarkNoAnswer(key);
  if (!player_title.empty()) {
    window_.controls().SetCaption(names::kPlayerPanelLabel,
                                  PlayerPanelLabel(player_title, PlayerPanelState::kNoAnswer));
  }
}

void QueryEngine::MarkNoAnswer(const std::string& key) {
  // What an earlier answer said is no longer known: the row says it is not answering now.
  const std::vector<std::pair<int, std::string>> favourite = {{cols::kFavLatency, NoAnswerText()},
                                                              {cols::kFavMap, ""},
                                                              {cols::kFavPlayers, ""},
                                                              {cols::kFavVersion, ""}};
  ListModel& favourites = window_.favourites();
  favourites.SetCellsWhere(cols::kFavAddress, key, favourite);
  favourites.SetCellsWhere(cols::kFavIpv4, key, favourite);
  window_.server_list().SetCellsWhere(cols::kServerAddress, key,
                                      {{cols::kServerPing, NoAnswerText()}});
}

void QueryEngine::QueryPlayers(const std::string& address, const std::string& title) {
  {
    std::lock_guard lock(mutex_);
    player_title_ = title;
    player_asked_ms_ = title.empty() ? 0 : SteadyMs();
  }
  if (!title.empty()) {
    // The panel belongs to this server from now on: nothing of the previous one stays in it.
    window_.players().Clear();
    window_.controls().SetCaption(names::kPlayerPanelLabel,
                                  PlayerPanelLabel(title, PlayerPanelState::kAsking));
    window_.controls().SetVisible(names::kPlayerPanel, true);
  }
  QueryPlayers(address);
}

void QueryEngine::QueryPlayers(const std::string& address) {
  const std::int64_t now = window_.clock().UnixSeconds();
  const QueryTarget target = ParseQueryTarget(address);
  std::uint64_t serial = 0;
  {
    std::lock_guard lock(mutex_);
    player_stamp_ = now;
    player_key_ = target.key;  // empty until a host name has been looked up
    serial = ++player_query_;
  }
  if (target.needs_lookup && target.port != 0) EnqueueLookup({address, serial, Started()});
  if (!Started()) return;
  if (!target.needs_lookup) Ask(target, player_request_);
  window_.ShowStatus(gbk("查询玩家情况-> ") + address + gbk("(人多时可能不会反馈)"));
}

void QueryEngine::ClearPlayerQueryStamp() {
  std::lock_guard lock(mutex_);
  player_stamp_ = 0;
  player_asked_ms_ = 0;
}

std::int64_t QueryEngine::PlayerQueryStamp() const {
  std::lock_guard lock(mutex_);
  return player_stamp_;
}

void QueryEngine::RefreshFavourites() {
  ClearPlayerQueryStamp();
  ListModel& favourites = window_.favourites();
  const int rows = favourites.RowCount();
  std::vector<std::string> addresses;
  addresses.reserve(static_cast<std::size_t>(rows));
  for (int i = 0; i < rows; ++i) {
    addresses.push_back(favourites.Cell(i, cols::kFavAddress));
    favourites.SetCell(i, cols::kFavName, addresses.back());
  }
  QueryServerInfos(addresses);
}

void QueryEngine::SetInfoObserver(InfoObserver observer) {
  auto shared = observer ? std::make_shared<InfoObserver>(std::move(observer)) : nullptr;
  std::lock_guard lock(mutex_);
  info_observer_ = std::move(shared);
}

void QueryEngine::SetPlayersObserver(PlayersObserver observer) {
  auto shared = observer ? std::make_shared<PlayersObserver>(std::move(observer)) : nullptr;
  std::lock_guard lock(mutex_);
  players_observer_ = std::move(shared);
}

void QueryEngine::HandleDatagram(const platform::UdpSocket::Datagram& datagram) {
  std::vector<platform::UdpSocket::Outgoing> replies;
  Handle(datagram, replies);
  if (!replies.empty()) socket_.send_batch(replies);
}

void QueryEngine::Handle(const platform::UdpSocket::Datagram& datagram,
                         std::vector<platform::UdpSocket::Outgoing>& replies) {
  const std::string key = KeyOf(datagram.address, datagram.port);
  switch (ClassifyA2sReply(datagram.bytes)) {
    case A2sReplyKind::kInfo: {
      auto info = ParseServerInfo(datagram.bytes);
      if (!info) return;
      ApplyServerInfo(key, *info);
      std::shared_ptr<InfoObserver> observer;
      {
        std::lock_guard lock(mutex_);
        observer = info_observer_;
      }
      if (observer) (*observer)(key, *info);
      return;
    }
    case A2sReplyKind::kChallenge: {
      const std::string challenge = ParseChallenge(datagram.bytes);
      // Only the exact address and port asked, and only a few rounds per query: otherwise any
      // host could make the engine send for it, and a server that only ever challenges would
      // keep it busy for ever.
      if (challenge.empty() || !TakeChallengeRound(key)) return;
      {
        // The round trip counts from the request the answer will come for.
        std::lock_guard lock(mutex_);
        if (auto it = info_asked_.find(key); it != info_asked_.end()) it->second = SteadyMs();
      }
      // Whichever request drew the challenge, both are asked again with it.
      replies.push_back({datagram.address, datagram.port, InfoRequest(challenge)});
      replies.push_back({datagram.address, datagram.port, PlayerRequest(challenge)});
      return;
    }
    case A2sReplyKind::kPlayers: {
      // A reply cut short is no answer: the panel keeps what it shows.
      auto players = ParsePlayers(datagram.bytes);
      if (players) ApplyPlayers(key, *players);
      return;
    }
    case A2sReplyKind::kUnknown:
      return;
  }
}

void QueryEngine::ApplyServerInfo(const std::string& key, const ServerInfo& info) {
  std::int64_t asked = 0;
  {
    std::lock_guard lock(mutex_);
    if (auto it = info_asked_.find(key); it != info_asked_.end()) {
      asked = it->second;
      info_asked_.erase(it);
    }
  }
  std::string name;
  name.reserve(info.name.size());
  for (char c : info.name) {
    if (c != '?') name.push_back(c);
  }
  std::vector<std::pair<int, std::string>> cells = {
      {cols::kFavName, name},
      {cols::kFavMap, info.map},
      {cols::kFavPlayers, std::to_string(info.players) + "/" + std::to_string(info.max_players)},
      {cols::kFavGame, info.folder},
      {cols::kFavVersion, info.version},
  };
  // An answer nobody asked for (or a second one) has no round trip to show.
  if (asked != 0) cells.emplace_back(cols::kFavLatency, LatencyText(SteadyMs() - asked));
  ListModel& favourites = window_.favourites();
  favourites.SetCellsWhere(cols::kFavAddress, key, cells);
  favourites.SetCellsWhere(cols::kFavIpv4, key, cells);
  std::vector<std::pair<int, std::string>> server = {{cols::kServerLiveMap, info.map}};
  if (asked != 0) server.emplace_back(cols::kServerPing, LatencyText(SteadyMs() - asked));
  window_.server_list().SetCellsWhere(cols::kServerAddress, key, server);
}

void QueryEngine::ApplyPlayers(const std::string& key, const std::vector<PlayerEntry>& players) {
  const std::int64_t now = window_.clock().UnixSeconds();
  bool accepted;
  std::string title;
  std::shared_ptr<PlayersObserver> observer;
  {
    std::lock_guard lock(mutex_);
    // Every challenged server answers a player request too (see the challenge case), so only the
    // server last asked for its players may fill the panel.
    accepted = player_stamp_ != 0 && now - player_stamp_ < kPlayerReplyWindowSeconds &&
               now >= player_stamp_ && key == player_key_;
    observer = players_observer_;
    if (accepted && !player_title_.empty()) {
      player_asked_ms_ = 0;
      title = player_title_;
    }
  }
  if (!title.empty()) {
    window_.controls().SetCaption(names::kPlayerPanelLabel,
                                  PlayerPanelLabel(title, PlayerPanelState::kAnswered));
  }
  if (accepted) {
    std::vector<ListRow> rows;
    rows.reserve(players.size());
    for (const auto& player : players) rows.push_back(PlayerListRow(player));
    window_.controls().SetVisible(names::kPlayerPanel, true);
    window_.players().Replace(std::move(rows));
  }
  if (observer) (*observer)(key, players, accepted);
}

// ---- The process's engine ---------------------------------------------------------------------

namespace {

struct ProcessEngine {
  std::mutex mutex;
  std::shared_ptr<QueryEngine> engine;
};

ProcessEngine& process_engine() {
  static ProcessEngine holder;
  return holder;
}

std::shared_ptr<QueryEngine> running_engine() {
  ProcessEngine& p = process_engine();
  std::lock_guard lock(p.mutex);
  if (p.engine && p.engine->Started()) return p.engine;
  return nullptr;
}

}  // namespace

void QueryEngineFeature::OnStartup(Core& core) { StartQueryEngine(core); }

void StartQueryEngine(Core& core) {
  ProcessEngine& p = process_engine();
  std::lock_guard lock(p.mutex);
  if (p.engine && p.engine->Started()) return;
  // An engine of an earlier core has ended with that core's workers; this one starts afresh.
  p.engine = std::make_shared<QueryEngine>(core.window());
  if (!p.engine->Start(&core.workers())) p.engine.reset();
}

bool QueryEngineStarted() { return running_engine() != nullptr; }

void QueryServerInfo(Window&, const std::string& address) {
  if (auto engine = running_engine()) engine->QueryServerInfo(address);
}

void QueryServerInfos(Window&, const std::vector<std::string>& addresses) {
  if (auto engine = running_engine()) engine->QueryServerInfos(addresses);
}

void QueryPlayers(Window&, const std::string& address) {
  if (auto engine = running_engine()) engine->QueryPlayers(address);
}

void QueryPlayers(Window&, const std::string& address, const std::string& title) {
  if (auto engine = running_engine()) engine->QueryPlayers(address, title);
}

void ClearPlayerQueryStamp() {
  if (auto engine = running_engine()) engine->ClearPlayerQueryStamp();
}

void RefreshFavourites(Window& window) {
  if (auto engine = running_engine()) {
    engine->RefreshFavourites();
    return;
  }
  ListModel& favourites = window.favourites();
  const int rows = favourites.RowCount();
  for (int i = 0; i < rows; ++i) {
    favourites.SetCell(i, cols::kFavName, favourites.Cell(i, cols::kFavAddress));
  }
}

}  // namespace brindle
