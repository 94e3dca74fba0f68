#include "servers/favourites.h"

#include <atomic>
#include <map>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/file_update_lock.h"
#include "foundation/json_document.h"
#include "platform/gbk_text.h"
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

bool IsJsonBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsBlankText(std::string_view text) {
  for (char c : text) {
    if (!IsJsonBlank(c)) return false;
  }
  return true;
}

// The showable entry at element `index` of a parsed favourites list, if it is one.
bool ReadEntry(const JsonDocument& document, int index, FavouriteEntry& out) {
  const std::string item = "[" + std::to_string(index) + "]";
  // A number or an object where a text belongs would show as "3.5e+300" or "[object Object]".
  if (document.value_type(item + ".ip") != kJsonString) return false;
  const int type_id = document.value_type(item + ".typeid");
  if (type_id != kJsonString && type_id != kJsonNull) return false;
  FavouriteEntry entry;
  entry.ip = CleanFavouriteValue(document.get_value(item + ".ip"));
  entry.type_id = CleanFavouriteValue(document.get_value(item + ".typeid"));
  if (entry.ip.find(':') == std::string::npos) return false;
  out = std::move(entry);
  return true;
}

// A favourites text parsed; blank text is the empty list. False when it is no list.
bool ParseList(std::string_view text, JsonDocument& document) {
  if (IsBlankText(text)) return document.set_by_expression("", "[]");
  return document.parse(text) && document.value_type("") == kJsonArray;
}

// Where the elements of a JSON array text lie, so one can be cut out or added without touching
// the bytes of the others. The text is GBK: inside strings a double-byte character is stepped
// over whole, since its trail byte may be "\" or "]".
struct ArrayLayout {
  std::vector<std::pair<std::size_t, std::size_t>> items;  // [begin, end) of each element
  std::size_t close = 0;                                   // the final "]"
};

class LayoutScanner {
 public:
  explicit LayoutScanner(std::string_view text) : text_(text) {}

  bool Scan(ArrayLayout& out) {
    std::size_t pos = SkipBlanks(0);
    if (pos >= text_.size() || text_[pos] != '[') return false;
    pos = SkipBlanks(pos + 1);
    if (pos < text_.size() && text_[pos] == ']') {
      out.close = pos;
      return true;
    }
    for (;;) {
      const std::size_t end = Value(pos);
      if (end == kFailed) return false;
      out.items.emplace_back(pos, end);
      pos = SkipBlanks(end);
      if (pos >= text_.size()) return false;
      if (text_[pos] == ']') {
        out.close = pos;
        return true;
      }
      if (text_[pos] != ',') return false;
      pos = SkipBlanks(pos + 1);
    }
  }

 private:
  static constexpr std::size_t kFailed = std::string_view::npos;

  std::size_t SkipBlanks(std::size_t pos) const {
    while (pos < text_.size() && IsJsonBlank(text_[pos])) ++pos;
    return pos;
  }

  // The end of the string starting at pos (its opening quote).
  std::size_t String(std::size_t pos) const {
    for (++pos; pos < text_.size();) {
      const char c = text_[pos];
      if (c == '"') return pos + 1;
      pos += c == '\\' ? 2 : GbkCharLength(text_, pos);
    }
    return kFailed;
  }

  std::size_t Value(std::size_t pos) const {
    if (pos >= text_.size()) return kFailed;
    if (text_[pos] == '"') return String(pos);
    if (text_[pos] == '{' || text_[pos] == '[') {
      int depth = 0;
      while (pos < text_.size()) {
        const char c = text_[pos];
        if (c == '"') {
          pos = String(pos);
          if (pos == kFailed) return kFailed;
          continue;
        }
        ++pos;
        if (c == '{' || c == '[') ++depth;
        if ((c == '}' || c == ']') && --depth == 0) return pos;
      }
      return kFailed;
    }
    const std::size_t begin = pos;
    while (pos < text_.size() && !IsJsonBlank(text_[pos]) && text_[pos] != ',' &&
           text_[pos] != ']' && text_[pos] != '}') {
      ++pos;
    }
    return pos == begin ? kFailed : pos;
  }

  std::string_view text_;
};

// The edited text when it reads as `expected` does, else `expected` written out again: a layout
// the scanner misread must not cost an entry.
std::string Checked(std::string edited, const JsonDocument& expected) {
  JsonDocument check;
  if (check.parse(edited) && check.serialise() == expected.serialise()) return edited;
  return expected.serialise();
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

std::string FavouritesBackupPath(const std::string& path, int generation) {
  std::string backup = path + std::string(kFavouritesBackupSuffix);
  if (generation > 0) backup += "." + std::to_string(generation);
  return backup;
}

bool ReadFavouriteEntries(std::string_view text, std::vector<FavouriteEntry>& out) {
  JsonDocument document;
  if (!ParseList(text, document)) return false;
  std::vector<FavouriteEntry> entries;
  const int count = document.count("");
  for (int i = 0; i < count; ++i) {
    FavouriteEntry entry;
    if (ReadEntry(document, i, entry)) entries.push_back(std::move(entry));
  }
  out = std::move(entries);
  return true;
}

bool IsFavouritesText(std::string_view text) {
  JsonDocument document;
  return document.parse(text) && document.value_type("") == kJsonArray;
}

std::optional<std::string> AppendFavouriteText(std::string_view text, const std::string& address) {
  JsonDocument document;
  if (!ParseList(text, document)) return std::nullopt;
  JsonDocument item;
  item.set_value("ip", address);
  const std::string item_text = item.serialise();
  (void)document.add_array_item(item_text, "", true);  // the root is an array: cannot fail
  ArrayLayout layout;
  if (IsBlankText(text) || !LayoutScanner(text).Scan(layout)) return document.serialise();
  std::string edited(text);
  if (layout.items.empty()) {
    edited.insert(layout.close, item_text);
  } else {
    edited.insert(layout.items.back().second, "," + item_text);
  }
  return Checked(std::move(edited), document);
}

std::optional<std::string> RemoveFavouriteText(std::string_view text, const std::string& address,
                                               bool& found) {
  found = false;
  JsonDocument document;
  if (!ParseList(text, document)) return std::nullopt;
  const int count = document.count("");
  int index = 0;
  for (FavouriteEntry entry; index < count; ++index) {
    if (ReadEntry(document, index, entry) && entry.ip == address) break;
  }
  if (index == count) return std::string(text);
  found = true;
  (void)document.remove_item(index, "");  // an element that is there: cannot fail
  ArrayLayout layout;
  if (!LayoutScanner(text).Scan(layout) || static_cast<int>(layout.items.size()) != count) {
    return document.serialise();
  }
  // The element goes with the separator after it, or before it when it is the last one.
  const std::size_t i = static_cast<std::size_t>(index);
  std::size_t begin = layout.items[i].first;
  std::size_t end = layout.items[i].second;
  if (i + 1 < layout.items.size()) {
    end = layout.items[i + 1].first;
  } else if (i > 0) {
    begin = layout.items[i - 1].second;
  }
  std::string edited(text);
  edited.erase(begin, end - begin);
  return Checked(std::move(edited), document);
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
  if (!platform::read_file(path_, current) || IsBlankText(current)) return true;  // nothing
  JsonDocument document;
  if (document.parse(current) && document.value_type("") == kJsonArray) {
    // An empty list is not worth a generation, nor a copy of the newest backup.
    std::string newest;
    if (document.count("") == 0) return true;
    if (platform::read_file(FavouritesBackupPath(path_, 0), newest) && newest == current) {
      return true;
    }
    for (int n = kFavouritesBackupGenerations - 1; n > 0; --n) {
      const std::string older = FavouritesBackupPath(path_, n - 1);
      if (!platform::file_exists(older)) continue;
      if (!platform::replace_file(older, FavouritesBackupPath(path_, n))) return false;
    }
    return platform::write_file_atomic(FavouritesBackupPath(path_, 0), current);
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
  const FileUpdateLock file_lock(path_);
  if (!file_lock.ok()) return false;
  if (!KeepAsideLocked()) return false;
  const bool written = platform::write_file_atomic(path_, text);
  ReloadLocked();
  return written;
}

FileEdit FavouritesFile::Add(const std::string& address) { return Edit(address, true); }

FileEdit FavouritesFile::Remove(const std::string& address) { return Edit(address, false); }

FileEdit FavouritesFile::Edit(const std::string& address, bool add) {
  std::lock_guard lock(mutex_);
  if (path_.empty()) return FileEdit::kFailed;
  const FileUpdateLock file_lock(path_);
  if (!file_lock.ok()) return FileEdit::kBusy;
  // Read again under the lock: another program may have changed the file since the copy was made.
  ReloadLocked();
  if (copy_.empty() && platform::file_exists(path_) && platform::file_size(path_) != 0) {
    return FileEdit::kFailed;  // there, but not readable: nothing is known about it
  }
  std::optional<std::string> edited;
  if (add) {
    std::vector<FavouriteEntry> entries;
    if (!ReadFavouriteEntries(copy_, entries)) return FileEdit::kUnreadable;
    for (const FavouriteEntry& entry : entries) {
      if (entry.ip == address) return FileEdit::kUnchanged;
    }
    edited = AppendFavouriteText(copy_, address);
  } else {
    bool found = false;
    edited = RemoveFavouriteText(copy_, address, found);
    if (edited && !found) return FileEdit::kUnchanged;
  }
  if (!edited) return FileEdit::kUnreadable;
  if (!KeepAsideLocked()) return FileEdit::kFailed;
  const bool written = platform::write_file_atomic(path_, *edited);
  ReloadLocked();
  return written ? FileEdit::kChanged : FileEdit::kFailed;
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
  file->Reload();
  std::vector<FavouriteEntry> entries;
  if (!ReadFavouriteEntries(file->Text(), entries)) {
    core.window().ShowNotice(gbk("无法解析收藏夹文件"));
    return LoadResult::kUnreadable;
  }
  Window& window = core.window();
  ListModel& list = window.favourites();
  list.Clear();
  std::vector<std::string> addresses;
  addresses.reserve(entries.size());
  for (const FavouriteEntry& entry : entries) {
    list.Append(FavouriteRowCells(entry));
    addresses.push_back(entry.ip);
  }
  QueryServerInfos(window, addresses);
  return LoadResult::kLoaded;
}

AddResult AddFavourite(Core& core, const std::string& address) {
  if (address.empty()) return AddResult::kEmpty;
  Window& window = core.window();
  if (!IsValidServerAddress(address)) {
    // A server list entry can carry anything in its port; it must not reach the file or a join.
    window.ShowNotice(gbk(kInvalidServerAddressMessage));
    return AddResult::kInvalid;
  }
  // The file decides, not the list: another program may have changed it since the list was built.
  const FileEdit edit = FavouritesFileOf(core)->Add(address);
  switch (edit) {
    case FileEdit::kChanged:
      LoadFavourites(core);
      return AddResult::kAdded;
    case FileEdit::kUnchanged:
      window.ShowNotice(gbk("服务器已存在!"));
      LoadFavourites(core);
      return AddResult::kExists;
    case FileEdit::kUnreadable:
      window.ShowNotice(gbk("无法解析收藏夹文件"));
      return AddResult::kUnreadable;
    case FileEdit::kBusy:
    case FileEdit::kFailed:
      break;
  }
  window.ShowNotice(gbk("无法保存收藏夹文件"));
  return edit == FileEdit::kBusy ? AddResult::kBusy : AddResult::kWriteFailed;
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

FileEdit DeleteFavourite(Core& core, const std::string& address, bool also_in_cloud) {
  const FileEdit removed = FavouritesFileOf(core)->Remove(address);
  if (also_in_cloud) CloudFavourites(core, address, 0, "Delete");  // the answer is not looked at
  return removed;
}

}  // namespace brindle
