#include "maps/model_patch.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "app/app_state.h"
#include "app/core.h"
#include "app/installation.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "foundation/settings_file.h"
#include "maps/download_task.h"
#include "maps/map_downloads.h"
#include "platform/platform.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  return text;
}

// A whole 200 answer of at most `cap` bytes as text (up to a NUL), or empty.
std::string FetchText(Core& core, const std::string& url, std::size_t cap) {
  HttpRequestArgs args;
  args.extra_headers = http_settings().request_user_agent;
  args.max_body_bytes = cap;
  args.cancel = &core.workers().stop_flag();
  int status = 0;
  HttpTransferInfo info;
  std::string body = http_request(url, args, &status, &info);
  if (status != 200 || !info.complete()) return {};
  if (const std::size_t nul = body.find('\0'); nul != std::string::npos) body.resize(nul);
  return body;
}

// Only an http or https URL without blanks or control characters is queued: anything else
// would be sent as something other than what the list says.
bool QueueableUrl(std::string_view url) {
  if (!url.starts_with("http://") && !url.starts_with("https://")) return false;
  return std::none_of(url.begin(), url.end(),
                      [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f; });
}

}  // namespace

std::string ModelVersionFile(const std::string& csgo_dir) {
  const std::string sep(1, platform::path_separator());
  return csgo_dir + "csgo" + sep + "models" + sep + "player" + sep + "custom_player" + sep +
         "2019x" + sep + "model_version.ini";
}

std::int64_t ClampPatchVersion(std::int64_t local) {
  return local > kPatchVersionLimit ? kPatchFallback : local;
}

std::string ModelVersionUrl(const std::string& software_base_url, std::int64_t local) {
  return software_base_url + "/model_version.php?version=" + std::to_string(local);
}

std::int64_t ParsePatchAnswer(std::string_view body) {
  body = Trim(body);
  if (body.empty() || body.front() < '0' || body.front() > '9') return -1;
  std::int64_t value = 0;
  for (std::size_t i = 0; i < body.size() && body[i] >= '0' && body[i] <= '9'; ++i) {
    if (value > (INT64_MAX - 9) / 10) return -1;  // no version is this long
    value = value * 10 + (body[i] - '0');
  }
  return value;
}

std::vector<std::string> PatchListUrls(std::string_view list) {
  std::vector<std::string> urls;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find('\n', start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view line = list.substr(start, end - start);
    start = end + 1;
    const std::size_t dash = line.find("--");
    if (dash == std::string_view::npos) continue;  // one field
    std::string_view url = line.substr(dash + 2);
    if (const std::size_t next = url.find("--"); next != std::string_view::npos) {
      url = url.substr(0, next);  // three fields or more: the second
    }
    url = Trim(url);
    if (url.empty()) continue;
    if (std::find(urls.begin(), urls.end(), url) != urls.end()) continue;
    urls.emplace_back(url);
  }
  return urls;
}

ModelPatchFeature::~ModelPatchFeature() {
  self_->store(nullptr);
  if (core_ != nullptr) core_->window().Bind(names::kPatch, nullptr);
}

void ModelPatchFeature::Bind(Core& core) {
  core_ = &core;
  core.window().Bind(names::kPatch, [this] { OnPatchClicked(); });
  if (MapDownloadsFeature* downloads = MapDownloadsOf(core)) {
    // Every unpacked archive may have been the patch: the caption follows the version file.
    downloads->AddArchiveObserver([self = self_](const std::string&, bool) {
      if (ModelPatchFeature* patch = self->load()) patch->StartCheck();
    });
    downloads->AddTaskObserver([self = self_](const TaskOutcome& outcome) {
      if (ModelPatchFeature* patch = self->load()) patch->TaskSettled(outcome.id);
    });
  }
}

void ModelPatchFeature::OnStartup(Core& core) {
  std::string csgo_dir;
  {
    std::lock_guard lock(core.state().mutex);
    csgo_dir = core.state().game.csgo_dir;
  }
  if (!csgo_dir.empty() && platform::file_exists(csgo_dir + std::string(kCsgoAppIdFile))) {
    StartCheck();
  }
}

void ModelPatchFeature::StartCheck() {
  core_->workers().Start("patch-check", [this] { CheckModelPatch(); });
}

PatchStatus ModelPatchFeature::CheckModelPatch() {
  PatchStatus status;
  std::string csgo_dir;
  std::string base;
  {
    std::lock_guard lock(core_->state().mutex);
    csgo_dir = core_->state().game.csgo_dir;
    base = core_->state().software_base_url;
  }
  if (csgo_dir.empty()) return status;
  Controls& controls = core_->window().controls();
  std::string text;
  if (!platform::read_file(ModelVersionFile(csgo_dir), text)) {
    status.state = PatchState::kNotInstalled;
    controls.SetCaption(names::kPatch, gbk("材质补丁(未下载)"));
    return status;
  }
  status.local = TextToInt(text);
  status.state = PatchState::kInstalled;
  controls.SetCaption(names::kPatch, gbk("材质补丁\r\n(") + std::to_string(status.local) + ")");
  status.remote = ParsePatchAnswer(
      FetchText(*core_, ModelVersionUrl(base, status.local), kPatchAnswerMaxBytes));
  if (status.remote >= 0 && ClampPatchVersion(status.local) < status.remote) {
    status.state = PatchState::kOutdated;
    controls.SetCaption(names::kPatch, gbk("材质补丁(已过期)"));
  }
  return status;
}

void ModelPatchFeature::OnPatchClicked() {
  if (!core_->window().controls().Enabled(names::kPatch)) return;
  core_->workers().Start("patch-update", [this] { UpdateModelPatch(); });
}

PatchUpdate ModelPatchFeature::UpdateModelPatch(std::vector<std::uint64_t>* queued) {
  Window& window = core_->window();
  std::string csgo_dir;
  std::string base;
  std::string reference;
  {
    std::lock_guard lock(core_->state().mutex);
    csgo_dir = core_->state().game.csgo_dir;
    base = core_->state().software_base_url;
    reference = core_->state().game.csgo_map_dir;
  }
  // The patch belongs to CS:GO whichever game the selected server runs.
  if (csgo_dir.empty() || reference.empty() ||
      !platform::file_exists(reference + std::string(kCsgoReferenceMap))) {
    ShowPathWrongDialog(window);
    return PatchUpdate::kWrongPath;
  }
  {
    std::lock_guard lock(mutex_);
    if (updating_ || !out_.empty()) return PatchUpdate::kBusy;
    updating_ = true;
  }
  auto done = [&](PatchUpdate result) {
    std::lock_guard lock(mutex_);
    updating_ = false;
    return result;
  };
  auto queue = [&] {
    std::vector<std::uint64_t> ids = QueuePatchFiles();
    if (queued != nullptr) *queued = ids;
    return done(ids.empty() ? PatchUpdate::kNoList : PatchUpdate::kQueued);
  };
  std::string text;
  if (!platform::read_file(ModelVersionFile(csgo_dir), text)) return queue();
  const std::int64_t local = TextToInt(text);
  const std::int64_t remote =
      ParsePatchAnswer(FetchText(*core_, ModelVersionUrl(base, local), kPatchAnswerMaxBytes));
  if (remote < 0) {
    // Without an answer nothing says the patch is outdated; downloading it all again on every
    // failure would cost the person far more than a retry.
    window.ShowStatus(gbk("材质补丁版本获取失败 请稍后再试"));
    return done(PatchUpdate::kNoAnswer);
  }
  if (ClampPatchVersion(local) < remote) return queue();
  window.MessageBox(gbk("无需更新"), gbk("您已经是最新版本模型补丁了本机版本"), gbk("确定"));
  return done(PatchUpdate::kUpToDate);
}

std::vector<std::uint64_t> ModelPatchFeature::QueuePatchFiles() {
  std::vector<std::uint64_t> ids;
  MapDownloadsFeature* downloads = MapDownloadsOf(*core_);
  if (downloads == nullptr) return ids;
  Window& window = core_->window();
  // Only the rows go: a running "download all" and its button are left as they are.
  downloads->RemoveResourceRows();
  window.controls().SetEnabled(names::kPatch, false);
  for (const std::string& url : PatchFiles()) {
    ids.push_back(downloads->AppendTask(FileNameOfUrl(url), gbk("等待下载"), url, gbk("材质补丁")));
  }
  {
    // A task may have settled already; the observer then found nothing to remove.
    std::lock_guard lock(mutex_);
    for (std::uint64_t id : ids) {
      const auto outcome = downloads->Outcome(id);
      if (!outcome || outcome->result == TaskResult::kPending) out_.insert(id);
    }
    if (out_.empty()) window.controls().SetEnabled(names::kPatch, true);
  }
  return ids;
}

std::vector<std::string> ModelPatchFeature::PatchFiles() {
  std::string base;
  {
    std::lock_guard lock(core_->state().mutex);
    base = core_->state().software_base_url;
  }
  const MirrorLines lines = MirrorLinesOf(core_->state());
  const std::array<bool, 3> selected = SelectedMirrorLines(core_->window().controls());
  std::vector<std::string> urls;
  std::vector<std::string> files;
  for (const std::string& listed :
       PatchListUrls(FetchText(*core_, base + "/pifu.txt", kPatchListMaxBytes))) {
    if (!QueueableUrl(listed)) continue;
    std::string url = RewriteForMirror(listed, selected, lines);
    std::string file = FileNameOfUrl(url);
    // A name the cache refuses would fail anyway; one already queued would fail its move.
    if (!ValidCacheFileName(file)) continue;
    if (std::find(files.begin(), files.end(), file) != files.end()) continue;
    files.push_back(std::move(file));
    urls.push_back(std::move(url));
  }
  return urls;
}

void ModelPatchFeature::TaskSettled(std::uint64_t task) {
  std::lock_guard lock(mutex_);
  // Available again once the queue has taken every archive of the update in (or given it up).
  if (out_.erase(task) > 0 && out_.empty()) {
    core_->window().controls().SetEnabled(names::kPatch, true);
  }
}

std::size_t ModelPatchFeature::TasksOut() const {
  std::lock_guard lock(mutex_);
  return out_.size();
}

}  // namespace brindle
