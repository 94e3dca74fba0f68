#include "foundation/json_flat.h"

namespace brindle::json_internal {

std::size_t FlatJson::index_size(std::size_t members) {
  std::size_t size = 32;
  while (size < 2 * members) size *= 2;
  return size;
}

void FlatJson::open_index(Ref object, std::size_t members) {
  // A first place records the index's size (it is sized before repeats are folded).
  const std::size_t size = index_size(members);
  nodes_[object].index = static_cast<std::uint32_t>(slots_.size());
  slots_.push_back(Slot{static_cast<Ref>(size), 0});
  slots_.resize(slots_.size() + size);
}

std::size_t FlatJson::probe(const Node& object, std::string_view name, std::uint64_t hash) const {
  const std::size_t first = object.index + 1;
  const std::size_t mask = slots_[object.index].member - 1;
  std::size_t at = static_cast<std::size_t>(hash) & mask;
  const auto tag = static_cast<std::uint32_t>(hash >> 32);
  for (;;) {
    const Slot& slot = slots_[first + at];
    if (slot.member == kNone || (slot.hash == tag && key(slot.member) == name)) return first + at;
    at = (at + 1) & mask;
  }
}

FlatJson::Ref FlatJson::find_or_index(Ref object, std::string_view name, Ref member) {
  const std::uint64_t hash = member_hash(name);
  Slot& slot = slots_[probe(nodes_[object], name, hash)];
  if (slot.member != kNone) return slot.member;
  slot.member = member;
  slot.hash = static_cast<std::uint32_t>(hash >> 32);
  return kNone;
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
    return slots_[probe(node, name, member_hash(name))].member;
  }
  // Repeated names were folded when the object was built: the first match is the member.
  for (Ref ref = first; ref < first + count; ++ref) {
    if (key(ref) == name) return ref;
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
    case Kind::kInteger:
    case Kind::kUnsigned:
    case Kind::kFloat:
      json_internal::append_text(tree(ref), out);  // a scalar: the tree's own number forms
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
