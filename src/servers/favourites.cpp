#include "servers/favourites.h"

#include <atomic>
#include <map>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/json_document.h"
#include "platform/platform.h"
#include "servers/favourites_cloud.h"
#include "servers/query_engine.h"
#include "servers/server_address.h"
#include "view/list_model.h"
#include "view/window.h"

namespace brindle {

namespace {

// How many ".bad" copies of unreadable files may pile up before rewrites are refused.
constexpr int kMaxUnreadableCopies = 100;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, start)) {
    out.append(text, start, at - start);
    out += to;
    start = at + from.size();
  }
  out.append(text, start, std::string::npos);
  return out;
}

bool ValidPort(std::string_view port) {
  if (port.empty() || port.size() > 5) return false;
  int value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= 65535;
}

ListRow FavouriteRowCells(const FavouriteEntry& entry) {
  ListRow row(10);
  row[cols::kFavName] = entry.ip;
  row[cols::kFavAddress] = entry.ip;
  row[cols::kFavTypeStr] = entry.type_id;
  return row;
}

std::vector<std::string> ListedAddresses(ListModel& list) {
  std::vector<std::string> addresses;
  for (const ListRow& row : list.Rows()) addresses.push_back(row[cols::kFavAddress]);
  return addresses;
}

}  // namespace

std::string FavouritesPath(const AppState& state) {
  // Before the folders are known there is no file: never fall back to the file system's root.
  if (state.data_dir.empty()) return {};
  return state.data_dir + std::string(1, platform::path_separator()) +
         std::string(kFavouritesFileName);
}

std::string CleanFavouriteValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c != '"') out.push_back(c);
  }
  return Trim(out);
}

bool ReadFavouriteEntries(std::string_view text, std::vector<FavouriteEntry>& out) {
  JsonDocument document;
  if (!document.parse(text)) return false;
  std::vector<FavouriteEntry> entries;
  const int count = document.count("");
  for (int i = 0; i < count; ++i) {
    const std::string item = "[" + std::to_string(i) + "]";
    FavouriteEntry entry;
    entry.ip = CleanFavouriteValue(document.get_value(item + ".ip"));
    entry.type_id = CleanFavouriteValue(document.get_value(item + ".typeid"));
    if (entry.ip.find(':') == std::string::npos) continue;
    entries.push_back(std::move(entry));
  }
  out = std::move(entries);
  return true;
}

bool IsFavouritesText(std::string_view text) {
  JsonDocument document;
  return document.parse(text) && document.value_type("") == kJsonArray;
}

std::string FavouritesText(const std::vector<std::string>& addresses) {
  JsonDocument document;
  document.set_by_expression("", "[]");
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    document.add_array_item("{}", "", true);
    document.set_value("[" + std::to_string(i) + "].ip", addresses[i]);
  }
  return document.serialise();
}

std::string NormaliseTypedAddress(std::string_view typed) {
  std::string text = ReplaceAll(std::string(typed), gbk("："), ":");
  text = ReplaceAll(std::move(text), "::", ":");
  text = Trim(text);
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return {};
  const std::string host = text.substr(0, colon);
  std::string port = text.substr(colon + 1);
  port = port.substr(0, port.find(':'));  // the first two pieces only
  if (host.empty() || !ValidPort(port)) return {};
  std::string address = host + ":" + port;
  if (!IsValidServerAddress(address)) return {};
  return address;
}

// ---- FavouritesFile -----------------------------------------------------------------------------

FavouritesFile::FavouritesFile(std::string path) : path_(std::move(path)) {}

bool FavouritesFile::Exists() const { return !path_.empty() && platform::file_exists(path_); }

std::string FavouritesFile::Text() {
  std::lock_guard lock(mutex_);
  if (copy_.empty()) ReloadLocked();
  return copy_;
}

void FavouritesFile::Reload() {
  std::lock_guard lock(mutex_);
  ReloadLocked();
}

void FavouritesFile::ReloadLocked() {
  std::string text;
  copy_ = platform::read_file(path_, text) ? std::move(text) : std::string();
}

bool FavouritesFile::KeepAsideLocked() {
  std::string current;
  if (!platform::read_file(path_, current) || current.empty()) return true;  // nothing to keep
  if (IsFavouritesText(current)) {
    return platform::write_file_atomic(path_ + std::string(kFavouritesBackupSuffix), current);
  }
  // Not a favourites list: the user may want it back, and a later rewrite must not replace it.
  for (int n = 0; n < kMaxUnreadableCopies; ++n) {
    std::string aside = path_ + std::string(kFavouritesUnreadableSuffix);
    if (n > 0) aside += std::to_string(n);
    std::string existing;
    if (!platform::file_exists(aside)) return platform::write_file_atomic(aside, current);
    if (platform::read_file(aside, existing) && existing == current) return true;
  }
  return false;
}

bool FavouritesFile::Write(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (path_.empty()) return false;
  if (!KeepAsideLocked()) return false;
  const bool written = platform::write_file_atomic(path_, text);
  ReloadLocked();
  return written;
}

bool FavouritesFile::RemoveEntry(const std::string& address) {
  std::lock_guard lock(mutex_);
  if (copy_.empty()) ReloadLocked();
  JsonDocument document;
  if (!document.parse(copy_) || document.value_type("") != kJsonArray) return false;
  const int count = document.count("");
  for (int i = 0; i < count; ++i) {
    if (CleanFavouriteValue(document.get_value("[" + std::to_string(i) + "].ip")) != address) {
      continue;
    }
    document.remove_item(i, "");
    if (!KeepAsideLocked()) return false;
    const bool written = platform::write_file_atomic(path_, document.serialise());
    ReloadLocked();
    return written;
  }
  return true;
}

std::shared_ptr<FavouritesFile> FavouritesFileAt(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<FavouritesFile>> files;
  std::lock_guard lock(mutex);
  auto& file = files[path];
  if (!file) file = std::make_shared<FavouritesFile>(path);
  return file;
}

std::shared_ptr<FavouritesFile> FavouritesFileOf(Core& core) {
  std::string path;
  {
    std::lock_guard lock(core.state().mutex);
    path = FavouritesPath(core.state());
  }
  return FavouritesFileAt(path);
}

// ---- List operations ----------------------------------------------------------------------------

LoadResult LoadFavourites(Core& core) {
  auto file = FavouritesFileOf(core);
  if (!file->Exists()) return LoadResult::kNoFile;
  std::vector<FavouriteEntry> entries;
  if (!ReadFavouriteEntries(file->Text(), entries)) {
    core.window().ShowNotice(gbk("无法解析收藏夹文件"));
    return LoadResult::kUnreadable;
  }
  Window& window = core.window();
  ListModel& list = window.favourites();
  list.Clear();
  for (const FavouriteEntry& entry : entries) {
    list.Append(FavouriteRowCells(entry));
    QueryServerInfo(window, entry.ip);
  }
  return LoadResult::kLoaded;
}

bool SaveFavourites(Core& core) {
  return FavouritesFileOf(core)->Write(FavouritesText(ListedAddresses(core.window().favourites())));
}

AddResult AddFavourite(Core& core, const std::string& address) {
  if (address.empty()) return AddResult::kEmpty;
  if (!IsValidServerAddress(address)) {
    // A server list entry can carry anything in its port; it must not reach the file or a join.
    core.window().ShowNotice(gbk(kInvalidServerAddressMessage));
    return AddResult::kInvalid;
  }
  ListModel& list = core.window().favourites();
  if (list.RowCount() == 0) {
    // Added from the server list before the favourites page was ever shown: the save writes the
    // list, so it must hold the file's favourites first or they would be dropped.
    auto file = FavouritesFileOf(core);
    std::vector<FavouriteEntry> entries;
    if (file->Exists() && ReadFavouriteEntries(file->Text(), entries) && !entries.empty()) {
      LoadFavourites(core);
    }
  }
  if (list.FindRow(cols::kFavAddress, address) >= 0) {
    core.window().ShowNotice(gbk("服务器已存在!"));
    return AddResult::kExists;
  }
  list.Append(FavouriteRowCells({address, {}}));
  // Write reloads the in-memory copy from the file it has just written.
  if (!SaveFavourites(core)) return AddResult::kWriteFailed;
  LoadFavourites(core);
  return AddResult::kAdded;
}

bool AddTypedFavourite(Core& core, const std::string& typed) {
  const std::string address = NormaliseTypedAddress(typed);
  if (address.empty()) {
    core.window().ShowNotice(gbk("IP格式不合法!请检查!"));
    return false;
  }
  AddFavourite(core, address);
  core.window().controls().SetVisible(names::kAddServerWindow, false);
  return true;
}

bool DeleteFavourite(Core& core, const std::string& address, bool also_in_cloud) {
  const bool removed = FavouritesFileOf(core)->RemoveEntry(address);
  if (also_in_cloud) CloudFavourites(core, address, 0, "Delete");  // the answer is not looked at
  return removed;
}

}  // namespace brindle
