#include "servers/server_list.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/json_document.h"
#include "foundation/string_map.h"
#include "servers/categories.h"

namespace brindle {

namespace {

// The members of one server as the answer gives them.
struct ServerRecord {
  std::string name, map_name, comments, players, max_players, ip, port;
};

ServerRecord ReadRecord(const JsonDocument& doc, int index) {
  const std::string prefix = "[" + std::to_string(index) + "].";
  auto member = [&](const char* name) { return doc.get_value(prefix + name); };
  return {member("name"),        member("map_name"), member("comments"), member("players"),
          member("max_players"), member("ip"),       member("port")};
}

std::string WithoutQuestionMarks(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '?'), text.end());
  return text;
}

// Collects rows unique by address, in the order they are offered.
class RowCollector {
 public:
  RowCollector(const ServerRowOptions& options, std::vector<ServerRow>& out)
      : options_(options), out_(out) {}

  void Add(const ServerRecord& record, std::string name) {
    std::string address = record.ip + ":" + record.port;
    if (!seen_.insert(address).second) return;
    ServerRow row;
    row.name = std::move(name);
    row.map = record.map_name;
    if (options_.dictionary != nullptr) {
      std::string translation;
      if (options_.dictionary->get(record.map_name, translation)) row.map += translation;
    }
    row.players = record.players + "/" + record.max_players;
    row.description = options_.operator_view ? address : record.comments;
    row.address = std::move(address);
    out_.push_back(std::move(row));
  }

 private:
  const ServerRowOptions& options_;
  std::vector<ServerRow>& out_;
  std::unordered_set<std::string> seen_;
};

// The newest load. Every write of a load (the list, the category buttons) happens under the
// lock after checking that the load is still the newest, so once LoadServerList has returned no
// earlier load can write again.
struct LoadGate {
  std::mutex mutex;
  std::uint64_t latest = 0;
};

LoadGate& Gate() {
  static LoadGate gate;
  return gate;
}

bool IsCurrent(std::uint64_t generation) {
  if (generation == kAnyServerListLoad) return true;
  LoadGate& gate = Gate();
  std::lock_guard lock(gate.mutex);
  return generation == gate.latest;
}

// Runs `write` when `generation` is still the newest load; false (nothing written) when not.
template <typename Write>
bool WriteIfCurrent(std::uint64_t generation, Write&& write) {
  LoadGate& gate = Gate();
  std::lock_guard lock(gate.mutex);
  if (generation != kAnyServerListLoad && generation != gate.latest) return false;
  write();
  return true;
}

enum class Fetch { kFilled, kUnreadable, kSuperseded };

Fetch FetchAndFill(Core& core, const std::string& category, std::uint64_t generation) {
  Window& window = core.window();
  if (!WriteIfCurrent(generation, [&] { SetCategoryButtonsEnabled(window.controls(), false); })) {
    return Fetch::kSuperseded;
  }
  const std::string body = http_request(
      ServerListUrl(core.state()),
      {.timeout_seconds = kServerListTimeoutSeconds, .max_body_bytes = kHttpBodyCapLargeList});
  std::vector<ListRow> cells;
  {
    std::vector<ServerRow> rows;
    if (!BuildServerRows(utf8_to_gbk(body), category, ServerRowOptionsFor(core.state()), rows)) {
      return IsCurrent(generation) ? Fetch::kUnreadable : Fetch::kSuperseded;
    }
    cells.reserve(rows.size());
    for (const ServerRow& row : rows) cells.push_back(row.Cells());
  }
  const bool written = WriteIfCurrent(generation, [&] {
    window.server_list().Replace(std::move(cells));
    SetCategoryButtonsEnabled(window.controls(), true);
  });
  return written ? Fetch::kFilled : Fetch::kSuperseded;
}

enum class Wait { kDone, kStopping, kSuperseded };

// Waits `ms` on the window's clock in short steps so that neither a closing program nor a newer
// load is held up by it.
Wait WaitForRetry(Core& core, std::int64_t ms, std::uint64_t generation) {
  constexpr std::int64_t kStepMs = 200;
  ClockPort& clock = core.window().clock();
  const std::int64_t deadline = clock.NowMs() + ms;
  while (!core.workers().Stopping()) {
    if (!IsCurrent(generation)) return Wait::kSuperseded;
    const std::int64_t left = deadline - clock.NowMs();
    if (left <= 0) return Wait::kDone;
    core.window().PumpDelay(std::min(left, kStepMs), 0);
  }
  return Wait::kStopping;
}

void StartLoad(Core& core, const std::string& category, std::uint64_t generation) {
  core.workers().Start("server-list", [&core, category, generation] {
    RunServerListLoad(core, category, generation);
  });
}

}  // namespace

ListRow ServerRow::Cells() const { return {name, map, players, address, description}; }

ServerRowOptions ServerRowOptionsFor(AppState& state) {
  ServerRowOptions options;
  {
    std::lock_guard lock(state.mutex);
    options.operator_view = !state.login.uid.empty() && state.login.uid == state.operator_uid;
  }
  options.dictionary = &MapNameDictionaryMap();
  return options;
}

bool BuildServerRows(std::string_view body_gbk, std::string_view category,
                     const ServerRowOptions& options, std::vector<ServerRow>& out) {
  JsonDocument doc;
  if (!doc.parse(body_gbk)) return false;
  const int count = doc.count("");
  std::vector<ServerRecord> records;
  records.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) records.push_back(ReadRecord(doc, i));

  std::vector<ServerRow> rows;
  RowCollector collector(options, rows);
  if (IsAllServersCategory(category)) {
    for (const ServerRecord& record : records) collector.Add(record, record.name);
  } else {
    std::vector<std::string> names;
    std::vector<PreparedName> prepared;
    names.reserve(records.size());
    prepared.reserve(records.size());
    for (const ServerRecord& record : records) {
      names.push_back(WithoutQuestionMarks(record.name));
      prepared.emplace_back(names.back());
    }
    for (const std::string& keyword : SplitCategoryKeywords(category)) {
      const NameKeyword matcher(keyword);
      for (std::size_t i = 0; i < records.size(); ++i) {
        if (matcher.Matches(prepared[i])) collector.Add(records[i], names[i]);
      }
    }
  }
  out = std::move(rows);
  return true;
}

bool FillServerList(ListModel& list, std::string_view body_utf8, std::string_view category,
                    const ServerRowOptions& options) {
  std::vector<ServerRow> rows;
  if (!BuildServerRows(utf8_to_gbk(body_utf8), category, options, rows)) return false;
  std::vector<ListRow> cells;
  cells.reserve(rows.size());
  for (const ServerRow& row : rows) cells.push_back(row.Cells());
  list.Replace(std::move(cells));
  return true;
}

std::string ServerListUrl(AppState& state) {
  std::lock_guard lock(state.mutex);
  return state.server_list_base_url + "/api/servers?game=csgo";
}

std::atomic<int>& ServerListRetryCounter() {
  static std::atomic<int> counter{0};
  return counter;
}

void SetCategoryButtonsEnabled(Controls& controls, bool enabled) {
  for (const ServerCategory& category : ServerCategories()) {
    controls.SetEnabled(category.button, enabled);
  }
}

std::uint64_t BeginServerListLoad() {
  LoadGate& gate = Gate();
  std::lock_guard lock(gate.mutex);
  return ++gate.latest;
}

bool FetchServerListOnce(Core& core, const std::string& category) {
  return FetchAndFill(core, category, kAnyServerListLoad) == Fetch::kFilled;
}

ServerListRun RunServerListLoad(Core& core, const std::string& category, std::uint64_t generation) {
  if (core.workers().Stopping()) return ServerListRun::kStopped;
  switch (FetchAndFill(core, category, generation)) {
    case Fetch::kFilled:
      return ServerListRun::kFilled;
    case Fetch::kSuperseded:
      return ServerListRun::kSuperseded;
    case Fetch::kUnreadable:
      break;
  }

  std::atomic<int>& counter = ServerListRetryCounter();
  int seen = counter.load();
  while (seen <= kServerListRetryLimit) {
    if (!counter.compare_exchange_weak(seen, seen + 1)) continue;
    switch (WaitForRetry(core, kServerListRetryDelayMs, generation)) {
      case Wait::kStopping:
        return ServerListRun::kStopped;
      case Wait::kSuperseded:
        return ServerListRun::kSuperseded;
      case Wait::kDone:
        break;
    }
    // A retry is the same choice of the person: it keeps the load's generation.
    StartLoad(core, category, generation);
    return ServerListRun::kRetrying;
  }
  if (!IsCurrent(generation)) return ServerListRun::kSuperseded;
  core.window().ShowNotice(gbk("重试中 ") + std::to_string(seen));
  counter.store(0);
  return ServerListRun::kGaveUp;
}

void LoadServerList(Core& core, const std::string& category) {
  StartLoad(core, category, BeginServerListLoad());
}

bool IsCs2Row(const ListRow& row) {
  auto cell = [&row](int column) {
    return static_cast<std::size_t>(column) < row.size() ? row[static_cast<std::size_t>(column)]
                                                         : std::string();
  };
  return ContainsIgnoringCase(cell(cols::kServerRegion), "[cs2]") ||
         ContainsIgnoringCase(cell(cols::kServerName), "[cs2]");
}

}  // namespace brindle
