#include "support/maps_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "app/endpoints.h"
#include "foundation/encoding.h"
#include "foundation/http_client.h"
#include "maps/download_task.h"
#include "support/extractor_files.h"
#include "view/control_names.h"

namespace brindle::test {

namespace fs = std::filesystem;

void MapsFixture::SetUp() {
  ASSERT_TRUE(sim_->running()) << sim_->error();
  fx_ = std::make_unique<CoreFixture>();
  ASSERT_TRUE(LoadEndpointsFile(sim_->endpoints_file(), fx_->state()));
  const fs::path root = fx_->dir().path();
  ASSERT_TRUE(InstallRealExtractor(root / "qdata" / "7zip"));

  csgo_dir_ = TempDir::DirText(root / "game");
  maps_dir_ = TempDir::DirText(root / "game" / "csgo" / "maps");
  cs2_maps_dir_ = TempDir::DirText(root / "cs2" / "game" / "csgo" / "maps");
  fs::create_directories(maps_dir_);
  fs::create_directories(cs2_maps_dir_);
  spit(csgo_dir_ + "steam_appid.txt", "730");
  spit(maps_dir_ + "de_dust2.bsp", "official");
  spit(cs2_maps_dir_ + "de_dust2.vpk", "official");
  {
    AppState& state = fx_->state();
    std::lock_guard lock(state.mutex);
    state.game.csgo_dir = state.game.csgo_dir_copy = csgo_dir_;
    state.game.csgo_map_dir = state.game.csgo_map_dir_copy = maps_dir_;
    state.game.cs2_map_dir = state.game.cs2_map_dir_copy = cs2_maps_dir_;
  }
  auto feature = std::make_unique<MapDownloadsFeature>();
  downloads_ = feature.get();
  core().AddFeature(std::move(feature));
  ASSERT_TRUE(core().OnMainWindowCreated());
  {
    // The games are chosen, as a user picks them: the detection clock must not move them to a
    // game that another test runs on this machine (the installation tests start copies named
    // like the games).
    AppState& state = fx_->state();
    std::lock_guard lock(state.mutex);
    state.game.csgo_manual = 1;
    state.game.cs2_manual = 1;
  }
}

void MapsFixture::TearDown() {
  fx_->StopWorkers();
  fx_.reset();
}

std::string MapsFixture::Primary(const std::string& path) const { return sim_->http_url(path); }

std::string MapsFixture::Secondary(const std::string& path) const {
  std::string base = sim_->http_base();
  return "http://localhost" + base.substr(base.rfind(':')) + path;
}

void MapsFixture::IntoGame(bool on) { window().controls().SetChecked(names::kAutoExtract, on); }

std::uint64_t MapsFixture::Queue(const std::string& url) {
  return downloads_->AppendTask(FileNameOfUrl(url), gbk("等待下载"), url, "");
}

bool MapsFixture::StepClock() {
  ports().Advance(50);
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

TaskOutcome MapsFixture::Final(std::uint64_t task) {
  TaskOutcome outcome;
  const bool done = Drive([&] {
    auto now = downloads_->Outcome(task);
    if (!now || now->result == TaskResult::kPending) return false;
    outcome = *now;
    return true;
  });
  EXPECT_TRUE(done) << "task " << task << " never ended";
  return outcome;
}

bool MapsFixture::DriveUntilIdle() {
  return Drive([&] {
    // Download all still has rows to move while its clock runs.
    if (window().resources().RowCount() > 0 && ports().ClockRunning(names::kClockMove)) {
      return false;
    }
    if (!downloads_->Idle()) return false;
    for (const TaskOutcome& outcome : downloads_->Outcomes()) {
      if (outcome.result == TaskResult::kPending) return false;
    }
    return true;
  });
}

void MapsFixture::ScriptList(const std::string& group, const std::string& body, int status) {
  int answer = 0;
  http_request(sim_->http_url("/test/mapdata/" + group + "?status=" + std::to_string(status)),
               {.method = 1, .body = body}, &answer);
  ASSERT_EQ(answer, 200);
}

std::string MapsFixture::CacheFile(const std::string& name) const {
  return fx_->state().download_cache_dir + name;
}

std::string MapsFixture::MapFile(const std::string& name) const { return maps_dir_ + name; }

}  // namespace brindle::test
