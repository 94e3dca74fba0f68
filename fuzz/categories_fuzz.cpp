// The category matcher and the server list it filters. The first line of the input is a
// category (keywords joined by "--", GBK); the rest is a server list answer (GBK JSON). Each
// keyword is also tried on the server names and on a name built to hold it, and the rows of the
// list must be unique by address and each match a keyword of the category.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/gbk_text.h"
#include "servers/categories.h"
#include "servers/server_list.h"

namespace {

std::string Join(const std::vector<std::string>& parts) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "--" : "") + parts[i];
  return out;
}

// ASCII letters raised outside double-byte characters (the counterpart of GbkAsciiLower).
std::string GbkAsciiUpper(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t width = brindle::GbkCharLength(out, i);
    if (width == 1 && out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 32);
    i += width;
  }
  return out;
}

void CheckKeyword(const std::string& keyword, const std::string& name) {
  const brindle::NameKeyword matcher(keyword);
  const bool matches = matcher.Matches(name);
  // The byte test alone decides a match found by ContainsIgnoringCase; case never matters.
  if (brindle::ContainsIgnoringCase(name, keyword)) FUZZ_CHECK(matches);
  FUZZ_CHECK(matcher.Matches(GbkAsciiUpper(name)) == matches);
  FUZZ_CHECK(brindle::ContainsIgnoringCase(name, "") == !name.empty());
  // A name holding the keyword between two characters that cannot join it always matches.
  const std::string holder = "x" + GbkAsciiUpper(keyword) + "!";
  FUZZ_CHECK(brindle::ContainsIgnoringCase(holder, keyword));
  FUZZ_CHECK(matcher.Matches(holder));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nl = input.find('\n');
  const std::string_view category = input.substr(0, nl);
  const std::string_view body = nl == std::string_view::npos ? "" : input.substr(nl + 1);

  const std::vector<std::string> keywords = brindle::SplitCategoryKeywords(category);
  FUZZ_CHECK(!keywords.empty() && Join(keywords) == category);
  (void)brindle::IsAllServersCategory(category);
  (void)brindle::CategoryOfCaption(category);
  for (std::size_t i = 0; i < keywords.size() && i < 8; ++i) {
    CheckKeyword(keywords[i], std::string(body.substr(0, 64)));
  }

  std::vector<brindle::ServerRow> rows;
  if (!brindle::BuildServerRows(body, category, {}, rows)) {
    FUZZ_CHECK(rows.empty());
    return 0;
  }
  std::set<std::string> addresses;
  for (const brindle::ServerRow& row : rows) {
    FUZZ_CHECK(addresses.insert(row.address).second);
    FUZZ_CHECK(row.Cells().size() >= 5);
    if (brindle::IsAllServersCategory(category)) continue;
    bool matched = false;
    for (const std::string& keyword : keywords)
      matched = matched || brindle::NameKeyword(keyword).Matches(row.name);
    FUZZ_CHECK(matched);
  }
  // The built-in categories on the same answer.
  for (const brindle::ServerCategory& builtin : brindle::ServerCategories()) {
    std::vector<brindle::ServerRow> builtin_rows;
    FUZZ_CHECK(brindle::BuildServerRows(body, brindle::CategoryOfButton(builtin.button), {},
                                        builtin_rows));
    FUZZ_CHECK(builtin_rows.size() <= rows.size() || !brindle::IsAllServersCategory(category));
  }
  return 0;
}
