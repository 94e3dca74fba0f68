// The lock beside a shared file: a second taker waits for the first to let go, and gives up
// after its wait while the first keeps it.
#include "foundation/file_update_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

TEST(FileUpdateLock, WaitsForTheHolderAndGivesUpAfterItsWait) {
  test::TempDir dir;
  const std::string file = dir.file("Config2.ini");
  std::atomic<bool> second_has_it{false};
  std::thread second;
  {
    FileUpdateLock first(file);
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(first.held());
    // Held: a taker with a short wait is refused, and says so.
    const FileUpdateLock refused(file, 50);
    EXPECT_FALSE(refused.ok());
    EXPECT_FALSE(refused.held());
    second = std::thread([&] {
      const FileUpdateLock waiting(file);
      second_has_it = waiting.held();
    });
  }
  // Let go while the second one waits (or is about to): it gets the lock.
  second.join();
  EXPECT_TRUE(second_has_it);
  EXPECT_TRUE(platform::file_exists(file + ".lock"));
  EXPECT_FALSE(FileUpdateLock("").ok());
  // No lock file can be made: nobody else can hold one either, so the change goes ahead.
  const FileUpdateLock nowhere(dir.file("missing/Config2.ini"));
  EXPECT_TRUE(nowhere.ok());
  EXPECT_FALSE(nowhere.held());
}

}  // namespace
}  // namespace brindle
