#include "app/core.h"

#include <cstdio>
#include <set>

#include "app/endpoints.h"
#include "app/installation.h"
#include "app/partial_download.h"
#include "app/program_folder.h"
#include "foundation/encoding.h"
#include "foundation/http_settings.h"
#include "foundation/machine_id.h"
#include "foundation/settings_file.h"
#include "platform/gbk_text.h"
#include "platform/platform.h"

namespace brindle {
namespace {

// The extract-into-game check box: "1" on, "0" off.
constexpr char kAutoExtractKey[] = "AutoExtractToGame";

}  // namespace

std::string HostOfUrl(const std::string& url) {
  std::string rest = url;
  if (auto scheme = rest.find("://"); scheme != std::string::npos) rest = rest.substr(scheme + 3);
  if (auto slash = rest.find('/'); slash != std::string::npos) rest.resize(slash);
  return rest;
}

Core::Core(AppState& state, Window& window) : state_(state), window_(window) {}

Core::~Core() {
  workers_.StopAndJoin();
  ReleaseProgramFolder();
}

void Core::ReleaseProgramFolder() {
  platform::unlock_file(folder_dir_lock_);
  folder_dir_lock_ = -1;
  platform::unlock_file(folder_lock_);
  folder_lock_ = -1;
  owns_folder_ = false;
}

std::string Core::FolderLockPath() const {
  const char sep = platform::path_separator();
  return state_.program_dir + sep + "download" + sep + "brindle.lock";
}

std::string Core::FolderInUseMessage() {
  return gbk("程序目录正被另一个Brindle程序使用(窗口或 brindle-cli), 请先关闭它");
}

bool Core::ClaimProgramFolder() {
  if (folder_lock_ >= 0) return true;  // this core owns it already
  platform::FileHandle lock = platform::kInvalidFile;
  const std::string lock_path = FolderLockPath();
  const std::string download_dir = lock_path.substr(0, lock_path.rfind(platform::path_separator()));
  switch (platform::lock_file(lock_path, lock)) {
    case platform::LockOutcome::kTaken: {
      // The lock file may have been deleted under a running owner, whose lock then holds a file
      // nobody else opens: the folder's own lock still names that owner.
      platform::FileHandle dir_lock = platform::kInvalidFile;
      if (platform::lock_folder(download_dir, dir_lock) == platform::LockOutcome::kHeldElsewhere) {
        platform::unlock_file(lock);
        break;
      }
      folder_lock_ = lock;
      folder_dir_lock_ = dir_lock;
      owns_folder_ = true;
      return true;
    }
    case platform::LockOutcome::kFailed: {
      // A folder where nothing can be written (read-only, say) has no second owner to fear. In
      // a writable one the lock file is in the way (a folder put in its place, a file being
      // deleted): that may hide an owner, so this program does not claim the folder.
      const std::string probe = download_dir + platform::path_separator() + ".write-probe";
      const bool writable = platform::write_file_atomic(probe, "");
      (void)platform::delete_file(probe);
      if (writable) break;
      owns_folder_ = true;
      return true;
    }
    case platform::LockOutcome::kHeldElsewhere:
      break;
  }
  owns_folder_ = false;
  if (claim_ == FolderClaim::kOwnOrShare) return true;
  window_.MessageBox("", FolderInUseMessage(), "");
  return false;
}

std::string Core::SettingsPath() const { return SettingsFilePath(state_); }

void Core::AddFeature(std::unique_ptr<Feature> feature) {
  features_.push_back(std::move(feature));
  features_.back()->Bind(*this);
}

void Core::ShowPage(int page) {
  if (!window_.RequireInitialised(state_.initialised)) return;
  window_.controls().SetVisible(names::kPlayerPanel, false);
  if (!window_.SelectPage(page)) return;
  for (const auto& feature : features_) feature->OnPageShown(*this, page);
}

std::string Core::ReadSetting(const std::string& key) const {
  return brindle::ReadSetting(SettingsPath(), key);
}

void Core::WriteSetting(const std::string& key, const std::string& value) const {
  (void)brindle::WriteSetting(SettingsPath(), key, value);  // a failing write is not reported
}

bool Core::Prepare(const CommandLine& command_line) {
  state_.program_dir = command_line.program_dir.empty()
                           ? DefaultProgramFolder(ExecutableDir(), ThisProgramRunsInstalled())
                           : command_line.program_dir;
  ApplyDefaultEndpoints(state_);
  if (!command_line.endpoints_file.empty() &&
      !LoadEndpointsFile(command_line.endpoints_file, state_)) {
    std::fprintf(stderr, "cannot read the endpoints file %s\n",
                 command_line.endpoints_file.c_str());
    return false;
  }
  // A failed libcurl start shows as failing transfers; each client checks it again.
  (void)http_global_init();
  set_request_user_agent(state_.request_user_agent);
  set_download_user_agent(state_.download_user_agent);
  return true;
}

std::vector<std::string> ComponentFilesIn(const std::string& data_dir, char separator,
                                          std::span<const std::string_view> files) {
  std::vector<std::string> out;
  for (std::string_view file : files) out.push_back(data_dir + separator + std::string(file));
  return out;
}

std::vector<std::string> Core::ComponentFiles() const {
#ifdef _WIN32
  const char sep = '\\';
  std::vector<std::string> files = ComponentFilesIn(state_.data_dir, sep, kWindowsComponents);
#else
  const char sep = '/';
  std::vector<std::string> files = ComponentFilesIn(state_.data_dir, sep, kLinuxComponents);
#endif
  // An installed program without an extractor of its own runs the one installed with it, and
  // needs what the extractor needs beside it there.
  const std::string extractor = ExtractorFile(state_);
  if (extractor == files.front()) return files;
  const std::string folder = extractor.substr(0, extractor.rfind(sep) + 1);
  for (std::string& file : files) file = folder + file.substr(file.rfind(sep) + 1);
  files.front() = extractor;
  return files;
}

std::string Core::MissingComponentMessage() const {
  return gbk("程序不完整! 软件目录下 qdata/7zip/q_unbz2.exe 未找到 请登录 ") +
         HostOfUrl(state_.forum_base_url) + gbk(" 重下载");
}

void Core::EmptyDownloadCache() {
  const std::string& dir = state_.download_cache_dir;
  auto entries = platform::list_directory(dir);
  // A partial download that can continue stays, with its record; its URL queued again resumes.
  std::set<std::string> spared;
  for (const auto& entry : entries) {
    if (entry.is_directory || !GbkEndsWithIgnoreCase(entry.name, ".tmp")) continue;
    if (ResumableBytes(dir + entry.name) > 0) {
      spared.insert(entry.name);
      spared.insert(entry.name + ".resume");
    }
  }
  // Configuration pieces first, then partial downloads, then everything else.
  for (std::string_view pass :
       {std::string_view(".cfg"), std::string_view(".td"), std::string_view()}) {
    for (const auto& entry : entries) {
      if (entry.is_directory || spared.contains(entry.name)) continue;
      if (!pass.empty() && !GbkEndsWithIgnoreCase(entry.name, pass)) continue;
      (void)platform::delete_file(dir +
                                  entry.name);  // a file in use stays; the next start tries again
    }
  }
}

int Core::RemoveStaleTempFiles() {
  const char sep = platform::path_separator();
  std::vector<std::string> dirs = {state_.data_dir, state_.data_dir + sep + "miniblink"};
  {
    std::lock_guard lock(state_.mutex);
    dirs.push_back(state_.game.csgo_map_dir);
    dirs.push_back(state_.game.cs2_map_dir);
  }
  int removed = 0;
  for (const std::string& dir : dirs) {
    if (!dir.empty()) removed += platform::remove_stale_temp_files(dir);
  }
  return removed;
}

bool Core::OnMainWindowCreated() {
  Window& w = window_;
  w.ShowStatus(gbk("加载中..."));
  w.controls().SetCaption(names::kSignIn, gbk("登录"));
  w.controls().SetCaption(names::kUserName, gbk("请登录"));

  const char sep = platform::path_separator();
  state_.data_dir = state_.program_dir + sep + "qdata";
  state_.local_version = 10070;
  state_.machine_id = ComputeMachineId();

  state_.download_cache_dir = state_.program_dir + sep + "download" + sep + "data" + sep;
  for (const std::string& dir :
       {state_.program_dir + sep + "download", state_.program_dir + sep + "download" + sep + "data",
        state_.data_dir}) {
    // A folder that cannot be made shows up later as a failing write or download.
    if (!platform::is_directory(dir)) (void)platform::create_directory(dir);
  }

  for (const auto& file : require_components ? ComponentFiles() : std::vector<std::string>{}) {
    if (!platform::file_exists(file)) {
      w.MessageBox("", MissingComponentMessage(), "");
      return false;
    }
  }

  if (!ClaimProgramFolder()) return false;

  for (const auto& feature : features_) feature->OnWindowCreated(*this);
  // The cache belongs to the folder's owner: a guest must not delete a running download's files.
  if (OwnsProgramFolder()) EmptyDownloadCache();
  LoadSettings();
  ShowStoredGamePaths();
  (void)RemoveStaleTempFiles();  // how many is of no interest here

  state_.initialised = false;
  w.clock().BindClock(names::kClockGameDetect, [this] { OnGameDetectTimer(); });
  w.clock().BindClock(names::kClockStartup, [this] { OnStartupTimer(); });
  w.StartClock(names::kClockGameDetect);
  return true;
}

void Core::OnStartupTimer() {
  window_.clock().StopClock(names::kClockStartup);
  if (state_.initialised) return;
  for (const auto& feature : features_) feature->OnStartup(*this);
  if (!features_.empty()) {
    workers_.Start("init", [this] {
      for (const auto& feature : features_) {
        if (workers_.Stopping()) return;
        feature->OnInitThread(*this);
      }
    });
  }
  state_.initialised = true;
  window_.ClearStatus();
}

void Core::OnGameDetectTimer() { DetectGames(*this); }

void Core::ShowStoredGamePaths() {
  std::string csgo;
  std::string cs2;
  {
    std::lock_guard lock(state_.mutex);
    csgo = state_.game.csgo_dir;
    cs2 = state_.game.cs2_dir;
  }
  // The folders chosen in an earlier run, until detection or a new choice says otherwise.
  std::string text;
  for (const std::string* folder : {&csgo, &cs2}) {
    if (folder->empty()) continue;
    if (!text.empty()) text += "\n";
    text += gbk("已配置路径:") + *folder;
  }
  if (!text.empty()) window_.controls().SetCaption(names::kGamePathLabel, text);
}

void Core::LoadSettings() {
  const std::string path = SettingsPath();
  if (!platform::file_exists(path)) return;
  GamePaths& g = state_.game;
  {
    std::lock_guard lock(state_.mutex);
    g.csgo_dir = ReadSetting("CSGOPath");
    g.csgo_dir_copy = ReadSetting("CSGOPathCMD");
    g.csgo_map_dir = ReadSetting("CSGOMapPath");
    g.csgo_map_dir_copy = ReadSetting("CSGOMapPathCMD");
    g.cs2_dir = ReadSetting("CS2Path");
    g.cs2_dir_copy = ReadSetting("CS2PathCMD");
    g.cs2_map_dir = ReadSetting("CS2MapPath");
    g.cs2_map_dir_copy = ReadSetting("CS2MapPathCMD");
    g.cs2_manual = TextToInt(ReadSetting("CS2Path_manual_operation"));
    g.csgo_manual = TextToInt(ReadSetting("CSGOPath_manual_operation"));
  }
  state_.cs2_join_no_tip = TextToInt(ReadSetting("CS2_JoinNoTip"));
  state_.launcher_login_type = 0;
  if (!ReadSetting("LuncherLoginType").empty()) {
    // The second file's folder name is spelled as the community ships it.
    const char sep = platform::path_separator();
    state_.launcher_login_type = TextToInt(brindle::ReadSetting(
        state_.program_dir + sep + "qdatga" + sep + "Config2.ini", "LuncherLoginType"));
  }
  state_.auto_login_discuz = ReadSetting("AutoLoginDiscuz");
  state_.hide_un7z = ReadSetting("hideUn7z") == "1";

  Controls& c = window_.controls();
  c.SetChecked(names::kLaunchAuto, true);
  const std::string mode = ReadSetting("GameLuncherMode");
  if (mode == "2") c.SetChecked(names::kLaunchSteam, true);
  if (mode == "3") c.SetChecked(names::kLaunchSteamRunAppid, true);
  if (mode == "4") c.SetChecked(names::kLaunchSteamChina, true);
  if (mode == "5") c.SetChecked(names::kLaunchCs2, true);

  // A stored "1" shows the Perfect World option chosen, as the person left it.
  const std::string region = ReadSetting("GameLuncherRegion");
  if (region == "2") c.SetChecked(names::kRegionWorld, true);
  if (region == "1") c.SetChecked(names::kRegionChina, true);

  // Without it finished maps stay in the download cache, so a forgotten choice costs the player.
  c.SetChecked(names::kAutoExtract, ReadSetting(kAutoExtractKey) == "1");
}

void Core::OnLaunchModeChosen(int mode) {
  static const char* const kNames[] = {names::kLaunchAuto, names::kLaunchSteam,
                                       names::kLaunchSteamRunAppid, names::kLaunchSteamChina,
                                       names::kLaunchCs2};
  static const char* const kTexts[] = {"已切换自动模式", "遵循Steam", "直接启动并进入",
                                       "仅[蒸汽中国客户端]", "CS2 直接启动并进入"};
  if (mode < 1 || mode > 5) return;
  window_.controls().SetChecked(kNames[mode - 1], true);
  WriteSetting("GameLuncherMode", std::to_string(mode));
  window_.ShowStatus(gbk(kTexts[mode - 1]));
}

void Core::OnRegionChosen(int region) {
  if (region != 1 && region != 2) return;
  window_.controls().SetChecked(region == 1 ? names::kRegionChina : names::kRegionWorld, true);
  WriteSetting("GameLuncherRegion", region == 1 ? "1" : "2");
}

void Core::OnAutoExtractSwitch(bool on) {
  window_.controls().SetChecked(names::kAutoExtract, on);
  WriteSetting(kAutoExtractKey, on ? "1" : "0");
}

void Core::OnPreDownloadSwitch(bool on) {
  Controls& c = window_.controls();
  bool logged_in;
  {
    std::lock_guard lock(state_.mutex);
    logged_in = !state_.login.uid.empty();
  }
  if (!logged_in) {
    c.SetChecked(names::kPreDownloadSwitch, false);
    window_.ShowNotice(gbk("请登录"));
    return;
  }
  c.SetChecked(names::kPreDownloadSwitch, on);
  if (on) {
    WriteSetting("PreDownloadEnable", "1");
    window_.ShowNotice(gbk("预热下载开启.."));
    window_.clock().StartClock(names::kClockPreDownload, 15000);
  } else {
    WriteSetting("PreDownloadEnable", "0");
    window_.ShowNotice(gbk("预热下载关闭.."));
    window_.clock().StopClock(names::kClockPreDownload);
  }
}

}  // namespace brindle
