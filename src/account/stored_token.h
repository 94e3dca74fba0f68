// The two login tokens the forum hands out are kept in the settings file scrambled and bound to
// this computer: a settings file copied to another machine, or the "0" a logout writes, decodes
// to nothing, so the automatic login there fails without asking the forum.
#pragma once

#include <string>
#include <string_view>

namespace brindle {

// The one-byte mask every token byte is XORed with.
inline constexpr unsigned char kStoredTokenMask = 0x5A;
inline constexpr std::size_t kStoredTokenCheckLength = 9;

// The machine check: characters 3 to 11 (counted from 1) of the lowercase MD5 of the machine
// identity, upper-cased.
std::string StoredTokenCheck(std::string_view machine_id);

// Each byte of the token XOR the mask, as upper-case hexadecimal, followed by the machine check.
std::string EncodeStoredToken(std::string_view token, std::string_view machine_id);

// The token back, or empty text when the last 9 characters are not this machine's check. The
// hexadecimal part is read in pairs (a pair that is not hexadecimal is skipped); the text ends at
// a NUL byte, as every text does.
std::string DecodeStoredToken(std::string_view stored, std::string_view machine_id);

}  // namespace brindle
