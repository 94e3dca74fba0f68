// The map groups of the software service and the files of the map mirror: the catalogue (from
// mapdata.json), the group lists built from it, the scripted replacement lists of the tests, and
// the mirror's files, made on first request into a cache folder and kept there across runs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace brindle::sim {

// The uncompressed size of a map the catalogue does not list (fault and archive routes).
inline constexpr std::uint64_t kDefaultMapSize = 262144;
// Upper bound of /maps/genbz2/ sizes: each one costs bzip2 time once.
inline constexpr std::uint64_t kMaxGeneratedBz2 = std::uint64_t{256} * 1024 * 1024;
inline constexpr std::uint64_t kMaxZeroBz2 = std::uint64_t{1} << 30;

struct MapEntry {
  std::string mapname;
  std::string size_text;  // as listed; the mirror's .bsp has exactly this many bytes
  std::uint64_t size = 0;
  std::string type;
  std::string mapcyclefile;
  std::string timestamp;
  std::string cn_name;
  std::string file = "bsp.bz2";  // form the list links to: bsp.bz2, bsp, 7z or zip
  bool secondary_host = false;   // the list links to mirror_secondary_host
};

// A file name as the mirror serves it: a map name and one of the four forms.
struct MirrorFile {
  std::string name;  // map name
  std::string form;  // "bsp.bz2", "bsp", "7z" or "zip"
};
// Splits "de_x.bsp.bz2"; nullopt for another extension or a name with unsafe characters.
std::optional<MirrorFile> parse_mirror_file(const std::string& file_name);
// Letters, digits, '_', '-' and '.', not starting with '.', 1 to 128 characters.
bool safe_name(const std::string& name);

class MapMirror {
 public:
  // Reads the catalogue: a JSON object from group key to an array of maps. False with `error`.
  bool load(const std::string& json_text, std::string& error);
  // Creates the cache folder and clears leftovers of interrupted runs.
  bool open_cache(const std::string& dir, std::string& error);
  const std::string& cache_dir() const { return cache_dir_; }

  // The group list as served; nullopt for a group neither listed nor scripted. `status` is 200
  // unless a test scripted another.
  struct Reply {
    int status = 200;
    std::string body;
  };
  std::optional<Reply> group_list(const std::string& group, const std::string& primary_host,
                                  const std::string& secondary_host);
  // Tests' replacement lists: served for `group` until removed.
  void script_group(const std::string& group, Reply reply);
  void unscript_group(const std::string& group);
  void unscript_all();

  const MapEntry* find(const std::string& mapname) const;
  std::uint64_t size_of(const std::string& mapname) const;  // kDefaultMapSize when not listed

  // The cache path of a mirror file, made first when missing; empty with `error` on failure.
  std::string map_file(const MirrorFile& file, std::uint64_t size, std::string& error);
  // bzip2 stream with a valid header, garbage after it.
  std::string corrupt_bz2(const std::string& name, std::string& error);
  // N zero bytes as NAME.bsp.bz2.
  std::string zero_bz2(const std::string& name, std::uint64_t size, std::string& error);
  // kind "dotdot": entry ../evil.bsp; kind "absolute": /tmp/brindle-evil-<token>/evil.bsp.
  // Both also hold the harmless csgo/maps/<name>.bsp. `form` is "zip" or "7z".
  std::string hostile_archive(const std::string& kind, const std::string& token,
                              const std::string& name, const std::string& form, std::string& error);

 private:
  using Maker = std::function<bool(const std::string& temp_path, std::string& error)>;
  // Makes `cache_name` once (per process; other processes sharing the folder may make it too,
  // each into its own temporary file renamed into place).
  std::string ensure(const std::string& cache_name, const Maker& make, std::string& error);
  bool archive(const std::string& name, std::uint64_t size, const std::string& form,
               const std::string& out, std::string& error);
  std::string temp_name(const std::string& cache_name);

  std::map<std::string, std::vector<MapEntry>> groups_;  // read-only after load
  std::map<std::string, const MapEntry*> by_name_;
  std::string cache_dir_;

  std::mutex mutex_;  // guards everything below
  std::map<std::string, Reply> scripted_;
  std::map<std::string, std::string> crc_;  // by "name/size"
  std::map<std::string, std::shared_ptr<std::mutex>> making_;
  std::uint64_t temp_counter_ = 0;
};

// Runs `7zz` (from PATH) with `args` in `dir`, output discarded; false unless it exits with 0.
bool run_7zz(const std::vector<std::string>& args, const std::string& dir, std::string& error);

}  // namespace brindle::sim
