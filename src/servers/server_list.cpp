#include "servers/server_list.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <optional>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/json_document.h"
#include "foundation/json_table.h"
#include "foundation/string_map.h"
#include "maps/map_lookup.h"
#include "servers/categories.h"
#include "servers/query_engine.h"

namespace brindle {

namespace {

// The members of one server as the answer gives them.
struct ServerRecord {
  std::string name, map_name, comments, players, max_players, ip, port;
};

bool IsDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A whole number from `low` to `high` written in decimal digits (a JSON number reads as text the
// way JavaScript writes it, so 3.5e+300, -1 and 27015.5 all fail here); its plain decimal text.
std::optional<std::string> WholeNumber(std::string_view text, long low, long high) {
  if (!IsDigits(text) || text.size() > 9) return std::nullopt;
  long value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  if (value < low || value > high) return std::nullopt;
  // The digits without their leading zeros ("0" stays).
  return std::string(text.substr(std::min(text.find_first_not_of('0'), text.size() - 1)));
}

// A host as an address cell can carry it: a dotted IPv4 address or a host name.
bool IsHostText(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
           c == '-';
  });
}

// Server i of the answer, or nothing when a member has the wrong type: the texts (name,
// map_name, comments, ip) must be strings, the numbers (players, max_players, port) JSON numbers
// or strings holding a whole number (members are read as text, so "27015" is as good as 27015),
// port from 1 to 65535, counts from 0 to 65535. A missing or null text or count (or an empty
// string) reads as empty; ip and port make the row's address and must be there, ip as a host
// (no blank, no ":").
std::optional<ServerRecord> ReadRecord(const JsonDocument& doc, int index) {
  const std::string prefix = "[" + std::to_string(index) + "]";
  if (doc.value_type(prefix) != kJsonObject) return std::nullopt;
  bool ok = true;
  auto text = [&](const char* name, bool keep_all = false) {
    const std::string path = prefix + "." + name;
    const int type = doc.value_type(path);
    if (type == kJsonNull) return std::string();
    if (type != kJsonString) ok = false;
    if (!ok) return std::string();
    return keep_all ? doc.get_text_keeping_all(path) : doc.get_value(path);
  };
  auto number = [&](const char* name, long low, long high) {
    const std::string path = prefix + "." + name;
    const int type = doc.value_type(path);
    if (type == kJsonNull) return std::string();
    const std::string written = doc.get_value(path);
    if (type == kJsonString && written.empty()) return std::string();
    std::optional<std::string> value;
    if (type == kJsonNumber || type == kJsonString) value = WholeNumber(written, low, high);
    if (!value) ok = false;
    return value.value_or(std::string());
  };
  ServerRecord record;
  record.name = text("name", true);  // shown as it came, emoji and all
  record.map_name = text("map_name");
  record.comments = text("comments");
  record.players = number("players", 0, 65535);
  record.max_players = number("max_players", 0, 65535);
  record.ip = text("ip");
  record.port = number("port", 1, 65535);
  if (!ok || !IsHostText(record.ip) || record.port.empty()) return std::nullopt;
  return record;
}

// The same records straight from the answer's UTF-8 text, member by member as ReadRecord reads
// them from the document. False when the fast reader leaves the text to the document.
// `wanted` sees each valid record with everything but its map name and comments (still empty)
// and says whether to keep it; only a kept record's other texts are converted, and it goes to
// `take` with the number of elements in the answer's array.
template <typename Wanted, typename Take>
bool ReadRecordsFast(std::string_view body_utf8, Wanted&& wanted, Take&& take) {
  static const std::vector<std::string_view> kMembers = {
      "name", "map_name", "comments", "players", "max_players", "ip", "port"};
  ServerRecord record;
  return read_json_table(body_utf8, kMembers, [&](const JsonTableRow& row) {
    if (!row.is_object) return;
    bool ok = true;
    auto is_text = [&](std::size_t member) {
      const int type = row.cells[member].type;
      return type == kJsonNull || type == kJsonString;
    };
    auto text = [&](std::size_t member, bool keep_all = false) {
      const JsonCell& cell = row.cells[member];
      if (cell.type == kJsonNull) return std::string();
      return keep_all ? utf8_to_gbk_keeping_all(cell.text) : utf8_to_gbk(cell.text);
    };
    auto number = [&](std::size_t member, long low, long high) {
      const JsonCell& cell = row.cells[member];
      if (cell.type == kJsonNull) return std::string();
      std::optional<std::string> value;
      if (cell.type == kJsonNumber) value = WholeNumber(cell.text, low, high);
      if (cell.type == kJsonString) {
        const std::string written = utf8_to_gbk(cell.text);
        if (written.empty()) return std::string();
        value = WholeNumber(written, low, high);
      }
      if (!value) ok = false;
      return value.value_or(std::string());
    };
    if (!is_text(0) || !is_text(1) || !is_text(2) || !is_text(5)) return;
    record.name = text(0, true);
    record.map_name.clear();
    record.comments.clear();
    record.players = number(3, 0, 65535);
    record.max_players = number(4, 0, 65535);
    record.ip = text(5);
    record.port = number(6, 1, 65535);
    if (!ok || !IsHostText(record.ip) || record.port.empty() || !wanted(record)) return;
    record.map_name = text(1);
    record.comments = text(2);
    take(record, row.count);
  });
}

void RemoveQuestionMarks(std::string& text) {
  text.erase(std::remove(text.begin(), text.end(), '?'), text.end());
}

// Rows reserved ahead from the answer's element count, at most this many: a hostile answer of
// millions of empty elements reserves no more than a real list could fill.
constexpr std::size_t kRowsReservedAtMost = std::size_t{1} << 16;

// Collects rows unique by address, in the order they are offered.
class RowCollector {
 public:
  RowCollector(const ServerRowOptions& options, std::vector<ServerRow>& out, std::size_t expected)
      : options_(options), out_(out) {
    expected = std::min(expected, kRowsReservedAtMost);
    out_.reserve(expected);
    std::size_t places = 16;
    while (places < expected + expected / 2) places *= 2;
    seen_.assign(places, kEmpty);
  }

  // Takes the record's texts but its address: a record offered again (a second keyword) is
  // then known by its address and left out.
  void Add(ServerRecord& record, std::string name) {
    ServerRow& row = out_.emplace_back();
    row.address.reserve(record.ip.size() + 1 + record.port.size());
    row.address.append(record.ip).append(1, ':').append(record.port);
    if (!Insert(static_cast<std::uint32_t>(out_.size() - 1))) {
      out_.pop_back();
      return;
    }
    row.name = std::move(name);
    if (options_.dictionary != nullptr && options_.dictionary->get(record.map_name, translation_)) {
      row.map.reserve(record.map_name.size() + translation_.size());
      row.map.append(record.map_name).append(translation_);
    } else {
      row.map = std::move(record.map_name);
    }
    row.players.reserve(record.players.size() + 1 + record.max_players.size());
    row.players.append(record.players).append(1, '/').append(record.max_players);
    row.description = options_.operator_view ? row.address : std::move(record.comments);
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;

  // False when the row's address is already listed. Open addressing over the rows' indices, the
  // table kept under two thirds full.
  bool Insert(std::uint32_t row) {
    if ((used_ + 1) * 3 > seen_.size() * 2) Grow();
    const std::string& address = out_[row].address;
    const std::size_t mask = seen_.size() - 1;
    for (std::size_t at = std::hash<std::string_view>()(address) & mask;; at = (at + 1) & mask) {
      if (seen_[at] == kEmpty) {
        seen_[at] = row;
        ++used_;
        return true;
      }
      if (out_[seen_[at]].address == address) return false;
    }
  }

  void Grow() {
    std::vector<std::uint32_t> old(seen_.size() * 2, kEmpty);
    old.swap(seen_);
    const std::size_t mask = seen_.size() - 1;
    for (const std::uint32_t row : old) {
      if (row == kEmpty) continue;
      std::size_t at = std::hash<std::string_view>()(out_[row].address) & mask;
      while (seen_[at] != kEmpty) at = (at + 1) & mask;
      seen_[at] = row;
    }
  }

  const ServerRowOptions& options_;
  std::vector<ServerRow>& out_;
  std::vector<std::uint32_t> seen_;  // indices into out_
  std::size_t used_ = 0;
  std::string translation_;  // kept from row to row
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

// `reason`: why an unreadable fetch failed (ServiceFailureText).
Fetch FetchAndFill(Core& core, const std::string& category, std::uint64_t generation,
                   std::string* reason = nullptr) {
  Window& window = core.window();
  if (!WriteIfCurrent(generation, [&] {
        SetCategoryButtonsEnabled(window.controls(), false);
        window.controls().SetCaption(names::kServerListEmpty, ServerListLoadingText());
      })) {
    return Fetch::kSuperseded;
  }
  int status = 0;
  HttpTransferInfo transfer;
  const std::string body = http_request(
      ServerListUrl(core.state()),
      {.timeout_seconds = kServerListTimeoutSeconds, .max_body_bytes = kHttpBodyCapLargeList},
      &status, &transfer);
  std::vector<ListRow> cells;
  {
    const JsonStopScope stop(core.workers().stop_flag());
    std::vector<ServerRow> rows;
    // An error page or a cut body can still parse (a cached list behind a 500, a cut that ends
    // after a whole value): only a complete success answer is the list.
    if (!IsWholeServerListAnswer(status, transfer) ||
        !BuildServerRowsFromAnswer(body, category, ServerRowOptionsFor(core.state()), rows)) {
      if (reason != nullptr) *reason = ServiceFailureText(status, transfer);
      return IsCurrent(generation) ? Fetch::kUnreadable : Fetch::kSuperseded;
    }
    cells.reserve(rows.size());
    for (ServerRow& row : rows) cells.push_back(std::move(row).Cells());
  }
  const bool empty = cells.empty();
  const bool written = WriteIfCurrent(generation, [&] {
    window.server_list().Replace(std::move(cells));
    SetCategoryButtonsEnabled(window.controls(), true);
    window.controls().SetCaption(names::kServerListEmpty, empty ? NoServersText() : "");
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

ListRow ServerRow::Cells() const& { return {name, map, players, address, description}; }

ListRow ServerRow::Cells() && {
  ListRow cells;
  cells.reserve(cols::kServerColumns);  // the list's width: filled out without moving again
  cells.push_back(std::move(name));
  cells.push_back(std::move(map));
  cells.push_back(std::move(players));
  cells.push_back(std::move(address));
  cells.push_back(std::move(description));
  return cells;
}

bool IsWholeServerListAnswer(int status, const HttpTransferInfo& transfer) {
  return status >= 200 && status <= 299 && transfer.complete();
}

ServerRowOptions ServerRowOptionsFor(AppState& state) {
  ServerRowOptions options;
  {
    std::lock_guard lock(state.mutex);
    options.operator_view = !state.login.uid.empty() && state.login.uid == state.operator_uid;
  }
  options.dictionary = &MapNameDictionaryMap();
  return options;
}

namespace {

// Which keyword of a category lists a record: the name loses its question marks (as the row shows
// it) and is tested against the keywords in list order.
class KeywordFilter {
 public:
  explicit KeywordFilter(std::string_view category) : keywords_(SplitCategoryKeywords(category)) {}
  std::size_t size() const { return keywords_.size(); }
  // The first keyword the record's name matches; -1 when none.
  int Match(ServerRecord& record) {
    RemoveQuestionMarks(record.name);
    name_.Assign(record.name);
    return keywords_.FirstMatch(name_);
  }

 private:
  CategoryKeywords keywords_;
  PreparedName name_;  // its buffers kept from record to record
};

// A record a keyword lists, by the first keyword its name matches.
struct Offer {
  int keyword;
  ServerRecord record;
};

// Rows keyword by keyword, each keyword's servers in answer order: the order of testing every
// name against the first keyword, then those left against the second, and so on. A record is
// offered once, by its first keyword; a later one with an address already listed is left out.
void RowsOfOffers(std::vector<Offer>& offers, std::size_t keywords, const ServerRowOptions& options,
                  std::vector<ServerRow>& out) {
  std::vector<std::uint32_t> start(keywords + 1, 0);
  for (const Offer& offer : offers) ++start[static_cast<std::size_t>(offer.keyword) + 1];
  for (std::size_t k = 1; k <= keywords; ++k) start[k] += start[k - 1];
  std::vector<std::uint32_t> order(offers.size());
  for (std::uint32_t i = 0; i < offers.size(); ++i) {
    order[start[static_cast<std::size_t>(offers[i].keyword)]++] = i;
  }
  std::vector<ServerRow> rows;
  RowCollector collector(options, rows, offers.size());
  for (const std::uint32_t i : order) {
    ServerRecord& record = offers[i].record;
    collector.Add(record, std::move(record.name));
  }
  out = std::move(rows);
}

void RowsOf(std::vector<ServerRecord>& records, std::string_view category,
            const ServerRowOptions& options, std::vector<ServerRow>& out) {
  if (IsAllServersCategory(category)) {
    std::vector<ServerRow> rows;
    RowCollector collector(options, rows, records.size());
    for (ServerRecord& record : records) collector.Add(record, std::move(record.name));
    out = std::move(rows);
    return;
  }
  KeywordFilter filter(category);
  std::vector<Offer> offers;
  for (ServerRecord& record : records) {
    const int keyword = filter.Match(record);
    if (keyword >= 0) offers.push_back({keyword, std::move(record)});
  }
  RowsOfOffers(offers, filter.size(), options, out);
}

}  // namespace

bool BuildServerRows(std::string_view body_gbk, std::string_view category,
                     const ServerRowOptions& options, std::vector<ServerRow>& out) {
  JsonDocument doc;
  if (!doc.parse(body_gbk)) return false;
  const int count = doc.count("");
  std::vector<ServerRecord> records;
  records.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    if (auto record = ReadRecord(doc, i)) records.push_back(std::move(*record));
  }
  RowsOf(records, category, options, out);
  return true;
}

bool BuildServerRowsFromAnswer(std::string_view body_utf8, std::string_view category,
                               const ServerRowOptions& options, std::vector<ServerRow>& out) {
  std::vector<ServerRow> rows;
  const bool read = [&] {
    if (IsAllServersCategory(category)) {
      // Every server in answer order: each record goes to its row as it is read.
      std::optional<RowCollector> collector;
      return ReadRecordsFast(
          body_utf8, [](const ServerRecord&) { return true; },
          [&](ServerRecord& record, std::size_t count) {
            if (!collector) collector.emplace(options, rows, count);
            collector->Add(record, std::move(record.name));
          });
    }
    // Only the servers a keyword lists are kept, and only theirs have every text converted.
    KeywordFilter filter(category);
    std::vector<Offer> offers;
    int keyword = -1;
    const bool whole = ReadRecordsFast(
        body_utf8,
        [&](ServerRecord& record) {
          keyword = filter.Match(record);
          return keyword >= 0;
        },
        [&](ServerRecord& record, std::size_t count) {
          if (offers.empty()) offers.reserve(std::min(count, kRowsReservedAtMost));
          offers.push_back({keyword, std::move(record)});
        });
    if (whole) RowsOfOffers(offers, filter.size(), options, rows);
    return whole;
  }();
  if (!read) return BuildServerRows(utf8_to_gbk_keeping_all(body_utf8), category, options, out);
  out = std::move(rows);
  return true;
}

bool FillServerList(ListModel& list, std::string_view body_utf8, std::string_view category,
                    const ServerRowOptions& options) {
  std::vector<ServerRow> rows;
  if (!BuildServerRowsFromAnswer(body_utf8, category, options, rows)) return false;
  std::vector<ListRow> cells;
  cells.reserve(rows.size());
  for (ServerRow& row : rows) cells.push_back(std::move(row).Cells());
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

void SelectCategoryButton(Controls& controls, const std::string& button) {
  for (const ServerCategory& category : ServerCategories()) {
    controls.SetChecked(category.button, button == category.button);
  }
}

std::string ServerListRetryText(const std::string& reason, int attempt) {
  return gbk("无法获取服务器列表(") + reason + gbk("),") +
         std::to_string(kServerListRetryDelayMs / 1000) + gbk("秒后自动重试(第") +
         std::to_string(attempt) + gbk("次)");
}

std::string ServerListLoadingText() { return gbk("正在获取服务器列表..."); }
std::string NoServersText() { return gbk("此分类暂无服务器"); }

std::uint64_t BeginServerListLoad() {
  LoadGate& gate = Gate();
  std::lock_guard lock(gate.mutex);
  return ++gate.latest;
}

bool FetchServerListOnce(Core& core, const std::string& category, std::string* reason) {
  return FetchAndFill(core, category, kAnyServerListLoad, reason) == Fetch::kFilled;
}

ServerListRun RunServerListLoad(Core& core, const std::string& category, std::uint64_t generation) {
  if (core.workers().Stopping()) return ServerListRun::kStopped;
  std::string reason;
  switch (FetchAndFill(core, category, generation, &reason)) {
    case Fetch::kFilled: {
      // The live query measures each server's round trip and learns the map it runs now.
      Window& window = core.window();
      std::vector<std::string> addresses;
      for (const ListRow& row : window.server_list().Rows()) {
        addresses.push_back(row[cols::kServerAddress]);
      }
      QueryServerInfos(window, addresses);
      return ServerListRun::kFilled;
    }
    case Fetch::kSuperseded:
      return ServerListRun::kSuperseded;
    case Fetch::kUnreadable:
      break;
  }

  std::atomic<int>& counter = ServerListRetryCounter();
  int seen = counter.load();
  while (seen <= kServerListRetryLimit) {
    if (!counter.compare_exchange_weak(seen, seen + 1)) continue;
    // Said where the person looks, and the buttons stay usable: another category may be chosen
    // meanwhile (it supersedes this load).
    const std::string text = ServerListRetryText(reason, seen + 1);
    const bool current = WriteIfCurrent(generation, [&] {
      Window& window = core.window();
      SetCategoryButtonsEnabled(window.controls(), true);
      window.controls().SetCaption(names::kServerListEmpty, text);
      window.ShowStatus(text, static_cast<int>(kServerListRetryDelayMs / 1000) + 1);
    });
    if (!current) return ServerListRun::kSuperseded;
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
  if (!WriteIfCurrent(generation, [&] {
        core.window().controls().SetCaption(
            names::kServerListEmpty,
            gbk("无法获取服务器列表(") + reason + gbk("),已停止重试,请稍后点击分类按钮再试"));
        SetCategoryButtonsEnabled(core.window().controls(), true);
      })) {
    return ServerListRun::kSuperseded;
  }
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
