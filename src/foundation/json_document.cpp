// JsonDocument: paths, reads and edits over the native value tree. The text forms (parsing,
// JSON and toString output, GBK crossings) live in json_document_text.cpp.
#include "foundation/json_document.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>

#include "foundation/encoding.h"
#include "foundation/json_document_internal.h"
#include "foundation/json_flat.h"

namespace brindle {
namespace {

using json_internal::FlatJson;
using json_internal::Json;
using json_internal::to_gbk;
using json_internal::tree_of;
using json_internal::utf8_view;

constexpr std::string_view kRootName = "da";
// How far past the end of an array set_item may write (the gap fills with nulls). A script
// engine would keep a sparse array; here a larger jump is refused rather than allocated.
constexpr long long kMaxArrayGap = 65536;

// One step of a path. name views the path's text, or the reader's own copy of a quoted name
// that held escapes; either way it is valid until the reader's next step.
struct Segment {
  bool is_index = false;  // "[12]": index holds the number
  long long index = 0;
  std::string_view name;  // ".name" or "['name']", UTF-8
};

// A step kept for an edit, after the reader and its text are gone.
struct KeptSegment {
  bool is_index = false;
  long long index = 0;
  std::string name;

  Segment view() const { return {is_index, index, name}; }
};

// The decimal integer at the start of [first, last) as std::from_chars reads one (an optional
// "-", then digits); the end of it, or nullptr when there is none or it does not fit.
const char* read_integer(const char* first, const char* last, long long& value) {
  const char* p = first;
  const bool negative = p != last && *p == '-';
  if (negative) ++p;
  const char* digits = p;
  unsigned long long magnitude = 0;
  while (p != last && *p >= '0' && *p <= '9' && p - digits < 18)
    magnitude = magnitude * 10 + static_cast<unsigned>(*p++ - '0');
  if (p == digits) return nullptr;
  if (p != last && *p >= '0' && *p <= '9') {
    // Nineteen digits or more: the library checks the range.
    auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() ? end : nullptr;
  }
  value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
  return p;
}

// Reads the segments of a path relative to the root, one at a time, without copying the path.
class PathReader {
 public:
  // bare_first: the path opens with a name that has no "." before it ("userdata.username").
  PathReader(std::string_view utf8, bool bare_first) : text_(utf8), bare_(bare_first) {}

  // The next segment; false at the end or at a malformed one (then bad()).
  bool next(Segment& segment) {
    if (pos_ >= text_.size()) return false;
    if (bare_) {
      bare_ = false;
      return read_name(segment);
    }
    char c = text_[pos_++];
    if (c == '.') return read_name(segment);
    if (c == '[') return read_bracket(segment);
    return fail();
  }
  bool bad() const { return bad_; }

 private:
  bool fail() {
    bad_ = true;
    pos_ = text_.size();
    return false;
  }
  bool read_name(Segment& segment) {
    std::size_t end = pos_;
    while (end < text_.size() && text_[end] != '.' && text_[end] != '[' && text_[end] != ']') ++end;
    if (end == pos_ || (end < text_.size() && text_[end] == ']')) return fail();
    segment.is_index = false;
    segment.name = text_.substr(pos_, end - pos_);
    pos_ = end;
    return true;
  }
  bool read_bracket(Segment& segment) {
    skip_spaces();
    if (pos_ >= text_.size()) return fail();
    char quote = text_[pos_];
    if (quote == '\'' || quote == '"') {
      ++pos_;
      segment.is_index = false;
      const std::size_t start = pos_;
      bool escaped = false;
      for (;;) {
        if (pos_ >= text_.size()) return fail();
        char c = text_[pos_++];
        if (c == quote) break;
        if (c == '\\') {
          if (pos_ >= text_.size()) return fail();
          escaped = true;
          ++pos_;
        }
      }
      const std::string_view quoted = text_.substr(start, pos_ - 1 - start);
      segment.name = escaped ? unescape(quoted) : quoted;
    } else {
      const char* first = text_.data() + pos_;
      const char* end = read_integer(first, text_.data() + text_.size(), segment.index);
      if (end == nullptr) return fail();
      segment.is_index = true;
      pos_ += static_cast<std::size_t>(end - first);
    }
    skip_spaces();
    if (pos_ >= text_.size() || text_[pos_] != ']') return fail();
    ++pos_;
    return true;
  }
  // A quoted name with its escapes taken out: "\\n", "\\r", "\\t" the control characters,
  // any other escaped character itself. Held by the reader.
  std::string_view unescape(std::string_view quoted) {
    unescaped_.clear();
    for (std::size_t i = 0; i < quoted.size(); ++i) {
      char c = quoted[i];
      if (c == '\\') {
        c = quoted[++i];  // the closing quote was not escaped: an escape has its character
        if (c == 'n')
          c = '\n';
        else if (c == 'r')
          c = '\r';
        else if (c == 't')
          c = '\t';
      }
      unescaped_ += c;
    }
    return unescaped_;
  }
  void skip_spaces() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool bare_;
  bool bad_ = false;
  std::string unescaped_;
};

// The element number a segment names on an array: an index, or a name that is a plain decimal
// number ("0", "12"; not "012").
bool element_number(const Segment& segment, long long& number) {
  if (segment.is_index) {
    number = segment.index;
    return true;
  }
  const std::string_view name = segment.name;
  if (name.empty() || name.size() > 18 || (name.size() > 1 && name[0] == '0')) return false;
  return read_integer(name.data(), name.data() + name.size(), number) ==
             name.data() + name.size() &&
         number >= 0;
}

std::string member_key(const Segment& segment) {
  return segment.is_index ? std::to_string(segment.index) : std::string(segment.name);
}

Json* member(Json& object, std::string_view name) {
  auto& members = object.get_ref<Json::object_t&>();
  const auto found = members.find(name);
  return found == members.end() ? nullptr : &found->second;
}

Json* child(Json& node, const Segment& segment) {
  if (node.is_object()) {
    return segment.is_index ? member(node, std::to_string(segment.index))
                            : member(node, segment.name);
  }
  if (node.is_array()) {
    long long number = 0;
    if (!element_number(segment, number) || number < 0 ||
        number >= static_cast<long long>(node.size())) {
      return nullptr;
    }
    return &node.get_ref<Json::array_t&>()[static_cast<std::size_t>(number)];
  }
  return nullptr;
}

// The two forms a value may take, behind one reading of paths. Tree: the nodes of the Json tree.
struct TreeNodes {
  using Ref = Json*;
  static constexpr Ref kNone = nullptr;
  Ref root;
  Ref child(Ref node, const Segment& segment) const { return brindle::child(*node, segment); }
  bool is_null(Ref node) const { return node->is_null(); }
};

// Flat: the nodes of a FlatJson, found as the tree's would be.
struct FlatNodes {
  using Ref = FlatJson::Ref;
  static constexpr Ref kNone = FlatJson::kNone;
  const FlatJson* flat;
  Ref root = FlatJson::kRoot;
  Ref child(Ref node, const Segment& segment) const {
    switch (flat->kind(node)) {
      case FlatJson::Kind::kObject:
        return segment.is_index ? flat->member(node, std::to_string(segment.index))
                                : flat->member(node, segment.name);
      case FlatJson::Kind::kArray: {
        long long number = 0;
        if (!element_number(segment, number) || number < 0) return kNone;
        return flat->element(node, static_cast<std::size_t>(number));
      }
      default:
        return kNone;
    }
  }
  bool is_null(Ref node) const { return flat->is_null(node); }
};

template <class Nodes>
typename Nodes::Ref walk(const Nodes& nodes, std::string_view path, bool bare_first) {
  PathReader reader(path, bare_first);
  Segment segment;
  typename Nodes::Ref node = nodes.root;
  while (reader.next(segment)) {
    node = nodes.child(node, segment);
    if (node == Nodes::kNone) return Nodes::kNone;
  }
  return reader.bad() ? Nodes::kNone : node;
}

bool names_root(std::string_view path) {
  return path.substr(0, 2) == kRootName && (path.size() == 2 || path[2] == '.' || path[2] == '[');
}

// Where a path leads. A path that starts with the root name and denotes a value there is
// "rooted" and taken as it stands; any other is read relative to the root.
template <class Nodes>
typename Nodes::Ref find_utf8(const Nodes& nodes, std::string_view path, bool& rooted) {
  rooted = false;
  if (names_root(path)) {
    const typename Nodes::Ref node = walk(nodes, path.substr(2), false);
    if (node != Nodes::kNone && !nodes.is_null(node)) {
      rooted = true;
      return node;
    }
  }
  if (path.empty()) return nodes.root;
  return walk(nodes, path, path[0] != '[');
}

// Where a read path leads, in whichever form the value is.
struct Place {
  Json* tree = nullptr;
  const FlatJson* flat = nullptr;
  FlatJson::Ref ref = FlatJson::kNone;

  bool found() const { return tree != nullptr || ref != FlatJson::kNone; }
  bool is_null() const { return tree != nullptr ? tree->is_null() : flat->is_null(ref); }
};

// A path of the shape "[12].name", every byte plain ASCII (no NUL): the element's index (up to
// 18 digits) and the member's name. The shape most reads of a list take; it means the same in
// GBK and UTF-8 and reads as the general reader reads it, so it is found without either.
bool element_member_path(std::string_view path, long long& index, std::string_view& name) {
  if (path.size() < 4 || path[0] != '[') return false;
  std::size_t i = 1;
  unsigned long long number = 0;
  while (i < path.size() && i <= 18 && path[i] >= '0' && path[i] <= '9')
    number = number * 10 + static_cast<unsigned>(path[i++] - '0');
  if (i == 1 || i + 2 >= path.size() || path[i] != ']' || path[i + 1] != '.') return false;
  for (std::size_t j = i + 2; j < path.size(); ++j) {
    const auto c = static_cast<unsigned char>(path[j]);
    if (c == 0 || c >= 0x80 || c == '.' || c == '[' || c == ']') return false;
  }
  index = static_cast<long long>(number);
  name = path.substr(i + 2);
  return true;
}

template <class Nodes>
typename Nodes::Ref find_element_member(const Nodes& nodes, long long index,
                                        std::string_view name) {
  const typename Nodes::Ref element = nodes.child(nodes.root, Segment{true, index, {}});
  if (element == Nodes::kNone) return Nodes::kNone;
  return nodes.child(element, Segment{false, 0, name});
}

// Where `find` leads (given the nodes of the form the value is in).
template <typename Find>
Place place_of(JsonEngine& engine, Find&& find) {
  Place place;
  if (engine.flat) {
    place.flat = engine.flat.get();
    place.ref = find(FlatNodes{place.flat});
  } else {
    place.tree = find(TreeNodes{&engine.root});
  }
  return place;
}

Place locate(JsonEngine* engine, std::string_view gbk_path) {
  if (engine == nullptr) return {};
  long long index = 0;
  std::string_view name;
  if (element_member_path(gbk_path, index, name)) {
    return place_of(*engine,
                    [&](const auto& nodes) { return find_element_member(nodes, index, name); });
  }
  std::string storage;
  const std::string_view path = utf8_view(gbk_path, storage);
  bool rooted = false;
  return place_of(*engine, [&](const auto& nodes) { return find_utf8(nodes, path, rooted); });
}

Json* find(JsonEngine* engine, std::string_view gbk_path) {
  if (engine == nullptr) return nullptr;
  std::string storage;
  bool rooted = false;
  return find_utf8(TreeNodes{&tree_of(*engine)}, utf8_view(gbk_path, storage), rooted);
}

// The segments of a path to be edited, read the way find() settles on. False when malformed.
bool edit_segments(JsonEngine& engine, std::string_view gbk_path, std::vector<KeptSegment>& out) {
  std::string storage;
  std::string_view path = utf8_view(gbk_path, storage);
  bool rooted = false;
  find_utf8(TreeNodes{&tree_of(engine)}, path, rooted);
  PathReader reader = rooted ? PathReader(path.substr(2), false)
                             : PathReader(path, !path.empty() && path[0] != '[');
  Segment segment;
  while (reader.next(segment))
    out.push_back({segment.is_index, segment.index, std::string(segment.name)});
  return !reader.bad();
}

Json* node_at(Json& root, const std::vector<KeptSegment>& segments, std::size_t count) {
  Json* node = &root;
  for (std::size_t i = 0; i < count && node != nullptr; ++i)
    node = child(*node, segments[i].view());
  return node;
}

// Stores value at the place the segments name. Its container must exist: an object gets the
// member (added at the end when new), an array the element (padding a gap with nulls). A
// primitive or null container takes nothing, and neither does a name on an array (a script
// engine would keep it as a property that JSON never shows).
bool assign(Json& root, const std::vector<KeptSegment>& segments, Json&& value, int value_depth) {
  if (static_cast<long long>(segments.size()) + value_depth > JsonDocument::kMaxDepth) return false;
  if (segments.empty()) {
    root = std::move(value);
    return true;
  }
  Json* parent = node_at(root, segments, segments.size() - 1);
  if (parent == nullptr) return false;
  const Segment last = segments.back().view();
  if (parent->is_object()) {
    std::string key = member_key(last);
    if (Json* existing = member(*parent, key)) {
      *existing = std::move(value);
    } else {
      parent->get_ref<Json::object_t&>().emplace(std::move(key), std::move(value));
    }
    return true;
  }
  if (!parent->is_array()) return false;
  long long number = 0;
  if (!element_number(last, number) || number < 0) return false;
  auto& elements = parent->get_ref<Json::array_t&>();
  auto size = static_cast<long long>(elements.size());
  if (number < size) {
    elements[static_cast<std::size_t>(number)] = std::move(value);
    return true;
  }
  if (number - size > kMaxArrayGap) return false;
  elements.resize(static_cast<std::size_t>(number));
  elements.push_back(std::move(value));
  return true;
}

// Merging an object into an object: a member new to the target is added; an object into an
// object merges again; an array into an array is appended to it; anything else replaces the
// member (a number, a null and a type change included).
void merge_members(Json& target, Json&& source) {
  for (auto& [key, value] : source.get_ref<Json::object_t&>()) {
    Json* existing = member(target, key);
    if (existing == nullptr) {
      target.get_ref<Json::object_t&>().emplace(key, std::move(value));
    } else if (existing->is_object() && value.is_object()) {
      merge_members(*existing, std::move(value));
    } else if (existing->is_array() && value.is_array()) {
      auto& elements = existing->get_ref<Json::array_t&>();
      for (Json& element : value) elements.push_back(std::move(element));
    } else {
      *existing = std::move(value);
    }
  }
}

std::string utf8_string(std::string_view gbk) {
  std::string storage;
  std::string_view text = utf8_view(gbk, storage);
  if (text.data() == storage.data()) return storage;
  return std::string(text);
}

bool parse_value(std::string_view gbk, Json& out, int& depth) {
  std::string storage;
  json_internal::ParseFailure failure;
  return json_internal::parse_json(utf8_view(gbk, storage), JsonDocument::kMaxDepth, out, depth,
                                   failure);
}

std::string value_text(const Json* node, bool as_json) {
  if (node == nullptr) return {};
  if (node->is_string() && !as_json) return to_gbk(node->get_ref<const std::string&>());
  std::string text;
  if (as_json)
    json_internal::append_json(*node, text);
  else
    json_internal::append_text(*node, text);
  return to_gbk(text);
}

std::string value_text(const Place& place, bool as_json) {
  if (!place.found()) return {};
  if (place.tree != nullptr) return value_text(place.tree, as_json);
  const FlatJson& flat = *place.flat;
  std::string text;
  if (!as_json) {
    switch (flat.kind(place.ref)) {
      case FlatJson::Kind::kString:
        return to_gbk(flat.text(place.ref));
      case FlatJson::Kind::kBoolean:
      case FlatJson::Kind::kInteger:
      case FlatJson::Kind::kUnsigned:
      case FlatJson::Kind::kFloat:
        flat.append_text(place.ref, text);
        return text;  // digits, signs and letters: the same in GBK
      default:
        flat.append_text(place.ref, text);
        return to_gbk(text);
    }
  }
  json_internal::append_json(flat.tree(place.ref), text);
  return to_gbk(text);
}

void null_non_finite(Json& value) {
  if (value.is_number_float() && !std::isfinite(value.get<double>())) {
    value = nullptr;
  } else if (value.is_structured()) {
    for (Json& element : value) null_non_finite(element);
  }
}

void collect_leaves(const Json& value, bool recursive, std::vector<std::string>& out) {
  auto visit = [&](const Json& item) {
    if (item.is_string() || item.is_number() || item.is_boolean()) {
      out.emplace_back();
      json_internal::append_text(item, out.back());
    } else if (recursive && item.is_structured()) {
      collect_leaves(item, true, out);
    }
  };
  if (value.is_object()) {
    for (const auto& [key, item] : value.get_ref<const Json::object_t&>()) visit(item);
  } else if (value.is_array()) {
    for (const Json& item : value) visit(item);
  }
}

void collect_leaves(const FlatJson& flat, FlatJson::Ref ref, bool recursive,
                    std::vector<std::string>& out) {
  using Kind = FlatJson::Kind;
  const Kind kind = flat.kind(ref);
  if (kind != Kind::kObject && kind != Kind::kArray) return;
  const FlatJson::Ref first = flat.first_child(ref);
  const auto end = first + static_cast<FlatJson::Ref>(flat.size(ref));
  for (FlatJson::Ref item = first; item < end; ++item) {
    const Kind item_kind = flat.kind(item);
    if (item_kind == Kind::kObject || item_kind == Kind::kArray) {
      if (recursive) collect_leaves(flat, item, true, out);
    } else if (item_kind != Kind::kNull) {
      out.emplace_back();
      flat.append_text(item, out.back());
    }
  }
}

// A number from text the way the document reads one from a string: decimal only, surrounding
// white space and a leading "+" allowed; 0 for anything else.
double number_in_text(std::string_view text) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::string_view digits = text.substr(!text.empty() && text.front() == '-' ? 1 : 0);
  // Only decimal numbers: from_chars would also take "inf" and "nan".
  if (digits.empty() ||
      !(std::isdigit(static_cast<unsigned char>(digits.front())) || digits.front() == '.')) {
    return 0;
  }
  double number = 0;
  auto [ptr, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || ptr != text.data() + text.size()) return 0;
  return number;
}

void describe_failure(std::string_view utf8, const json_internal::ParseFailure& failure,
                      JsonParseError& error) {
  error = JsonParseError{};
  error.number = failure.number;
  error.source = "JSON";
  error.description = to_gbk(failure.description);
  std::size_t position = std::min(failure.position, utf8.size());
  std::size_t line_start = 0;
  error.line = 1;
  for (std::size_t i = 0; i < position; ++i) {
    if (utf8[i] == '\n') {
      ++error.line;
      line_start = i + 1;
    }
  }
  error.column = 1;
  for (std::size_t i = line_start; i < position; ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) ++error.column;
  }
  std::size_t line_end = std::min(utf8.find('\n', line_start), utf8.size());
  std::string_view line = utf8.substr(line_start, line_end - line_start);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  error.text = to_gbk(line);
}

}  // namespace

JsonEngine::JsonEngine() = default;

Json& json_internal::tree_of(JsonEngine& engine) {
  if (engine.flat) {
    engine.root = engine.flat->tree(FlatJson::kRoot);
    engine.flat.reset();
  }
  return engine.root;
}
JsonEngine::~JsonEngine() { json_internal::dismantle(root); }

JsonDocument::JsonDocument() {
  try {
    engine_ = std::make_shared<JsonEngine>();
  } catch (...) {
    // Out of memory: the document acts as one whose engine is gone; parse() retries.
  }
}

JsonDocument::JsonDocument(std::shared_ptr<JsonEngine> engine) : engine_(std::move(engine)) {}
JsonDocument::~JsonDocument() = default;
JsonDocument::JsonDocument(JsonDocument&& other) noexcept = default;
JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept = default;

JsonDocument JsonDocument::copy() const { return JsonDocument(engine_); }

void JsonDocument::initialise() {
  try {
    engine_ = std::make_shared<JsonEngine>();
  } catch (...) {
    engine_.reset();
  }
}

bool JsonDocument::parse(std::string_view text, bool /*literal*/, JsonParseError* error) {
  try {
    if (!engine_) engine_ = std::make_shared<JsonEngine>();
    Json& root = engine_->root;
    json_internal::dismantle(root);
    root = nullptr;
    engine_->flat.reset();
    std::string storage;
    std::string_view utf8 = utf8_view(text, storage);
    // Read flat where the fast parser takes the text; the tree is made on the first edit.
    auto flat = std::make_unique<FlatJson>();
    int flat_depth = 0;
    // A converted text lies in storage, which has room to spare past the text as a rule.
    const bool padded = utf8.data() == storage.data() &&
                        storage.capacity() - storage.size() >= json_internal::kFlatParsePadding;
    if (json_internal::parse_flat(utf8, kMaxDepth, *flat, flat_depth, padded)) {
      const bool not_null = !flat->is_null(FlatJson::kRoot);
      engine_->flat = std::move(flat);
      if (error != nullptr) *error = JsonParseError{};
      return not_null;
    }
    flat.reset();
    Json parsed;
    int depth = 0;
    json_internal::ParseFailure failure;
    if (!json_internal::parse_json(utf8, kMaxDepth, parsed, depth, failure)) {
      if (error != nullptr) describe_failure(utf8, failure, *error);
      return false;
    }
    root = std::move(parsed);
    if (error != nullptr) *error = JsonParseError{};
    return !root.is_null();
  } catch (...) {
    if (engine_) {
      engine_->flat.reset();
      engine_->root = nullptr;
    }
    return false;
  }
}

void JsonDocument::clear() {
  if (!engine_) return;
  engine_->flat.reset();
  engine_->root = Json::object();
}

std::string JsonDocument::serialise() const {
  if (!engine_) return {};
  try {
    return value_text(locate(engine_.get(), ""), true);
  } catch (...) {
    return {};
  }
}

bool JsonDocument::set_value(std::string_view path, std::string_view value, bool as_json) {
  if (!engine_) return false;
  try {
    std::vector<KeptSegment> segments;
    if (!edit_segments(*engine_, path, segments)) return false;
    Json& root = engine_->root;
    if (!as_json) return assign(root, segments, Json(utf8_string(value)), 0);
    Json parsed;
    int depth = 0;
    std::string storage;
    std::string_view text = utf8_view(value, storage);
    if (!parse_value(text.empty() ? std::string_view("{}") : value, parsed, depth)) return false;
    Json* current = node_at(root, segments, segments.size());
    if (current != nullptr && current->is_object() && parsed.is_object()) {
      if (static_cast<long long>(segments.size()) + depth > kMaxDepth) return false;
      merge_members(*current, std::move(parsed));
      return true;
    }
    return assign(root, segments, std::move(parsed), depth);
  } catch (...) {
    return false;
  }
}

bool JsonDocument::set_by_expression(std::string_view path, std::string_view expression) {
  if (!engine_) return false;
  try {
    std::vector<KeptSegment> segments;
    if (!edit_segments(*engine_, path, segments)) return false;
    Json parsed;
    int depth = 0;
    if (!parse_value(expression, parsed, depth)) return false;
    return assign(engine_->root, segments, std::move(parsed), depth);
  } catch (...) {
    return false;
  }
}

bool JsonDocument::normalise_path(std::string& path) const {
  try {
    bool found = false;
    bool rooted = false;
    if (engine_) {
      std::string storage;
      const std::string_view utf8 = utf8_view(path, storage);
      if (engine_->flat) {
        const FlatNodes nodes{engine_->flat.get()};
        const FlatJson::Ref ref = find_utf8(nodes, utf8, rooted);
        found = ref != FlatJson::kNone && !nodes.is_null(ref);
      } else {
        const Json* node = find_utf8(TreeNodes{&engine_->root}, utf8, rooted);
        found = node != nullptr && !node->is_null();
      }
    }
    if (!rooted) {
      if (path.empty())
        path = kRootName;
      else
        path.insert(0, path[0] == '[' ? "da" : "da.");
    }
    return found;
  } catch (...) {
    return false;
  }
}

bool JsonDocument::exists(std::string_view path) const {
  try {
    const Place place = locate(engine_.get(), path);
    return place.found() && !place.is_null();
  } catch (...) {
    return false;
  }
}

int JsonDocument::value_type(std::string_view path) const {
  Place place;
  try {
    place = locate(engine_.get(), path);
  } catch (...) {
    return kJsonNull;
  }
  if (!place.found()) return kJsonNull;
  if (place.flat != nullptr) {
    switch (place.flat->kind(place.ref)) {
      case FlatJson::Kind::kBoolean:
        return kJsonBoolean;
      case FlatJson::Kind::kInteger:
      case FlatJson::Kind::kUnsigned:
      case FlatJson::Kind::kFloat:
        return kJsonNumber;
      case FlatJson::Kind::kObject:
        return kJsonObject;
      case FlatJson::Kind::kArray:
        return kJsonArray;
      case FlatJson::Kind::kString:
        return kJsonString;
      case FlatJson::Kind::kNull:
        return kJsonNull;
    }
    return kJsonOther;
  }
  switch (place.tree->type()) {
    case Json::value_t::boolean:
      return kJsonBoolean;
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return kJsonNumber;
    case Json::value_t::object:
      return kJsonObject;
    case Json::value_t::array:
      return kJsonArray;
    case Json::value_t::string:
      return kJsonString;
    case Json::value_t::null:
      return kJsonNull;
    default:
      return kJsonOther;
  }
}

std::string JsonDocument::get_value(std::string_view path, bool as_json) const {
  try {
    return value_text(locate(engine_.get(), path), as_json);
  } catch (...) {
    return {};
  }
}

std::string JsonDocument::get_text_keeping_all(std::string_view path) const {
  try {
    const Place place = locate(engine_.get(), path);
    std::string_view utf8;
    if (place.tree != nullptr && place.tree->is_string()) {
      utf8 = place.tree->get_ref<const std::string&>();
    } else if (place.flat != nullptr && place.ref != FlatJson::kNone &&
               place.flat->kind(place.ref) == FlatJson::Kind::kString) {
      utf8 = place.flat->text(place.ref);
    } else {
      return value_text(place, false);
    }
    return utf8_to_gbk_keeping_all(utf8.substr(0, utf8.find('\0')));
  } catch (...) {
    return {};
  }
}

int JsonDocument::member_names(std::vector<std::string>& out, std::string_view path) const {
  out.clear();
  try {
    const Place place = locate(engine_.get(), path);
    if (place.tree != nullptr && place.tree->is_object()) {
      for (const auto& [key, value] : place.tree->get_ref<const Json::object_t&>())
        out.push_back(to_gbk(key));
    } else if (place.flat != nullptr && place.ref != FlatJson::kNone &&
               place.flat->kind(place.ref) == FlatJson::Kind::kObject) {
      const FlatJson& flat = *place.flat;
      const FlatJson::Ref first = flat.first_child(place.ref);
      const auto end = first + static_cast<FlatJson::Ref>(flat.size(place.ref));
      for (FlatJson::Ref member = first; member < end; ++member)
        out.push_back(to_gbk(flat.key(member)));
    }
  } catch (...) {
    out.clear();
  }
  return static_cast<int>(out.size());
}

int JsonDocument::count(std::string_view path) const {
  try {
    const Place place = locate(engine_.get(), path);
    std::size_t size = 0;
    if (place.tree != nullptr && place.tree->is_array())
      size = place.tree->size();
    else if (place.flat != nullptr && place.ref != FlatJson::kNone &&
             place.flat->kind(place.ref) == FlatJson::Kind::kArray)
      size = place.flat->size(place.ref);
    return static_cast<int>(std::min<std::size_t>(size, INT32_MAX));
  } catch (...) {
    return 0;
  }
}

JsonDocument JsonDocument::sub_document(std::string_view path) const {
  JsonDocument result;
  try {
    if (!result.engine_) return result;
    const Place place = locate(engine_.get(), path);
    // As a round trip through JSON text would: nothing at the path leaves the root null.
    if (!place.found()) {
      result.engine_->root = nullptr;
    } else {
      result.engine_->root = place.tree != nullptr ? *place.tree : place.flat->tree(place.ref);
      null_non_finite(result.engine_->root);
    }
  } catch (...) {
    if (result.engine_) result.engine_->root = nullptr;
  }
  return result;
}

bool JsonDocument::add_array_item(std::string_view item, std::string_view path, bool raw,
                                  bool at_front) {
  if (!engine_) return false;
  try {
    std::vector<KeptSegment> segments;
    if (!edit_segments(*engine_, path, segments)) return false;
    Json value;
    int depth = 0;
    if (!raw)
      value = utf8_string(item);
    else if (!parse_value(item, value, depth))
      return false;
    if (static_cast<long long>(segments.size()) + 1 + depth > kMaxDepth) return false;
    Json& root = engine_->root;
    Json* target = node_at(root, segments, segments.size());
    if (target == nullptr || !target->is_array()) {
      if (!assign(root, segments, Json::array(), 1)) return false;
      target = node_at(root, segments, segments.size());
    }
    auto& elements = target->get_ref<Json::array_t&>();
    if (at_front)
      elements.insert(elements.begin(), std::move(value));
    else
      elements.push_back(std::move(value));
    return true;
  } catch (...) {
    return false;
  }
}

JsonDocument JsonDocument::item_as_sub_document(int index, std::string_view path) const {
  // A path ends at its first NUL, as everywhere: the index goes after what is read of it.
  std::string item_path(path.substr(0, path.find('\0')));
  item_path += '[';
  item_path += std::to_string(index);
  item_path += ']';
  return sub_document(item_path);
}

std::string JsonDocument::get_item(int index, std::string_view path, bool as_json) const {
  try {
    Place place = locate(engine_.get(), path);
    if (!place.found()) return {};
    Segment segment;
    segment.is_index = true;
    segment.index = index;
    if (place.tree != nullptr) return value_text(child(*place.tree, segment), as_json);
    place.ref = FlatNodes{place.flat}.child(place.ref, segment);
    return value_text(place, as_json);
  } catch (...) {
    return {};
  }
}

bool JsonDocument::set_item(int index, std::string_view path, std::string_view value, bool raw) {
  if (!engine_) return false;
  try {
    std::vector<KeptSegment> segments;
    if (!edit_segments(*engine_, path, segments)) return false;
    KeptSegment& segment = segments.emplace_back();
    segment.is_index = true;
    segment.index = index;
    Json parsed;
    int depth = 0;
    if (!raw)
      parsed = utf8_string(value);
    else if (!parse_value(value, parsed, depth))
      return false;
    return assign(engine_->root, segments, std::move(parsed), depth);
  } catch (...) {
    return false;
  }
}

bool JsonDocument::remove_item(int index, std::string_view path) {
  try {
    Json* node = find(engine_.get(), path);
    if (node == nullptr || !node->is_array()) return false;
    auto& elements = node->get_ref<Json::array_t&>();
    auto size = static_cast<long long>(elements.size());
    long long start = index < 0 ? std::max(size + index, 0LL) : index;
    if (start >= size) return false;
    elements.erase(elements.begin() + start);
    return true;
  } catch (...) {
    return false;
  }
}

bool JsonDocument::delete_member(std::string_view path) {
  if (!engine_) return false;
  try {
    std::vector<KeptSegment> segments;
    if (!edit_segments(*engine_, path, segments) || segments.empty()) return false;
    Json* parent = node_at(engine_->root, segments, segments.size() - 1);
    if (parent == nullptr) return false;
    const Segment last = segments.back().view();
    if (parent->is_object()) return parent->erase(member_key(last)) > 0;
    Json* element = parent->is_array() ? child(*parent, last) : nullptr;
    if (element == nullptr) return false;
    *element = nullptr;  // the array keeps its length, as after a script's delete
    return true;
  } catch (...) {
    return false;
  }
}

bool JsonDocument::set_number(std::string_view path, double number) {
  if (!engine_) return false;
  try {
    std::vector<KeptSegment> segments;
    if (!edit_segments(*engine_, path, segments)) return false;
    return assign(engine_->root, segments, Json(number), 0);
  } catch (...) {
    return false;
  }
}

double JsonDocument::evaluate_number(std::string_view path) const {
  try {
    const Place place = locate(engine_.get(), path);
    if (!place.found()) return 0;
    if (place.tree != nullptr) {
      const Json* node = place.tree;
      if (node->is_number()) return node->get<double>();
      if (node->is_boolean()) return node->get<bool>() ? 1 : 0;
      if (!node->is_string()) return 0;
      return number_in_text(node->get_ref<const std::string&>());
    }
    const FlatJson& flat = *place.flat;
    switch (flat.kind(place.ref)) {
      case FlatJson::Kind::kString:
        return number_in_text(flat.text(place.ref));
      case FlatJson::Kind::kBoolean:
        return flat.tree(place.ref).get<bool>() ? 1 : 0;
      case FlatJson::Kind::kInteger:
      case FlatJson::Kind::kUnsigned:
      case FlatJson::Kind::kFloat:
        return flat.tree(place.ref).get<double>();  // a number, converted as the tree's is
      default:
        return 0;
    }
  } catch (...) {
    return 0;
  }
}

std::string JsonDocument::serialise_path(std::string_view path) const {
  return get_value(path, true);
}

std::shared_ptr<JsonEngine> JsonDocument::engine() const { return engine_; }

int JsonDocument::leaf_values(std::vector<std::string>& out, std::string_view path,
                              bool recursive) const {
  out.clear();
  try {
    const Place place = locate(engine_.get(), path);
    if (!place.found()) return 0;
    std::vector<std::string> leaves;
    if (place.tree != nullptr)
      collect_leaves(*place.tree, recursive, leaves);
    else
      collect_leaves(*place.flat, place.ref, recursive, leaves);
    for (const std::string& leaf : leaves) {
      std::string_view rest = leaf;
      for (;;) {
        std::size_t at = rest.find(kLeafSeparatorUtf8);
        out.push_back(to_gbk(rest.substr(0, at)));
        if (at == std::string_view::npos) break;
        rest.remove_prefix(at + kLeafSeparatorUtf8.size());
      }
    }
  } catch (...) {
    out.clear();
  }
  return static_cast<int>(out.size());
}

}  // namespace brindle
