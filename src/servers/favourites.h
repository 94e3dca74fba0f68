// The favourites: the user's own list of servers, kept in my_favorite.json in the data folder (a
// JSON array of {"ip": "host:port", "typeid": "..."}, GBK), shown in 服务器收藏列表_EX1 and filled
// with live data by the server query. The file's text is also held in memory (read when the copy
// is empty, again after every write); deletions work on that copy.
//
// Every rewrite replaces the file atomically and first keeps the previous file beside it
// ("my_favorite.json.bak"); a file that does not read as a favourites list is never overwritten
// without a copy of it under a name no later rewrite uses ("my_favorite.json.bad", ".bad1", …).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class Core;
struct AppState;

inline constexpr std::string_view kFavouritesFileName = "my_favorite.json";
inline constexpr std::string_view kFavouritesBackupSuffix = ".bak";
inline constexpr std::string_view kFavouritesUnreadableSuffix = ".bad";

// data_dir + "/my_favorite.json"; empty while data_dir is not known (every file operation on the
// empty path then fails).
std::string FavouritesPath(const AppState& state);

// One entry of the file, cleaned.
struct FavouriteEntry {
  std::string ip;       // host:port
  std::string type_id;  // `typeid`, empty when absent
};

// A value as the file's reader takes it: blanks trimmed at both ends, every '"' removed.
std::string CleanFavouriteValue(std::string_view value);

// The entries of a favourites text (GBK), in file order; an entry whose cleaned `ip` has no ":"
// is skipped. False, with `out` left alone, when the text is not JSON.
bool ReadFavouriteEntries(std::string_view text, std::vector<FavouriteEntry>& out);

// True when the text is a JSON array, the only shape a favourites file has.
bool IsFavouritesText(std::string_view text);

// The file text a save writes: [{"ip": address}, …] in order.
std::string FavouritesText(const std::vector<std::string>& addresses);

// The add dialog's reading of a typed address: full-width colons become ":", then every "::"
// becomes ":", blanks are trimmed; the text is split at ":" and the first two pieces joined again
// with ":". Empty (refused) when there is no ":", when the host or the port piece is empty, when
// the port is not a number from 1 to 65535, or when the result is no valid server address
// (IsValidServerAddress: a blank or "+" anywhere, say).
std::string NormaliseTypedAddress(std::string_view typed);

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

  // Replaces the file with `text` (temporary file and rename), after keeping the current file
  // aside as described above, then reloads the copy. False when the text could not be written;
  // the file is then unchanged.
  bool Write(std::string_view text);

  // Removes the first entry (in file order) whose cleaned `ip` equals `address` and writes the
  // rest. Returns true when the file now lacks the address (also when it never held it). False
  // when the copy is not a favourites list (the file is then left as it is) or the write failed.
  bool RemoveEntry(const std::string& address);

 private:
  void ReloadLocked();
  bool KeepAsideLocked();

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
// Rebuilds the favourites list from the file and queries every row.
LoadResult LoadFavourites(Core& core);

// Writes the list's addresses to the file ({"ip"} members only). False when the write failed.
bool SaveFavourites(Core& core);

enum class AddResult {
  kAdded,        // row appended, file written, list rebuilt
  kExists,       // "服务器已存在!" shown, nothing changed
  kWriteFailed,  // the row was appended but the file could not be written
  kEmpty,        // empty address: nothing
  kInvalid,      // not a valid server address: "服务器地址无效" shown, nothing changed
};
// Adds a server (the add dialog and the server list's "添加到收藏"): appends the row, saves the
// list (a save writes `ip` members alone, so restored `typeid`s go) and rebuilds it from the file.
// An empty list is first loaded from the file, so favourites not shown yet are neither duplicated
// nor dropped.
AddResult AddFavourite(Core& core, const std::string& address);

// The add dialog's "确认添加" with the typed text: "IP格式不合法!请检查!" for an address that
// NormaliseTypedAddress refuses, else AddFavourite and the dialog closes. True when the address
// was accepted (added, or already listed).
bool AddTypedFavourite(Core& core, const std::string& typed);

// Removes the address from the file (and, with also_in_cloud, from the cloud: act "Delete").
// False when the file could not be changed (see FavouritesFile::RemoveEntry).
bool DeleteFavourite(Core& core, const std::string& address, bool also_in_cloud);

}  // namespace brindle
