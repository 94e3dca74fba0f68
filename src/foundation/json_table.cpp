#include "foundation/json_table.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <exception>

#if BRINDLE_SIMDJSON
#include <simdjson.h>
#endif

namespace brindle {

#if BRINDLE_SIMDJSON
namespace {

// As for the document's parse: a thread keeps a parser for texts up to this size (a full server
// list is about 1 MiB); a larger one gets a parser of its own, freed with it.
constexpr std::size_t kKeptParserUpTo = std::size_t{4} << 20;
constexpr std::size_t kKeptParserFrom = 4096;

template <typename Integer>
std::string decimal(Integer value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// False for a wanted number that is not an integer: its text is the document's to write.
bool read_cell(simdjson::dom::element value, JsonCell& cell) {
  using simdjson::dom::element_type;
  cell.text.clear();
  switch (value.type()) {
    case element_type::STRING: {
      const std::string_view text = value.get_string().value_unsafe();
      cell.type = kJsonString;
      cell.text.assign(text.substr(0, text.find('\0')));
      return true;
    }
    case element_type::INT64:
      cell.type = kJsonNumber;
      cell.text = decimal(value.get_int64().value_unsafe());
      return true;
    case element_type::UINT64:
      cell.type = kJsonNumber;
      cell.text = decimal(value.get_uint64().value_unsafe());
      return true;
    case element_type::DOUBLE:
      return false;
    case element_type::BOOL:
      cell.type = kJsonBoolean;
      return true;
    case element_type::NULL_VALUE:
      cell.type = kJsonNull;
      return true;
    case element_type::ARRAY:
      cell.type = kJsonArray;
      return true;
    case element_type::OBJECT:
      cell.type = kJsonObject;
      return true;
  }
  return false;
}

bool read_table(std::string_view utf8, const std::vector<std::string_view>& names,
                const std::function<void(const JsonTableRow&)>& each) {
  thread_local simdjson::dom::parser kept;
  simdjson::dom::parser own;
  simdjson::dom::parser& parser = utf8.size() <= kKeptParserUpTo ? kept : own;
  // The fast parser's depth limit counts as the document's does: deeper texts are refused here
  // and the document reports them.
  const auto depth_limit = static_cast<std::size_t>(JsonDocument::kMaxDepth);
  if (parser.capacity() < utf8.size() || parser.max_depth() != depth_limit) {
    const std::size_t capacity = std::max({utf8.size(), parser.capacity(), kKeptParserFrom});
    if (parser.allocate(capacity, depth_limit) != simdjson::SUCCESS) return false;
  }
  simdjson::dom::element root;
  if (parser.parse(utf8.data(), utf8.size()).get(root) != simdjson::SUCCESS) return false;
  simdjson::dom::array array;
  if (root.get_array().get(array) != simdjson::SUCCESS) return false;
  // Every wanted member is looked at before the first row is given: a text left to the document
  // must reach the caller untouched.
  for (simdjson::dom::element item : array) {
    simdjson::dom::object object;
    if (item.get_object().get(object) != simdjson::SUCCESS) continue;
    for (simdjson::dom::key_value_pair field : object) {
      if (field.value.type() == simdjson::dom::element_type::DOUBLE &&
          std::find(names.begin(), names.end(), field.key) != names.end()) {
        return false;
      }
    }
  }
  // One row, its cells' buffers kept from element to element.
  JsonTableRow row;
  row.cells.resize(names.size());
  row.count = array.size();
  for (simdjson::dom::element item : array) {
    simdjson::dom::object object;
    row.is_object = item.get_object().get(object) == simdjson::SUCCESS;
    for (JsonCell& cell : row.cells) {
      cell.type = kJsonNull;
      cell.text.clear();
    }
    if (row.is_object) {
      for (simdjson::dom::key_value_pair field : object) {
        const auto at = std::find(names.begin(), names.end(), field.key);
        if (at != names.end()) {
          (void)read_cell(field.value, row.cells[static_cast<std::size_t>(at - names.begin())]);
        }
      }
    }
    each(row);
  }
  return true;
}

}  // namespace

bool read_json_table(std::string_view utf8, const std::vector<std::string_view>& names,
                     const std::function<void(const JsonTableRow&)>& each) {
  try {
    return read_table(utf8, names, each);
  } catch (const std::exception&) {
    return false;  // out of memory part way: the document tries and says how it ends
  }
}

#else

bool read_json_table(std::string_view, const std::vector<std::string_view>&,
                     const std::function<void(const JsonTableRow&)>&) {
  return false;
}

#endif

}  // namespace brindle
