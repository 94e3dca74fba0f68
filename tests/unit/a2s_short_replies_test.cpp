// Replies too short for their fields are no answer. The fixtures are written as a packet capture
// shows them: a CS:GO server's information reply with its extra data, and a player reply.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "servers/a2s_parser.h"

namespace brindle {
namespace {

std::string FromHex(std::string_view hex) {
  std::string out;
  int high = -1;
  for (char c : hex) {
    int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

// "Brindle ZE #1" on ze_mako_reactor_v5_3, 12/64, dedicated Linux, VAC, version 1.38.8.1, then
// the extra data (game port 27015, a Steam id, keywords, game id).
const std::string kInfo = FromHex(
    "FF FF FF FF 49 11 42 72 69 6E 64 6C 65 20 5A 45"
    "20 23 31 00 7A 65 5F 6D 61 6B 6F 5F 72 65 61 63"
    "74 6F 72 5F 76 35 5F 33 00 63 73 67 6F 00 43 6F"
    "75 6E 74 65 72 2D 53 74 72 69 6B 65 3A 20 47 6C"
    "6F 62 61 6C 20 4F 66 66 65 6E 73 69 76 65 00 DA"
    "02 0C 40 00 64 6C 00 01 31 2E 33 38 2E 38 2E 31"
    "00 B1 87 69 00 00 00 00 01 00 40 01 65 6D 70 74"
    "79 2C 73 65 63 75 72 65 00 DA 02 00 00 00 00 00"
    "00");
constexpr std::size_t kInfoFixedEnd = 97;  // just past the version's NUL

// Two players: "alice" 12 points 3725.6 s, an unnamed one -3 points 59.4 s.
const std::string kPlayers = FromHex(
    "FF FF FF FF 44 02 00 61 6C 69 63 65 00 0C 00 00"
    "00 9A D9 68 45 01 00 FD FF FF FF 9A 99 6D 42");

TEST(A2sShortReplies, TheCapturedInformationReplyReadsWhole) {
  ASSERT_EQ(kInfo[kInfoFixedEnd - 1], '\0');
  auto info = ParseServerInfo(kInfo);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->name, "Brindle ZE #1");
  EXPECT_EQ(info->map, "ze_mako_reactor_v5_3");
  EXPECT_EQ(info->folder, "csgo");
  EXPECT_EQ(info->players, 12);
  EXPECT_EQ(info->max_players, 64);
  EXPECT_EQ(info->server_type, "dedicated");
  EXPECT_EQ(info->environment, "Linux");
  EXPECT_TRUE(info->vac);
  EXPECT_EQ(info->version, "1.38.8.1");
}

TEST(A2sShortReplies, InformationCutAnywhereBeforeTheVersionEndsIsNoAnswer) {
  // The five-byte header alone, and every cut up to the version's terminator.
  for (std::size_t length = 5; length < kInfoFixedEnd; ++length) {
    EXPECT_FALSE(ParseServerInfo(kInfo.substr(0, length))) << "cut at " << length;
  }
  // The extra data is optional: cut anywhere inside it, the fields before it still read.
  for (std::size_t length = kInfoFixedEnd; length <= kInfo.size(); ++length) {
    auto info = ParseServerInfo(kInfo.substr(0, length));
    ASSERT_TRUE(info) << "cut at " << length;
    EXPECT_EQ(info->version, "1.38.8.1");
  }
}

TEST(A2sShortReplies, InformationWithAnUnterminatedTextIsNoAnswer) {
  // The version runs to the end of the datagram without its NUL.
  EXPECT_FALSE(ParseServerInfo(kInfo.substr(0, kInfoFixedEnd - 1)));
  // A name that swallows the rest of the reply (every NUL after it turned into "x").
  std::string no_nul = kInfo.substr(0, kInfoFixedEnd);
  for (std::size_t i = 6; i < no_nul.size(); ++i) {
    if (no_nul[i] == '\0') no_nul[i] = 'x';
  }
  EXPECT_FALSE(ParseServerInfo(no_nul));
  // Empty texts are texts: a reply with every text empty but present is an answer.
  std::string empties = FromHex("FF FF FF FF 49 11 00 00 00 00 DA 02 00 00 00 64 6C 00 00 00");
  auto info = ParseServerInfo(empties);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->name, "");
  EXPECT_EQ(info->server_type, "dedicated");
  EXPECT_FALSE(ParseServerInfo(empties.substr(0, empties.size() - 1)));
}

TEST(A2sShortReplies, ThePlayerReplyReadsWholeOrNotAtAll) {
  auto players = ParsePlayers(kPlayers);
  ASSERT_TRUE(players);
  ASSERT_EQ(players->size(), 2u);
  EXPECT_EQ((*players)[0].name, "alice");
  EXPECT_EQ((*players)[0].score, 12);
  EXPECT_FLOAT_EQ((*players)[0].seconds, 3725.6f);
  EXPECT_EQ((*players)[1].name, "");
  EXPECT_EQ((*players)[1].score, -3);
  // Every cut short of the last announced entry's end, the count byte's absence included.
  for (std::size_t length = 5; length < kPlayers.size(); ++length) {
    EXPECT_FALSE(ParsePlayers(kPlayers.substr(0, length))) << "cut at " << length;
  }
  // An empty server is an answer with no players; bytes past the announced entries are not read.
  auto none = ParsePlayers(FromHex("FF FF FF FF 44 00"));
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  std::string one = kPlayers;
  one[5] = 1;
  auto first = ParsePlayers(one);
  ASSERT_TRUE(first);
  ASSERT_EQ(first->size(), 1u);
  EXPECT_EQ((*first)[0].name, "alice");
  // Other kinds are no player reply.
  EXPECT_FALSE(ParsePlayers(kInfo));
}

}  // namespace
}  // namespace brindle
