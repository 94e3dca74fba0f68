// brindle-cli favourites list|add ADDRESS|remove ADDRESS|refresh [--wait-ms N]: the favourites
// file of the program folder, read and changed as the favourites page does it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "app/core.h"
#include "cli/command.h"
#include "foundation/encoding.h"
#include "foundation/file_update_lock.h"
#include "servers/favourites.h"
#include "servers/query_engine.h"
#include "servers/server_address.h"
#include "view/list_model.h"
#include "view/window.h"

namespace brindle {
namespace {

constexpr int kDefaultWaitMs = 3000;

int Usage() {
  std::fputs(
      "usage: brindle-cli favourites list | add ADDRESS | remove ADDRESS | refresh [--wait-ms N]\n",
      stderr);
  return 2;
}

std::string U(const std::string& gbk_text) { return gbk_to_utf8(gbk_text); }

// Prints the outcome of a change that was made (a line, or an object) and returns 0.
int Done(CliContext& ctx, const char* result, const std::string& address) {
  if (ctx.json) {
    nlohmann::ordered_json j;
    j["result"] = result;
    j["address"] = U(address);
    PrintJson(ctx, j);
  } else {
    std::fprintf(ctx.out, "%s %s\n", result, U(address).c_str());
  }
  return 0;
}

// A change that was not made: what and why on standard error, exit code 1.
int Failed(const char* result, const std::string& address, const std::string& message_gbk) {
  std::fprintf(stderr, "brindle-cli favourites: %s %s", result, U(address).c_str());
  if (!message_gbk.empty()) std::fprintf(stderr, " %s", U(message_gbk).c_str());
  std::fputc('\n', stderr);
  return 1;
}

// The list as the page shows it, after a load, with every column the rows hold.
void PrintRows(CliContext& ctx, const std::vector<ListRow>& rows) {
  if (ctx.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ListRow& r : rows) {
      nlohmann::ordered_json j;
      j["address"] = U(r[cols::kFavAddress]);
      j["name"] = U(r[cols::kFavName]);
      j["map"] = U(r[cols::kFavMap]);
      j["players"] = U(r[cols::kFavPlayers]);
      j["game"] = U(r[cols::kFavGame]);
      j["version"] = U(r[cols::kFavVersion]);
      j["typeid"] = U(r[cols::kFavTypeStr]);
      j["ipv4"] = U(r[cols::kFavIpv4]);
      list.push_back(std::move(j));
    }
    PrintJson(ctx, list);
    return;
  }
  for (const ListRow& r : rows) {
    std::fprintf(ctx.out, "%-24s %-40s %-24s %-7s %s\n", U(r[cols::kFavAddress]).c_str(),
                 U(r[cols::kFavName]).c_str(), U(r[cols::kFavMap]).c_str(),
                 U(r[cols::kFavPlayers]).c_str(), U(r[cols::kFavGame]).c_str());
  }
}

int Unreadable(const std::string& path) {
  std::fprintf(stderr, "brindle-cli favourites: %s: %s (the file is left as it is)\n",
               U(path).c_str(), U(gbk("无法解析收藏夹文件")).c_str());
  return 1;
}

// A change that was not made because the file could not be changed.
int NotChanged(FileEdit edit, const char* result, const std::string& address,
               const std::string& path) {
  if (edit == FileEdit::kUnreadable) return Unreadable(path);
  if (edit == FileEdit::kBusy) return Failed(result, address, FileBusyMessage(path));
  return Failed(result, address, path + " could not be written");
}

int List(CliContext& ctx) {
  auto file = FavouritesFileOf(ctx.core);
  file->Reload();
  std::vector<FavouriteEntry> entries;
  if (file->Exists() && !ReadFavouriteEntries(file->Text(), entries)) {
    return Unreadable(file->path());
  }
  if (ctx.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const FavouriteEntry& e : entries) {
      list.push_back({{"address", U(e.ip)}, {"typeid", U(e.type_id)}});
    }
    PrintJson(ctx, list);
  } else {
    for (const FavouriteEntry& e : entries) {
      std::fprintf(ctx.out, "%s%s%s\n", U(e.ip).c_str(), e.type_id.empty() ? "" : " ",
                   U(e.type_id).c_str());
    }
  }
  return 0;
}

int Add(CliContext& ctx, const std::string& typed) {
  const std::string address = NormaliseTypedAddress(typed);
  if (address.empty()) return Failed("invalid", typed, gbk("IP格式不合法!请检查!"));
  AddResult result = AddResult::kEmpty;
  ctx.window.RunOnUi([&] { result = AddFavourite(ctx.core, address); });
  const std::string path = FavouritesFileOf(ctx.core)->path();
  switch (result) {
    case AddResult::kAdded:
      return Done(ctx, "added", address);
    case AddResult::kExists:
      return Failed("exists", address, gbk("服务器已存在!"));
    case AddResult::kInvalid:
      return Failed("invalid", address, gbk(kInvalidServerAddressMessage));
    case AddResult::kUnreadable:
      return Unreadable(path);
    case AddResult::kBusy:
      return NotChanged(FileEdit::kBusy, "failed", address, path);
    default:
      return NotChanged(FileEdit::kFailed, "failed", address, path);
  }
}

int Remove(CliContext& ctx, const std::string& typed) {
  const std::string address = utf8_to_gbk(typed);
  FileEdit edit = FileEdit::kFailed;
  ctx.window.RunOnUi([&] { edit = DeleteFavourite(ctx.core, address, false); });
  switch (edit) {
    case FileEdit::kChanged:
      return Done(ctx, "removed", address);
    case FileEdit::kUnchanged:
      return Failed("not-found", address, {});
    default:
      return NotChanged(edit, "failed", address, FavouritesFileOf(ctx.core)->path());
  }
}

int Refresh(CliContext& ctx, int wait_ms) {
  LoadResult loaded = LoadResult::kNoFile;
  ctx.window.RunOnUi([&] {
    StartQueryEngine(ctx.core);
    loaded = LoadFavourites(ctx.core);
  });
  if (loaded == LoadResult::kUnreadable) return Unreadable(FavouritesFileOf(ctx.core)->path());
  if (!QueryEngineStarted()) {
    std::fputs("brindle-cli favourites: the query socket could not be opened\n", stderr);
    return 1;
  }
  // Servers answer within a moment or not at all; stop waiting once every row has answered.
  ListModel& list = ctx.window.favourites();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    bool all = true;
    for (const ListRow& r : list.Rows()) all = all && !r[cols::kFavGame].empty();
    if (all) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const std::vector<ListRow> rows = list.Rows();
  PrintRows(ctx, rows);
  // Every server that kept silent is a failure of the refresh, named on standard error.
  int silent = 0;
  for (const ListRow& r : rows) {
    if (!r[cols::kFavGame].empty()) continue;
    std::fprintf(stderr, "no answer from %s\n", U(r[cols::kFavAddress]).c_str());
    ++silent;
  }
  return silent == 0 ? 0 : 1;
}

int RunFavourites(CliContext& ctx) {
  const std::vector<std::string>& a = ctx.args;
  if (a.empty()) return Usage();
  if (a[0] == "list" && a.size() == 1) return List(ctx);
  if (a[0] == "add" && a.size() == 2) return Add(ctx, utf8_to_gbk(a[1]));
  if (a[0] == "remove" && a.size() == 2) return Remove(ctx, a[1]);
  if (a[0] == "refresh") {
    int wait_ms = kDefaultWaitMs;
    if (a.size() == 3 && a[1] == "--wait-ms") {
      char* end = nullptr;
      const long value = std::strtol(a[2].c_str(), &end, 10);
      if (*end != '\0' || value < 0 || value > 600000) return Usage();
      wait_ms = static_cast<int>(value);
    } else if (a.size() != 1) {
      return Usage();
    }
    return Refresh(ctx, wait_ms);
  }
  return Usage();
}

}  // namespace

BRINDLE_CLI_COMMAND("favourites",
                    "list | add ADDRESS | remove ADDRESS | refresh [--wait-ms N]: the favourites",
                    RunFavourites);

}  // namespace brindle
