// The model and material patch against brindle-sim: the captions of the patch button, the
// version clamp, "无需更新", answers that are no version, the file list with its bad lines, the
// mirror rewrite, and a whole update through the real queue and 7zz that leaves the new version
// file in the CS:GO folder, the caption following it and the button available again.
#include "maps/model_patch.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/encoding.h"
#include "support/maps_fixture.h"
#include "support/sim_admin.h"
#include "view/control_names.h"
#include "view/window.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::MapsFixture;

class ModelPatchTest : public MapsFixture {
 protected:
  void SetUp() override {
    MapsFixture::SetUp();
    ASSERT_TRUE(test::SimReset(*sim_, "/test/model_version"));
    ASSERT_TRUE(test::SimReset(*sim_, "/test/pifu"));
    auto feature = std::make_unique<ModelPatchFeature>();
    patch_ = feature.get();
    core().AddFeature(std::move(feature));
    IntoGame(true);
  }

  std::string VersionFile() const { return ModelVersionFile(csgo_dir_); }
  void Install(const std::string& version) {
    fs::create_directories(fs::path(VersionFile()).parent_path());
    test::spit(VersionFile(), version);
  }
  std::string Caption() { return window().controls().Caption(names::kPatch); }
  bool PatchEnabled() { return window().controls().Enabled(names::kPatch); }
  std::vector<std::string> QueuedUrls(const std::vector<std::uint64_t>& ids) {
    std::vector<std::string> urls;
    for (std::uint64_t id : ids) urls.push_back(downloads().Outcome(id)->url);
    return urls;
  }

  ModelPatchFeature* patch_ = nullptr;
};

TEST_F(ModelPatchTest, CaptionsAndTheClamp) {
  PatchStatus status = patch_->CheckModelPatch();
  EXPECT_EQ(status.state, PatchState::kNotInstalled);
  EXPECT_EQ(Caption(), gbk("材质补丁(未下载)"));

  // 40000000 is compared as 20190101, older than the sim's 20240315, and sent as read.
  Install("40000000");
  status = patch_->CheckModelPatch();
  EXPECT_EQ(status.state, PatchState::kOutdated);
  EXPECT_EQ(Caption(), gbk("材质补丁(已过期)"));
  EXPECT_EQ(test::SimRequest(*sim_, "GET", "/test/model_version/last"), "40000000");

  Install("39999999");
  status = patch_->CheckModelPatch();
  EXPECT_EQ(status.state, PatchState::kInstalled);
  EXPECT_EQ(Caption(), gbk("材质补丁\r\n(") + "39999999)");

  // Equal: installed for the check, "无需更新" for the button, nothing queued.
  Install("20240315");
  EXPECT_EQ(patch_->CheckModelPatch().state, PatchState::kInstalled);
  EXPECT_EQ(patch_->UpdateModelPatch(), PatchUpdate::kUpToDate);
  ASSERT_FALSE(ports().Boxes().empty());
  EXPECT_EQ(ports().Boxes().back().title, gbk("无需更新"));
  EXPECT_EQ(ports().Boxes().back().text, gbk("您已经是最新版本模型补丁了本机版本"));
  EXPECT_EQ(window().download_queue().RowCount(), 0);
  EXPECT_TRUE(PatchEnabled());
}

TEST_F(ModelPatchTest, AnswersThatAreNoVersionQueueNothing) {
  Install("20190101");
  for (const char* answer : {"", "abc", "<html><body><h1>502 Bad Gateway</h1></body></html>"}) {
    ASSERT_TRUE(test::SimSet(*sim_, "/test/model_version", answer));
    const PatchStatus status = patch_->CheckModelPatch();
    EXPECT_EQ(status.state, PatchState::kInstalled) << answer;
    EXPECT_EQ(Caption(), gbk("材质补丁\r\n(") + "20190101)") << answer;
    const std::size_t boxes = ports().Boxes().size();
    EXPECT_EQ(patch_->UpdateModelPatch(), PatchUpdate::kNoAnswer) << answer;
    EXPECT_EQ(ports().Boxes().size(), boxes) << "no 无需更新 without an answer";
    EXPECT_EQ(window().download_queue().RowCount(), 0) << answer;
    EXPECT_TRUE(PatchEnabled());
  }
}

TEST_F(ModelPatchTest, WrongPathShowsTheBox) {
  fs::remove(MapFile("de_dust2.bsp"));
  EXPECT_EQ(patch_->UpdateModelPatch(), PatchUpdate::kWrongPath);
  ASSERT_FALSE(ports().Boxes().empty());
  EXPECT_EQ(ports().Boxes().back().title, gbk("您的路径设置似乎不正确!"));
  EXPECT_EQ(window().download_queue().RowCount(), 0);
}

TEST_F(ModelPatchTest, BadListLinesAndRepeatsAreLeftOut) {
  IntoGame(false);  // only the queueing is looked at here
  const std::string good = Primary("/maps/patch/brindle_models_20240315.7z");
  ASSERT_TRUE(
      test::SimSet(*sim_, "/test/pifu",
                   "\r\n"
                   "one-field-only\r\n"
                   "a--" +
                       good +
                       "--third field\r\n"
                       "b--" +
                       good +
                       "\r\n"                                                      // repeated URL
                       "c--http://{primary}/other/brindle_models_20240315.7z\r\n"  // same name
                       "d--http://{primary}/maps/my patch.7z\r\n"                  // blank inside
                       "e--http://{primary}/maps/x.7z?evil=1\r\n"  // not a file name
                       "f--http://{primary}/maps/\r\n"             // no file name at all
                       "g--ftp://{primary}/maps/y.7z\r\n"
                       "\r\n"));
  const std::vector<std::uint64_t> ids = patch_->QueuePatchFiles();
  ASSERT_EQ(QueuedUrls(ids), std::vector<std::string>{good});
  EXPECT_EQ(window().download_queue().Cell(0, 3), gbk("材质补丁"));
  EXPECT_FALSE(PatchEnabled());
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_TRUE(PatchEnabled());

  // An empty list queues nothing and gives the button back at once.
  ASSERT_TRUE(test::SimSet(*sim_, "/test/pifu", ""));
  EXPECT_TRUE(patch_->QueuePatchFiles().empty());
  EXPECT_TRUE(PatchEnabled());
}

TEST_F(ModelPatchTest, QueueingRemovesTheRowsOnly) {
  IntoGame(false);
  window().resources().Append({"a", gbk("需要下载"), Primary("/maps/empty/a.bsp"), ""});
  downloads().DownloadAll();
  ASSERT_TRUE(ports().ClockRunning(names::kClockMove));
  ASSERT_FALSE(window().controls().Enabled(names::kStartDownload));
  EXPECT_EQ(patch_->QueuePatchFiles().size(), 2u);
  EXPECT_EQ(window().resources().RowCount(), 0);
  // Unlike the clear button, a running "download all" is not stopped nor its button given back.
  EXPECT_TRUE(ports().ClockRunning(names::kClockMove));
  EXPECT_FALSE(window().controls().Enabled(names::kStartDownload));
  ASSERT_TRUE(DriveUntilIdle());
}

TEST_F(ModelPatchTest, TelecomHttpsRewriteAndFailedTasksGiveTheButtonBack) {
  {
    std::lock_guard lock(fx().state().mutex);
    fx().state().mirror_host[2] = "127.0.0.1:1";  // nothing listens there
    fx().state().mirror_https[2] = true;
  }
  window().controls().SetChecked(names::kMirror2, true);
  const std::vector<std::uint64_t> ids = patch_->QueuePatchFiles();
  ASSERT_EQ(ids.size(), 2u);
  for (const std::string& url : QueuedUrls(ids)) {
    EXPECT_TRUE(url.starts_with("https://127.0.0.1:1/maps/patch/brindle_")) << url;
  }
  EXPECT_FALSE(PatchEnabled());
  for (std::uint64_t id : ids) EXPECT_EQ(Final(id).result, TaskResult::kFailed);
  EXPECT_TRUE(Drive([&] { return PatchEnabled(); }));
}

TEST_F(ModelPatchTest, UpdateInstallsTheArchivesAndTheCaptionFollows) {
  Install("20200101");
  EXPECT_EQ(patch_->CheckModelPatch().state, PatchState::kOutdated);
  ASSERT_TRUE(test::SimSet(*sim_, "/test/model_version", "20250601"));
  std::vector<std::uint64_t> ids;
  ASSERT_EQ(patch_->UpdateModelPatch(&ids), PatchUpdate::kQueued);
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_FALSE(PatchEnabled());
  // A second click while the archives are out queues nothing more.
  EXPECT_EQ(patch_->UpdateModelPatch(), PatchUpdate::kBusy);
  for (std::uint64_t id : ids) EXPECT_EQ(Final(id).result, TaskResult::kInstalled);
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_EQ(test::slurp(VersionFile()), "20250601");
  EXPECT_TRUE(fs::exists(csgo_dir_ + "csgo/models/player/custom_player/2019x/brindle_ct.mdl"));
  EXPECT_TRUE(
      fs::exists(csgo_dir_ + "csgo/materials/models/player/custom_player/2019x/brindle_ct.vtf"));
  EXPECT_FALSE(fs::exists(CacheFile("brindle_models_20250601.7z")));
  EXPECT_TRUE(PatchEnabled());
  // The installation asked for the check again: the caption shows the new version.
  EXPECT_TRUE(Drive([&] { return Caption() == gbk("材质补丁\r\n(") + "20250601)"; }));
  EXPECT_EQ(patch_->UpdateModelPatch(), PatchUpdate::kUpToDate);
}

TEST_F(ModelPatchTest, HostileArchiveStaysInsideTheGameFolder) {
  const std::string token = "patch" + test::RunToken();
  ASSERT_TRUE(test::SimSet(*sim_, "/test/pifu",
                           "a--http://{primary}/maps/hostile/dotdot/" + token +
                               "/de_evil.7z\r\n"
                               "b--http://{primary}/maps/hostile/absolute/" +
                               token + "/de_evil2.7z\r\n"));
  const std::vector<std::uint64_t> ids = patch_->QueuePatchFiles();
  ASSERT_EQ(ids.size(), 2u);
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_FALSE(fs::exists(fs::path(csgo_dir_).parent_path().parent_path() / "evil.bsp"));
  EXPECT_FALSE(fs::exists("/tmp/brindle-evil-" + token));
  EXPECT_TRUE(PatchEnabled());
}

}  // namespace
}  // namespace brindle
