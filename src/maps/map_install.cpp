// Installation of a finished download: compressed maps wait in the extraction queue, archives
// are unpacked at once into the CS:GO folder, plain maps are copied into the game.
#include <algorithm>
#include <mutex>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "maps/install_rules.h"
#include "maps/map_downloads.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

constexpr std::int64_t kExtractClockMs = 1000;

}  // namespace

void MapDownloadsFeature::InstallFile(const std::string& name, std::uint64_t task,
                                      std::int64_t listed_size) {
  if (name.empty()) return;
  Window& window = core_->window();
  if (!window.controls().Checked(names::kAutoExtract)) {
    Finish(task, TaskResult::kDownloaded, "");  // the file stays in the cache
    return;
  }
  GamePaths game;
  {
    std::lock_guard lock(core_->state().mutex);
    game = core_->state().game;
  }
  if (NameContains(name, ".bsp.bz2")) {
    {
      std::lock_guard lock(extract_mutex_);
      // Counted first: whoever sees the row sees it counted.
      stats_.AddWaiting(1);
      window.extract_queue().Append({name, "%0", gbk("待解压")});
      extractions_.push_back({name, task, listed_size});
    }
    window.clock().StartClock(names::kClockExtract, kExtractClockMs);
    // Served at once when no extractor runs; the clock is the fallback while one does.
    window.clock().Post([this] { ExtractionTick(); });
    return;
  }
  if (NameContains(name, ".7z") || NameContains(name, ".zip")) {
    window.ShowStatus(gbk("正在解压文件...") + name);
    RunningExtraction job;
    job.file = name;
    job.target = game.csgo_dir_copy;
    job.task = task;
    job.from_queue = false;
    job.listed_size = listed_size;
    if (!StartExtraction(job)) stats_.AddExtractionFailure();
    return;
  }
  if (NameContains(name, ".bsp") && !NameContains(name, ".bz2")) {
    window.ShowStatus(gbk("正在移动文件...-> ") + name);
    InstallCopy(name, game.csgo_map_dir, task, listed_size);
    return;
  }
  if (NameContains(name, ".vpk")) {
    window.ShowStatus(gbk("正在移动文件...-> ") + name);
    InstallCopy(name, game.cs2_map_dir, task, listed_size);
    return;
  }
  Finish(task, TaskResult::kDownloaded, "");  // nothing of the game's: it stays in the cache
}

bool MapDownloadsFeature::InstallCopy(const std::string& name, const std::string& dir,
                                      std::uint64_t task, std::int64_t listed_size) {
  // An unknown game folder must not turn into a copy into the working directory.
  if (dir.empty()) {
    Finish(task, TaskResult::kFailed, "the game's maps folder is not known");
    return false;
  }
  const std::string source = core_->state().download_cache_dir + name;
  // A cut, empty or substituted answer never replaces the map the player has.
  const std::int64_t size = platform::file_size(source);
  if (size <= 0) {
    Finish(task, TaskResult::kFailed, "the mirror sent an empty file");
    return false;
  }
  if (ListedSizeKnown(listed_size) && size != listed_size) {
    Finish(task, TaskResult::kFailed,
           "the map has " + std::to_string(size) + " bytes where the map list says " +
               std::to_string(listed_size));
    return false;
  }
  const std::string target = dir + name;
  // Copied beside the target and renamed over it, so the game never sees half a map.
  const std::string part = dir + "." + name + ".part";
  bool ok = platform::copy_file(source, part, true) && platform::replace_file(part, target);
  if (!ok) {
    (void)platform::delete_file(part);
    ok = platform::replace_file(source, target);  // the copy failed: move it there instead
  }
  Finish(task, ok ? TaskResult::kInstalled : TaskResult::kFailed,
         ok ? "" : "cannot put the file into " + gbk_to_utf8(dir));
  return ok;
}

}  // namespace brindle
