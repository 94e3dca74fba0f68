// The UDP query replies: every datagram goes to the classifier, the information, player and
// challenge parsers; the first four bytes also feed the play-time formatter as a float. The
// parsers must stay inside the datagram and give results within the reply's own bounds.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "servers/a2s_parser.h"

namespace {

using brindle::A2sReplyKind;

// "HH:MM:SS" of a time of day.
bool IsClockText(const std::string& text) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  for (std::size_t i : {0, 1, 3, 4, 6, 7}) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return (text[0] - '0') * 10 + (text[1] - '0') < 24 && text[3] < '6' && text[6] < '6';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view datagram(reinterpret_cast<const char*>(data), size);
  const A2sReplyKind kind = brindle::ClassifyA2sReply(datagram);

  if (const auto info = brindle::ParseServerInfo(datagram)) {
    FUZZ_CHECK(kind == A2sReplyKind::kInfo);
    FUZZ_CHECK(info->protocol >= 0 && info->protocol <= 255);
    for (int n : {info->players, info->max_players, info->bots}) FUZZ_CHECK(n >= 0 && n <= 255);
    // UTF-8 to GBK never grows a text, so the texts together fit in the datagram.
    const std::size_t texts = info->name.size() + info->map.size() + info->folder.size() +
                              info->game.size() + info->version.size();
    FUZZ_CHECK(texts <= size);
    FUZZ_CHECK(info->server_type.size() <= 13 && info->environment.size() <= 7);
  }

  // A players reply is whole or no answer: exactly the announced count, each entry at least 10
  // bytes after the 6 of the header and the count.
  if (const auto players = brindle::ParsePlayers(datagram)) {
    FUZZ_CHECK(kind == A2sReplyKind::kPlayers);
    FUZZ_CHECK(players->size() == static_cast<unsigned char>(datagram[5]));
    FUZZ_CHECK(players->size() * 10 <= size - 6);
    for (const auto& p : *players) FUZZ_CHECK(IsClockText(brindle::FormatPlayTime(p.seconds)));
  }

  const std::string challenge = brindle::ParseChallenge(datagram);
  FUZZ_CHECK(challenge.empty() || (kind == A2sReplyKind::kChallenge && challenge.size() == 4 &&
                                   challenge == datagram.substr(5, 4)));
  if (!challenge.empty()) {
    FUZZ_CHECK(brindle::InfoRequest(challenge).size() == 29);
    FUZZ_CHECK(brindle::PlayerRequest(challenge).substr(5) == challenge);
  }
  // Our own requests are never taken for replies.
  FUZZ_CHECK(brindle::ClassifyA2sReply(brindle::InfoRequest(datagram.substr(0, 4))) ==
             A2sReplyKind::kUnknown);

  if (size >= 4) {
    float seconds;
    std::memcpy(&seconds, data, sizeof seconds);
    const std::string text = brindle::FormatPlayTime(seconds);
    FUZZ_CHECK(IsClockText(text));
    if (!std::isfinite(seconds) || seconds < 0) FUZZ_CHECK(text == "00:00:00");
  }
  return 0;
}
