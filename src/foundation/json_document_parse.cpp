// The document's parse. Where the build has simdjson (BRINDLE_SIMDJSON), it validates and
// decodes the text at memory speed and the tree is built from its result; every text it refuses
// goes to the strict parser, which then gives the failure (number, place, description) or the
// value exactly as it always has. Texts simdjson takes that the strict parser reads otherwise
// are known and sent there too (nesting past the limit); the fuzz target holds the two to the
// same result on every text both accept.
#include <algorithm>
#include <cstdint>
#include <exception>

#include "foundation/json_document_internal.h"

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

// The value of text by simdjson; false when it refuses the text or leaves it to the strict parser.
bool parse_fast(std::string_view utf8, int max_depth, Json& out, int& depth) {
  thread_local simdjson::dom::parser kept;
  simdjson::dom::parser own;
  simdjson::dom::parser& parser = utf8.size() <= kKeptParserUpTo ? kept : own;
  // One level more than allowed, so that a text one level too deep is built and refused here
  // by the same count the strict parser uses.
  const auto depth_limit = static_cast<std::size_t>(max_depth) + 1;
  if (parser.capacity() < utf8.size() || parser.max_depth() != depth_limit) {
    const std::size_t capacity = std::max({utf8.size(), parser.capacity(), kKeptParserFrom});
    if (parser.allocate(capacity, depth_limit) != simdjson::SUCCESS) return false;
  }
  simdjson::dom::element root;
  if (parser.parse(utf8.data(), utf8.size()).get(root) != simdjson::SUCCESS) return false;
  TreeFromDom builder(max_depth);
  Json parsed;
  if (!builder.build(root, parsed, 0)) return false;
  out = std::move(parsed);
  depth = builder.deepest();
  return true;
}

}  // namespace

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

bool parse_json(std::string_view utf8, int max_depth, Json& out, int& depth,
                ParseFailure& failure) {
  return parse_strict(utf8, max_depth, out, depth, failure);
}

#endif

}  // namespace brindle::json_internal
