// Once per run the program asks the software service for the newest version number and, when its
// own is lower, says so in the status line and the title and offers to open the download thread
// of the forum. Runs on its own worker from the start-up clock and never blocks the person.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "app/feature.h"
#include "app/url_opener.h"

namespace brindle {

class Core;

// The answer is a version number; anything longer than this is no version (read up to here, and
// treated as no answer).
inline constexpr std::size_t kVersionAnswerMaxBytes = 4096;
// How much of the raw answer the status line repeats.
inline constexpr std::size_t kVersionShownMaxBytes = 64;

struct VersionAnswer {
  bool answered = false;  // a non-empty answer with status 200 arrived whole
  std::string text;       // the raw answer, no character conversion
  int newest = 0;         // its leading digits (text-to-integer rule); 0 for letters
  int local = 0;          // local_version
  bool newer() const { return answered && newest > local; }
};

// software_base_url + "/version.php?version=" + local_version.
std::string VersionUrl(const std::string& software_base_url, int local_version);

// The request alone (blocks; ends early when the core's workers are asked to stop).
VersionAnswer FetchNewestVersion(Core& core);

// The whole check: when a newer version exists, the status line "软件版本过期 最新版本号是:" +
// answer + "本机:" + local version, "软件需要更新" in the title label, and the box "版本已过期"
// with "前往下载最新版本&&暂不更新"; the first button opens the forum's download thread with
// `open`. Silent otherwise. The status line shows the answer without control characters and cut
// to kVersionShownMaxBytes.
VersionAnswer CheckVersion(Core& core, const UrlOpener& open = {});

// forum_base_url + "/forum.php?mod=viewthread&tid=9".
std::string DownloadThreadUrl(const std::string& forum_base_url);

// The check as a feature: started on its own worker by the start-up clock, before the live query.
class VersionCheckFeature final : public Feature {
 public:
  const char* name() const override { return "version-check"; }
  void Bind(Core& /*core*/) override {}
  void OnStartup(Core& core) override;

  // Tests capture the download page instead of opening a browser. Set before start-up.
  void SetUrlOpener(UrlOpener open) { open_ = std::move(open); }
  // The check of this run has ended (answered, refused, or failed).
  bool finished() const { return finished_.load(std::memory_order_acquire); }

 private:
  UrlOpener open_;
  std::atomic<bool> finished_{false};
};

}  // namespace brindle
