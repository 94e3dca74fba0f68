// Pieces of JsonDocument shared by its two source files: the strict parser, the text forms of a
// value, and the GBK/UTF-8 crossings. Not for use outside the document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "foundation/json_object_map.h"

namespace brindle {
namespace json_internal {

// Members in text order, found by hash in large objects.
using Json = nlohmann::basic_json<JsonObjectMap>;

}  // namespace json_internal

namespace json_internal {
class FlatJson;
}  // namespace json_internal

// The value of a document: the tree, or, after a parse the fast parser took, the flat form
// (flat set, root null) until the first edit turns it into the tree.
struct JsonEngine {
  JsonEngine();
  JsonEngine(const JsonEngine&) = delete;
  JsonEngine& operator=(const JsonEngine&) = delete;
  ~JsonEngine();

  json_internal::Json root = json_internal::Json::object();
  std::unique_ptr<json_internal::FlatJson> flat;
};

namespace json_internal {
// The engine's value as the tree, made from the flat form first if it is in that form (before
// an edit, or a read that needs the tree's nodes).
Json& tree_of(JsonEngine& engine);
}  // namespace json_internal

namespace json_internal {

struct ParseFailure {
  int number = 0;
  std::string description;
  std::size_t position = 0;  // byte offset of the offending character in the UTF-8 text
};

// Whether this thread's parse should end now (see JsonStopScope); the parsers ask every few
// thousand values, and then fail with stopped().
[[nodiscard]] bool stop_requested() noexcept;
void stopped(ParseFailure& failure);

// Parses strict JSON into out. depth receives the deepest nesting of arrays and objects
// (0 for a scalar). Never throws; on failure out holds a partial tree and failure says why.
[[nodiscard]] bool parse_strict(std::string_view utf8, int max_depth, Json& out, int& depth,
                                ParseFailure& failure);

// The same as parse_strict, result and failure alike, by a faster parser where the build has
// one (the strict parser still reads whatever that one refuses).
[[nodiscard]] bool parse_json(std::string_view utf8, int max_depth, Json& out, int& depth,
                              ParseFailure& failure);

// Empties every array and object under value, leaves first. The library's own teardown moves
// each value of a tree through a stack of its own; after this it finds nothing left to move.
void dismantle(Json& value) noexcept;

// Number::prototype.toString for a double: shortest round-trip digits, JavaScript's layout.
[[nodiscard]] std::string number_text(double value);
// A number's toString text, as append_text writes the tree's numbers.
void append_number_text(std::int64_t value, std::string& out);
void append_number_text(std::uint64_t value, std::string& out);
void append_number_text(double value, std::string& out);
// JSON.stringify: compact, non-finite numbers as null, strings escaped as JSON requires.
void append_json(const Json& value, std::string& out);
// The value's toString: see JsonDocument::get_value. Null appends nothing.
void append_text(const Json& value, std::string& out);

// Conversions at the interface. Both end the text at its first NUL and skip the converter
// when the text is plain ASCII (the same bytes in both encodings).
[[nodiscard]] std::string to_gbk(std::string_view utf8);
// A UTF-8 view of gbk: gbk itself when it is plain ASCII, else the converted text in storage.
[[nodiscard]] std::string_view utf8_view(std::string_view gbk, std::string& storage);

}  // namespace json_internal
}  // namespace brindle
