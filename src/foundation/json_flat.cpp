#include "foundation/json_flat.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace brindle::json_internal {

namespace {

using Slot = std::uint32_t;

// The place a name's search starts from: its hash's low half scaled to the index's size.
Slot home(std::uint64_t hash, Slot size) {
  return static_cast<Slot>(((hash & 0xFFFFFFFFu) * size) >> 32);
}
Slot next_place(Slot at, Slot size) { return at + 1 == size ? 0 : at + 1; }
// The low bits of a place that hold a position plus one: as many as the size has.
Slot position_bits(Slot size) { return (Slot{1} << std::bit_width(size)) - 1; }
// The top bits of the name's hash, kept above them.
Slot tag(std::uint64_t hash, Slot bits) { return static_cast<Slot>(hash >> 32) & ~bits; }

// Asks memory for the line holding place, to be written soon.
void prefetch(const Slot* place) {
#if defined(__GNUC__)
  __builtin_prefetch(place, 1);
#else
  (void)place;
#endif
}

}  // namespace

std::size_t FlatJson::index_size(std::size_t members) {
  return std::max<std::size_t>(32, members + members / 3 + 1);
}

void FlatJson::open_index(Ref object, std::size_t members) {
  // A first place records the index's size (it is sized before repeats are folded).
  const std::size_t size = index_size(members);
  nodes_[object].index = static_cast<std::uint32_t>(slots_.size());
  slots_.push_back(static_cast<Slot>(size));
  slots_.resize(slots_.size() + size);
}

FlatJson::Ref FlatJson::find(const Node& object, std::string_view name, std::uint64_t hash) const {
  const Slot* places = slots_.data() + object.index + 1;
  const Slot size = slots_[object.index];
  const Slot bits = position_bits(size);
  const Slot wanted = tag(hash, bits);
  for (Slot at = home(hash, size);; at = next_place(at, size)) {
    const Slot place = places[at];
    if (place == 0) return kNone;
    if ((place & ~bits) == wanted) {
      const Ref member = object.children.first + (place & bits) - 1;
      if (key(member) == name) return member;
    }
  }
}

std::size_t FlatJson::index_members(Ref object, std::size_t count, std::vector<Ref>& places) {
  places.clear();
  const Ref first = nodes_[object].children.first;
  Slot* index = slots_.data() + nodes_[object].index + 1;
  const Slot size = slots_[nodes_[object].index];
  const Slot bits = position_bits(size);
  // The names go in in text order, so a repeat finds its first appearance. A large index lies
  // beyond the caches and each name lands at random in it: the places of the next names are
  // asked of memory while this one goes in, rather than each waited for in turn.
  constexpr std::size_t kAhead = 16;
  std::uint64_t hashes[kAhead] = {};
  const auto ask = [&](std::size_t i) {
    const std::uint64_t hash = member_hash(key(first + static_cast<Ref>(i)));
    hashes[i % kAhead] = hash;
    prefetch(index + home(hash, size));
  };
  for (std::size_t i = 0; i < count && i < kAhead; ++i) ask(i);
  std::vector<std::pair<Ref, Ref>> repeats;  // a repeated name's position, its first one's
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t hash = hashes[i % kAhead];
    if (i + kAhead < count) ask(i + kAhead);
    const Slot wanted = tag(hash, bits);
    for (Slot at = home(hash, size);; at = next_place(at, size)) {
      const Slot place = index[at];
      if (place == 0) {
        index[at] = wanted | static_cast<Slot>(i + 1);
        break;
      }
      if ((place & ~bits) == wanted &&
          key(first + (place & bits) - 1) == key(first + static_cast<Ref>(i))) {
        repeats.emplace_back(static_cast<Ref>(i), (place & bits) - 1);
        break;
      }
    }
  }
  if (repeats.empty()) return count;

  // Repeats: the distinct names close up in order, and the index follows them.
  places.resize(count);
  std::size_t next = 0;
  auto repeat = repeats.begin();
  for (std::size_t i = 0; i < count; ++i) {
    if (repeat != repeats.end() && repeat->first == i) {
      places[i] = places[repeat->second];
      ++repeat;
      continue;
    }
    places[i] = first + static_cast<Ref>(next);
    if (next != i) {
      nodes_[first + next].key_offset = nodes_[first + i].key_offset;
      nodes_[first + next].key_size = nodes_[first + i].key_size;
    }
    ++next;
  }
  for (Slot at = 0; at < size; ++at) {
    const Slot place = index[at];
    if (place != 0) index[at] = (place & ~bits) | (places[(place & bits) - 1] - first + 1);
  }
  return next;
}

FlatJson::Ref FlatJson::element(Ref array, std::size_t index) const {
  const Node& node = nodes_[array];
  if (node.kind != Kind::kArray || index >= node.children.count) return kNone;
  return node.children.first + static_cast<Ref>(index);
}

FlatJson::Ref FlatJson::member(Ref object, std::string_view name) const {
  const Node& node = nodes_[object];
  if (node.kind != Kind::kObject) return kNone;
  const Ref first = node.children.first;
  const std::uint32_t count = node.children.count;
  if (node.index != UINT32_MAX) {
    // Members are often read in text order: the one after the last found is tried first, which
    // spares a large index's random place (names are distinct, so a match is the member).
    const Ref after = last_found_.load(std::memory_order_relaxed) + 1;
    if (after >= first && after < first + count && key(after) == name) {
      last_found_.store(after, std::memory_order_relaxed);
      return after;
    }
    const Ref found = find(node, name, member_hash(name));
    if (found != kNone) last_found_.store(found, std::memory_order_relaxed);
    return found;
  }
  // Repeated names were folded when the object was built: the first match is the member.
  for (Ref ref = first; ref < first + count; ++ref) {
    if (key_is(ref, name)) return ref;
  }
  return kNone;
}

Json FlatJson::tree(Ref ref) const {
  const Node& node = nodes_[ref];
  switch (node.kind) {
    case Kind::kNull:
      return Json(nullptr);
    case Kind::kBoolean:
      return Json(node.boolean);
    case Kind::kInteger:
      return Json(static_cast<Json::number_integer_t>(node.integer));
    case Kind::kUnsigned:
      return Json(static_cast<Json::number_unsigned_t>(node.whole));
    case Kind::kFloat:
      return Json(node.real);
    case Kind::kString:
      return Json(std::string(text(ref)));
    case Kind::kArray: {
      Json out = Json::array();
      auto& elements = out.get_ref<Json::array_t&>();
      elements.reserve(node.children.count);
      for (Ref child = node.children.first; child < node.children.first + node.children.count;
           ++child) {
        elements.push_back(tree(child));
      }
      return out;
    }
    case Kind::kObject: {
      Json out = Json::object();
      auto& members = out.get_ref<Json::object_t&>();
      members.reserve(node.children.count);
      for (Ref child = node.children.first; child < node.children.first + node.children.count;
           ++child) {
        members.append_unchecked(std::string(key(child))) = tree(child);
      }
      members.fold_repeated();  // names are distinct already: this builds the index only
      return out;
    }
  }
  return Json(nullptr);
}

void FlatJson::append_text(Ref ref, std::string& out) const {
  const Node& node = nodes_[ref];
  switch (node.kind) {
    case Kind::kString:
      out += text(ref);
      return;
    case Kind::kBoolean:
      out += node.boolean ? "true" : "false";
      return;
    case Kind::kInteger:
      append_number_text(node.integer, out);
      return;
    case Kind::kUnsigned:
      append_number_text(node.whole, out);
      return;
    case Kind::kFloat:
      append_number_text(node.real, out);
      return;
    case Kind::kObject:
      out += "[object Object]";
      return;
    case Kind::kArray:
      for (Ref child = node.children.first; child < node.children.first + node.children.count;
           ++child) {
        if (child != node.children.first) out += ',';
        append_text(child, out);  // null elements give nothing, as Array::join does
      }
      return;
    case Kind::kNull:
      return;
  }
}

}  // namespace brindle::json_internal
