// The map group list (/software/mapdata/<group>.html, GBK JSON) read into records, and each
// record classified against a game maps folder and a download cache holding a few maps.
// Properties: the reader fails exactly when the text is not JSON, gives one record per element
// of the root array, and a map gets at most the rows its mode allows, "needs download" exactly
// when its .bsp is missing from the game folder. A usable map name never reaches another folder,
// and one task's download bound never passes the default bound.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/json_document.h"
#include "foundation/settings_file.h"
#include "fuzz_check.h"
#include "maps/install_rules.h"
#include "maps/map_check.h"
#include "platform/platform.h"

namespace {

namespace platform = brindle::platform;

struct Folders {
  std::string root, maps, cache;
};

void Put(const std::string& path, std::size_t bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f != nullptr);
  const std::string content(bytes, 'm');
  FUZZ_CHECK(std::fwrite(content.data(), 1, content.size(), f) == content.size());
  std::fclose(f);
}

const Folders& TheFolders() {
  static const Folders folders = [] {
    Folders f;
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    f.root = std::string(base) + "/brindle-maps-fuzz-" + std::to_string(getpid()) + "/";
    f.maps = f.root + "maps/";
    f.cache = f.root + "cache/";
    for (const std::string& dir : {f.root, f.maps, f.cache})
      FUZZ_CHECK(mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST);
    Put(f.maps + "ze_fapescape_rote.bsp", 332455 % 4096);
    Put(f.maps + "de_dust2.bsp", 200);
    Put(f.cache + "ze_mako_reactor_v5_3.bsp.bz2", 10);
    Put(f.cache + "de_dust2.bsp", 150);
    return f;
  }();
  return folders;
}

void RemoveFolders() {
  const Folders& f = TheFolders();
  for (const char* name : {"ze_fapescape_rote.bsp", "de_dust2.bsp"})
    (void)std::remove((f.maps + name).c_str());
  for (const char* name : {"ze_mako_reactor_v5_3.bsp.bz2", "de_dust2.bsp"})
    (void)std::remove((f.cache + name).c_str());
  for (const std::string& dir : {f.maps, f.cache, f.root}) (void)rmdir(dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  (void)TheFolders();
  std::atexit(RemoveFolders);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto maps = brindle::ReadMapList(text);
  brindle::JsonDocument doc;
  const bool json = !text.empty() && doc.parse(text);
  FUZZ_CHECK(maps.has_value() == json);
  if (!maps) return 0;
  FUZZ_CHECK(maps->size() == static_cast<std::size_t>(doc.count("")));

  const Folders& f = TheFolders();
  for (std::size_t i = 0; i < maps->size() && i < 32; ++i) {
    const brindle::MapRecord& map = (*maps)[i];
    FUZZ_CHECK(map.mapname == doc.get_value("[" + std::to_string(i) + "].mapname"));
    (void)brindle::FindMapGroup(map.type);
    if (brindle::UsableMapName(map.mapname)) {
      FUZZ_CHECK(map.mapname.find_first_of("/\\:") == std::string::npos);
      FUZZ_CHECK(map.mapname != "." && map.mapname != "..");
    }
    const std::int64_t cap = brindle::DownloadByteCap(map.download, brindle::TextToInt64(map.size));
    FUZZ_CHECK(cap > 0 && cap <= brindle::kDownloadCapDefault);
    const auto game = brindle::ClassifyMap(map, true, f.maps, f.cache);
    FUZZ_CHECK(game.size() <= 1);
    const bool missing = !platform::file_exists(f.maps + map.mapname + ".bsp");
    FUZZ_CHECK(missing == (game.size() == 1 && game[0] == brindle::MapStatus::kNeedsDownload));
    const auto cache = brindle::ClassifyMap(map, false, f.maps, f.cache);
    FUZZ_CHECK(cache.size() <= 2);
    for (brindle::MapStatus status : cache) {
      FUZZ_CHECK(status != brindle::MapStatus::kNeedsDownload);
      FUZZ_CHECK(!brindle::MapStatusText(status).empty());
    }
  }
  return 0;
}
