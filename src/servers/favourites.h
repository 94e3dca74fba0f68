// The favourites: the user's own list of servers, kept in my_favorite.json in the data folder (a
// JSON array of {"ip": "host:port", "typeid": "..."}, GBK), shown in 服务器收藏列表_EX1 and filled
// with live data by the server query.
//
// The file may hold more than the list shows: entries without ":", members other than `ip` and
// `typeid`, entries of other shapes. An add or a delete changes only the bytes of the one entry
// it adds or removes, so everything else stays exactly as it was; a file that is not a JSON array
// is never changed by them ("无法解析收藏夹文件"). Each change re-reads the file under the lock
// "my_favorite.json.lock" (FileUpdateLock), so the window and brindle-cli never lose each
// other's changes, and replaces the file atomically.
//
// Before every rewrite the previous list goes to "my_favorite.json.bak", the older ones moving to
// ".bak.1" … ".bak.3" (kFavouritesBackupGenerations in all, newest first). Only a list with
// entries is kept so, and only when it differs from the newest backup: an empty or broken file
// never pushes good backups out. A cloud restore that replaces a file which is not a favourites
// list first copies it to a name no later rewrite uses ("my_favorite.json.bad", ".bad1", …).
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class Core;
struct AppState;

inline constexpr std::string_view kFavouritesFileName = "my_favorite.json";
inline constexpr std::string_view kFavouritesBackupSuffix = ".bak";
inline constexpr int kFavouritesBackupGenerations = 4;  // .bak, .bak.1, .bak.2, .bak.3
inline constexpr std::string_view kFavouritesUnreadableSuffix = ".bad";

// data_dir + "/my_favorite.json"; empty while data_dir is not known (every file operation on the
// empty path then fails).
std::string FavouritesPath(const AppState& state);

// The backup of the given generation: 0 is path + ".bak", n > 0 is path + ".bak." + n.
std::string FavouritesBackupPath(const std::string& path, int generation);

// One entry of the file, cleaned.
struct FavouriteEntry {
  std::string ip;       // host:port
  std::string type_id;  // `typeid`, empty when absent
};

// A value as the file's reader takes it: blanks trimmed at both ends, every '"' removed.
std::string CleanFavouriteValue(std::string_view value);

// The entries of a favourites text (GBK) the list can show, in file order. An element is
// skipped when it is not an object, when its `ip` is not a text or its cleaned value has no ":",
// or when it has a `typeid` that is not a text. False, with `out` left alone, when the text is
// not a JSON array (not JSON, or an object or a scalar); a text of blanks alone is the empty
// list.
bool ReadFavouriteEntries(std::string_view text, std::vector<FavouriteEntry>& out);

// True when the text is a JSON array, the only shape a favourites file has.
bool IsFavouritesText(std::string_view text);

// The edits of a file's text. Each gives the new text with every byte outside the one entry as
// it was (when the text's layout cannot be followed, the document written out again: every
// entry and member kept, in order), or nothing when `text` is not a favourites list (see
// ReadFavouriteEntries; blank text is the empty list).
// Appends {"ip": address} after the last element.
std::optional<std::string> AppendFavouriteText(std::string_view text, const std::string& address);
// Removes the first entry (in file order) the list shows with this address; `found` says whether
// there was one (the text comes back unchanged when not).
std::optional<std::string> RemoveFavouriteText(std::string_view text, const std::string& address,
                                               bool& found);

// The add dialog's reading of a typed address: full-width colons become ":", then every "::"
// becomes ":", blanks are trimmed; the text is split at ":" and the first two pieces joined again
// with ":". Empty (refused) when there is no ":", when the host or the port piece is empty, when
// the port is not a number from 1 to 65535, or when the result is no valid server address
// (IsValidServerAddress: a blank or "+" anywhere, say).
std::string NormaliseTypedAddress(std::string_view typed);

enum class FileEdit {
  kChanged,     // written
  kUnchanged,   // nothing to do: the address was there already (add) or not at all (remove)
  kUnreadable,  // the file is not a favourites list: left as it is
  kBusy,        // another program held the file's lock for the whole wait: nothing changed
  kFailed,      // the file (or its backup) could not be written: nothing changed
};

// The file and its in-memory copy. One object per file path in the process (FavouritesFileAt), so
// every user of the file shares the copy. Safe to use from any thread.
class FavouritesFile {
 public:
  explicit FavouritesFile(std::string path);
  FavouritesFile(const FavouritesFile&) = delete;
  FavouritesFile& operator=(const FavouritesFile&) = delete;

  const std::string& path() const { return path_; }
  bool Exists() const;

  // The in-memory copy; read from the file first when it is empty.
  std::string Text();
  // Reads the copy from the file again (empty when the file is missing or unreadable).
  void Reload();

  // Replaces the whole file with `text` (the cloud restore), after keeping the current file as
  // described at the top; then reloads the copy. False when the lock was not had or the text
  // could not be written; the file is then unchanged.
  bool Write(std::string_view text);

  // Adds {"ip": address} / removes the first entry the list shows with the address: the file is
  // read again under its lock, changed as AppendFavouriteText / RemoveFavouriteText do, backed up
  // and replaced. The copy is reloaded afterwards.
  FileEdit Add(const std::string& address);
  FileEdit Remove(const std::string& address);

 private:
  void ReloadLocked();
  bool KeepAsideLocked();
  FileEdit Edit(const std::string& address, bool add);

  const std::string path_;
  std::mutex mutex_;
  std::string copy_;
};

// The process's object for a path.
std::shared_ptr<FavouritesFile> FavouritesFileAt(const std::string& path);
// The core's favourites file.
std::shared_ptr<FavouritesFile> FavouritesFileOf(Core& core);

// ---- The list operations (they act on the core's window and files) ----------------------------

enum class LoadResult {
  kNoFile,      // no file: the list keeps its rows, nothing shown
  kUnreadable,  // "无法解析收藏夹文件" shown, the list keeps its rows
  kLoaded,      // the list rebuilt from the file, every row queried
};
// Reads the file again (another program may have changed it) and rebuilds the favourites list
// from it, querying every row.
LoadResult LoadFavourites(Core& core);

enum class AddResult {
  kAdded,        // the file gained the entry, the list rebuilt from it
  kExists,       // "服务器已存在!" shown (the list or the file has it), nothing changed
  kWriteFailed,  // "无法保存收藏夹文件" shown: the file could not be written; unchanged
  kBusy,         // "无法保存收藏夹文件" shown: another program kept the lock; unchanged
  kUnreadable,   // "无法解析收藏夹文件" shown: the file is not a favourites list; unchanged
  kEmpty,        // empty address: nothing
  kInvalid,      // not a valid server address: "服务器地址无效" shown, nothing changed
};
// Adds a server (the add dialog and the server list's "添加到收藏"): appends the entry to the
// file (FavouritesFile::Add: every other entry and member stays as it was) and rebuilds the list
// from it.
AddResult AddFavourite(Core& core, const std::string& address);

// The add dialog's "确认添加" with the typed text: "IP格式不合法!请检查!" for an address that
// NormaliseTypedAddress refuses, else AddFavourite and the dialog closes. True when the address
// was accepted (added, or already listed).
bool AddTypedFavourite(Core& core, const std::string& typed);

// Removes the address from the file (FavouritesFile::Remove) and, with also_in_cloud, from the
// cloud (act "Delete").
FileEdit DeleteFavourite(Core& core, const std::string& address, bool also_in_cloud);

}  // namespace brindle
