#include "servers/a2s_parser.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/encoding.h"

namespace brindle {

namespace {

constexpr std::string_view kHeader("\xFF\xFF\xFF\xFF", 4);
constexpr char kInfoReply = 0x49;
constexpr char kChallengeReply = 0x41;
constexpr char kPlayersReply = 0x44;

// Reads a reply front to back and notes whether every read found its bytes: a text must end
// with its NUL inside the data, a number must have all its bytes. Reads past the end give zero
// and the empty text and clear ok(), so a reply too short for its fields is told from one that
// holds them, and nothing is ever read outside the data.
class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}

  bool ok() const { return ok_; }
  std::size_t Left() const { return pos_ >= data_.size() ? 0 : data_.size() - pos_; }

  unsigned char Byte() {
    if (Left() == 0) {
      ok_ = false;
      return 0;
    }
    return static_cast<unsigned char>(data_[pos_++]);
  }
  void Skip(std::size_t n) {
    if (n > Left()) ok_ = false;
    pos_ = n > Left() ? data_.size() : pos_ + n;
  }

  // A NUL-terminated text.
  std::string_view Text() {
    const std::size_t end = Left() == 0 ? std::string_view::npos : data_.find('\0', pos_);
    if (end == std::string_view::npos) {
      ok_ = false;
      pos_ = data_.size();
      return {};
    }
    std::string_view text = data_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return text;
  }

  // Four bytes, little-endian.
  std::uint32_t U32() {
    if (Left() < 4) {
      ok_ = false;
      pos_ = data_.size();
      return 0;
    }
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return v;
  }

 private:
  std::string_view data_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

std::string ServerTypeText(unsigned char c) {
  switch (c) {
    case 'd':
      return "dedicated";
    case 'l':
      return "non-dedicated";
    case 'p':
      return "HLTV";
    case 0:
      return {};
    default:
      return utf8_to_gbk_counted(std::string(1, static_cast<char>(c)));
  }
}

std::string EnvironmentText(unsigned char c) {
  switch (c) {
    case 'w':
      return "Windows";
    case 'l':
      return "Linux";
    case 0:
      return {};
    default:
      return utf8_to_gbk_counted(std::string(1, static_cast<char>(c)));
  }
}

std::string Request(char kind, std::string_view payload, std::string_view challenge) {
  std::string packet(kHeader);
  packet.push_back(kind);
  packet.append(payload);
  packet.append(challenge);
  return packet;
}

}  // namespace

A2sReplyKind ClassifyA2sReply(std::string_view datagram) {
  if (datagram.size() < 5 || datagram.substr(0, 4) != kHeader) return A2sReplyKind::kUnknown;
  switch (datagram[4]) {
    case kInfoReply:
      return A2sReplyKind::kInfo;
    case kChallengeReply:
      return A2sReplyKind::kChallenge;
    case kPlayersReply:
      return A2sReplyKind::kPlayers;
    default:
      return A2sReplyKind::kUnknown;
  }
}

std::optional<ServerInfo> ParseServerInfo(std::string_view datagram) {
  if (ClassifyA2sReply(datagram) != A2sReplyKind::kInfo) return std::nullopt;
  Reader r(datagram.substr(5));
  const unsigned char protocol = r.Byte();
  const std::string_view name = r.Text();
  const std::string_view map = r.Text();
  const std::string_view folder = r.Text();
  const std::string_view game = r.Text();
  r.Skip(2);  // application id
  const unsigned char players = r.Byte();
  const unsigned char max_players = r.Byte();
  const unsigned char bots = r.Byte();
  const unsigned char server_type = r.Byte();
  const unsigned char environment = r.Byte();
  const unsigned char password = r.Byte();
  const unsigned char vac = r.Byte();
  const std::string_view version = r.Text();
  // The extra data after the version is optional and not read.
  if (!r.ok()) return std::nullopt;
  ServerInfo info;
  info.protocol = protocol;
  info.name = utf8_to_gbk_keeping_all(name);  // shown as it came, emoji and all
  info.map = utf8_to_gbk_counted(map);
  info.folder = utf8_to_gbk_counted(folder);
  info.game = utf8_to_gbk_counted(game);
  info.players = players;
  info.max_players = max_players;
  info.bots = bots;
  info.server_type = ServerTypeText(server_type);
  info.environment = EnvironmentText(environment);
  info.password = password != 0;
  info.vac = vac != 0;
  info.version = utf8_to_gbk_counted(version);
  return info;
}

std::optional<std::vector<PlayerEntry>> ParsePlayers(std::string_view datagram) {
  if (ClassifyA2sReply(datagram) != A2sReplyKind::kPlayers) return std::nullopt;
  Reader r(datagram.substr(5));
  const int count = r.Byte();
  std::vector<PlayerEntry> players;
  players.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count && r.ok(); ++i) {
    r.Skip(1);  // index
    PlayerEntry entry;
    entry.name = utf8_to_gbk_keeping_all(r.Text());
    entry.score = static_cast<std::int32_t>(r.U32());
    const std::uint32_t bits = r.U32();
    std::memcpy(&entry.seconds, &bits, sizeof entry.seconds);
    players.push_back(std::move(entry));
  }
  if (!r.ok()) return std::nullopt;
  return players;
}

std::string ParseChallenge(std::string_view datagram) {
  if (ClassifyA2sReply(datagram) != A2sReplyKind::kChallenge || datagram.size() < 9) return {};
  return std::string(datagram.substr(5, 4));
}

std::string InfoRequest(std::string_view challenge) {
  // The request text goes with its terminating NUL.
  return Request(0x54, std::string_view("Source Engine Query\0", 20),
                 challenge.size() == 4 ? challenge : std::string_view());
}

std::string PlayerRequest(std::string_view challenge) {
  return Request(0x55, {}, challenge.size() == 4 ? challenge : kHeader);
}

std::string FormatPlayTime(float seconds) {
  // Beyond this a float no longer fits a 64-bit count; treat it like the other nonsense values.
  constexpr double kLimit = 9.0e18;
  const double value = static_cast<double>(seconds);
  if (!std::isfinite(value) || value < 0 || value >= kLimit) return "00:00:00";
  const long long whole = std::llround(value) % 86400;
  char text[16];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                whole % 60);
  return text;
}

}  // namespace brindle
