// The extractor as a child process, with stand-ins in its place (shell scripts on Linux, the
// tests' own program on Windows): the exact command line and working folder, the exit code
// deciding success, and the staging folder that keeps a failed or hostile extraction out of the
// game.
#include "maps/extractor.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/encoding.h"
#include "maps/map_downloads.h"
#include "support/core_fixture.h"
#include "support/extractor_files.h"
#include "support/running_copy.h"
#include "view/control_names.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

TEST(ExtractorCommandLineTest, ExactTextAndItsArguments) {
  const std::string line = ExtractorCommandLine("/p/download/data/de x.bsp.bz2", "/g/csgo/maps/");
  EXPECT_EQ(line, "q_unbz2 x \"/p/download/data/de x.bsp.bz2\" -o\"/g/csgo/maps/\" -aoa");
  EXPECT_EQ(SplitCommandLine(line),
            (std::vector<std::string>{"q_unbz2", "x", "/p/download/data/de x.bsp.bz2",
                                      "-o/g/csgo/maps/", "-aoa"}));
  EXPECT_EQ(SplitCommandLine("  a  \"\"  b"), (std::vector<std::string>{"a", "", "b"}));
}

class ExtractorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto feature = std::make_unique<MapDownloadsFeature>();
    downloads_ = feature.get();
    fx_.core().AddFeature(std::move(feature));
    maps_ = fx_.dir().dir() + "maps" + sep_;
    fs::create_directories(maps_);
    std::lock_guard lock(fx_.state().mutex);
    fx_.state().game.csgo_map_dir = fx_.state().game.csgo_map_dir_copy = maps_;
    fx_.controls().SetChecked(names::kAutoExtract, true);
  }
  void StandIn(const test::ExtractorActions& actions) {
    ASSERT_TRUE(test::InstallExtractorStandIn(fx_.dir().path() / "qdata" / "7zip", actions));
  }
  // Queues an archive of the cache for extraction and serves the queue until it is empty.
  TaskResult Extract(const std::string& name, std::int64_t listed_size = 0,
                     const std::string& bytes = "BZh91AY&SY archive") {
    test::spit(fx_.state().download_cache_dir + name, bytes);
    const std::uint64_t task = ++task_;  // as if a download had just finished
    downloads_->InstallFile(name, task, listed_size);
    EXPECT_TRUE(fx_.AdvanceUntil([&] {
      fx_.ports().Advance(100);
      return downloads_->Idle();
    }));
    const std::optional<TaskOutcome> outcome = downloads_->Outcome(task);
    if (!outcome) {
      ADD_FAILURE() << "no outcome for " << name;
      return TaskResult::kFailed;
    }
    return outcome->result;
  }
  std::vector<std::string> MapsFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(maps_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  test::CoreFixture fx_;
  MapDownloadsFeature* downloads_ = nullptr;
  const char sep_ = platform::path_separator();
  std::string maps_;
  std::uint64_t task_ = 100;
};

TEST_F(ExtractorTest, RunsWithTheCommandLineInItsOwnFolder) {
  test::ExtractorActions actions;
  actions.record = fx_.dir().path() / "args";
  StandIn(actions);
#ifdef _WIN32
  const std::string target = fx_.dir().dir() + "target dir" + sep_;
#else
  // A double quote in the path stays inside its argument (Windows names cannot hold one).
  const std::string target = fx_.dir().dir() + "target \" dir" + sep_;
#endif
  const auto child = downloads_->StartExtractor(gbk("地图 x.bsp.bz2"), target, true);
  ASSERT_NE(child, platform::kInvalidProcess);
  int code = -1;
  ASSERT_EQ(platform::wait_process(child, 10000, code), platform::WaitOutcome::kExited);
  EXPECT_EQ(code, 0);
  // The record is UTF-8; the folders here are ASCII.
  EXPECT_EQ(test::slurp(actions.record), "x\n" + fx_.state().download_cache_dir +
                                             "地图 x.bsp.bz2\n-o" + target + "\n-aoa\n-tbzip2\n" +
                                             fx_.state().data_dir + sep_ + "7zip\n");
}

TEST_F(ExtractorTest, SuccessMovesTheMapIntoPlaceAndCleansUp) {
  test::ExtractorActions actions;
  actions.map = "ze_a.bsp";
  actions.bytes = "new map";
  StandIn(actions);
  test::spit(maps_ + "ze_a.bsp", "old map");
  // Left by a run that ended during an extraction.
  fs::create_directories(fs::path(maps_) / ".q_unbz2-7" / "sub");
  test::spit(fs::path(maps_) / ".q_unbz2-7" / "sub" / "half.bsp", "half");
  EXPECT_EQ(Extract("ze_a.bsp.bz2"), TaskResult::kInstalled);
  EXPECT_EQ(test::slurp(maps_ + "ze_a.bsp"), "new map");
  EXPECT_EQ(MapsFolder(), (std::vector<std::string>{"ze_a.bsp"}));  // no staging folder left
  EXPECT_FALSE(fs::exists(fx_.state().download_cache_dir + "ze_a.bsp.bz2"));
  EXPECT_EQ(downloads_->stats().Snapshot().extracted, 1);
  EXPECT_TRUE(downloads_->extraction_table().is_empty());
}

TEST_F(ExtractorTest, TheQueueShowsTheMapBeingUnpackedAndHowFarItIs) {
  const fs::path go = fx_.dir().path() / "go";
  test::ExtractorActions actions;
  actions.map = "ze_half.bsp";
  actions.bytes = std::string(500, 'x');  // half of the listed size, then it waits
  actions.wait_for = go;
  StandIn(actions);
  test::spit(fx_.state().download_cache_dir + "ze_half.bsp.bz2", "BZh91AY&SY archive");
  test::spit(fx_.state().download_cache_dir + "ze_next.bsp.bz2", "BZh91AY&SY archive");
  downloads_->InstallFile("ze_half.bsp.bz2", 1, 1000);
  downloads_->InstallFile("ze_next.bsp.bz2", 2, 1000);
  ListModel& queue = fx_.window().extract_queue();
  ASSERT_TRUE(fx_.AdvanceUntil([&] {
    fx_.ports().Advance(100);
    return queue.Cell(0, cols::kExtractProgress) == "%50";
  }));
  EXPECT_EQ(queue.Rows(), (std::vector<ListRow>{{"ze_half.bsp.bz2", "%50", gbk("解压中")},
                                                {"ze_next.bsp.bz2", "%0", gbk("待解压")}}));
  test::spit(go, "");
  ASSERT_TRUE(fx_.AdvanceUntil([&] {
    fx_.ports().Advance(100);
    return downloads_->Idle();
  }));
  EXPECT_EQ(queue.RowCount(), 0);
}

TEST_F(ExtractorTest, FailedExtractionLeavesTheGameAsItWas) {
  test::spit(maps_ + "ze_a.bsp", "good map");
  // Half a map written, then an error exit.
  test::ExtractorActions half;
  half.map = "ze_a.bsp";
  half.bytes = "half";
  half.exit_code = 2;
  StandIn(half);
  EXPECT_EQ(Extract("ze_a.bsp.bz2"), TaskResult::kFailed);
  EXPECT_EQ(downloads_->Outcome(task_)->reason, "the extractor ended with exit code 2");
  // Success with nothing written.
  StandIn(test::ExtractorActions{});
  EXPECT_EQ(Extract("ze_b.bsp.bz2"), TaskResult::kFailed);
  EXPECT_EQ(test::slurp(maps_ + "ze_a.bsp"), "good map");
  EXPECT_EQ(MapsFolder(), (std::vector<std::string>{"ze_a.bsp"}));
  const DownloadCounters counters = downloads_->stats().Snapshot();
  EXPECT_EQ(counters.extraction_failures, 2);
  EXPECT_EQ(counters.extracted, 0);
  EXPECT_EQ(counters.waiting_for_extraction, 0);
}

TEST_F(ExtractorTest, HostileExtractionWithALinkLeavesTheGameAsItWas) {
  if (!test::SystemMakesLinks(fx_.dir().path() / "link-probe")) {
    GTEST_SKIP() << "no link can be made here (under Wine 8 CreateSymbolicLinkW reports success "
                    "and makes nothing)";
  }
  test::spit(maps_ + "ze_a.bsp", "good map");
  // Success claimed, but a link among the output.
  test::ExtractorActions hostile;
  hostile.map = "ze_a.bsp";
  hostile.bytes = "x";
  hostile.link = "root";
  StandIn(hostile);
  EXPECT_EQ(Extract("ze_a.bsp.bz2"), TaskResult::kFailed);
  EXPECT_EQ(downloads_->Outcome(task_)->reason, "the archive holds a link or a special file: root");
  EXPECT_EQ(test::slurp(maps_ + "ze_a.bsp"), "good map");
  EXPECT_EQ(MapsFolder(), (std::vector<std::string>{"ze_a.bsp"}));
  EXPECT_EQ(downloads_->stats().Snapshot().extraction_failures, 1);
}

TEST_F(ExtractorTest, MissingExtractorOrGameFolderCountsAFailure) {
  // No extractor installed at all.
  EXPECT_EQ(Extract("ze_c.bsp.bz2"), TaskResult::kFailed);
  EXPECT_EQ(downloads_->Outcome(task_)->reason, "the extractor cannot be started");
  {
    std::lock_guard lock(fx_.state().mutex);
    fx_.state().game.csgo_map_dir_copy.clear();
  }
  StandIn(test::ExtractorActions{});
  EXPECT_EQ(Extract("ze_d.bsp.bz2"), TaskResult::kFailed);
  const DownloadCounters counters = downloads_->stats().Snapshot();
  EXPECT_EQ(counters.extraction_failures, 2);
  EXPECT_EQ(counters.waiting_for_extraction, 0);  // the queue row is gone either way
}

TEST_F(ExtractorTest, CompressedMapMustBeBzip2AndYieldExactlyItsListedMap) {
  test::spit(maps_ + "ze_a.bsp", "good map");
  test::ExtractorActions actions;
  actions.map = "ze_a.bsp";
  actions.bytes = std::string(150, 'm');
  StandIn(actions);
  // A zip under a compressed map's name never reaches the extractor.
  EXPECT_EQ(Extract("ze_a.bsp.bz2", 0, std::string("PK\x03\x04", 4) + "zip"), TaskResult::kFailed);
  EXPECT_EQ(downloads_->Outcome(task_)->reason, "the file is not a bzip2 archive");
  EXPECT_EQ(Extract("ze_a.bsp.bz2", 151), TaskResult::kFailed);
  EXPECT_EQ(downloads_->Outcome(task_)->reason,
            "the map has 150 bytes where the map list says 151");
  // Another file than the one map its name promises.
  EXPECT_EQ(Extract("ze_b.bsp.bz2", 150), TaskResult::kFailed);
  EXPECT_EQ(downloads_->Outcome(task_)->reason, "the archive did not hold exactly ze_b.bsp");
  EXPECT_EQ(test::slurp(maps_ + "ze_a.bsp"), "good map");
  EXPECT_EQ(MapsFolder(), (std::vector<std::string>{"ze_a.bsp"}));
  EXPECT_EQ(Extract("ze_a.bsp.bz2", 150), TaskResult::kInstalled);
  EXPECT_EQ(fs::file_size(maps_ + "ze_a.bsp"), 150u);
}

TEST_F(ExtractorTest, AMoveThatFailsHalfWayPutsEverythingBack) {
  const std::string staging = fx_.dir().dir() + "staging" + sep_;
  const std::string target = fx_.dir().dir() + "target" + sep_;
  fs::create_directories(fs::path(staging) / "sub");
  test::spit(staging + "a.bsp", "new a");
  test::spit(staging + "b.bsp", "new b");
  test::spit(fs::path(staging) / "sub" / "c.bsp", "new c");
  // b.bsp cannot be put in place: a folder with something in it holds its name.
  fs::create_directories(fs::path(target) / "b.bsp" / "kept");
  test::spit(target + "a.bsp", "old a");
  std::string reason;
  EXPECT_FALSE(MoveStagedTree(staging, target, &reason));
  EXPECT_EQ(reason, "cannot put b.bsp into place");
  EXPECT_EQ(test::slurp(target + "a.bsp"), "old a");
  EXPECT_TRUE(fs::is_directory(fs::path(target) / "b.bsp" / "kept"));
  EXPECT_FALSE(fs::exists(fs::path(target) / "sub"));
  EXPECT_FALSE(fs::exists(fx_.dir().dir() + "staging.old"));
}

TEST_F(ExtractorTest, StagingFoldersOfRunningProgramsAreLeftAlone) {
  const int self = platform::current_process_id();
  const std::string ours = ".q_unbz2-" + std::to_string(self) + "-9";
  const std::string dead = ".q_unbz2-2147483646-1";  // no such process
  test::RunningCopy other(fx_.dir().path() / "other" /
                          "waiter.exe");  // another program's extraction
  ASSERT_TRUE(other.started());
  const std::string others = ".q_unbz2-" + std::to_string(other.pid()) + "-1";
  for (const std::string& name : {ours, dead, others, std::string(".q_unbz2-7")}) {
    fs::create_directories(fs::path(maps_) / name / "sub");
  }
  EXPECT_EQ(RemoveStaleStaging(maps_, {maps_ + ours + sep_}), 2);
  std::vector<std::string> kept{ours, others};
  std::sort(kept.begin(), kept.end());  // as MapsFolder lists them, whichever id is smaller
  EXPECT_EQ(MapsFolder(), kept);
}

}  // namespace
}  // namespace brindle
