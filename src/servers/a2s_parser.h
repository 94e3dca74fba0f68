// The game servers' UDP query protocol as pure functions: request packets, reply classification
// and the parsers of the server information and player replies. No function reads outside the
// datagram it is given, whatever the datagram holds, and a reply too short for its fields is no
// reply. Texts come out as GBK.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// Reply kinds, told apart by the first five bytes. Split (multi-packet) replies are kUnknown.
enum class A2sReplyKind { kUnknown, kInfo, kChallenge, kPlayers };

struct ServerInfo {
  int protocol = 0;
  std::string name, map, folder, game;  // GBK
  int players = 0, max_players = 0, bots = 0;
  std::string server_type;  // "dedicated", "non-dedicated", "HLTV", or the character as sent
  std::string environment;  // "Windows", "Linux", or the character as sent
  bool password = false;
  bool vac = false;
  std::string version;  // GBK
};

struct PlayerEntry {
  std::string name;  // GBK; empty when the server sent none
  std::int32_t score = 0;
  float seconds = 0;  // connected time
};

A2sReplyKind ClassifyA2sReply(std::string_view datagram);

// The server information reply. nullopt when the datagram is not one, or is too short for its
// fields: every text up to the version must end with its NUL inside the datagram and every
// number must be there. The extra data after the version is optional and not read.
std::optional<ServerInfo> ParseServerInfo(std::string_view datagram);

// The players of a player reply, in reply order (an empty list for an empty server). nullopt for
// anything else, and for a reply too short for what it announces: the count byte and that many
// whole entries (index, NUL-terminated name, score, time). Bytes after them are not read.
std::optional<std::vector<PlayerEntry>> ParsePlayers(std::string_view datagram);

// The 4 challenge bytes of a challenge reply; empty when the datagram is not a whole one.
std::string ParseChallenge(std::string_view datagram);

// Requests. The information request is 25 bytes, 29 with a challenge; the player request is 9
// bytes, its challenge field FF FF FF FF when none is given. A challenge must be 4 bytes.
std::string InfoRequest(std::string_view challenge = {});
std::string PlayerRequest(std::string_view challenge = {});

// Connected time as "HH:MM:SS" of the rounded whole seconds, wrapping at 24 hours. NaN,
// negative and infinite times, and times past a 64-bit count of seconds, give "00:00:00".
std::string FormatPlayTime(float seconds);

}  // namespace brindle
