// One program folder, one owner: the lock file, a second window that says so and ends, and a
// guest (brindle-cli) that starts beside the owner without touching the download cache.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/core.h"
#include "foundation/encoding.h"
#include "platform/platform.h"
#include "support/core_fixture.h"
#include "support/extractor_files.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

TEST(LockFileTest, OneHolderAtATimeEvenWithinOneProcess) {
  test::TempDir dir;
  const std::string path = dir.file("owner.lock");
  platform::FileHandle first = platform::kInvalidFile;
  platform::FileHandle second = platform::kInvalidFile;
  ASSERT_EQ(platform::lock_file(path, first), platform::LockOutcome::kTaken);
  EXPECT_EQ(platform::lock_file(path, second), platform::LockOutcome::kHeldElsewhere);
  EXPECT_EQ(second, platform::kInvalidFile);
  platform::unlock_file(first);
  ASSERT_EQ(platform::lock_file(path, second), platform::LockOutcome::kTaken);
  platform::unlock_file(second);
  EXPECT_EQ(platform::lock_file(dir.file("missing/owner.lock"), first),
            platform::LockOutcome::kFailed);
}

// A second program on the fixture's folder, with its own window and state.
struct SecondProgram {
  explicit SecondProgram(const std::string& program_dir) { state.program_dir = program_dir; }
  TestWindow tw;
  AppState state;
  Core core{state, tw.window()};
};

TEST(FolderLockTest, SecondWindowEndsAndAGuestLeavesTheCacheAlone) {
  test::CoreFixture owner;
  owner.InstallExtractor();
  ASSERT_TRUE(owner.core().OnMainWindowCreated());
  EXPECT_TRUE(owner.core().OwnsProgramFolder());
  EXPECT_TRUE(fs::exists(owner.core().FolderLockPath()));
  // The owner's running download.
  const fs::path partial = owner.dir().path() / "download" / "data" / "de_x.bsp.bz2.tmp";
  test::spit(partial, "half a map");

  {
    SecondProgram window(owner.dir().path().string());
    EXPECT_FALSE(window.core.OnMainWindowCreated());
    const auto boxes = window.tw.ports().Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Core::FolderInUseMessage());
    EXPECT_FALSE(window.core.OwnsProgramFolder());
  }
  {
    SecondProgram guest(owner.dir().path().string());
    guest.core.SetFolderClaim(Core::FolderClaim::kOwnOrShare);
    EXPECT_TRUE(guest.core.OnMainWindowCreated());
    EXPECT_FALSE(guest.core.OwnsProgramFolder());
    EXPECT_TRUE(guest.tw.ports().Boxes().empty());
  }
  EXPECT_EQ(test::slurp(partial), "half a map");
  // Creating the window twice on one core keeps its one lock.
  EXPECT_TRUE(owner.core().OnMainWindowCreated());
  EXPECT_TRUE(owner.core().OwnsProgramFolder());
}

TEST(FolderLockTest, ALockFileDeletedOrReplacedFreesNothing) {
  test::CoreFixture owner;
  owner.InstallExtractor();
  ASSERT_TRUE(owner.core().OnMainWindowCreated());
  // Deleted under its owner (the system may refuse that while the owner holds it).
  std::error_code refused;
  fs::remove(owner.core().FolderLockPath(), refused);
  {
    SecondProgram second(owner.dir().path().string());
    EXPECT_FALSE(second.core.OnMainWindowCreated());
    EXPECT_FALSE(second.core.OwnsProgramFolder());
  }
  // A folder in the lock file's place, with no owner running: nobody claims the folder.
  test::TempDir dir;
  test::InstallPlaceholderExtractor(dir.path() / "qdata" / "7zip");
  fs::create_directories(dir.path() / "download" / "brindle.lock" / "x");
  SecondProgram first(dir.path().string());
  EXPECT_FALSE(first.core.OnMainWindowCreated());
  EXPECT_FALSE(first.core.OwnsProgramFolder());
}

TEST(FolderLockTest, TheLockEndsWithItsCore) {
  test::TempDir dir;
  test::InstallPlaceholderExtractor(dir.path() / "qdata" / "7zip");
  {
    SecondProgram first(dir.path().string());
    ASSERT_TRUE(first.core.OnMainWindowCreated());
  }
  test::spit(dir.path() / "download" / "data" / "old.bsp", "left by the last run");
  SecondProgram next(dir.path().string());
  ASSERT_TRUE(next.core.OnMainWindowCreated());
  EXPECT_TRUE(next.core.OwnsProgramFolder());
  EXPECT_FALSE(fs::exists(dir.path() / "download" / "data" / "old.bsp"));  // the owner empties
}

}  // namespace
}  // namespace brindle
