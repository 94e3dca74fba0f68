// The query protocol's packets, built byte by byte from the protocol's published layout.
#include "servers/a2s_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>

#include "foundation/encoding.h"
#include "servers/query_engine.h"
#include "support/system_only.h"

namespace brindle {
namespace {

using namespace std::string_literals;

const std::string kHeader = "\xFF\xFF\xFF\xFF"s;

std::string Le32(std::uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return out;
}

std::string Float(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return Le32(bits);
}

std::string Text(const std::string& s) { return s + '\0'; }

// A whole information reply as a CS:GO server sends it, extra-data fields included.
std::string InfoReply(char type = 'd', char env = 'l', const std::string& name = "ZE Server") {
  std::string r = kHeader + "I"s;
  r += '\x11';  // protocol 17
  r += Text(name) + Text("ze_mako_reactor_v5_3") + Text("csgo") +
       Text("Counter-Strike: Global Offensive");
  r += "\xDA\x02"s;  // app id 730
  r += '\x2A';       // 42 players
  r += '\x40';       // 64 max
  r += '\x03';       // 3 bots
  r += type;
  r += env;
  r += '\x01';  // password
  r += '\x01';  // VAC
  r += Text("1.38.7.9");
  r += '\xB1';  // extra data flag: port, steam id, keywords, game id
  r += "\x87\x69"s + std::string(8, '\x01') + Text("secure") + std::string(8, '\x02');
  return r;
}

std::string PlayerEntryBytes(const std::string& name, std::int32_t score, float seconds) {
  return "\x00"s + Text(name) + Le32(static_cast<std::uint32_t>(score)) + Float(seconds);
}

TEST(A2sRequests, PacketsHaveTheProtocolLayout) {
  const std::string info = InfoRequest();
  ASSERT_EQ(info.size(), 25u);
  EXPECT_EQ(info, kHeader + "TSource Engine Query"s + '\0');

  const std::string challenge = "\x12\x34\x56\x78"s;
  const std::string info_with = InfoRequest(challenge);
  ASSERT_EQ(info_with.size(), 29u);
  EXPECT_EQ(info_with, info + challenge);

  EXPECT_EQ(PlayerRequest(), kHeader + "U"s + kHeader);
  EXPECT_EQ(PlayerRequest(challenge), kHeader + "U"s + challenge);
  // A challenge of the wrong size is not sent half-way.
  EXPECT_EQ(PlayerRequest("\x01\x02"s).size(), 9u);
  EXPECT_EQ(InfoRequest("\x01"s).size(), 25u);
}

TEST(A2sReplies, ClassifiedByTheirFirstFiveBytes) {
  EXPECT_EQ(ClassifyA2sReply(kHeader + "I"), A2sReplyKind::kInfo);
  EXPECT_EQ(ClassifyA2sReply(kHeader + "A\x01\x02\x03\x04"), A2sReplyKind::kChallenge);
  EXPECT_EQ(ClassifyA2sReply(kHeader + "D\x00"s), A2sReplyKind::kPlayers);
  // Split replies, other kinds, short and empty datagrams are nothing the loop handles.
  EXPECT_EQ(ClassifyA2sReply("\xFE\xFF\xFF\xFF"
                             "I"s),
            A2sReplyKind::kUnknown);
  EXPECT_EQ(ClassifyA2sReply(kHeader + "m"), A2sReplyKind::kUnknown);
  EXPECT_EQ(ClassifyA2sReply(kHeader), A2sReplyKind::kUnknown);
  EXPECT_EQ(ClassifyA2sReply(""), A2sReplyKind::kUnknown);

  EXPECT_EQ(ParseChallenge(kHeader + "A\x01\x02\x03\x04"), "\x01\x02\x03\x04"s);
  EXPECT_EQ(ParseChallenge(kHeader + "A\x01\x02\x03"), "");  // cut short: no challenge
  EXPECT_EQ(ParseChallenge(InfoReply()), "");
}

TEST(A2sServerInfo, WholeReplyGivesEveryField) {
  auto info = ParseServerInfo(InfoReply());
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->protocol, 17);
  EXPECT_EQ(info->name, "ZE Server");
  EXPECT_EQ(info->map, "ze_mako_reactor_v5_3");
  EXPECT_EQ(info->folder, "csgo");
  EXPECT_EQ(info->game, "Counter-Strike: Global Offensive");
  EXPECT_EQ(info->players, 42);
  EXPECT_EQ(info->max_players, 64);
  EXPECT_EQ(info->bots, 3);
  EXPECT_EQ(info->server_type, "dedicated");
  EXPECT_EQ(info->environment, "Linux");
  EXPECT_TRUE(info->password);
  EXPECT_TRUE(info->vac);
  EXPECT_EQ(info->version, "1.38.7.9");
}

TEST(A2sServerInfo, TypeAndEnvironmentCharacters) {
  auto hltv = ParseServerInfo(InfoReply('p', 'l'));
  ASSERT_TRUE(hltv);
  EXPECT_EQ(hltv->server_type, "HLTV");
  EXPECT_EQ(hltv->environment, "Linux");
  auto listen = ParseServerInfo(InfoReply('l', 'w'));
  ASSERT_TRUE(listen);
  EXPECT_EQ(listen->server_type, "non-dedicated");
  EXPECT_EQ(listen->environment, "Windows");
  // Characters without a name stay as they came.
  auto other = ParseServerInfo(InfoReply('x', 'm'));
  ASSERT_TRUE(other);
  EXPECT_EQ(other->server_type, "x");
  EXPECT_EQ(other->environment, "m");
}

TEST(A2sServerInfo, TruncatedReplyIsNoAnswer) {
  // Only the header, the protocol and the name (without its terminator).
  EXPECT_FALSE(ParseServerInfo(kHeader + "I\x11"
                                         "Half a na"s));
  // Cut in the middle of the numbers.
  std::string whole = InfoReply();
  std::size_t numbers = whole.find("Offensive") + 10 + 2;  // past the game text and app id
  EXPECT_FALSE(ParseServerInfo(whole.substr(0, numbers + 1)));
  // The header alone.
  EXPECT_FALSE(ParseServerInfo(kHeader + "I"));
}

TEST(A2sServerInfo, TextsBecomeGbk) {
  BRINDLE_NOT_UNDER_WINE(test::kGb18030UnderWine);
  auto info = ParseServerInfo(InfoReply('d', 'l', "僵尸逃跑 \xF0\x9F\x98\x80 #1"));
  ASSERT_TRUE(info);
  // The emoji has no GBK form and keeps its four-byte one, so it shows.
  EXPECT_EQ(info->name, gbk("僵尸逃跑 ") + "\x94\x39\xFC\x36" + " #1");
  EXPECT_EQ(gbk_to_utf8(info->name), "僵尸逃跑 \xF0\x9F\x98\x80 #1");
}

TEST(A2sServerInfo, OtherDatagramsAreNotInformation) {
  EXPECT_FALSE(ParseServerInfo(""));
  EXPECT_FALSE(ParseServerInfo(kHeader + "D\x00"s));
  EXPECT_FALSE(ParseServerInfo("\x49\x11name"));
}

TEST(A2sPlayers, EntriesInReplyOrder) {
  BRINDLE_NOT_UNDER_WINE(test::kGb18030UnderWine);
  std::string reply = kHeader + "D" + "\x03"s + PlayerEntryBytes("alice", 12, 3725.6f) +
                      PlayerEntryBytes("", -3, 59.4f) +
                      PlayerEntryBytes("张三\xF0\x9F\x94\xA5", 0, 0.f);
  auto parsed = ParsePlayers(reply);
  ASSERT_TRUE(parsed);
  const std::vector<PlayerEntry>& players = *parsed;
  ASSERT_EQ(players.size(), 3u);
  EXPECT_EQ(players[0].name, "alice");
  EXPECT_EQ(players[0].score, 12);
  EXPECT_FLOAT_EQ(players[0].seconds, 3725.6f);
  EXPECT_EQ(players[1].name, "");
  EXPECT_EQ(players[1].score, -3);
  EXPECT_EQ(gbk_to_utf8(players[2].name), "张三\xF0\x9F\x94\xA5");

  // The rows the player list shows.
  EXPECT_EQ(PlayerListRow(players[0]), (ListRow{"alice", "12", "01:02:06"}));
  EXPECT_EQ(PlayerListRow(players[1]), (ListRow{gbk("资源加载过程"), "-3", "00:00:59"}));
}

TEST(A2sPlayers, CountBeyondTheDataIsNoAnswer) {
  std::string entries = PlayerEntryBytes("one", 1, 1.f) + PlayerEntryBytes("two", 2, 2.f);
  EXPECT_FALSE(ParsePlayers(kHeader + "D" + "\xFF"s + entries));

  // An entry cut inside its score or inside its name.
  std::string cut = kHeader + "D" + "\x02"s + entries;
  EXPECT_FALSE(ParsePlayers(cut.substr(0, cut.size() - 3)));
  EXPECT_FALSE(ParsePlayers(cut.substr(0, cut.size() - 9)));  // "two" without its NUL
  // Fewer announced than present: the count rules.
  auto one = ParsePlayers(kHeader + "D" + "\x01"s + entries);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->size(), 1u);
  // Nothing after the header, a zero count, other kinds.
  EXPECT_FALSE(ParsePlayers(kHeader + "D"));
  auto none = ParsePlayers(kHeader + "D" + "\x00"s);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  EXPECT_FALSE(ParsePlayers(InfoReply()));
}

TEST(A2sPlayers, GarbageAndOversizedDatagramsAreReadInBounds) {
  // Random bytes behind each header, in every length up to a little over the receive buffer;
  // the sanitizers catch any read outside the datagram.
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  for (char kind : {'I', 'D', 'A'}) {
    for (std::size_t length : {0u, 1u, 2u, 7u, 30u, 200u, 10240u, 12000u}) {
      std::string datagram = kHeader + std::string(1, kind);
      for (std::size_t i = 0; i < length; ++i) datagram.push_back(static_cast<char>(byte(random)));
      // One heap copy of exactly that size, so a read past it is a heap overflow.
      std::unique_ptr<char[]> exact(new char[datagram.size()]);
      std::memcpy(exact.get(), datagram.data(), datagram.size());
      std::string_view view(exact.get(), datagram.size());
      ParseServerInfo(view);
      auto players = ParsePlayers(view);
      if (players) {
        EXPECT_LE(players->size(), 255u);
      }
      ParseChallenge(view);
    }
  }
  // A reply packed with names and no terminator anywhere.
  std::string no_nul = kHeader + "D\x05" + std::string(10000, 'x');
  EXPECT_FALSE(ParsePlayers(no_nul));
  EXPECT_FALSE(ParseServerInfo(kHeader + "I\x11" + std::string(10000, 'n')));
}

TEST(A2sPlayTime, FormattedFromRoundedSeconds) {
  EXPECT_EQ(FormatPlayTime(3725.6f), "01:02:06");
  EXPECT_EQ(FormatPlayTime(0.f), "00:00:00");
  EXPECT_EQ(FormatPlayTime(59.5f), "00:01:00");
  EXPECT_EQ(FormatPlayTime(86399.f), "23:59:59");
  EXPECT_EQ(FormatPlayTime(86400.f), "00:00:00");  // a whole day wraps
  EXPECT_EQ(FormatPlayTime(90061.f), "01:01:01");
  // Nonsense from the network is shown as nothing rather than misread.
  EXPECT_EQ(FormatPlayTime(std::numeric_limits<float>::quiet_NaN()), "00:00:00");
  EXPECT_EQ(FormatPlayTime(-5.f), "00:00:00");
  EXPECT_EQ(FormatPlayTime(std::numeric_limits<float>::infinity()), "00:00:00");
  EXPECT_EQ(FormatPlayTime(std::numeric_limits<float>::max()), "00:00:00");
  // Large but countable times still wrap by the day.
  EXPECT_EQ(FormatPlayTime(8640000.f + 61.f), "00:01:01");
}

}  // namespace
}  // namespace brindle
