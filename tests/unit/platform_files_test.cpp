#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "foundation/encoding.h"
#include "platform/platform.h"
#include "support/child_process.h"
#include "support/host_paths.h"
#include "support/poll.h"
#include "support/running_copy.h"
#include "support/system_only.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::slurp;
using test::spit;
using test::TempDir;

TEST(PlatformFiles, ExistenceKindAndSize) {
  TempDir dir;
  spit(dir.path() / "a.bsp", "12345");
  EXPECT_TRUE(platform::file_exists(dir.file("a.bsp")));
  EXPECT_TRUE(platform::file_exists(dir.dir()));
  EXPECT_FALSE(platform::file_exists(dir.file("missing")));
  EXPECT_FALSE(platform::file_exists(""));
  EXPECT_TRUE(platform::is_directory(dir.dir()));
  EXPECT_FALSE(platform::is_directory(dir.file("a.bsp")));
  EXPECT_EQ(platform::file_size(dir.file("a.bsp")), 5);
  EXPECT_EQ(platform::file_size(dir.file("missing")), -1);
  EXPECT_EQ(platform::file_size(dir.dir()), -1);
}

TEST(PlatformFiles, GbkPathsReachTheFileSystemAsUtf8) {
  TempDir dir;
  const std::string gbk_name = gbk("地图.bsp");
  ASSERT_TRUE(platform::write_file_atomic(dir.dir() + gbk_name, "map"));
  // u8 literals: a narrow one would be read in the ANSI code page on Windows.
  EXPECT_EQ(slurp(dir.path() / u8"地图.bsp"), "map");
  EXPECT_TRUE(platform::create_directory(dir.dir() + gbk("下载")));
  EXPECT_TRUE(fs::is_directory(dir.path() / u8"下载"));

  auto entries = platform::list_directory(dir.dir());
  ASSERT_EQ(entries.size(), 2u);
  // Sorted by their GBK bytes: 地 (0xB5D8) before 下 (0xCFC2).
  EXPECT_EQ(entries[0].name, gbk_name);
  EXPECT_FALSE(entries[0].is_directory);
  EXPECT_EQ(entries[0].size, 3);
  EXPECT_EQ(entries[1].name, gbk("下载"));
  EXPECT_TRUE(entries[1].is_directory);
}

TEST(PlatformFiles, ListDirectoryOfSomethingElseIsEmpty) {
  TempDir dir;
  spit(dir.path() / "f", "x");
  EXPECT_TRUE(platform::list_directory(dir.file("f")).empty());
  EXPECT_TRUE(platform::list_directory(dir.file("missing")).empty());
  EXPECT_TRUE(platform::list_directory(dir.dir()).size() == 1);
}

void ExpectOneLinkAndOneFolder(const std::string& dir) {
  const std::vector<platform::DirEntry> entries = platform::list_directory(dir);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "link");
  EXPECT_TRUE(entries[0].is_link);
  EXPECT_FALSE(entries[0].is_regular);
  EXPECT_EQ(entries[1].name, "target");
  EXPECT_FALSE(entries[1].is_link);
  EXPECT_TRUE(entries[1].is_directory);
}

TEST(PlatformFiles, ListDirectoryShowsALinkToAFolderAsALink) {
  // Whoever walks a tree (the extracted archive's check) must see the link, not its target.
  TempDir dir;
  fs::create_directories(dir.path() / "target" / "inside");
  const fs::path link = dir.path() / "link";
#ifdef _WIN32
  if (test::UnderWine()) {
    // A Unix link, as native programs make them (Wine makes none of its own). It goes before the
    // folder is removed: a link whose target is gone is not shown to Windows programs at all.
    struct NativeLink {
      fs::path path;
      ~NativeLink() {
        if (test::StartNative({"/bin/rm", "-f", test::NativePath(path.string())}, "NUL")) {
          (void)test::Eventually([&] { return !fs::exists(path); });
        }
      }
    } made{link};
    ASSERT_TRUE(
        test::StartNative({"/bin/ln", "-s", test::NativePath((dir.path() / "target").string()),
                           test::NativePath(link.string())},
                          "NUL"));
    ASSERT_TRUE(test::wait_for_file(link / "inside"));
    ExpectOneLinkAndOneFolder(dir.dir());
    return;
  }
#endif
  std::error_code ec;
  fs::create_directory_symlink(dir.path() / "target", link, ec);
  if (ec) GTEST_SKIP() << "no right to make links here: " << ec.message();
  ExpectOneLinkAndOneFolder(dir.dir());
}

TEST(PlatformFiles, CopyHonoursOverwriteAndKeepsPermissions) {
  TempDir dir;
  spit(dir.path() / "src", "new contents");
  spit(dir.path() / "dst", "old");
#ifndef _WIN32
  ::chmod(dir.file("src").c_str(), 0751);
#endif
  EXPECT_FALSE(platform::copy_file(dir.file("src"), dir.file("dst"), false));
  EXPECT_EQ(slurp(dir.path() / "dst"), "old");
  EXPECT_TRUE(platform::copy_file(dir.file("src"), dir.file("dst"), true));
  EXPECT_EQ(slurp(dir.path() / "dst"), "new contents");
  EXPECT_TRUE(platform::copy_file(dir.file("src"), dir.file("fresh"), false));
#ifndef _WIN32  // POSIX file modes
  struct stat st;
  ASSERT_EQ(::stat(dir.file("fresh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0751u);
#endif
  // A file copied onto itself would be emptied by a naive copy.
  EXPECT_FALSE(platform::copy_file(dir.file("src"), dir.file("src"), true));
  EXPECT_EQ(slurp(dir.path() / "src"), "new contents");
  EXPECT_FALSE(platform::copy_file(dir.file("missing"), dir.file("x"), true));
  EXPECT_FALSE(platform::copy_file(dir.dir(), dir.file("x"), true));
  // No temporary file is left behind by any of this.
  EXPECT_EQ(platform::list_directory(dir.dir()).size(), 3u);
}

TEST(PlatformFiles, MoveNeverReplacesButReplaceDoes) {
  TempDir dir;
  spit(dir.path() / "a", "A");
  spit(dir.path() / "b", "B");
  EXPECT_FALSE(platform::move_file(dir.file("a"), dir.file("b")));
  EXPECT_EQ(slurp(dir.path() / "b"), "B");
  EXPECT_TRUE(fs::exists(dir.path() / "a"));
  EXPECT_TRUE(platform::move_file(dir.file("a"), dir.file("c")));
  EXPECT_FALSE(fs::exists(dir.path() / "a"));
  EXPECT_EQ(slurp(dir.path() / "c"), "A");
  EXPECT_TRUE(platform::replace_file(dir.file("c"), dir.file("b")));
  EXPECT_EQ(slurp(dir.path() / "b"), "A");
  EXPECT_FALSE(fs::exists(dir.path() / "c"));
  EXPECT_FALSE(platform::move_file(dir.file("missing"), dir.file("d")));
  // Folders move too, but never onto an existing name; nothing replaces a folder.
  fs::create_directory(dir.path() / "sub");
  EXPECT_TRUE(platform::move_file(dir.file("sub"), dir.file("sub2")));
  EXPECT_FALSE(platform::move_file(dir.file("b"), dir.file("sub2")));
  EXPECT_FALSE(platform::replace_file(dir.file("b"), dir.file("sub2")));
  EXPECT_TRUE(fs::exists(dir.path() / "b"));
}

TEST(PlatformFiles, DeleteRemovesFilesOnly) {
  TempDir dir;
  spit(dir.path() / "f", "x");
  fs::create_directory(dir.path() / "d");
  EXPECT_TRUE(platform::delete_file(dir.file("f")));
  EXPECT_FALSE(platform::delete_file(dir.file("f")));
  EXPECT_FALSE(platform::delete_file(dir.file("d")));
  EXPECT_TRUE(fs::is_directory(dir.path() / "d"));
}

TEST(PlatformFiles, CreateDirectoryIsOneLevelAndIdempotent) {
  TempDir dir;
  EXPECT_TRUE(platform::create_directory(dir.dir() + "download/"));
  EXPECT_TRUE(platform::create_directory(dir.dir() + "download"));
  EXPECT_FALSE(platform::create_directory(dir.dir() + "a/b/c"));
  spit(dir.path() / "file", "x");
  EXPECT_FALSE(platform::create_directory(dir.file("file")));
}

TEST(PlatformFiles, ReadAndAtomicWrite) {
  TempDir dir;
  const std::string binary("a\0b\xFF\r\n", 6);
  ASSERT_TRUE(platform::write_file_atomic(dir.file("f"), binary));
  std::string back = "stale";
  ASSERT_TRUE(platform::read_file(dir.file("f"), back));
  EXPECT_EQ(back, binary);
  ASSERT_TRUE(platform::write_file_atomic(dir.file("f"), ""));
  ASSERT_TRUE(platform::read_file(dir.file("f"), back));
  EXPECT_EQ(back, "");

  back = "kept";
  EXPECT_FALSE(platform::read_file(dir.file("missing"), back));
  EXPECT_FALSE(platform::read_file(dir.dir(), back));
  EXPECT_EQ(back, "kept");
  EXPECT_FALSE(platform::write_file_atomic(dir.dir(), "x"));
  EXPECT_FALSE(platform::write_file_atomic(dir.file("no/such/folder"), "x"));
  EXPECT_EQ(platform::list_directory(dir.dir()).size(), 1u);
}

TEST(PlatformFiles, AtomicWriteGoesThroughWhileAnotherProgramReadsTheFile) {
  // Another program has the file open (shared for deleting, as every reader here opens it) for
  // longer than one try: the replace waits it out, or needs no wait where the system allows.
  TempDir dir;
  const std::string path = dir.file("Config2.ini");
  spit(path, "old");
  platform::FileHandle reader = platform::kInvalidFile;
  ASSERT_EQ(platform::lock_file(path, reader), platform::LockOutcome::kTaken);
  std::atomic<bool> done{false};
  bool written = false;
  std::thread writer([&] {
    written = platform::write_file_atomic(path, "new", /*owner_only=*/true);
    done = true;
  });
  auto renaming = [&] {
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.path().filename().string().find(".tmp-") != std::string::npos) return true;
    }
    return false;
  };
  ASSERT_TRUE(test::Eventually([&] { return done.load() || renaming(); }));
  // The reader keeps the file past the two seconds the writer once gave up after.
  if (!done.load()) platform::sleep_ms(2500);
  platform::unlock_file(reader);
  writer.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(slurp(path), "new");
  EXPECT_FALSE(renaming());
}

TEST(PlatformFiles, AtomicWriteKeepsTheReplacedFilesPermissions) {
  BRINDLE_POSIX_ONLY("POSIX file modes");
#ifndef _WIN32
  TempDir dir;
  spit(dir.path() / "f", "old");
  ::chmod(dir.file("f").c_str(), 0640);
  ASSERT_TRUE(platform::write_file_atomic(dir.file("f"), "new"));
  struct stat st;
  ASSERT_EQ(::stat(dir.file("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
#endif
}

TEST(PlatformFiles, AtomicWriteIntoReadOnlyFolderFailsAndKeepsTheOldFile) {
  BRINDLE_POSIX_ONLY("POSIX folder modes (a read-only folder)");
#ifndef _WIN32
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  spit(dir.path() / "f", "old");
  ::chmod(dir.dir().c_str(), 0555);
  EXPECT_FALSE(platform::write_file_atomic(dir.file("f"), "new"));
  ::chmod(dir.dir().c_str(), 0755);
  EXPECT_EQ(slurp(dir.path() / "f"), "old");
#endif
}

TEST(PlatformMd5, RawDigest) {
  EXPECT_EQ(platform::md5_digest("abc"),
            std::string("\x90\x01\x50\x98\x3c\xd2\x4f\xb0\xd6\x96\x3f\x7d\x28\xe1\x7f\x72", 16));
}

}  // namespace
}  // namespace brindle
