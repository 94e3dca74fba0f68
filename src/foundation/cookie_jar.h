// The cookies one client object sends and collects. The jar is a single text: "; " followed by
// name=value and "; " for every cookie ("; a=1; b=2; "); the empty jar is the empty text. That
// form makes a cookie easy to find ("; " + name + "=") and ready to send as a Cookie header.
#pragma once

#include <string>
#include <string_view>

namespace brindle {

class CookieJar {
 public:
  // The jar as a Cookie header value: without the leading "; " and the trailing "; "
  // ("a=1; b=2"); the empty text for an empty jar.
  std::string cookies() const;
  // Replaces the jar; the text is made to begin with "; " and end with "; ".
  void set_cookies(std::string_view text);
  // The raw jar text, with its leading and trailing separators.
  const std::string& raw() const { return jar_; }

  bool is_empty() const { return jar_.size() < 3; }

  // The value of cookie `name` (up to the next ";"); empty when absent.
  std::string value(std::string_view name) const;

  // Removes every cookie named in `names` ("a; b=; c=whatever": spaces ignored, split at ";").
  void remove_named(std::string_view names);

  // Merges "name=value" pairs separated by ";" (spaces are removed first).
  void merge_pairs(std::string_view pairs);

  // Merges the first name=value of every "Set-Cookie:" line of a response header block.
  void merge_set_cookie(std::string_view header_text);

 private:
  void merge_one(std::string_view pair);
  // Offset of "; " + name + "=" in the jar, or npos.
  std::size_t find_entry(std::string_view name) const;
  // End of the entry whose "; " starts at `at`: the offset of the next "; ".
  std::size_t entry_end(std::size_t at) const;

  std::string jar_;
};

}  // namespace brindle
