// What a server address may look like before it goes anywhere that reads it as more than an
// address: a steam:// URL (the Steam client hands the text after "+connect " to the game's
// command line, so "27015 +exec x" would smuggle in launch options), the favourites file, the
// command line of brindle-cli.
#pragma once

#include <string_view>

namespace brindle {

// The message the window shows when it refuses an address (UTF-8; convert with gbk()).
inline constexpr const char* kInvalidServerAddressMessage = "服务器地址无效";

inline constexpr std::size_t kMaxHostNameLength = 253;
inline constexpr std::size_t kMaxHostLabelLength = 63;

// True for "host:port" and nothing else:
//  - host: a dotted IPv4 address (four decimal parts 0-255, no leading zeros), or a host name of
//    letters, digits, '-' and '.' (labels of 1-63 characters that neither start nor end with
//    '-', at most 253 characters in all). A host of digits and dots only must be a valid IPv4
//    address.
//  - port: decimal digits only (no sign, blank or leading zero), 1 to 65535.
bool IsValidServerAddress(std::string_view address);

}  // namespace brindle
