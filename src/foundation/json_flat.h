// A parsed JSON value laid out flat, for documents that are read and not edited (most answers of
// the services): every value is one fixed-size node in one array, the children of an array or
// object stand side by side (an element is found by its index, a member by its name: scanned in
// small objects, through a hash index in large ones), and every text lies in
// one buffer. Building it costs two growing arrays instead of an allocation per value, and
// reading it follows indices instead of pointers.
//
// It holds what the tree (Json) would hold for the same text: the same number types, repeated
// names folded into their first place with the last value, the texts as the parser decoded them.
// A document turns it into the tree (tree()) before its first edit. Not for use outside the
// document.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/json_document_internal.h"

namespace brindle::json_internal {

class FlatJson {
 public:
  enum class Kind : std::uint8_t {
    kNull,
    kBoolean,
    kInteger,   // negative integers
    kUnsigned,  // integers from 0 up
    kFloat,
    kString,
    kArray,
    kObject,
  };

  // A node by its position; kNone for none. The root is 0.
  using Ref = std::uint32_t;
  static constexpr Ref kNone = UINT32_MAX;
  static constexpr Ref kRoot = 0;

  struct Node {
    Kind kind = Kind::kNull;
    bool boolean = false;
    std::uint32_t key_offset = 0;  // a member's name in the text buffer
    std::uint32_t key_size = 0;
    std::uint32_t index = UINT32_MAX;  // a large object's first slot in the index, else none
    struct Text {
      std::uint32_t offset;
      std::uint32_t size;
    };
    struct Children {
      std::uint32_t first;
      std::uint32_t count;
    };
    union {
      std::int64_t integer;
      std::uint64_t whole;
      double real;
      Text text;
      Children children;
    };
    Node() : integer(0) {}
  };

  // Sizes past these do not fit the node's fields: such a text is read into the tree instead.
  static constexpr std::size_t kMaxText = std::size_t{1} << 31;

  FlatJson() = default;
  FlatJson(const FlatJson&) = delete;
  FlatJson& operator=(const FlatJson&) = delete;

  Kind kind(Ref ref) const { return nodes_[ref].kind; }
  bool is_null(Ref ref) const { return nodes_[ref].kind == Kind::kNull; }
  // A string node's text (it may hold NUL characters, as the tree's strings do).
  std::string_view text(Ref ref) const {
    const Node& node = nodes_[ref];
    return {chars_.data() + node.text.offset, node.text.size};
  }
  std::string_view key(Ref ref) const {
    const Node& node = nodes_[ref];
    return {chars_.data() + node.key_offset, node.key_size};
  }
  // Whether the member's name is name.
  bool key_is(Ref ref, std::string_view name) const {
    const Node& node = nodes_[ref];
    return node.key_size == name.size() && starts_with(chars_.data() + node.key_offset, name);
  }
  // Whether text starts with name, compared byte by byte: names are short as a rule, and a
  // library call costs more than the comparison.
  static bool starts_with(const char* text, std::string_view name) {
    std::size_t i = 0;
    while (i < name.size() && text[i] == name[i]) ++i;
    return i == name.size();
  }
  std::size_t size(Ref ref) const {  // elements or members of a container, else 0
    const Node& node = nodes_[ref];
    return node.kind == Kind::kArray || node.kind == Kind::kObject ? node.children.count : 0;
  }
  Ref first_child(Ref ref) const { return nodes_[ref].children.first; }
  // The element at index of an array, kNone past its end or on anything else.
  Ref element(Ref array, std::size_t index) const;
  // The member of an object by its name, kNone when it has none or is no object.
  Ref member(Ref object, std::string_view name) const;

  // The value as the tree holds it: a scalar, or a container built out whole.
  Json tree(Ref ref) const;
  // The value's toString text (see append_text), without building a tree.
  void append_text(Ref ref, std::string& out) const;

  // Objects from this many members are found through an index, smaller ones by a scan.
  static constexpr std::size_t kIndexFrom = 16;

  // Building (json_document_parse.cpp): nodes are added by the builder, texts kept in order.
  std::vector<Node>& nodes() { return nodes_; }
  std::string& chars() { return chars_; }
  // Gives the object (with room for `members` members, repeats included) an empty index.
  void open_index(Ref object, std::size_t members);
  // Indexes the object's first `count` children, whose keys are set in text order (repeats
  // included), and folds repeated names: the distinct names then stand in order of first
  // appearance from the object's first child. places is left empty when no name repeats (the
  // i-th name's value goes to the i-th child), else it holds where each name's value goes (a
  // repeat: to the place of its first appearance). The number of members.
  std::size_t index_members(Ref object, std::size_t count, std::vector<Ref>& places);

 private:
  // An object's index has a third more places than it has members (repeats included), probed
  // in turn from the place its hash gives a name, past the last place back to the first; a first
  // place before them holds the size. A place is 0 when empty, else it holds the member's
  // position among the object's children plus one in its low bits (as many as the size has)
  // and the top bits of the name's hash above them, so most other names are passed over
  // without reading their nodes. Places of four bytes keep a large object's index within the
  // caches longer. Names are hashed under the process's random key (as the tree's objects
  // are), so a text cannot be made of colliding names. (A text under kMaxText holds fewer than
  // 2^29 members, so the size stays below 2^31.)
  using Slot = std::uint32_t;
  static std::size_t index_size(std::size_t members);
  // The member named name in the indexed object, kNone when it has none.
  Ref find(const Node& object, std::string_view name, std::uint64_t hash) const;

  std::vector<Node> nodes_;
  std::string chars_;
  std::vector<Slot> slots_;  // the indices of every large object, one after another
  // The member of a large object that member() found last (atomic: readers of a shared
  // document may overlap, and this is only a guess to try first).
  mutable std::atomic<Ref> last_found_{kNone};
};

// Bytes past the end of a text that parse_flat may read when told they are there.
inline constexpr std::size_t kFlatParsePadding = 64;

// Reads the text into out where the build has the fast parser and the text is one it takes
// whole; false otherwise (out is then unspecified, and the text goes to parse_json, which gives
// the tree or the failure as before). depth as parse_json gives it. padded: kFlatParsePadding
// bytes after the text may be read (the parser then reads the text where it is, not a copy).
[[nodiscard]] bool parse_flat(std::string_view utf8, int max_depth, FlatJson& out, int& depth,
                              bool padded = false);

}  // namespace brindle::json_internal
