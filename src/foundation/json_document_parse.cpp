// The document's parse. Where the build has simdjson (BRINDLE_SIMDJSON), it validates and
// decodes the text at memory speed and the value is built from its result (flat for a document's
// parse, the tree for values given to edits); every text it refuses goes to the strict parser,
// which then gives the failure (number, place, description) or the value exactly as it always has.
// Texts simdjson takes that the strict parser reads otherwise are known and sent there too (nesting
// past the limit); the fuzz target holds the two to the same result on every text both accept.
#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/json_document_internal.h"
#include "foundation/json_flat.h"

#if BRINDLE_SIMDJSON
#include <simdjson.h>
#endif

namespace brindle::json_internal {

#if BRINDLE_SIMDJSON
namespace {

// Texts up to this size go to a parser kept by the thread, so repeated parses allocate nothing
// of simdjson's (a full server list is about 1 MiB); a larger text gets a parser of its own,
// freed with it, so no thread keeps buffers sized for the largest answer it ever read.
constexpr std::size_t kKeptParserUpTo = std::size_t{4} << 20;
constexpr std::size_t kKeptParserFrom = 4096;

class TreeFromDom {
 public:
  explicit TreeFromDom(int max_depth) : max_depth_(max_depth) {}

  // False when the value nests past max_depth: the strict parser then reports it.
  bool build(simdjson::dom::element element, Json& out, int level) {
    using simdjson::dom::element_type;
    if ((++values_ & 0xFFF) == 0 && stop_requested()) return false;
    switch (element.type()) {
      case element_type::ARRAY: {
        if (!enter(level)) return false;
        out = Json::array();
        auto& elements = out.get_ref<Json::array_t&>();
        const simdjson::dom::array array = element.get_array().value_unsafe();
        elements.reserve(array.size());
        for (simdjson::dom::element item : array) {
          if (!build(item, elements.emplace_back(), level + 1)) return false;
        }
        return true;
      }
      case element_type::OBJECT: {
        if (!enter(level)) return false;
        out = Json::object();
        auto& members = out.get_ref<Json::object_t&>();
        const simdjson::dom::object object = element.get_object().value_unsafe();
        members.reserve(object.size());
        for (simdjson::dom::key_value_pair field : object) {
          if (!build(field.value, members.append_unchecked(std::string(field.key)), level + 1))
            return false;
        }
        members.fold_repeated();
        return true;
      }
      case element_type::STRING:
        out = Json::value_t::string;
        out.get_ref<std::string&>().assign(element.get_string().value_unsafe());
        return true;
      case element_type::INT64: {
        // As the strict parser stores them: a number without a sign is unsigned.
        const std::int64_t value = element.get_int64().value_unsafe();
        if (value >= 0)
          out = static_cast<std::uint64_t>(value);
        else
          out = value;
        return true;
      }
      case element_type::UINT64:
        out = element.get_uint64().value_unsafe();
        return true;
      case element_type::DOUBLE:
        out = element.get_double().value_unsafe();
        return true;
      case element_type::BOOL:
        out = element.get_bool().value_unsafe();
        return true;
      case element_type::NULL_VALUE:
        out = nullptr;
        return true;
    }
    return false;
  }

  int deepest() const { return deepest_; }

 private:
  bool enter(int level) {
    if (level >= max_depth_) return false;
    deepest_ = std::max(deepest_, level + 1);
    return true;
  }

  int max_depth_;
  int deepest_ = 0;
  std::uint32_t values_ = 0;
};

static_assert(kFlatParsePadding >= simdjson::SIMDJSON_PADDING);

// simdjson's reading of text, held by this thread's parser (until its next parse) or, for a
// large text, by own; false when it refuses the text. padded: as parse_flat takes it.
bool parse_dom(std::string_view utf8, int max_depth, simdjson::dom::parser& own,
               simdjson::dom::element& root, bool padded = false) {
  thread_local simdjson::dom::parser kept;
  simdjson::dom::parser& parser = utf8.size() <= kKeptParserUpTo ? kept : own;
  // One level more than allowed, so that a text one level too deep is built and refused here
  // by the same count the strict parser uses.
  const auto depth_limit = static_cast<std::size_t>(max_depth) + 1;
  if (parser.capacity() < utf8.size() || parser.max_depth() != depth_limit) {
    const std::size_t capacity = std::max({utf8.size(), parser.capacity(), kKeptParserFrom});
    if (parser.allocate(capacity, depth_limit) != simdjson::SUCCESS) return false;
  }
  return parser.parse(utf8.data(), utf8.size(), !padded).get(root) == simdjson::SUCCESS;
}

// The value of text by simdjson; false when it refuses the text or leaves it to the strict parser.
bool parse_fast(std::string_view utf8, int max_depth, Json& out, int& depth) {
  simdjson::dom::parser own;
  simdjson::dom::element root;
  if (!parse_dom(utf8, max_depth, own, root)) return false;
  TreeFromDom builder(max_depth);
  Json parsed;
  if (!builder.build(root, parsed, 0)) return false;
  out = std::move(parsed);
  depth = builder.deepest();
  return true;
}

// The same value laid out flat (FlatJson): the children of each container take the next free
// places side by side, and a child container's own children follow further on.
class FlatFromDom {
 public:
  using Ref = FlatJson::Ref;
  using Kind = FlatJson::Kind;

  FlatFromDom(FlatJson& out, int max_depth)
      : out_(out), nodes_(out.nodes()), chars_(out.chars()), max_depth_(max_depth) {}

  // False when the value nests past max_depth (the strict parser then reports it) or the
  // program is closing.
  bool build(simdjson::dom::element element, Ref at, int level) {
    using simdjson::dom::element_type;
    if ((++values_ & 0xFFF) == 0 && stop_requested()) return false;
    switch (element.type()) {
      case element_type::ARRAY: {
        if (!enter(level)) return false;
        const simdjson::dom::array array = element.get_array().value_unsafe();
        const Ref first = open(at, Kind::kArray, exact_size(array));
        Ref next = first;
        for (simdjson::dom::element item : array) {
          if (!build(item, next++, level + 1)) return false;
        }
        nodes_[at].children.count = next - first;
        return true;
      }
      case element_type::OBJECT: {
        if (!enter(level)) return false;
        const simdjson::dom::object object = element.get_object().value_unsafe();
        const std::size_t size = exact_size(object);
        const Ref first = open(at, Kind::kObject, size);
        // A repeated name takes the later value in the place where it first stood.
        if (size >= FlatJson::kIndexFrom) {
          // A large object's names are kept and indexed first, repeats folded, then the values
          // are built in their places.
          out_.open_index(at, size);
          Ref next = first;
          for (simdjson::dom::key_value_pair field : object) {
            const auto [offset, length] = keep(field.key);
            nodes_[next].key_offset = offset;
            nodes_[next].key_size = length;
            ++next;
          }
          std::vector<Ref> places;
          const std::size_t members = out_.index_members(at, next - first, places);
          Ref place = first;
          std::size_t i = 0;
          for (simdjson::dom::key_value_pair field : object) {
            if (!build(field.value, places.empty() ? place++ : places[i++], level + 1))
              return false;
          }
          nodes_[at].children.count = static_cast<std::uint32_t>(members);
          return true;
        }
        Ref next = first;
        for (simdjson::dom::key_value_pair field : object) {
          const std::string_view name = field.key;
          Ref place = FlatJson::kNone;
          for (Ref ref = first; ref < next; ++ref) {
            if (out_.key_is(ref, name)) {
              place = ref;
              break;
            }
          }
          if (place == FlatJson::kNone) {
            const auto [offset, length] = keep_name(next - first, name);
            place = next++;
            nodes_[place].key_offset = offset;
            nodes_[place].key_size = length;
          }
          if (!build(field.value, place, level + 1)) return false;
        }
        nodes_[at].children.count = next - first;
        return true;
      }
      case element_type::STRING: {
        const auto [offset, length] = keep(element.get_string().value_unsafe());
        nodes_[at].kind = Kind::kString;
        nodes_[at].text.offset = offset;
        nodes_[at].text.size = length;
        return true;
      }
      case element_type::INT64: {
        // As the strict parser stores them: a number without a sign is unsigned.
        const std::int64_t value = element.get_int64().value_unsafe();
        if (value >= 0) {
          nodes_[at].kind = Kind::kUnsigned;
          nodes_[at].whole = static_cast<std::uint64_t>(value);
        } else {
          nodes_[at].kind = Kind::kInteger;
          nodes_[at].integer = value;
        }
        return true;
      }
      case element_type::UINT64:
        nodes_[at].kind = Kind::kUnsigned;
        nodes_[at].whole = element.get_uint64().value_unsafe();
        return true;
      case element_type::DOUBLE:
        nodes_[at].kind = Kind::kFloat;
        nodes_[at].real = element.get_double().value_unsafe();
        return true;
      case element_type::BOOL:
        nodes_[at].kind = Kind::kBoolean;
        nodes_[at].boolean = element.get_bool().value_unsafe();
        return true;
      case element_type::NULL_VALUE:
        nodes_[at].kind = Kind::kNull;
        return true;
    }
    return false;
  }

  int deepest() const { return deepest_; }

 private:
  // simdjson's count of elements or members, which stops at 0xFFFFFF; counted out past that.
  template <class Container>
  static std::size_t exact_size(const Container& container) {
    std::size_t size = container.size();
    if (size < 0xFFFFFF) return size;
    size = 0;
    for (auto item : container) {
      (void)item;
      ++size;
    }
    return size;
  }

  bool enter(int level) {
    if (level >= max_depth_) return false;
    deepest_ = std::max(deepest_, level + 1);
    return true;
  }
  // Makes node `at` a container whose children take the next `size` places; the first of them.
  Ref open(Ref at, Kind kind, std::size_t size) {
    const auto first = static_cast<Ref>(nodes_.size());
    nodes_[at].kind = kind;
    nodes_[at].index = UINT32_MAX;  // a repeated name's earlier value may have had one
    nodes_[at].children.first = first;
    nodes_[at].children.count = 0;
    nodes_.resize(nodes_.size() + size);
    return first;
  }
  // Appends text to the buffer (reserved for the whole text up front, so views into it stay
  // valid while the value is built): its place and size.
  std::pair<std::uint32_t, std::uint32_t> keep(std::string_view text) {
    const auto offset = static_cast<std::uint32_t>(chars_.size());
    chars_.append(text);
    return {offset, static_cast<std::uint32_t>(text.size())};
  }

  // The name of a small object's member at position: the text kept for the name at that
  // position in the last small object when it is the same (a list of records names its
  // members alike), else a new one.
  std::pair<std::uint32_t, std::uint32_t> keep_name(std::size_t position, std::string_view name) {
    auto& [offset, length] = names_at_[position];
    if (length != name.size() || !FlatJson::starts_with(chars_.data() + offset, name))
      std::tie(offset, length) = keep(name);
    return {offset, length};
  }

  FlatJson& out_;
  std::vector<FlatJson::Node>& nodes_;
  std::string& chars_;
  // The last small object's names by position, their place in chars_ and size.
  std::array<std::pair<std::uint32_t, std::uint32_t>, FlatJson::kIndexFrom> names_at_{};
  int max_depth_;
  int deepest_ = 0;
  std::uint32_t values_ = 0;
};

}  // namespace

bool parse_flat(std::string_view utf8, int max_depth, FlatJson& out, int& depth, bool padded) {
  if (utf8.size() >= FlatJson::kMaxText) return false;
  try {
    simdjson::dom::parser own;
    simdjson::dom::element root;
    if (!parse_dom(utf8, max_depth, own, root, padded)) return false;
    // The texts, unescaped, never take more room than the text: one allocation for all of them.
    out.chars().reserve(utf8.size());
    out.nodes().reserve(utf8.size() / 16 + 1);
    out.nodes().emplace_back();
    FlatFromDom builder(out, max_depth);
    if (!builder.build(root, FlatJson::kRoot, 0)) return false;
    depth = builder.deepest();
    return true;
  } catch (const std::exception&) {
    return false;  // out of memory part way: the tree's parse tries and says how it ends
  }
}

bool parse_json(std::string_view utf8, int max_depth, Json& out, int& depth,
                ParseFailure& failure) {
  try {
    if (parse_fast(utf8, max_depth, out, depth)) return true;
  } catch (const std::exception&) {
    // Out of memory part way: the strict parser tries again and says how it ends.
  }
  if (stop_requested()) {
    stopped(failure);
    return false;
  }
  return parse_strict(utf8, max_depth, out, depth, failure);
}

#else

bool parse_flat(std::string_view, int, FlatJson&, int&, bool) { return false; }

bool parse_json(std::string_view utf8, int max_depth, Json& out, int& depth,
                ParseFailure& failure) {
  return parse_strict(utf8, max_depth, out, depth, failure);
}

#endif

}  // namespace brindle::json_internal
