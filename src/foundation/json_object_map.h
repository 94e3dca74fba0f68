// The object type of the JSON document's value tree: members in the order the text gave them (a
// vector, as nlohmann's ordered_map keeps them), found through a hash index once an object is
// large enough for a scan to cost. Without the index a document with n members in one object
// costs n^2 to parse and to read, which a large or hostile answer turns into minutes.
//
// The index maps a key's hash to its position in the vector; every operation that adds, moves or
// removes members keeps it exact or drops it. A dropped (or never built) index only means a scan,
// so the index is never needed for a right answer, only for speed. The hash is keyed with a
// random key per process (SipHash-1-3), so a text cannot be made of colliding names.
//
// Not for use outside the document.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace brindle::json_internal {

// SipHash-1-3 of text under the process's random key.
std::uint64_t member_hash(std::string_view text) noexcept;

// The members are pairs of a plain (not const) key and value, unlike ordered_map's: a vector of
// pairs with const keys cannot move them when it grows and copies every value instead, whole
// subtrees included. Nothing changes a key in place; the index relies on that.
template <class Key, class T, class IgnoredLess = std::less<Key>,
          class IgnoredAllocator = std::allocator<std::pair<const Key, T>>>
struct JsonObjectMap : std::vector<std::pair<Key, T>> {
  using key_type = Key;
  using mapped_type = T;
  using Container = std::vector<std::pair<Key, T>>;
  using iterator = typename Container::iterator;
  using const_iterator = typename Container::const_iterator;
  using size_type = typename Container::size_type;
  using value_type = typename Container::value_type;
  using key_compare = std::equal_to<>;

  // Objects smaller than this are scanned: the scan beats hashing the key.
  static constexpr size_type kIndexFrom = 16;

  JsonObjectMap() noexcept(noexcept(Container())) : Container{} {}
  template <class It>
  JsonObjectMap(It first, It last) : Container{first, last} {
    reindex();
  }
  JsonObjectMap(std::initializer_list<value_type> init) : Container{init} { reindex(); }

  template <class KeyType>
  std::pair<iterator, bool> emplace(KeyType&& key, T&& t) {
    const size_type at = locate(key);
    if (at != npos) return {this->begin() + static_cast<std::ptrdiff_t>(at), false};
    Container::emplace_back(std::forward<KeyType>(key), std::forward<T>(t));
    added();
    return {std::prev(this->end()), true};
  }

  template <class KeyType>
  T& operator[](KeyType&& key) {
    return emplace(std::forward<KeyType>(key), T{}).first->second;
  }
  template <class KeyType>
  const T& operator[](KeyType&& key) const {
    return at(std::forward<KeyType>(key));
  }

  template <class KeyType>
  T& at(const KeyType& key) {
    const size_type found = locate(key);
    if (found == npos) throw std::out_of_range("key not found");
    return Container::operator[](found).second;
  }
  template <class KeyType>
  const T& at(const KeyType& key) const {
    const size_type found = locate(key);
    if (found == npos) throw std::out_of_range("key not found");
    return Container::operator[](found).second;
  }

  template <class KeyType,
            std::enable_if_t<!std::is_convertible_v<KeyType, const_iterator>, int> = 0>
  size_type erase(const KeyType& key) {
    const size_type found = locate(key);
    if (found == npos) return 0;
    erase(this->begin() + static_cast<std::ptrdiff_t>(found));
    return 1;
  }

  iterator erase(iterator pos) { return erase(pos, std::next(pos)); }

  iterator erase(iterator first, iterator last) {
    if (first == last) return first;
    const auto offset = std::distance(Container::begin(), first);
    Container::erase(first, last);
    reindex();  // every later member moved
    return Container::begin() + offset;
  }

  template <class KeyType>
  size_type count(const KeyType& key) const {
    return locate(key) == npos ? 0 : 1;
  }
  template <class KeyType>
  bool contains(const KeyType& key) const {
    return locate(key) != npos;
  }

  template <class KeyType>
  iterator find(const KeyType& key) {
    const size_type found = locate(key);
    return found == npos ? Container::end() : this->begin() + static_cast<std::ptrdiff_t>(found);
  }
  template <class KeyType>
  const_iterator find(const KeyType& key) const {
    const size_type found = locate(key);
    return found == npos ? Container::end() : this->begin() + static_cast<std::ptrdiff_t>(found);
  }

  std::pair<iterator, bool> insert(value_type&& value) {
    return emplace(value.first, std::move(value.second));
  }
  std::pair<iterator, bool> insert(const value_type& value) {
    const size_type at = locate(value.first);
    if (at != npos) return {this->begin() + static_cast<std::ptrdiff_t>(at), false};
    Container::push_back(value);
    added();
    return {std::prev(this->end()), true};
  }
  template <
      typename InputIt,
      typename = std::enable_if_t<std::is_convertible_v<
          typename std::iterator_traits<InputIt>::iterator_category, std::input_iterator_tag>>>
  void insert(InputIt first, InputIt last) {
    for (auto it = first; it != last; ++it) insert(*it);
  }

  void clear() noexcept {
    Container::clear();
    slots_.clear();
  }

  // For a parser filling a fresh object: appends a member without looking for its name. No
  // lookup may come before fold_repeated() settles the members.
  template <class KeyType>
  T& append_unchecked(KeyType&& key) {
    return Container::emplace_back(std::forward<KeyType>(key), T{}).second;
  }

  // Builds the index once for members appended unchecked, folding each repeated name into its
  // first place: the last value wins, where the name first stood.
  void fold_repeated() {
    const size_type n = this->size();
    if (n < 2) return;
    std::vector<bool> repeated;
    auto fold = [&](size_type first, size_type later) {
      Container::operator[](first).second = std::move(Container::operator[](later).second);
      if (repeated.empty()) repeated.resize(n);
      repeated[later] = true;
    };
    reindex_empty();
    if (slots_.empty()) {
      // Small (or no memory for an index): each name against the ones before it. The first
      // match is always the live member, since a folded one matches an earlier one too.
      for (size_type i = 1; i < n; ++i) {
        const std::string_view name(Container::operator[](i).first);
        for (size_type j = 0; j < i; ++j) {
          if (std::string_view(Container::operator[](j).first) == name) {
            fold(j, i);
            break;
          }
        }
      }
    } else {
      index_all(fold);
    }
    if (repeated.empty()) return;
    size_type kept = 0;
    for (size_type i = 0; i < n; ++i) {
      if (repeated[i]) continue;
      if (kept != i) Container::operator[](kept) = std::move(Container::operator[](i));
      ++kept;
    }
    Container::erase(this->begin() + static_cast<std::ptrdiff_t>(kept), this->end());
    reindex();  // positions moved
  }

 private:
  static constexpr size_type npos = static_cast<size_type>(-1);

  template <class KeyType>
  static std::string_view view_of(const KeyType& key) {
    return std::string_view(key);
  }

  // The member's position, or npos.
  template <class KeyType>
  size_type locate(const KeyType& key) const {
    const std::string_view name = view_of(key);
    if (slots_.empty()) {
      for (size_type i = 0; i < this->size(); ++i) {
        if (std::string_view(Container::operator[](i).first) == name) return i;
      }
      return npos;
    }
    // Members are mostly read in text order: the one after the last found is tried before the
    // index, whose every probe is a cache miss once it outgrows the cache. Names are unique, so
    // a match there is the member.
    const size_type next = next_.position.load(std::memory_order_relaxed);
    if (next < this->size() && std::string_view(Container::operator[](next).first) == name) {
      next_.position.store(next + 1, std::memory_order_relaxed);
      return next;
    }
    const size_type found = locate_indexed(name);
    if (found != npos) next_.position.store(found + 1, std::memory_order_relaxed);
    return found;
  }

  size_type locate_indexed(std::string_view name) const {
    const std::uint64_t hash = member_hash(name);
    const auto check = static_cast<std::uint32_t>(hash >> 32);
    const size_type mask = slots_.size() - 1;
    for (size_type slot = static_cast<size_type>(hash) & mask;; slot = (slot + 1) & mask) {
      const Slot& entry = slots_[slot];
      if (entry.position == 0) return npos;
      // The hash's other half first: a probe past another name rarely touches its member.
      if (entry.check == check &&
          std::string_view(Container::operator[](entry.position - 1).first) == name) {
        return entry.position - 1;
      }
    }
  }

  // The last member was just appended.
  void added() noexcept {
    const size_type n = this->size();
    if (n < kIndexFrom) return;
    if (slots_.empty() || n * 10 > slots_.size() * 7) {
      reindex();
      return;
    }
    place(n - 1);
  }

  void place(size_type position) noexcept {
    (void)claim(position, member_hash(Container::operator[](position).first));
  }

  // Enters the member at position into the index, unless a member of the same name is there
  // already: then that one's position, and the index is unchanged.
  size_type claim(size_type position, std::uint64_t hash) noexcept {
    const std::string_view name(Container::operator[](position).first);
    const auto check = static_cast<std::uint32_t>(hash >> 32);
    const size_type mask = slots_.size() - 1;
    for (size_type slot = static_cast<size_type>(hash) & mask;; slot = (slot + 1) & mask) {
      Slot& entry = slots_[slot];
      if (entry.position == 0) {
        entry = {static_cast<std::uint32_t>(position + 1), check};
        return npos;
      }
      if (entry.check == check &&
          std::string_view(Container::operator[](entry.position - 1).first) == name) {
        return entry.position - 1;
      }
    }
  }

  // Enters every member into the (empty) index in order, handing a name met before to
  // fold(first, later). The slots of the next few names are fetched while one is entered: in a
  // large object nearly every slot is a cache miss, and they then overlap.
  template <class Fold>
  void index_all(Fold&& fold) {
    constexpr size_type kAhead = 8;
    const size_type n = this->size();
    const size_type mask = slots_.size() - 1;
    std::uint64_t hashes[kAhead] = {};
    auto hash_of = [&](size_type i) {
      const std::uint64_t hash = member_hash(Container::operator[](i).first);
      __builtin_prefetch(&slots_[static_cast<size_type>(hash) & mask]);
      return hash;
    };
    for (size_type i = 0; i < n && i < kAhead; ++i) hashes[i] = hash_of(i);
    for (size_type i = 0; i < n; ++i) {
      const std::uint64_t hash = hashes[i % kAhead];
      if (i + kAhead < n) hashes[i % kAhead] = hash_of(i + kAhead);
      const size_type first = claim(i, hash);
      if (first != npos) fold(first, i);
    }
  }

  // Builds the index afresh for the members as they now stand (none for a small object, or when
  // memory runs out: the members are then scanned).
  void reindex() noexcept {
    reindex_empty();
    if (!slots_.empty()) index_all([](size_type, size_type) noexcept {});
  }

  // An empty index sized for the members as they now stand (none when they are too few).
  void reindex_empty() noexcept {
    slots_.clear();
    const size_type n = this->size();
    if (n < kIndexFrom || n >= 0x7FFFFFFFu) {
      slots_.shrink_to_fit();
      return;
    }
    size_type capacity = 64;
    while (capacity < n * 2) capacity *= 2;  // at most half full; grown again past 70%
    try {
      slots_.assign(capacity, Slot{});
    } catch (...) {
      slots_.clear();
    }
  }

  struct Slot {
    std::uint32_t position = 0;  // of a member, + 1; 0 for an empty slot
    std::uint32_t check = 0;     // the upper half of the member's hash
  };
  std::vector<Slot> slots_;
  // Where the next lookup looks first. Only a guess, so a copy starts afresh; atomic, so that
  // readers on several threads (of a value no one edits) may share it.
  struct NextGuess {
    NextGuess() = default;
    NextGuess(const NextGuess&) noexcept {}
    NextGuess& operator=(const NextGuess&) noexcept { return *this; }
    mutable std::atomic<size_type> position{0};
  };
  NextGuess next_;
};

}  // namespace brindle::json_internal
