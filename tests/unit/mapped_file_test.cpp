#include "foundation/mapped_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/encoding.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace mf = mapped_file;
namespace fs = std::filesystem;
using test::slurp;
using test::spit;
using test::TempDir;

constexpr std::int64_t kMiB = 1 << 20;

// Closes a handle at the end of a test even when an assertion fails first.
struct Handle {
  MappedHandle h;
  explicit Handle(MappedHandle handle) : h(handle) {}
  ~Handle() { mf::close(h); }
  operator MappedHandle() const { return h; }
};

std::string pattern_bytes(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  std::mt19937_64 rng(seed);
  for (std::size_t i = 0; i < n; i += 8) {
    const std::uint64_t word = rng();
    for (std::size_t k = 0; k < 8 && i + k < n; ++k) s[i + k] = static_cast<char>(word >> (8 * k));
  }
  return s;
}

TEST(MappedFileOpen, ModesOnMissingAndExistingFiles) {
  TempDir dir;
  const std::string missing = dir.file("missing.bin");
  EXPECT_EQ(mf::open(missing, 1), 0);
  EXPECT_EQ(mf::open(missing, 3), 0);
  EXPECT_FALSE(fs::exists(missing));

  const std::string created = dir.file("created.bin");
  {
    Handle h(mf::open(created, 6));
    ASSERT_NE(h, 0);
    EXPECT_EQ(mf::size(h), 0);
  }
  EXPECT_TRUE(fs::exists(created));
  EXPECT_EQ(fs::file_size(created), 0u);

  const std::string existing = dir.file("existing.bin");
  spit(existing, "old contents");
  {
    Handle h(mf::open(existing, 6));
    EXPECT_EQ(mf::size(h), 12);
    EXPECT_EQ(mf::read(h, 3), "old");
  }
  {
    Handle h(mf::open(existing, 4));
    ASSERT_NE(h, 0);
    EXPECT_EQ(mf::size(h), 0);
  }
  EXPECT_EQ(slurp(existing), "");
}

TEST(MappedFileOpen, RejectsUnknownModesSharesAndDirectories) {
  TempDir dir;
  const std::string path = dir.file("f.bin");
  for (int mode : {0, 2, 5, 7, -1}) EXPECT_EQ(mf::open(path, mode), 0) << mode;
  for (int share : {0, 5, -3}) EXPECT_EQ(mf::open(path, 6, share), 0) << share;
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(mf::open(dir.path().string(), 1), 0);
  EXPECT_EQ(mf::open("", 6), 0);
  EXPECT_EQ(mf::open_count(), 0u);
}

TEST(MappedFileOpen, ChinesePathIsUtf8OnDisk) {
  TempDir dir;
  const std::string path = dir.dir() + gbk("地图.bsp");
  {
    Handle h(mf::open(path, 4));
    ASSERT_NE(h, 0);
    EXPECT_TRUE(mf::write_bytes(h, "map"));
  }
  EXPECT_EQ(slurp(dir.path() / fs::path(u8"地图.bsp")), "map");
}

TEST(MappedFileOpen, SharingBetweenHandlesOfThisProcess) {
  TempDir dir;
  const std::string path = dir.file("shared.bin");
  spit(path, "keep me");
  {
    Handle exclusive(mf::open(path, 1, 4));
    ASSERT_NE(exclusive, 0);
    EXPECT_EQ(mf::open(path, 1, 1), 0);
  }
  {
    Handle deny_write(mf::open(path, 1, 3));  // reads, lets others only read
    ASSERT_NE(deny_write, 0);
    Handle reader(mf::open(path, 1, 1));
    EXPECT_NE(reader, 0);
    EXPECT_EQ(mf::open(path, 3, 1), 0);  // would write
    EXPECT_EQ(mf::open(path, 4, 1), 0);  // would empty it under a live view
  }
  EXPECT_EQ(slurp(path), "keep me");
  {
    Handle writer(mf::open(path, 3, 1));
    ASSERT_NE(writer, 0);
    EXPECT_EQ(mf::open(path, 1, 3), 0);  // cannot deny writing to a handle that writes
    Handle other_writer(mf::open(path, 3, 1));
    EXPECT_NE(other_writer, 0);
  }
}

TEST(MappedFileWrite, HundredBytesGiveAHundredByteFile) {
  TempDir dir;
  const std::string path = dir.file("new.bin");
  const std::string data = pattern_bytes(100, 1);
  MappedHandle h = mf::open(path, 4);
  ASSERT_NE(h, 0);
  EXPECT_TRUE(mf::write_bytes(h, data));
  EXPECT_EQ(mf::position(h), 100);
  mf::close(h);
  EXPECT_EQ(slurp(path), data);
  EXPECT_EQ(mf::size(h), -1);  // closed handles are forgotten
}

TEST(MappedFileWrite, FarBeyondTheEndGrowsToTheEndOfTheWrite) {
  TempDir dir;
  const std::string path = dir.file("far.bin");
  const std::int64_t far = 11 * kMiB + 123;
  {
    Handle h(mf::open(path, 4));
    ASSERT_TRUE(mf::write_bytes(h, "head"));
    ASSERT_TRUE(mf::seek(h, far));
    ASSERT_TRUE(mf::write_bytes(h, "tail"));
    EXPECT_EQ(mf::size(h), far + 4);
    ASSERT_TRUE(mf::seek(h, far - 2));
    EXPECT_EQ(mf::read(h, 10), std::string("\0\0tail", 6));
  }
  const std::string bytes = slurp(path);
  ASSERT_EQ(static_cast<std::int64_t>(bytes.size()), far + 4);
  EXPECT_EQ(bytes.substr(0, 4), "head");
  EXPECT_EQ(bytes.find_first_not_of('\0', 4), static_cast<std::size_t>(far));
}

TEST(MappedFileWrite, ReadOnlyHandleRefusesWritesAndChangesNothing) {
  TempDir dir;
  const std::string path = dir.file("ro.bin");
  spit(path, "original");
  Handle h(mf::open(path, 1));
  ASSERT_NE(h, 0);
  ASSERT_TRUE(mf::seek(h, 2));
  EXPECT_FALSE(mf::write_bytes(h, "XX"));
  EXPECT_FALSE(mf::write_text(h, "YY", '\n', true));
  EXPECT_FALSE(mf::set_length(h, 3));
  EXPECT_FALSE(mf::set_length(h, 100));
  EXPECT_EQ(mf::position(h), 2);
  EXPECT_EQ(mf::size(h), 8);
  EXPECT_EQ(mf::read(h, 100), "iginal");
  EXPECT_EQ(slurp(path), "original");
}

TEST(MappedFileWrite, UnknownHandlesFail) {
  for (MappedHandle h : {MappedHandle{0}, MappedHandle{-5}, MappedHandle{987654321}}) {
    EXPECT_FALSE(mf::write_bytes(h, "x"));
    EXPECT_FALSE(mf::write_text(h, "x"));
    EXPECT_EQ(mf::read(h, 1), "");
    EXPECT_FALSE(mf::set_length(h, 1));
    EXPECT_FALSE(mf::seek(h, 1));
    EXPECT_EQ(mf::size(h), -1);
    EXPECT_EQ(mf::position(h), -1);
    mf::close(h);
  }
}

TEST(MappedFileWrite, TerminatorIsWrittenButThePositionSkipsOnlyTheText) {
  TempDir dir;
  const std::string path = dir.file("text.txt");
  {
    Handle h(mf::open(path, 4));
    ASSERT_TRUE(mf::write_text(h, "abc", '\n', true));
    EXPECT_EQ(mf::position(h), 3);
    EXPECT_EQ(mf::size(h), 4);
  }
  EXPECT_EQ(slurp(path), "abc\n");
  {
    Handle h(mf::open(path, 3));
    ASSERT_TRUE(mf::seek(h, 3));
    ASSERT_TRUE(mf::write_text(h, "de"));
    ASSERT_TRUE(mf::write_bytes(h, std::string("\0f", 2)));
  }
  EXPECT_EQ(slurp(path), std::string("abcde\0f", 7));
}

TEST(MappedFileRead, ReadsAdvanceAndStopAtTheEnd) {
  TempDir dir;
  const std::string path = dir.file("r.bin");
  spit(path, "0123456789");
  Handle h(mf::open(path, 1));
  EXPECT_EQ(mf::read(h, 0), "");
  EXPECT_EQ(mf::read(h, -4), "");
  EXPECT_EQ(mf::read(h, 4), "0123");
  EXPECT_EQ(mf::read(h, 100), "456789");
  EXPECT_EQ(mf::position(h), 10);
  EXPECT_EQ(mf::read(h, 1), "");
  EXPECT_TRUE(mf::seek(h, 50));
  EXPECT_EQ(mf::read(h, 1), "");
  EXPECT_FALSE(mf::seek(h, -1));
}

TEST(MappedFileLength, SetLengthCutsGrowsAndMovesThePosition) {
  TempDir dir;
  const std::string path = dir.file("len.bin");
  {
    Handle h(mf::open(path, 4));
    ASSERT_TRUE(mf::write_bytes(h, "abcdefgh"));
    EXPECT_FALSE(mf::set_length(h, -1));
    ASSERT_TRUE(mf::set_length(h, 3));
    EXPECT_EQ(mf::position(h), 3);
    EXPECT_EQ(mf::size(h), 3);
    ASSERT_TRUE(mf::set_length(h, 6));
    EXPECT_EQ(mf::position(h), 3);
    ASSERT_TRUE(mf::write_bytes(h, "Z"));
  }
  EXPECT_EQ(slurp(path), std::string("abcZ\0\0", 6));
}

TEST(MappedFileLength, LargeFileIsExactOnceClosed) {
  TempDir dir;
  const std::string path = dir.file("big.bin");
  const std::string chunk = pattern_bytes(16 * 1024 + 7, 2);
  std::string expected;
  {
    Handle h(mf::open(path, 4));
    while (static_cast<std::int64_t>(expected.size()) < 9 * kMiB + 5) {
      ASSERT_TRUE(mf::write_bytes(h, chunk));
      expected += chunk;
    }
    EXPECT_EQ(mf::size(h), static_cast<std::int64_t>(expected.size()));
  }
  EXPECT_EQ(fs::file_size(path), expected.size());
  EXPECT_TRUE(slurp(path) == expected);
}

TEST(MappedFileLength, SmallFilesStayExactWhileBeingWritten) {
  TempDir dir;
  const std::string path = dir.file("small.bin");
  Handle h(mf::open(path, 4));
  for (int i = 1; i <= 50; ++i) {
    ASSERT_TRUE(mf::write_bytes(h, pattern_bytes(1000, static_cast<unsigned>(i))));
    EXPECT_EQ(fs::file_size(path), static_cast<std::uintmax_t>(i) * 1000);
  }
}

TEST(MappedFileLength, TwoHandlesOfOneFileNeverCutEachOther) {
  TempDir dir;
  const std::string path = dir.file("two.bin");
  const std::string data = pattern_bytes(static_cast<std::size_t>(3 * kMiB + 11), 3);
  MappedHandle a = mf::open(path, 4);
  ASSERT_TRUE(mf::write_bytes(a, data));
  MappedHandle b = mf::open(path, 1);
  ASSERT_NE(b, 0);
  EXPECT_EQ(mf::size(b), static_cast<std::int64_t>(data.size()));
  EXPECT_FALSE(mf::set_length(a, 10));  // b may still read all of it
  mf::close(a);
  ASSERT_TRUE(mf::seek(b, 3 * kMiB));
  EXPECT_EQ(mf::read(b, 100), data.substr(static_cast<std::size_t>(3 * kMiB)));
  mf::close(b);
  EXPECT_EQ(fs::file_size(path), data.size());
}

// The store against a plain in-memory model and a file written with ordinary streams, under a
// long random sequence of writes inside, at and far beyond the end, with reads, seeks, cuts
// and reopenings along the way.
TEST(MappedFileModel, RandomOperationsMatchPlainFileIo) {
  TempDir dir;
  const std::string path = dir.file("store.bin");
  const std::string plain = dir.file("plain.bin");
  std::mt19937_64 rng(20240611);
  auto pick = [&](std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  };
  std::string model;
  std::int64_t pos = 0;
  spit(plain, "");
  std::fstream ref(plain, std::ios::in | std::ios::out | std::ios::binary);
  MappedHandle h = mf::open(path, 4);
  ASSERT_NE(h, 0);

  for (int step = 0; step < 2000; ++step) {
    const auto size = static_cast<std::int64_t>(model.size());
    const int op = static_cast<int>(pick(0, 99));
    if (op < 60) {
      std::int64_t at = pos;
      const int where = static_cast<int>(pick(0, 9));
      if (where < 3)
        at = size;  // append
      else if (where < 5 && size > 0)
        at = pick(0, size - 1);  // inside
      else if (where == 5)
        at = size + pick(1, 3 * kMiB);  // far beyond
      const std::int64_t n = pick(0, 9) == 0 ? pick(50000, 300000) : pick(1, 20000);
      if (at + n > 12 * kMiB) at = pick(0, size / 2);
      const std::string data =
          pattern_bytes(static_cast<std::size_t>(n), static_cast<unsigned>(step));
      ASSERT_TRUE(mf::seek(h, at));
      ASSERT_TRUE(mf::write_bytes(h, data)) << "step " << step;
      if (at + n > size) model.resize(static_cast<std::size_t>(at + n), '\0');
      model.replace(static_cast<std::size_t>(at), static_cast<std::size_t>(n), data);
      ref.seekp(at);
      ref.write(data.data(), static_cast<std::streamsize>(n));
      pos = at + n;
    } else if (op < 80) {
      const std::int64_t at = pick(0, size + 10);
      const std::int64_t n = pick(0, 200000);
      ASSERT_TRUE(mf::seek(h, at));
      const std::string expected =
          at >= size ? std::string()
                     : model.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(n));
      ASSERT_EQ(mf::read(h, n), expected) << "step " << step;
      pos = at + static_cast<std::int64_t>(expected.size());
    } else if (op < 85) {
      const std::int64_t length = pick(0, size + kMiB);
      ASSERT_TRUE(mf::set_length(h, length));
      model.resize(static_cast<std::size_t>(length), '\0');
      ref.close();
      fs::resize_file(plain, static_cast<std::uintmax_t>(length));
      ref.open(plain, std::ios::in | std::ios::out | std::ios::binary);
      pos = std::min(pos, length);
    } else if (op < 88) {
      mf::close(h);
      ASSERT_EQ(fs::file_size(path), model.size()) << "step " << step;
      h = mf::open(path, pick(0, 1) ? 3 : 6, 1, pick(0, 1) ? 0 : (1u << 28));
      ASSERT_NE(h, 0);
      pos = 0;
    }
    ASSERT_EQ(mf::size(h), static_cast<std::int64_t>(model.size()));
    ASSERT_EQ(mf::position(h), pos);
  }
  mf::close(h);
  ref.close();
  EXPECT_EQ(fs::file_size(path), model.size());
  EXPECT_TRUE(slurp(path) == model);
  EXPECT_TRUE(slurp(plain) == model);
}

// Appends and overwrites take different routes to the file; views mapped before an append that
// reach over it, on this handle and on another one, must still agree with the model and with
// what an ordinary read of the file returns while both handles are open.
TEST(MappedFileModel, ViewsMappedBeforeAnAppendSeeIt) {
  TempDir dir;
  const std::string path = dir.file("coherent.bin");
  std::string model;
  auto put = [&](MappedHandle h, std::int64_t at, const std::string& data) {
    ASSERT_TRUE(mf::seek(h, at));
    ASSERT_TRUE(mf::write_bytes(h, data));
    if (at + data.size() > model.size())
      model.resize(static_cast<std::size_t>(at) + data.size(), '\0');
    model.replace(static_cast<std::size_t>(at), data.size(), data);
  };
  auto read_at = [](MappedHandle h, std::int64_t at, std::int64_t n) {
    return mf::seek(h, at) ? mf::read(h, n) : std::string("seek failed");
  };

  Handle a(mf::open(path, 4));
  ASSERT_NE(a, 0);
  put(a, 0, pattern_bytes(5000, 10));  // ends inside a page
  Handle b(mf::open(path, 3));
  ASSERT_NE(b, 0);
  // Both handles now hold views reaching well past the end, over a partly filled page.
  EXPECT_EQ(read_at(a, 0, 10), model.substr(0, 10));
  EXPECT_EQ(read_at(b, 4990, 10), model.substr(4990, 10));

  put(a, 5000, pattern_bytes(3 * 4096, 11));  // append: fills the page and several more
  put(a, 4990, pattern_bytes(30, 12));        // overwrite across the old end
  EXPECT_EQ(read_at(a, 0, 1 << 20), model);

  // b was opened at 5000 bytes, but its view maps the appended pages; writing there goes through
  // that old view and must land in the same file a sees.
  put(b, 9000, pattern_bytes(100, 13));
  EXPECT_EQ(read_at(a, 8990, 120), model.substr(8990, 120));
  EXPECT_TRUE(slurp(path) == model);

  // An append past the end straddling from inside, then an append far beyond it: the gap reads
  // as zeros through a's view and an overwrite in that gap is kept.
  put(a, static_cast<std::int64_t>(model.size()) - 7, pattern_bytes(20000, 14));
  put(a, static_cast<std::int64_t>(model.size()) + 3 * kMiB, "far");
  put(b, static_cast<std::int64_t>(model.size()) - 100, pattern_bytes(50, 15));
  EXPECT_TRUE(read_at(a, 0, 8 * kMiB) == model);
  EXPECT_EQ(fs::file_size(path), model.size());
  EXPECT_TRUE(slurp(path) == model);
}

TEST(MappedFileThreads, WritersOnDifferentHandlesRunSideBySide) {
  TempDir dir;
  constexpr int kThreads = 4;
  constexpr int kChunks = 600;
  std::vector<MappedHandle> handles;
  for (int t = 0; t < kThreads; ++t)
    handles.push_back(mf::open(dir.file("t" + std::to_string(t)), 4));
  std::atomic<bool> done{false};
  std::thread watcher([&] {  // the UI thread polling sizes while downloads run
    while (!done.load()) {
      for (MappedHandle h : handles) EXPECT_GE(mf::size(h), 0);
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      const std::string chunk =
          pattern_bytes(4096 + static_cast<std::size_t>(t), static_cast<unsigned>(t));
      for (int i = 0; i < kChunks; ++i)
        EXPECT_TRUE(mf::write_bytes(handles[static_cast<std::size_t>(t)], chunk));
    });
  }
  for (auto& w : writers) w.join();
  done = true;
  watcher.join();
  for (int t = 0; t < kThreads; ++t) {
    mf::close(handles[static_cast<std::size_t>(t)]);
    const std::string chunk =
        pattern_bytes(4096 + static_cast<std::size_t>(t), static_cast<unsigned>(t));
    const std::string bytes = slurp(dir.path() / ("t" + std::to_string(t)));
    ASSERT_EQ(bytes.size(), chunk.size() * kChunks);
    for (int i = 0; i < kChunks; ++i) {
      ASSERT_EQ(bytes.compare(static_cast<std::size_t>(i) * chunk.size(), chunk.size(), chunk), 0);
    }
  }
}

TEST(MappedFileThreads, OperationsOnOneHandleDoNotInterleave) {
  TempDir dir;
  const std::string path = dir.file("one.bin");
  MappedHandle h = mf::open(path, 4);
  constexpr int kThreads = 3;
  constexpr int kRecords = 400;
  constexpr std::size_t kRecord = 3000;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < kRecords; ++i) {
        EXPECT_TRUE(mf::write_bytes(h, std::string(kRecord, static_cast<char>('a' + t))));
      }
    });
  }
  for (auto& w : writers) w.join();
  mf::close(h);
  const std::string bytes = slurp(path);
  ASSERT_EQ(bytes.size(), kRecord * kThreads * kRecords);
  int per_thread[kThreads] = {};
  for (std::size_t r = 0; r < bytes.size(); r += kRecord) {
    ASSERT_EQ(std::string(bytes, r, kRecord), std::string(kRecord, bytes[r])) << "record at " << r;
    ++per_thread[bytes[r] - 'a'];
  }
  for (int count : per_thread) EXPECT_EQ(count, kRecords);
}

TEST(MappedFileWhole, WriteReplacesAtomicallyAndReadReturnsEverything) {
  TempDir dir;
  const std::string path = dir.file("my_favorite.json");
  EXPECT_TRUE(mf::write_whole_file(path, std::string(5000, 'x')));
  EXPECT_TRUE(mf::write_whole_file(path, "[{\"a\":1}]"));
  std::string out;
  EXPECT_TRUE(mf::read_whole_file(path, out));
  EXPECT_EQ(out, "[{\"a\":1}]");
  EXPECT_TRUE(mf::write_whole_file(path, ""));
  EXPECT_TRUE(mf::read_whole_file(path, out));
  EXPECT_EQ(out, "");
  int entries = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) entries += e.exists() ? 1 : 0;
  EXPECT_EQ(entries, 1);  // no temporary file left behind

  out = "stale";
  EXPECT_FALSE(mf::read_whole_file(dir.file("absent.json"), out));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(mf::write_whole_file(dir.file("no/such/dir/f.json"), "x"));
  EXPECT_EQ(mf::open_count(), 0u);
}

}  // namespace
}  // namespace brindle
