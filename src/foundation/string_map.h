// StringMap: the program's dictionary from text keys (GBK, compared byte for byte, case matters,
// the empty text included) to byte-array values.
//
// Growth and order are part of its behaviour, because callers enumerate it:
//   - hash(key): h = h * 31 + byte over the key's bytes, as a wrapping signed 32-bit integer;
//   - bucket_index(h, n) = |h mod n| + 1, the remainder keeping the sign of h;
//   - a put first doubles the bucket count when the insert counter + 1 reaches the threshold
//     (load factor x bucket count, rounded), so 12 keys in a new map give 32 buckets;
//   - enumeration runs through the buckets in index order, each bucket in insertion order.
// count() is the exact number of keys, also after removals.
//
// Every operation takes the map's own lock, so the process-wide instances may be used from
// several threads; results are the same as without it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class StringMap {
 public:
  // Configured with 16 buckets and load factor 0.75 (threshold 12).
  StringMap();
  ~StringMap();
  StringMap(const StringMap&) = delete;
  StringMap& operator=(const StringMap&) = delete;

  // A new map with copies of all entries, the same buckets, order and growth state.
  std::unique_ptr<StringMap> copy() const;

  // Bucket count n (when given): negative fails; otherwise the smallest power of two >= n (1 for
  // n <= 1), all entries discarded. Load factor f (when given): 0 < f <= 1. Either argument out
  // of range fails and changes nothing; so does a bucket count above kMaxBuckets.
  bool configure(std::optional<std::int64_t> bucket_count,
                 std::optional<double> load_factor = std::nullopt);

  // Stores a copy of the value. An existing key: with keep_existing nothing changes and the
  // result is false, otherwise the value is replaced. False also when memory runs out.
  bool put(std::string_view key, std::string_view value, bool keep_existing = false);
  bool get(std::string_view key, std::string& value) const;  // value empty when not found
  bool remove(std::string_view key);
  void clear();  // drops every entry, keeps the bucket count and load factor

  int keys(std::vector<std::string>& out) const;
  int values(std::vector<std::string>& out) const;
  // The entry at `position` (from 1) of the enumeration order; false (both empty) outside.
  bool entry_at(int position, std::string& key, std::string& value) const;
  int count() const;
  bool is_empty() const;
  bool contains(std::string_view key) const;
  int entries(std::vector<std::string>& keys, std::vector<std::string>& values) const;

  static std::int32_t hash(std::string_view key);
  void update_threshold();
  // 0 when bucket_count < 1.
  static int bucket_index(std::int32_t hash, int bucket_count);
  // Redistributes the entries over `new_count` buckets by their stored hashes; a count below 1
  // or above kMaxBuckets is ignored.
  void rehash(int new_count);

  // Inspection of the growth state.
  int bucket_count() const;
  int threshold() const;
  double load_factor() const;

  static constexpr int kMaxBuckets = 1 << 24;

 private:
  struct Entry {
    std::int32_t hash;
    std::string key;
    std::string value;
  };
  using Bucket = std::vector<Entry>;

  void configure_locked(int bucket_count);
  void update_threshold_locked();
  void rehash_locked(int new_count);
  const Entry* find_locked(std::string_view key, std::int32_t h) const;

  mutable std::mutex mutex_;
  std::vector<Bucket> buckets_;
  double load_factor_ = 0.75;
  int threshold_ = 0;
  int insert_counter_ = 0;
  int count_ = 0;
};

// The process-wide instances, created configured (16 buckets, load factor 0.75) on first use and
// living until exit.
StringMap& DownloadProgressMap();   // the download tasks' progress texts
StringMap& ExtractionMap();         // extractor process id -> archive file name
StringMap& MapNameDictionaryMap();  // map name -> "(" + Chinese name + ")"

}  // namespace brindle
