#include "platform/gbk_text.h"

namespace brindle {

namespace {

bool matches_at(std::string_view text, std::size_t pos, std::string_view needle, bool ignore_case) {
  if (pos + needle.size() > text.size()) return false;
  // Character by character through the text: only single-byte characters fold their case, so
  // "\x99\x41" never matches "\x99\x61" (two different Chinese characters).
  const std::size_t end = pos + needle.size();
  std::size_t p = pos;
  while (p < end) {
    const std::size_t width = GbkCharLength(text, p);
    for (std::size_t k = p; k < p + width && k < end; ++k) {
      const char a = text[k];
      const char b = needle[k - pos];
      if (ignore_case && width == 1 ? AsciiLower(a) != AsciiLower(b) : a != b) return false;
    }
    p += width;
  }
  // The match must end on a character boundary too: a needle ending in a lead byte would
  // otherwise take half of the text's next character.
  return p == end || end >= text.size();
}

// The exact search: the library's byte search finds the candidates, and only one that starts on
// a character boundary counts. The boundaries are walked once, forward, and only as far as the
// candidates go, so a text that does not hold the bytes at all is never walked.
std::size_t find_exact(std::string_view text, std::string_view needle, std::size_t from) {
  std::size_t pos = 0;  // always a character boundary
  while (pos < from) pos += GbkCharLength(text, pos);
  for (std::size_t at = text.find(needle, pos); at != std::string_view::npos;
       at = text.find(needle, at + 1)) {
    while (pos < at) pos += GbkCharLength(text, pos);
    if (pos == at && matches_at(text, at, needle, false)) return at;
  }
  return std::string_view::npos;
}

std::size_t find(std::string_view text, std::string_view needle, std::size_t from,
                 bool ignore_case) {
  if (from > text.size()) return std::string_view::npos;
  if (needle.size() > text.size()) return std::string_view::npos;
  if (!ignore_case && !needle.empty()) return find_exact(text, needle, from);
  // Walk character by character from the start so `from` lands on a boundary.
  std::size_t pos = 0;
  while (pos < from) pos += GbkCharLength(text, pos);
  for (; pos + needle.size() <= text.size(); pos += GbkCharLength(text, pos)) {
    if (matches_at(text, pos, needle, ignore_case)) return pos;
    if (pos == text.size()) break;
  }
  return std::string_view::npos;
}

}  // namespace

std::size_t GbkCharLength(std::string_view text, std::size_t pos) {
  if (pos + 1 < text.size() && GbkIsLead(static_cast<unsigned char>(text[pos])) &&
      GbkIsTrail(static_cast<unsigned char>(text[pos + 1]))) {
    return 2;
  }
  // A character GBK lacks, kept in GB18030's four-byte form: lead, digit, lead, digit.
  const auto digit = [&](std::size_t at) { return text[at] >= '0' && text[at] <= '9'; };
  if (pos + 3 < text.size() && GbkIsLead(static_cast<unsigned char>(text[pos])) && digit(pos + 1) &&
      GbkIsLead(static_cast<unsigned char>(text[pos + 2])) && digit(pos + 3)) {
    return 4;
  }
  return 1;
}

std::string GbkAsciiLower(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t width = GbkCharLength(out, i);
    if (width == 1) out[i] = AsciiLower(out[i]);
    i += width;
  }
  return out;
}

bool GbkMatchesAt(std::string_view text, std::size_t pos, std::string_view needle) {
  return matches_at(text, pos, needle, false);
}

std::size_t GbkFind(std::string_view text, std::string_view needle, std::size_t from) {
  return find(text, needle, from, false);
}

std::size_t GbkFindIgnoreCase(std::string_view text, std::string_view needle, std::size_t from) {
  return find(text, needle, from, true);
}

bool GbkEqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size();) {
    const std::size_t width = GbkCharLength(a, i);
    if (width == 2) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
    } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
      return false;
    }
    i += width;
  }
  return true;
}

bool GbkEndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
  if (suffix.size() > text.size()) return false;
  const std::size_t start = text.size() - suffix.size();
  std::size_t pos = 0;
  while (pos < start) pos += GbkCharLength(text, pos);
  if (pos != start) return false;
  return GbkEqualsIgnoreCase(text.substr(start), suffix);
}

std::string_view GbkClip(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = 0;
  while (end < limit) {
    const std::size_t width = GbkCharLength(text, end);
    if (end + width > limit) break;
    end += width;
  }
  return text.substr(0, end);
}

}  // namespace brindle
