// The extractor as a child process, with stand-in scripts in its place: the exact command line
// and working folder, the exit code deciding success, and the staging folder that keeps a failed
// or hostile extraction out of the game.
#include "maps/extractor.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/encoding.h"
#include "maps/map_downloads.h"
#include "support/core_fixture.h"
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
    maps_ = fx_.dir().dir() + "game/csgo/maps/";
    fs::create_directories(maps_);
    std::lock_guard lock(fx_.state().mutex);
    fx_.state().game.csgo_map_dir = fx_.state().game.csgo_map_dir_copy = maps_;
    fx_.controls().SetChecked(names::kAutoExtract, true);
  }
  // Queues an archive of the cache for extraction and serves the queue until it is empty.
  TaskResult Extract(const std::string& name) {
    test::spit(fx_.state().download_cache_dir + name, "archive");
    const std::uint64_t task = ++task_;  // as if a download had just finished
    downloads_->InstallFile(name, task);
    EXPECT_TRUE(fx_.AdvanceUntil([&] {
      fx_.ports().Advance(100);
      return downloads_->Idle();
    }));
    return downloads_->Outcome(task)->result;
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
  std::string maps_;
  std::uint64_t task_ = 100;
};

TEST_F(ExtractorTest, RunsWithTheCommandLineInItsOwnFolder) {
  const std::string record = fx_.dir().file("args");
  fx_.InstallExtractor("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record + "'\npwd >> '" + record +
                       "'\n");
  const auto child = downloads_->StartExtractor("de x.bsp.bz2", "/target dir/", true);
  ASSERT_NE(child, platform::kInvalidProcess);
  int code = -1;
  ASSERT_EQ(platform::wait_process(child, 10000, code), platform::WaitOutcome::kExited);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(test::slurp(record), "x\n" + fx_.state().download_cache_dir + "de x.bsp.bz2\n" +
                                     "-o/target dir/\n-aoa\n" + fx_.state().data_dir + "/7zip\n");
}

TEST_F(ExtractorTest, SuccessMovesTheMapIntoPlaceAndCleansUp) {
  // Writes the map where -o points, as 7-Zip does.
  fx_.InstallExtractor("#!/bin/sh\nout=\"${3#-o}\"\nprintf 'new map' > \"$out/ze_a.bsp\"\n");
  test::spit(maps_ + "ze_a.bsp", "old map");
  // Left by a run that ended during an extraction.
  fs::create_directories(maps_ + ".q_unbz2-7/sub");
  test::spit(maps_ + ".q_unbz2-7/sub/half.bsp", "half");
  EXPECT_EQ(Extract("ze_a.bsp.bz2"), TaskResult::kInstalled);
  EXPECT_EQ(test::slurp(maps_ + "ze_a.bsp"), "new map");
  EXPECT_EQ(MapsFolder(), (std::vector<std::string>{"ze_a.bsp"}));  // no staging folder left
  EXPECT_FALSE(fs::exists(fx_.state().download_cache_dir + "ze_a.bsp.bz2"));
  EXPECT_EQ(downloads_->stats().Snapshot().extracted, 1);
  EXPECT_TRUE(downloads_->extraction_table().is_empty());
}

TEST_F(ExtractorTest, FailedOrHostileExtractionLeavesTheGameAsItWas) {
  test::spit(maps_ + "ze_a.bsp", "good map");
  // Half a map written, then an error exit.
  fx_.InstallExtractor("#!/bin/sh\nout=\"${3#-o}\"\nprintf 'half' > \"$out/ze_a.bsp\"\nexit 2\n");
  EXPECT_EQ(Extract("ze_a.bsp.bz2"), TaskResult::kFailed);
  // Success claimed, but a link among the output.
  fx_.InstallExtractor(
      "#!/bin/sh\nout=\"${3#-o}\"\nprintf 'x' > \"$out/ze_a.bsp\"\n"
      "ln -s / \"$out/root\"\n");
  EXPECT_EQ(Extract("ze_a.bsp.bz2"), TaskResult::kFailed);
  // Success with nothing written.
  fx_.InstallExtractor("#!/bin/sh\n");
  EXPECT_EQ(Extract("ze_b.bsp.bz2"), TaskResult::kFailed);
  EXPECT_EQ(test::slurp(maps_ + "ze_a.bsp"), "good map");
  EXPECT_EQ(MapsFolder(), (std::vector<std::string>{"ze_a.bsp"}));
  const DownloadCounters counters = downloads_->stats().Snapshot();
  EXPECT_EQ(counters.extraction_failures, 3);
  EXPECT_EQ(counters.extracted, 0);
  EXPECT_EQ(counters.waiting_for_extraction, 0);
}

TEST_F(ExtractorTest, MissingExtractorOrGameFolderCountsAFailure) {
  // No extractor installed at all.
  EXPECT_EQ(Extract("ze_c.bsp.bz2"), TaskResult::kFailed);
  EXPECT_EQ(downloads_->Outcome(task_)->reason, "the extractor cannot be started");
  {
    std::lock_guard lock(fx_.state().mutex);
    fx_.state().game.csgo_map_dir_copy.clear();
  }
  fx_.InstallExtractor();
  EXPECT_EQ(Extract("ze_d.bsp.bz2"), TaskResult::kFailed);
  const DownloadCounters counters = downloads_->stats().Snapshot();
  EXPECT_EQ(counters.extraction_failures, 2);
  EXPECT_EQ(counters.waiting_for_extraction, 0);  // the queue row is gone either way
}

}  // namespace
}  // namespace brindle
