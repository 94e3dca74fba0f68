// A fast read of the commonest answer of the services, an array of objects, for the few members
// the caller wants, without building a document. Where it reads a text it gives exactly what a
// JsonDocument parsed from the same text gives through paths ("[i].name"); every text it does not
// read that way it leaves to the document (it returns false and the caller parses as before).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/json_document.h"

namespace brindle {

// One wanted member of one element. type: a JsonType code (kJsonNull when the member is missing
// or null). text, in UTF-8: a string's text up to its first NUL, or an integer in decimal; empty
// for the other types.
struct JsonCell {
  int type = kJsonNull;
  std::string text;
};

// One element of the array: whether it is an object, and then one cell per wanted name, in the
// order the names were given. A name given twice in the object reads as its last value.
struct JsonTableRow {
  bool is_object = false;
  std::vector<JsonCell> cells;
  std::size_t count = 0;  // the number of elements in the array (for a reserve; at most 2^24 - 1)
};

// The elements of the array that the UTF-8 text holds, given to `each` in order (one row object,
// filled again for each element). False, before `each` is called at all, when this build has no
// fast reader or the text is one it leaves to JsonDocument: not JSON or not UTF-8 as the fast
// parser reads it, a root other than an array, nesting past JsonDocument::kMaxDepth, or a wanted
// member holding a number that is not an integer.
bool read_json_table(std::string_view utf8, const std::vector<std::string_view>& names,
                     const std::function<void(const JsonTableRow&)>& each);

}  // namespace brindle
