#include "foundation/cookie_jar.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace brindle {
namespace {

constexpr std::string_view kSeparator = "; ";

std::string without_spaces(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != ' ') out.push_back(c);
  }
  return out;
}

std::vector<std::string_view> split_at_semicolons(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

std::size_t find_no_case(std::string_view haystack, std::string_view needle, std::size_t from) {
  if (needle.empty() || haystack.size() < needle.size()) return std::string_view::npos;
  for (std::size_t i = from; i + needle.size() <= haystack.size(); ++i) {
    bool same = true;
    for (std::size_t k = 0; k < needle.size(); ++k) {
      auto a = static_cast<unsigned char>(haystack[i + k]);
      auto b = static_cast<unsigned char>(needle[k]);
      if (std::tolower(a) != std::tolower(b)) {
        same = false;
        break;
      }
    }
    if (same) return i;
  }
  return std::string_view::npos;
}

bool is_deleted_marker(std::string_view pair) {
  if (pair.size() < 8) return false;
  std::string_view tail = pair.substr(pair.size() - 8);
  return tail == "=deleted" || tail == "=DELETED" || tail == "=Deleted";
}

}  // namespace

std::string CookieJar::cookies() const {
  if (jar_.size() <= 2 * kSeparator.size()) return {};
  return jar_.substr(kSeparator.size(), jar_.size() - 2 * kSeparator.size());
}

void CookieJar::set_cookies(std::string_view text) {
  // An empty text empties the jar; decorating it would leave a stray "; ;" entry behind.
  if (text.empty()) {
    jar_.clear();
    return;
  }
  jar_.clear();
  if (text.substr(0, 2) != kSeparator) jar_ = kSeparator;
  jar_.append(text);
  if (jar_.size() >= 2 && jar_.compare(jar_.size() - 2, 2, kSeparator) == 0) return;
  if (jar_.back() != ';') jar_.push_back(';');
  jar_.push_back(' ');
}

std::size_t CookieJar::find_entry(std::string_view name) const {
  std::string key;
  key.reserve(name.size() + 3);
  key.append(kSeparator).append(name).push_back('=');
  return jar_.find(key);
}

std::size_t CookieJar::entry_end(std::size_t at) const {
  std::size_t end = jar_.find(kSeparator, at + kSeparator.size());
  return end == std::string::npos ? jar_.size() : end;
}

std::string CookieJar::value(std::string_view name) const {
  std::size_t at = find_entry(name);
  if (at == std::string::npos) return {};
  std::size_t start = at + kSeparator.size() + name.size() + 1;
  std::size_t end = jar_.find(';', start);
  if (end == std::string::npos) end = jar_.size();
  return jar_.substr(start, end - start);
}

void CookieJar::remove_named(std::string_view names) {
  std::string cleaned = without_spaces(names);
  for (std::string_view piece : split_at_semicolons(cleaned)) {
    if (piece.empty()) continue;
    std::size_t eq = piece.find('=');
    std::string_view name = eq == std::string_view::npos ? piece : piece.substr(0, eq);
    for (std::size_t at = find_entry(name); at != std::string::npos; at = find_entry(name)) {
      jar_.erase(at, entry_end(at) - at);
    }
  }
}

void CookieJar::merge_one(std::string_view pair) {
  std::size_t eq = pair.find('=');
  // Pieces without "=" are attributes or junk; an empty name is no cookie either.
  if (eq == std::string_view::npos || eq == 0) return;
  std::string_view name = pair.substr(0, eq);
  std::string_view val = pair.substr(eq + 1);
  std::size_t at = find_entry(name);
  if (at == std::string::npos) {
    if (val.empty() || is_deleted_marker(pair)) return;
    jar_.append(pair).append(kSeparator);
    return;
  }
  std::size_t end = entry_end(at);
  if (val.empty()) {
    jar_.erase(at, end - at);
  } else {
    std::size_t start = at + kSeparator.size();
    jar_.replace(start, end - start, pair);
  }
}

void CookieJar::merge_pairs(std::string_view pairs) {
  if (is_empty()) jar_ = kSeparator;
  std::string cleaned = without_spaces(pairs);
  for (std::string_view piece : split_at_semicolons(cleaned)) merge_one(piece);
}

void CookieJar::merge_set_cookie(std::string_view header_text) {
  if (is_empty()) jar_ = kSeparator;
  constexpr std::string_view kField = "Set-Cookie:";
  std::size_t pos = 0;
  for (;;) {
    std::size_t found = find_no_case(header_text, kField, pos);
    if (found == std::string_view::npos) return;
    std::size_t start = found + kField.size();
    std::size_t line_end = header_text.find("\r\n", start);
    bool last = line_end == std::string_view::npos;
    // A line without its CRLF (a caller's single line) still counts, and is the last one.
    if (last) line_end = header_text.size();
    std::size_t end = std::min(header_text.find(';', start), line_end);
    std::string_view pair = header_text.substr(start, end - start);
    while (!pair.empty() && (pair.front() == ' ' || pair.front() == '\t')) pair.remove_prefix(1);
    merge_one(pair);
    if (last) return;
    pos = line_end + 2;
  }
}

}  // namespace brindle
