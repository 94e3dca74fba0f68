// JsonDocument: the text before the first NUL is parsed as GBK JSON; every line after it is a
// path that each reader and editor is tried on. Besides surviving, a parsed document must
// serialise to JSON that parses again to the same serialisation, and the readers must agree
// with each other. The same text read as UTF-8 must give the document's fast parser and its
// strict one the same value or the same failure, and a document read flat must give every
// reader's answer the tree gives.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/json_document.h"
#include "foundation/json_document_internal.h"
#include "foundation/json_table.h"
#include "fuzz_check.h"

namespace {

using brindle::JsonDocument;

void CheckParsersAgree(std::string_view utf8) {
  namespace internal = brindle::json_internal;
  internal::Json fast;
  internal::Json strict;
  int fast_depth = 0;
  int strict_depth = 0;
  internal::ParseFailure fast_failure;
  internal::ParseFailure strict_failure;
  const int limit = JsonDocument::kMaxDepth;
  const bool fast_ok = internal::parse_json(utf8, limit, fast, fast_depth, fast_failure);
  const bool strict_ok = internal::parse_strict(utf8, limit, strict, strict_depth, strict_failure);
  FUZZ_CHECK(fast_ok == strict_ok);
  if (!strict_ok) {
    FUZZ_CHECK(fast_failure.number == strict_failure.number);
    FUZZ_CHECK(fast_failure.position == strict_failure.position);
    FUZZ_CHECK(fast_failure.description == strict_failure.description);
    return;
  }
  FUZZ_CHECK(fast_depth == strict_depth);
  std::string fast_text;
  std::string strict_text;
  internal::append_json(fast, fast_text);
  internal::append_json(strict, strict_text);
  FUZZ_CHECK(fast_text == strict_text);
}

// Whatever the table reader reads, it reads as the document's parser does: an array, each
// element an object or not, each wanted member of the same type and, for strings (up to a NUL)
// and integers, the same text.
void CheckTableAgrees(std::string_view utf8) {
  namespace internal = brindle::json_internal;
  static const std::vector<std::string_view> kNames = {"a", "b", "name", "port"};
  std::vector<brindle::JsonTableRow> rows;
  if (!brindle::read_json_table(utf8, kNames,
                                [&](const brindle::JsonTableRow& row) { rows.push_back(row); })) {
    return;
  }
  internal::Json tree;
  int depth = 0;
  internal::ParseFailure failure;
  FUZZ_CHECK(internal::parse_json(utf8, JsonDocument::kMaxDepth, tree, depth, failure));
  FUZZ_CHECK(tree.is_array() && tree.size() == rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const internal::Json& item = tree[i];
    FUZZ_CHECK(item.is_object() == rows[i].is_object);
    if (!item.is_object()) continue;
    for (std::size_t k = 0; k < kNames.size(); ++k) {
      const brindle::JsonCell& cell = rows[i].cells[k];
      const auto member = item.find(std::string(kNames[k]));
      if (member == item.end() || member->is_null()) {
        FUZZ_CHECK(cell.type == brindle::kJsonNull);
      } else if (member->is_string()) {
        const std::string& text = member->get_ref<const std::string&>();
        FUZZ_CHECK(cell.type == brindle::kJsonString &&
                   cell.text == text.substr(0, text.find('\0')));
      } else if (member->is_number_unsigned()) {
        FUZZ_CHECK(cell.type == brindle::kJsonNumber &&
                   cell.text == std::to_string(member->get<std::uint64_t>()));
      } else if (member->is_number_integer()) {
        FUZZ_CHECK(cell.type == brindle::kJsonNumber &&
                   cell.text == std::to_string(member->get<std::int64_t>()));
      } else {
        FUZZ_CHECK(!member->is_number());  // the reader leaves other numbers to the document
        const int type = member->is_boolean() ? brindle::kJsonBoolean
                         : member->is_array() ? brindle::kJsonArray
                                              : brindle::kJsonObject;
        FUZZ_CHECK(cell.type == type);
      }
    }
  }
}

void CheckReparse(const JsonDocument& doc) {
  const std::string text = doc.serialise();
  JsonDocument again;
  brindle::JsonParseError error;
  const bool ok = again.parse(text, false, &error);
  FUZZ_CHECK(error.number == 0);
  FUZZ_CHECK(ok == (text != "null"));
  FUZZ_CHECK(again.serialise() == text);
}

void ReadPath(const JsonDocument& doc, std::string_view path) {
  const int type = doc.value_type(path);
  const bool exists = doc.exists(path);
  FUZZ_CHECK(type >= brindle::kJsonOther && type <= brindle::kJsonString);
  const std::string json = doc.get_value(path, true);
  FUZZ_CHECK(doc.serialise_path(path) == json);
  (void)doc.get_value(path);
  (void)doc.evaluate_number(path);
  std::vector<std::string> names;
  const int members = doc.member_names(names, path);
  FUZZ_CHECK(members == static_cast<int>(names.size()));
  FUZZ_CHECK(members == 0 || type == brindle::kJsonObject);
  const int n = doc.count(path);
  FUZZ_CHECK(n >= 0);
  FUZZ_CHECK(n == 0 || type == brindle::kJsonArray);
  std::string full(path);
  const bool normal = doc.normalise_path(full);
  FUZZ_CHECK(!normal || full.substr(0, 2) == "da");
  FUZZ_CHECK(normal == (type != brindle::kJsonNull));
  (void)exists;
  // A sub-document is a deep copy of the value at the path.
  JsonDocument sub = doc.sub_document(path);
  if (type != brindle::kJsonNull) FUZZ_CHECK(sub.serialise() == json);
  if (n > 0) {
    (void)doc.get_item(0, path);
    JsonDocument item = doc.item_as_sub_document(n - 1, path);
    FUZZ_CHECK(item.serialise() == doc.get_item(n - 1, path, true));
  }
  std::vector<std::string> leaves;
  (void)doc.leaf_values(leaves, path, true);
}

// Everything the readers give at the path, as one text.
std::string Readings(const JsonDocument& doc, std::string_view path) {
  std::string out;
  auto add = [&](std::string_view part) {
    out += part;
    out += '\x01';
  };
  std::vector<std::string> list;
  auto add_list = [&] {
    for (const std::string& item : list) add(item);
    add("|");
  };
  add(std::to_string(doc.value_type(path)));
  add(doc.exists(path) ? "1" : "0");
  add(doc.get_value(path));
  add(doc.get_value(path, true));
  add(doc.get_text_keeping_all(path));
  const double number = doc.evaluate_number(path);
  char bits[sizeof number];
  std::memcpy(bits, &number, sizeof number);
  add(std::string_view(bits, sizeof bits));
  add(std::to_string(doc.member_names(list, path)));
  add_list();
  add(std::to_string(doc.count(path)));
  std::string full(path);
  add(doc.normalise_path(full) ? "1" : "0");
  add(full);
  for (int i = -1; i < 3; ++i) {
    add(doc.get_item(i, path));
    add(doc.get_item(i, path, true));
  }
  add(std::to_string(doc.leaf_values(list, path, false)));
  add_list();
  add(std::to_string(doc.leaf_values(list, path, true)));
  add_list();
  add(doc.sub_document(path).serialise());
  return out;
}

// Paths to the values of the document, breadth first: members by name (those a dotted path can
// name), elements by index.
std::vector<std::string> PathsOf(const JsonDocument& doc, std::size_t limit) {
  std::vector<std::string> paths = {""};
  for (std::size_t next = 0; next < paths.size() && paths.size() < limit; ++next) {
    const std::string base = paths[next];
    std::vector<std::string> names;
    (void)doc.member_names(names, base);
    for (const std::string& name : names) {
      if (name.empty() || name.find_first_of(".[]'\"\\") != std::string::npos) continue;
      paths.push_back(base.empty() ? name : base + "." + name);
    }
    const int n = doc.count(base);
    for (int i = 0; i < n && i < 8; ++i) paths.push_back(base + "[" + std::to_string(i) + "]");
  }
  return paths;
}

// The document as parsed (flat, where the fast parser took the text) against the strict
// parser's tree of the same text: repeated names folded, every reader and the text output alike.
void CheckFlatAgrees(const JsonDocument& doc, std::string_view text,
                     const std::vector<std::string_view>& given) {
  namespace ji = brindle::json_internal;
  std::string storage;
  const std::string_view utf8 = ji::utf8_view(text, storage);
  JsonDocument tree;
  (void)tree.parse("null");
  ji::Json& root = ji::tree_of(*tree.engine());
  int depth = 0;
  ji::ParseFailure failure;
  if (!ji::parse_strict(utf8, JsonDocument::kMaxDepth, root, depth, failure)) {
    FUZZ_CHECK(doc.engine()->flat ==
               nullptr);  // the fast parser takes no text the strict one refuses
    return;
  }
  for (const std::string& path : PathsOf(tree, 48))
    FUZZ_CHECK(Readings(doc, path) == Readings(tree, path));
  for (std::string_view path : given) FUZZ_CHECK(Readings(doc, path) == Readings(tree, path));
  FUZZ_CHECK(doc.serialise() == tree.serialise());
}

void EditPath(JsonDocument& doc, std::string_view path, std::string_view value) {
  (void)doc.set_value(path, value);
  (void)doc.set_value(path, value, true);
  (void)doc.set_by_expression(path, value);
  (void)doc.add_array_item(value, path);
  (void)doc.add_array_item(value, path, true, true);
  (void)doc.set_item(3, path, value);
  (void)doc.remove_item(-1, path);
  (void)doc.set_number(path, 0.1);
  (void)doc.delete_member(path);
  CheckReparse(doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string_view text = input.substr(0, nul);

  CheckParsersAgree(text);
  CheckTableAgrees(text);
  JsonDocument doc;
  brindle::JsonParseError error;
  const bool ok = doc.parse(text, false, &error);
  FUZZ_CHECK(ok ? error.number == 0 : (error.number != 0 || doc.serialise() == "null"));
  if (!ok) FUZZ_CHECK(doc.serialise() == "null");
  CheckReparse(doc);

  // Paths the document itself offers: every member and element of the root.
  std::vector<std::string> names;
  (void)doc.member_names(names, "");
  for (const std::string& name : names) ReadPath(doc, name);
  const int n = doc.count("");
  for (int i = 0; i < n && i < 64; ++i) ReadPath(doc, "[" + std::to_string(i) + "]");

  if (nul == std::string_view::npos) {
    CheckFlatAgrees(doc, text, {});
    return 0;
  }
  std::string_view rest = input.substr(nul + 1);
  std::vector<std::string_view> paths;
  while (!rest.empty() && paths.size() < 16) {
    const std::size_t nl = rest.find('\n');
    paths.push_back(rest.substr(0, nl));
    rest = nl == std::string_view::npos ? std::string_view{} : rest.substr(nl + 1);
  }
  for (std::string_view path : paths) ReadPath(doc, path);
  CheckFlatAgrees(doc, text, paths);
  // Edits on a shared copy must show through the original handle.
  JsonDocument shared = doc.copy();
  for (std::size_t i = 0; i < paths.size(); ++i) {
    EditPath(shared, paths[i], paths[(i + 1) % paths.size()]);
    FUZZ_CHECK(shared.serialise() == doc.serialise());
  }
  for (std::string_view path : paths) ReadPath(doc, path);
  return 0;
}
