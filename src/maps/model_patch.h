// The model and material patch: the custom player models and materials of the community's
// servers, unpacked into the CS:GO folder from archives the software service lists. The patch
// button shows the installed version and whether the service knows a newer one; a click queues
// the archives in the download queue, whose installation unpacks them and asks for a new check.
//
// Threads: the check and the update run on workers of the core; the patch button's state and the
// tasks still out are kept under the feature's lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/feature.h"

namespace brindle {

class Core;

// Versions are dates written as digits; a local value above this is compared as kPatchFallback.
inline constexpr std::int64_t kPatchVersionLimit = 39999999;
inline constexpr std::int64_t kPatchFallback = 20190101;
// A version answer is a number; a longer body is an error page.
inline constexpr std::size_t kPatchAnswerMaxBytes = 4096;
inline constexpr std::size_t kPatchListMaxBytes = std::size_t{1} << 20;

// csgo_dir + "csgo/models/player/custom_player/2019x/model_version.ini".
std::string ModelVersionFile(const std::string& csgo_dir);
// The local version as the comparison takes it.
std::int64_t ClampPatchVersion(std::int64_t local);
// software_base_url + "/model_version.php?version=" + local.
std::string ModelVersionUrl(const std::string& software_base_url, std::int64_t local);
// The service's answer as a version, or -1 when it is none: empty, or not starting with a digit
// (letters, an error page).
std::int64_t ParsePatchAnswer(std::string_view body);
// The URLs of pifu.txt: lines split at "\r\n" (a lone "\n" too), each split at "--"; the second
// field of lines with at least two, blanks around it trimmed; empty ones, and repeats of an
// earlier URL, left out.
std::vector<std::string> PatchListUrls(std::string_view list);

enum class PatchState { kUnknown, kNotInstalled, kInstalled, kOutdated };

struct PatchStatus {
  PatchState state = PatchState::kUnknown;
  std::int64_t local = 0;    // as read from the version file
  std::int64_t remote = -1;  // the service's version, -1 when it gave none
};

// What a click on the patch button came to.
enum class PatchUpdate {
  kQueued,     // archives queued
  kUpToDate,   // "无需更新"
  kNoList,     // the file list was empty or named nothing usable
  kNoAnswer,   // the version service did not answer: nothing queued
  kBusy,       // archives of an earlier update are still out
  kWrongPath,  // the game installation is not valid
};

class ModelPatchFeature final : public Feature {
 public:
  ModelPatchFeature() = default;
  ~ModelPatchFeature() override;

  const char* name() const override { return "model-patch"; }
  void Bind(Core& core) override;
  void OnStartup(Core& core) override;

  // The check on the calling thread: reads the version file, asks the service and sets the
  // button's caption.
  PatchStatus CheckModelPatch();
  // The button: the wrong-path box when the game is not valid, else the update on a worker.
  void OnPatchClicked();
  // The update on the calling thread (the button's worker, the CLI). `queued` receives the ids of
  // the tasks it queued.
  PatchUpdate UpdateModelPatch(std::vector<std::uint64_t>* queued = nullptr);
  // Fetches pifu.txt and queues the archives it names; their task ids (empty: nothing queued,
  // the button is available again).
  std::vector<std::uint64_t> QueuePatchFiles();
  // pifu.txt as QueuePatchFiles queues it: the URLs after the mirror rewrite, without those
  // that are no http(s) URL, hold blanks, give a name the download cache refuses, or repeat a
  // file name. Empty when the list could not be fetched.
  std::vector<std::string> PatchFiles();

  // Tasks of the last update not yet settled.
  std::size_t TasksOut() const;

 private:
  void StartCheck();
  void TaskSettled(std::uint64_t task);

  Core* core_ = nullptr;
  // What the download queue's observers reach this feature through: cleared when it goes, so
  // an observer called after that (features go one by one) does nothing.
  std::shared_ptr<std::atomic<ModelPatchFeature*>> self_ =
      std::make_shared<std::atomic<ModelPatchFeature*>>(this);
  mutable std::mutex mutex_;
  std::set<std::uint64_t> out_;  // queued patch tasks not yet settled
  bool updating_ = false;        // an update is between its click and its queueing
};

}  // namespace brindle
