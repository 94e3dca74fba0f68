// A parsed JSON value addressed by JavaScript-style member paths ("userdata.username",
// "[0].NextMap", "AllServers[3].name"). Texts cross the interface in GBK; inside, the value holds
// UTF-8 and keeps object members in the order the text gave them. A parsed value is held flat
// (compact, quick to build and to read) until its first edit turns it into an editable tree;
// nothing a caller sees depends on which.
//
// Paths are relative to the root, whose name is "da": an empty path is the root, a path starting
// with "[" is appended to "da", any other path is appended to "da." (a path that already starts
// with "da" and denotes a value is taken as it stands). Segments are ".name", "[index]" (decimal,
// 0-based) or "['name']" / ["name"] for names holding "." or "[". A name after a dot runs to the
// next "." or "[" and is looked up literally, whatever characters it holds. On an array a name
// that is a plain decimal number selects that element; any other name selects nothing. On an
// object an index selects the member named by its decimal text. A path that does not read as
// described, or passes through a missing or null member, denotes nothing: reads give the empty
// text, 0 or false, and edits change nothing (they return false).
//
// Text given to parse, set_value (as JSON), set_by_expression and raw items is strict JSON
// (RFC 8259), never code. Scalars are valid roots. Besides the grammar, a text fails when it
// nests more than `kMaxDepth` arrays and objects, holds a number too large for a double
// ("1e400"), or a \u escape naming a lone surrogate. Duplicate member names: the last value wins,
// at the place of the first. Integers keep every digit (up to 64 bits); larger ones become
// doubles. Numbers read as text are written the way JavaScript writes them (1e+21, 0.1, 5).
// Strings hold exactly the text given; a NUL ends a text, as everywhere in the program.
//
// A document belongs to the thread that made it; copy() shares the value (both see every
// change), sub_document() and item_as_sub_document() are independent deep copies. No operation
// throws.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// The value tree behind one or more documents (opaque outside the document).
struct JsonEngine;

// What parse reports about a text it rejects. number: 101 for a text that is not JSON, 406 for
// a number too large for a double, 1000 for nesting deeper than kMaxDepth; 0 after a successful
// parse. line and column are 1-based (column counted in characters); text is that line.
struct JsonParseError {
  int number = 0;
  std::string source;
  std::string description;
  std::string help_file;
  int help_context = 0;
  std::string text;
  int line = 0;
  int column = 0;
};

// Type codes of value_type().
enum JsonType : int {
  kJsonOther = -1,
  kJsonNull = 0,  // null, or nothing at the path
  kJsonBoolean = 1,
  kJsonNumber = 2,
  kJsonObject = 4,
  kJsonArray = 5,
  kJsonString = 6,
};

// While one lives, parses on its thread end early once `flag` is set (the program is closing):
// parse then fails with number 101, "stopped: the program is closing". For answers from the
// network, whose parse may be long; never around a parse whose failure would change a file.
class JsonStopScope {
 public:
  explicit JsonStopScope(const std::atomic<bool>& flag) noexcept;
  ~JsonStopScope();
  JsonStopScope(const JsonStopScope&) = delete;
  JsonStopScope& operator=(const JsonStopScope&) = delete;

 private:
  const std::atomic<bool>* outer_;
};

class JsonDocument {
 public:
  static constexpr int kMaxDepth = 1000;
  // The text leaf_values() joins the leaves with before splitting them again (UTF-8 here; the
  // leaves come back in GBK, so a leaf holding this text comes back split apart).
  static constexpr std::string_view kLeafSeparatorUtf8 = "[2020年7月20日20时0分0秒]";

  JsonDocument();  // root "da", the empty object
  ~JsonDocument();
  JsonDocument(JsonDocument&& other) noexcept;
  JsonDocument& operator=(JsonDocument&& other) noexcept;
  JsonDocument(const JsonDocument&) = delete;  // sharing must be asked for: copy()
  JsonDocument& operator=(const JsonDocument&) = delete;

  // Another handle on the same value: an edit through either is seen by both.
  JsonDocument copy() const;
  // A fresh value tree (the empty object), no longer shared with earlier copies.
  void initialise();

  // Replaces the value with the parsed text. On failure the root is null (the old value is
  // gone) and, when error is given, it describes the failure. True when the root is not null
  // ("null" parses but gives false). literal is accepted for the callers' sake: both forms read
  // the text as JSON.
  bool parse(std::string_view text, bool literal = false, JsonParseError* error = nullptr);
  void clear();  // the root becomes the empty object
  // The whole value as compact JSON (as JSON.stringify writes it); non-finite numbers are null.
  std::string serialise() const;

  // Stores text as a string (as_json false), or the JSON value text (empty means {}) at the
  // path. A JSON object given for a path holding an object is merged into it member by member;
  // see set_value in the .cpp for the rules. The member itself may be missing, its container
  // may not. False when nothing was stored.
  bool set_value(std::string_view path, std::string_view value, bool as_json = false);
  // Stores the JSON value text at the path, replacing what was there.
  bool set_by_expression(std::string_view path, std::string_view expression);

  // Rewrites path to its full form (starting with "da"); true when it denotes a value that is
  // not null.
  bool normalise_path(std::string& path) const;
  bool exists(std::string_view path) const;
  int value_type(std::string_view path) const;  // a JsonType code

  // The value as text, the way JavaScript's toString gives it: strings as they are, numbers
  // and booleans written out, arrays as their elements' texts joined with "," (null elements
  // empty), objects "[object Object]", null or missing the empty text. as_json: the value's
  // JSON text ("null" for null, empty when missing).
  std::string get_value(std::string_view path, bool as_json = false) const;
  // A string member's text as get_value gives it, but with the characters GBK lacks kept in
  // their four-byte form (utf8_to_gbk_keeping_all): for names shown as they came. Whatever else
  // the path holds gives get_value's text.
  std::string get_text_keeping_all(std::string_view path) const;
  // Names of the members of the object at the path, in order; 0 and an empty list otherwise.
  int member_names(std::vector<std::string>& out, std::string_view path) const;
  int count(std::string_view path) const;  // elements of the array at the path, else 0
  // An independent document holding a deep copy of the value at the path (root null when the
  // path denotes nothing).
  JsonDocument sub_document(std::string_view path) const;

  // Appends (or, at_front, prepends) item to the array at the path; a path holding anything
  // else is first given a new empty array. The item is a string, or JSON value text when raw.
  bool add_array_item(std::string_view item, std::string_view path, bool raw = false,
                      bool at_front = false);
  JsonDocument item_as_sub_document(int index, std::string_view path) const;
  std::string get_item(int index, std::string_view path, bool as_json = false) const;
  // Stores value (a string, or JSON value text when raw) as element index of the array at the
  // path (an index past the end fills the gap with nulls), or as the member named by the index
  // when the path holds an object.
  bool set_item(int index, std::string_view path, std::string_view value, bool raw = false);
  // Removes one element; a negative index counts from the end (below the start means 0).
  bool remove_item(int index, std::string_view path);
  // Removes an object member; an array element becomes null (the array keeps its length).
  bool delete_member(std::string_view path);
  bool set_number(std::string_view path, double number);  // NaN and infinities are kept
  // Numbers as they are, booleans 1 or 0, a string holding a decimal number that number; 0 for
  // anything else.
  double evaluate_number(std::string_view path) const;
  std::string serialise_path(std::string_view path) const;  // get_value(path, true)
  std::shared_ptr<JsonEngine> engine() const;
  // The strings, numbers and booleans among the members of the value at the path (and, when
  // recursive, of the arrays and objects below it), in order, as text. Joined with
  // kLeafSeparatorUtf8 and split at it again, as callers expect.
  int leaf_values(std::vector<std::string>& out, std::string_view path, bool recursive) const;

 private:
  explicit JsonDocument(std::shared_ptr<JsonEngine> engine);

  std::shared_ptr<JsonEngine> engine_;
};

}  // namespace brindle
