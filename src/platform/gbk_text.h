// Byte-level rules of GBK text (code page 936) that every layer needs: where a character starts,
// and ASCII-only case folding that never touches the trail byte of a double-byte character (a
// trail byte can equal an ASCII letter or "\"). Pure functions; no code page tables.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brindle {

inline bool GbkIsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool GbkIsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Length of the character at `pos`: 2 for a lead byte followed by a valid trail byte, 4 for
// GB18030's four-byte form of a character GBK lacks (lead, digit, lead, digit), else 1.
// `pos` must be inside `text`.
std::size_t GbkCharLength(std::string_view text, std::size_t pos);

// A..Z to a..z; every other byte unchanged.
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The text with ASCII letters outside double-byte characters lowered.
std::string GbkAsciiLower(std::string_view text);

// First position at or after `from` where `needle` starts on a character boundary of `text`;
// std::string_view::npos when there is none. An empty needle is found at `from` (if in range).
std::size_t GbkFind(std::string_view text, std::string_view needle, std::size_t from = 0);
// Whether `needle` stands at `pos` of `text`, `pos` being a character boundary: character by
// character through the text, ending on a boundary (or at the text's end). GbkFind's test at one
// place.
bool GbkMatchesAt(std::string_view text, std::size_t pos, std::string_view needle);
// The same with ASCII letters compared regardless of case.
std::size_t GbkFindIgnoreCase(std::string_view text, std::string_view needle, std::size_t from = 0);
inline bool GbkContainsIgnoreCase(std::string_view text, std::string_view needle) {
  return GbkFindIgnoreCase(text, needle) != std::string_view::npos;
}

// Equal texts with ASCII letters compared regardless of case (double-byte characters exactly).
bool GbkEqualsIgnoreCase(std::string_view a, std::string_view b);
// `text` ends with `suffix` (ASCII case ignored), the suffix starting on a character boundary.
bool GbkEndsWithIgnoreCase(std::string_view text, std::string_view suffix);

// At most `limit` bytes of the text, never ending inside a double-byte character.
std::string_view GbkClip(std::string_view text, std::size_t limit);

}  // namespace brindle
