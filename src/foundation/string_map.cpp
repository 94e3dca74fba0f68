#include "foundation/string_map.h"

#include <cmath>
#include <cstdlib>
#include <new>
#include <utility>

namespace brindle {
namespace {

constexpr int kDefaultBuckets = 16;

int power_of_two_at_least(std::int64_t n) {
  int p = 1;
  while (p < n) p *= 2;
  return p;
}

}  // namespace

StringMap::StringMap() { configure_locked(kDefaultBuckets); }

StringMap::~StringMap() = default;

std::unique_ptr<StringMap> StringMap::copy() const {
  try {
    auto other = std::make_unique<StringMap>();
    std::lock_guard lock(mutex_);
    other->buckets_ = buckets_;
    other->load_factor_ = load_factor_;
    other->threshold_ = threshold_;
    other->insert_counter_ = insert_counter_;
    other->count_ = count_;
    return other;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool StringMap::configure(std::optional<std::int64_t> bucket_count,
                          std::optional<double> load_factor) {
  if (bucket_count && (*bucket_count < 0 || *bucket_count > kMaxBuckets)) return false;
  // Written so that NaN fails too.
  if (load_factor && !(*load_factor > 0.0 && *load_factor <= 1.0)) return false;
  std::lock_guard lock(mutex_);
  if (bucket_count) {
    try {
      configure_locked(power_of_two_at_least(*bucket_count));
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  if (load_factor) load_factor_ = *load_factor;
  update_threshold_locked();
  return true;
}

void StringMap::configure_locked(int bucket_count) {
  std::vector<Bucket> fresh(static_cast<std::size_t>(bucket_count));
  buckets_ = std::move(fresh);
  count_ = 0;
  insert_counter_ = 0;
  update_threshold_locked();
}

void StringMap::update_threshold() {
  std::lock_guard lock(mutex_);
  update_threshold_locked();
}

void StringMap::update_threshold_locked() {
  threshold_ = static_cast<int>(std::lround(load_factor_ * static_cast<double>(buckets_.size())));
}

std::int32_t StringMap::hash(std::string_view key) {
  // Unsigned arithmetic wraps by definition; the cast back gives the signed 32-bit result.
  std::uint32_t h = 0;
  for (char c : key) h = h * 31u + static_cast<unsigned char>(c);
  return static_cast<std::int32_t>(h);
}

int StringMap::bucket_index(std::int32_t hash, int bucket_count) {
  if (bucket_count < 1) return 0;
  // C++ remainder keeps the sign of the dividend, as the index rule wants.
  const std::int64_t remainder = static_cast<std::int64_t>(hash) % bucket_count;
  return static_cast<int>(std::llabs(remainder)) + 1;
}

void StringMap::rehash(int new_count) {
  std::lock_guard lock(mutex_);
  try {
    rehash_locked(new_count);
  } catch (const std::bad_alloc&) {
    // The old buckets stay as they were.
  }
}

void StringMap::rehash_locked(int new_count) {
  if (new_count < 1 || new_count > kMaxBuckets) return;
  std::vector<Bucket> fresh(static_cast<std::size_t>(new_count));
  // Copy first and swap after, so running out of memory halfway loses nothing.
  for (const Bucket& bucket : buckets_) {
    for (const Entry& e : bucket) {
      fresh[static_cast<std::size_t>(bucket_index(e.hash, new_count) - 1)].push_back(e);
    }
  }
  buckets_ = std::move(fresh);
  update_threshold_locked();
}

const StringMap::Entry* StringMap::find_locked(std::string_view key, std::int32_t h) const {
  if (buckets_.empty()) return nullptr;
  const int n = static_cast<int>(buckets_.size());
  const Bucket& bucket = buckets_[static_cast<std::size_t>(bucket_index(h, n) - 1)];
  for (const Entry& e : bucket) {
    if (e.key == key) return &e;
  }
  return nullptr;
}

bool StringMap::put(std::string_view key, std::string_view value, bool keep_existing) {
  std::lock_guard lock(mutex_);
  try {
    if (insert_counter_ + 1 >= threshold_ &&
        buckets_.size() <= static_cast<std::size_t>(kMaxBuckets / 2)) {
      rehash_locked(static_cast<int>(buckets_.size()) * 2);
    }
    if (buckets_.empty()) configure_locked(kDefaultBuckets);
    const std::int32_t h = hash(key);
    const int n = static_cast<int>(buckets_.size());
    Bucket& bucket = buckets_[static_cast<std::size_t>(bucket_index(h, n) - 1)];
    for (Entry& e : bucket) {
      if (e.key != key) continue;
      if (keep_existing) return false;
      e.value.assign(value);
      return true;
    }
    bucket.push_back(Entry{h, std::string(key), std::string(value)});
  } catch (const std::bad_alloc&) {
    return false;
  }
  ++count_;
  ++insert_counter_;
  return true;
}

bool StringMap::get(std::string_view key, std::string& value) const {
  std::lock_guard lock(mutex_);
  const Entry* e = find_locked(key, hash(key));
  try {
    if (e != nullptr) {
      value = e->value;
      return true;
    }
  } catch (const std::bad_alloc&) {
  }
  value.clear();
  return false;
}

bool StringMap::contains(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return find_locked(key, hash(key)) != nullptr;
}

bool StringMap::remove(std::string_view key) {
  std::lock_guard lock(mutex_);
  if (buckets_.empty()) return false;
  const int n = static_cast<int>(buckets_.size());
  Bucket& bucket = buckets_[static_cast<std::size_t>(bucket_index(hash(key), n) - 1)];
  for (auto it = bucket.begin(); it != bucket.end(); ++it) {
    if (it->key != key) continue;
    bucket.erase(it);
    --count_;
    if (bucket.empty()) --insert_counter_;
    return true;
  }
  return false;
}

void StringMap::clear() {
  std::lock_guard lock(mutex_);
  for (Bucket& bucket : buckets_) bucket.clear();
  count_ = 0;
  insert_counter_ = 0;
}

int StringMap::keys(std::vector<std::string>& out) const {
  std::vector<std::string> ignored;
  return entries(out, ignored);
}

int StringMap::values(std::vector<std::string>& out) const {
  std::vector<std::string> ignored;
  return entries(ignored, out);
}

int StringMap::entries(std::vector<std::string>& keys, std::vector<std::string>& values) const {
  keys.clear();
  values.clear();
  std::lock_guard lock(mutex_);
  try {
    keys.reserve(static_cast<std::size_t>(count_));
    values.reserve(static_cast<std::size_t>(count_));
    for (const Bucket& bucket : buckets_) {
      for (const Entry& e : bucket) {
        keys.push_back(e.key);
        values.push_back(e.value);
      }
    }
  } catch (const std::bad_alloc&) {
    keys.clear();
    values.clear();
  }
  return static_cast<int>(keys.size());
}

bool StringMap::entry_at(int position, std::string& key, std::string& value) const {
  key.clear();
  value.clear();
  std::lock_guard lock(mutex_);
  if (position < 1 || position > count_) return false;
  int seen = 0;
  for (const Bucket& bucket : buckets_) {
    if (seen + static_cast<int>(bucket.size()) < position) {
      seen += static_cast<int>(bucket.size());
      continue;
    }
    const Entry& e = bucket[static_cast<std::size_t>(position - seen - 1)];
    try {
      key = e.key;
      value = e.value;
    } catch (const std::bad_alloc&) {
      key.clear();
      value.clear();
      return false;
    }
    return true;
  }
  return false;
}

int StringMap::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

bool StringMap::is_empty() const { return count() == 0; }

int StringMap::bucket_count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(buckets_.size());
}

int StringMap::threshold() const {
  std::lock_guard lock(mutex_);
  return threshold_;
}

double StringMap::load_factor() const {
  std::lock_guard lock(mutex_);
  return load_factor_;
}

// Never destroyed: workers may still use them while the process exits.
StringMap& DownloadProgressMap() {
  static StringMap* const map = new StringMap;
  return *map;
}

StringMap& ExtractionMap() {
  static StringMap* const map = new StringMap;
  return *map;
}

StringMap& MapNameDictionaryMap() {
  static StringMap* const map = new StringMap;
  return *map;
}

}  // namespace brindle
