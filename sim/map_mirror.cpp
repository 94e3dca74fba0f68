#include "map_mirror.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "generated_content.h"
#include "map_content.h"

extern char** environ;

namespace brindle::sim {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr std::uint64_t kMaxListedSize = std::uint64_t{1024} * 1024 * 1024;
constexpr std::size_t kCorruptKeep = 32;  // bytes of the real stream kept before the garbage
constexpr std::uint64_t kEvilSize = 4096;

bool all_digits(const std::string& text) {
  if (text.empty() || text.size() > 12) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool safe_key(const std::string& key) {
  if (key.empty() || key.size() > 64) return false;
  for (char c : key) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

// An optional string member; false when present but not a string.
bool text_member(const Json& item, const char* name, std::string& out) {
  auto it = item.find(name);
  if (it == item.end()) return true;
  if (!it->is_string()) return false;
  out = it->get<std::string>();
  return true;
}

bool read_whole(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return static_cast<bool>(in) || in.eof();
}

bool write_whole(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.flush();
  return static_cast<bool>(out);
}

std::string material_text(const std::string& name) {
  return "\"LightmappedGeneric\"\n{\n\t\"$basetexture\" \"maps/" + name + "/" + name +
         "_detail\"\n\t\"$surfaceprop\" \"concrete\"\n}\n";
}

}  // namespace

bool safe_name(const std::string& name) {
  if (name.empty() || name.size() > 128 || name.front() == '.') return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.';
    if (!ok) return false;
  }
  return name.find("..") == std::string::npos;
}

std::optional<MirrorFile> parse_mirror_file(const std::string& file_name) {
  for (const char* form : {"bsp.bz2", "bsp", "7z", "zip"}) {
    std::string suffix = std::string(".") + form;
    if (file_name.size() > suffix.size() &&
        file_name.compare(file_name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      std::string name = file_name.substr(0, file_name.size() - suffix.size());
      if (!safe_name(name)) return std::nullopt;
      return MirrorFile{name, form};
    }
  }
  return std::nullopt;
}

bool MapMirror::load(const std::string& json_text, std::string& error) {
  Json root = Json::parse(json_text, nullptr, false);
  if (root.is_discarded() || !root.is_object()) {
    error = "mapdata: not a JSON object of groups";
    return false;
  }
  for (const auto& [group, list] : root.items()) {
    if (!safe_key(group) || !list.is_array()) {
      error = "mapdata: group \"" + group + "\" is not a list";
      return false;
    }
    std::vector<MapEntry>& entries = groups_[group];
    for (const Json& item : list) {
      MapEntry entry;
      entry.type = group;
      entry.mapcyclefile = "mapcycle_" + group + ".txt";
      std::string host = "primary";
      bool ok = item.is_object() && text_member(item, "mapname", entry.mapname) &&
                text_member(item, "size", entry.size_text) &&
                text_member(item, "type", entry.type) &&
                text_member(item, "mapcyclefile", entry.mapcyclefile) &&
                text_member(item, "timestamp", entry.timestamp) &&
                text_member(item, "cn_name", entry.cn_name) &&
                text_member(item, "file", entry.file) && text_member(item, "host", host);
      ok = ok && safe_name(entry.mapname) && all_digits(entry.size_text) &&
           (host == "primary" || host == "secondary") &&
           parse_mirror_file("x." + entry.file).has_value();
      if (ok) {
        entry.size = std::stoull(entry.size_text);
        ok = entry.size <= kMaxListedSize;
      }
      if (!ok) {
        error = "mapdata: bad map in group \"" + group + "\": " + item.dump();
        return false;
      }
      entry.secondary_host = host == "secondary";
      entries.push_back(std::move(entry));
    }
  }
  for (const auto& [group, entries] : groups_) {
    for (const MapEntry& entry : entries) {
      auto [it, added] = by_name_.emplace(entry.mapname, &entry);
      if (!added && it->second->size != entry.size) {
        error = "mapdata: " + entry.mapname + " is listed with two sizes";
        return false;
      }
    }
  }
  return true;
}

bool MapMirror::open_cache(const std::string& dir, std::string& error) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir, ec)) {
    error = "cannot create the cache folder " + dir;
    return false;
  }
  cache_dir_ = dir;
  // Temporary files of a sim that was killed while making them.
  const auto stale = fs::file_time_type::clock::now() - std::chrono::hours(1);
  for (const auto& item : fs::directory_iterator(dir, ec)) {
    if (item.path().filename().string().rfind(".tmp-", 0) == 0 &&
        item.last_write_time(ec) < stale) {
      fs::remove_all(item.path(), ec);
    }
  }
  return true;
}

std::optional<MapMirror::Reply> MapMirror::group_list(const std::string& group,
                                                      const std::string& primary_host,
                                                      const std::string& secondary_host) {
  {
    std::lock_guard lock(mutex_);
    auto scripted = scripted_.find(group);
    if (scripted != scripted_.end()) return scripted->second;
  }
  auto it = groups_.find(group);
  if (it == groups_.end()) return std::nullopt;
  Json list = Json::array();
  for (const MapEntry& entry : it->second) {
    const std::string key = entry.mapname + "/" + entry.size_text;
    std::string crc;
    {
      std::lock_guard lock(mutex_);
      auto known = crc_.find(key);
      if (known != crc_.end()) crc = known->second;
    }
    if (crc.empty()) {
      crc = map_crc32(entry.mapname, entry.size);
      std::lock_guard lock(mutex_);
      crc_[key] = crc;
    }
    Json map = Json::object();
    map["mapname"] = entry.mapname;
    map["download"] = "http://" + (entry.secondary_host ? secondary_host : primary_host) +
                      "/maps/" + entry.mapname + "." + entry.file;
    map["size"] = entry.size_text;
    map["type"] = entry.type;
    map["mapcyclefile"] = entry.mapcyclefile;
    map["timestamp"] = entry.timestamp;
    map["crc32"] = crc;
    map["cn_name"] = entry.cn_name;
    list.push_back(std::move(map));
  }
  return Reply{200, list.dump(-1, ' ', false, Json::error_handler_t::replace)};
}

void MapMirror::script_group(const std::string& group, Reply reply) {
  std::lock_guard lock(mutex_);
  scripted_[group] = std::move(reply);
}

void MapMirror::unscript_group(const std::string& group) {
  std::lock_guard lock(mutex_);
  scripted_.erase(group);
}

void MapMirror::unscript_all() {
  std::lock_guard lock(mutex_);
  scripted_.clear();
}

const MapEntry* MapMirror::find(const std::string& mapname) const {
  auto it = by_name_.find(mapname);
  return it == by_name_.end() ? nullptr : it->second;
}

std::uint64_t MapMirror::size_of(const std::string& mapname) const {
  const MapEntry* entry = find(mapname);
  return entry ? entry->size : kDefaultMapSize;
}

std::string MapMirror::temp_name(const std::string& cache_name) {
  std::uint64_t n = 0;
  {
    std::lock_guard lock(mutex_);
    n = ++temp_counter_;
  }
  // The real name last: 7zz picks the archive type from the extension.
  return cache_dir_ + "/.tmp-" + std::to_string(::getpid()) + "-" + std::to_string(n) + "-" +
         cache_name;
}

std::string MapMirror::ensure(const std::string& cache_name, const Maker& make,
                              std::string& error) {
  std::shared_ptr<std::mutex> gate;
  {
    std::lock_guard lock(mutex_);
    std::shared_ptr<std::mutex>& slot = making_[cache_name];
    if (!slot) slot = std::make_shared<std::mutex>();
    gate = slot;
  }
  std::lock_guard hold(*gate);
  const std::string path = cache_dir_ + "/" + cache_name;
  std::error_code ec;
  if (fs::is_regular_file(path, ec)) return path;
  const std::string temp = temp_name(cache_name);
  if (!make(temp, error)) {
    fs::remove_all(temp, ec);
    return {};
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    error = "cannot rename into " + path;
    fs::remove(temp, ec);
    return {};
  }
  return path;
}

std::string MapMirror::map_file(const MirrorFile& file, std::uint64_t size, std::string& error) {
  const std::string cache_name = file.name + "-" + std::to_string(size) + "." + file.form;
  if (file.form == "7z" || file.form == "zip") {
    return ensure(
        cache_name,
        [&](const std::string& temp, std::string& why) {
          return archive(file.name, size, file.form, temp, why);
        },
        error);
  }
  const bool compress = file.form == "bsp.bz2";
  return ensure(
      cache_name,
      [&](const std::string& temp, std::string& why) {
        return write_map_file(temp, file.name, size, compress, why);
      },
      error);
}

// Packs csgo/maps/<name>.bsp and a small material into the new archive `out`.
bool MapMirror::archive(const std::string& name, std::uint64_t size, const std::string& form,
                        const std::string& out, std::string& error) {
  const std::string stage = temp_name("stage");
  std::error_code ec;
  fs::create_directories(stage + "/csgo/maps", ec);
  fs::create_directories(stage + "/csgo/materials/maps/" + name, ec);
  bool ok = !ec && write_map_file(stage + "/csgo/maps/" + name + ".bsp", name, size, false, error);
  ok = ok && write_whole(stage + "/csgo/materials/maps/" + name + "/" + name + "_detail.vmt",
                         material_text(name));
  ok = ok && run_7zz({"a", form == "7z" ? "-t7z" : "-tzip", "-mx=1", out, "csgo"}, stage, error);
  fs::remove_all(stage, ec);
  return ok;
}

std::string MapMirror::zero_bz2(const std::string& name, std::uint64_t size, std::string& error) {
  return ensure(
      "zeros-" + name + "-" + std::to_string(size) + ".bsp.bz2",
      [&](const std::string& temp, std::string& why) { return write_zero_bz2(temp, size, why); },
      error);
}

std::string MapMirror::corrupt_bz2(const std::string& name, std::string& error) {
  const std::uint64_t size = size_of(name);
  const std::string real = map_file({name, "bsp.bz2"}, size, error);
  if (real.empty()) return {};
  return ensure(
      "corrupt-" + name + "-" + std::to_string(size) + ".bsp.bz2",
      [&](const std::string& temp, std::string& why) {
        std::string bytes;
        if (!read_whole(real, bytes) || bytes.size() <= kCorruptKeep) {
          why = "cannot read " + real;
          return false;
        }
        bytes.replace(kCorruptKeep, std::string::npos,
                      generated_bytes(0, bytes.size() - kCorruptKeep));
        return write_whole(temp, bytes);
      },
      error);
}

std::string MapMirror::hostile_archive(const std::string& kind, const std::string& token,
                                       const std::string& name, const std::string& form,
                                       std::string& error) {
  if (!safe_key(token) || (kind != "dotdot" && kind != "absolute") ||
      (form != "zip" && form != "7z")) {
    error = "no such hostile archive";
    return {};
  }
  const std::string entry =
      kind == "dotdot" ? "../evil.bsp" : "/tmp/brindle-evil-" + token + "/evil.bsp";
  return ensure(
      "hostile-" + kind + "-" + token + "-" + name + "." + form,
      [&](const std::string& temp, std::string& why) {
        const std::string stage = temp_name("stage");
        std::error_code ec;
        fs::create_directories(stage + "/csgo/maps", ec);
        bool ok = !ec &&
                  write_map_file(stage + "/csgo/maps/" + name + ".bsp", name, size_of(name), false,
                                 why) &&
                  write_map_file(stage + "/evil.bsp", "evil", kEvilSize, false, why);
        // 7zz stores the names it is given only after a rename inside the archive.
        ok =
            ok && run_7zz({"a", form == "7z" ? "-t7z" : "-tzip", "-mx=1", temp, "csgo", "evil.bsp"},
                          stage, why);
        ok = ok && run_7zz({"rn", temp, "evil.bsp", entry}, stage, why);
        fs::remove_all(stage, ec);
        return ok;
      },
      error);
}

bool run_7zz(const std::vector<std::string>& args, const std::string& dir, std::string& error) {
  std::vector<std::string> argv_text = {"7zz"};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  // The sim blocks its stop signals and ignores SIGPIPE; the child starts with neither.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  int spawned = posix_spawnp(&pid, "7zz", &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) {
    error = std::string("cannot run 7zz: ") + std::strerror(spawned);
    return false;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      error = "lost the 7zz process";
      return false;
    }
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = "7zz " + args.front() + " failed (status " + std::to_string(status) + ")";
    return false;
  }
  return true;
}

}  // namespace brindle::sim
