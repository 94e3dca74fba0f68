// The live query against fake game servers on real loopback UDP, with the window's lists as the
// person would see them. Waits are for events (a reply arrived, a request was counted), with a
// generous safety limit that only a broken build reaches; the player-reply window is tested on
// the virtual clock.
#include "servers/query_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "app/app_state.h"
#include "app/core.h"
#include "foundation/encoding.h"
#include "foundation/regex_matcher.h"
#include "platform/platform.h"
#include "sim/a2s_responder.h"
#include "support/poll.h"
#include "support/system_only.h"
#include "view/test_ports.h"

namespace brindle {
namespace {

using sim::A2sResponders;
using sim::A2sServer;

using test::Eventually;

// Counts the answers the engine has handled.
struct Answers {
  std::mutex mutex;
  std::vector<std::string> info_keys;
  std::vector<std::pair<std::string, bool>> player_replies;  // sender, accepted

  void Watch(QueryEngine& engine) {
    engine.SetInfoObserver([this](const std::string& key, const ServerInfo&) {
      std::lock_guard lock(mutex);
      info_keys.push_back(key);
    });
    engine.SetPlayersObserver(
        [this](const std::string& key, const std::vector<PlayerEntry>&, bool accepted) {
          std::lock_guard lock(mutex);
          player_replies.emplace_back(key, accepted);
        });
  }
  std::size_t Infos() {
    std::lock_guard lock(mutex);
    return info_keys.size();
  }
  std::size_t Players() {
    std::lock_guard lock(mutex);
    return player_replies.size();
  }
  bool InfoFrom(const std::string& key) {
    std::lock_guard lock(mutex);
    return std::find(info_keys.begin(), info_keys.end(), key) != info_keys.end();
  }
  std::pair<std::string, bool> LastPlayers() {
    std::lock_guard lock(mutex);
    if (player_replies.empty()) return {};
    return player_replies.back();
  }
};

ListRow FavouriteRow(const std::string& address) {
  ListRow row(10);
  row[cols::kFavName] = address;
  row[cols::kFavAddress] = address;
  row[cols::kFavLatency] = "latency";
  row[cols::kFavSortId] = "sort";
  row[cols::kFavTypeStr] = "7";
  return row;
}

class QueryEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { answers_.Watch(engine_); }
  // The observers point into the test; no answer may reach them once it has ended.
  void TearDown() override { engine_.Stop(); }

  void StartServers(std::vector<A2sServer> servers) {
    std::string error;
    ASSERT_TRUE(responders_.Start(std::move(servers), &error)) << error;
  }
  void AddRow(const std::string& address) { window().favourites().Append(FavouriteRow(address)); }
  Window& window() { return test_window_.window(); }
  std::string Cell(int row, int column) { return window().favourites().Cell(row, column); }

  TestWindow test_window_;
  QueryEngine engine_{test_window_.window()};
  Answers answers_;
  A2sResponders responders_;  // stopped before the engine goes
};

TEST_F(QueryEngineTest, PlainAnswerFillsTheRow) {
  A2sServer server;
  server.name = "Plain ?Server?";
  server.players.resize(7);
  server.max_players = 32;
  server.version = "1.38.8.1";
  StartServers({server});
  AddRow(responders_.Address(0));
  AddRow("192.0.2.1:27015");  // another favourite, never asked
  ASSERT_TRUE(engine_.Start());

  engine_.QueryServerInfo(responders_.Address(0));
  ASSERT_TRUE(Eventually([&] { return answers_.Infos() == 1; }));

  EXPECT_EQ(Cell(0, cols::kFavName), "Plain Server");  // "?" characters are dropped
  EXPECT_EQ(Cell(0, cols::kFavMap), "ze_mako_reactor_v5_3");
  EXPECT_EQ(Cell(0, cols::kFavPlayers), "7/32");
  EXPECT_EQ(Cell(0, cols::kFavGame), "csgo");
  EXPECT_EQ(Cell(0, cols::kFavVersion), "1.38.8.1");
  // The round trip, in whole milliseconds.
  EXPECT_NE(Cell(0, cols::kFavLatency).find(" ms"), std::string::npos)
      << Cell(0, cols::kFavLatency);
  // What the reply does not describe stays as it was.
  EXPECT_EQ(Cell(0, cols::kFavSortId), "sort");
  EXPECT_EQ(Cell(0, cols::kFavTypeStr), "7");
  EXPECT_EQ(Cell(0, cols::kFavIpv4), "");
  EXPECT_EQ(window().favourites().Row(1), FavouriteRow("192.0.2.1:27015"));
  EXPECT_EQ(responders_.Counts(0).info_requests, 1);
}

TEST_F(QueryEngineTest, ChallengeIsAnsweredWithBothRequests) {
  A2sServer server;
  server.challenge_info = true;
  server.name = "Challenged";
  StartServers({server});
  AddRow(responders_.Address(0));
  ASSERT_TRUE(engine_.Start());

  engine_.QueryServerInfo(responders_.Address(0));
  ASSERT_TRUE(Eventually([&] { return answers_.Infos() == 1; }));
  EXPECT_EQ(Cell(0, cols::kFavName), "Challenged");

  // The player request with the challenge goes out too; its answer arrives while no player query
  // is pending and is not shown.
  ASSERT_TRUE(Eventually([&] { return answers_.Players() == 1; }));
  const sim::A2sCounts counts = responders_.Counts(0);
  EXPECT_EQ(counts.info_requests, 1);
  EXPECT_EQ(counts.challenges_sent, 1);
  EXPECT_EQ(counts.info_with_challenge, 1);
  EXPECT_EQ(counts.player_with_challenge, 1);
  EXPECT_FALSE(answers_.LastPlayers().second);
  EXPECT_FALSE(window().controls().Visible(names::kPlayerPanel));
  EXPECT_EQ(window().players().RowCount(), 0);
}

int RequestsTo(const sim::A2sCounts& n) {
  return n.info_requests + n.info_with_challenge + n.player_requests + n.player_with_challenge;
}

TEST_F(QueryEngineTest, AServerThatOnlyChallengesGetsAFewRoundsPerQuery) {
  A2sServer pest, sentinel;
  pest.always_challenge = true;
  sentinel.name = "Sentinel";
  StartServers({pest, sentinel});
  ASSERT_TRUE(engine_.Start());

  // The query, then each of the three rounds answers with both requests: 1 + 3 * 2.
  const int expected = 1 + 2 * QueryEngine::kChallengeRoundsPerQuery;
  engine_.QueryServerInfo(responders_.Address(0));
  ASSERT_TRUE(Eventually([&] {
    const sim::A2sCounts n = responders_.Counts(0);
    return RequestsTo(n) == expected && n.challenges_sent == expected;
  }));
  // Answers arrive in order on the one socket: once the sentinel's reply has been handled twice
  // over, every challenge before it has been too.
  for (std::size_t round = 1; round <= 2; ++round) {
    engine_.QueryServerInfo(responders_.Address(1));
    ASSERT_TRUE(Eventually([&] { return answers_.Infos() == round; }));
  }
  EXPECT_EQ(RequestsTo(responders_.Counts(0)), expected);

  // A new query of the same server gets its own rounds.
  engine_.QueryPlayers(responders_.Address(0));
  ASSERT_TRUE(Eventually([&] { return RequestsTo(responders_.Counts(0)) == 2 * expected; }));
}

TEST_F(QueryEngineTest, ChallengesFromAddressesNeverAskedAreIgnored) {
  platform::UdpSocket server, stranger;
  ASSERT_TRUE(server.open("127.0.0.1", 0));
  ASSERT_TRUE(stranger.open("127.0.0.1", 0));
  ASSERT_TRUE(engine_.Start());
  const std::string challenge = std::string(
                                    "\xFF\xFF\xFF\xFF"
                                    "A",
                                    5) +
                                "\x01\x02\x03\x04";
  // A reply the engine handles after whatever came before it from the same sender.
  const std::string info = std::string(
      "\xFF\xFF\xFF\xFF"
      "I\x11"
      "done\0\0\0\0"
      "\xDA\x02\0\0\0"
      "dl\0\0\0",
      24);
  platform::UdpSocket::Datagram got;

  // A host nobody asked challenges the engine: nothing is sent to it.
  ASSERT_TRUE(stranger.send_to("127.0.0.1", engine_.LocalPort(), challenge));
  ASSERT_TRUE(stranger.send_to("127.0.0.1", engine_.LocalPort(), info));
  ASSERT_TRUE(Eventually([&] { return answers_.Infos() == 1; }));
  EXPECT_EQ(stranger.receive(0, got), platform::UdpSocket::Receive::kTimeout);

  // The server asked answers from the port it was asked on; its challenge is answered.
  engine_.QueryServerInfo("127.0.0.1:" + std::to_string(server.local_port()));
  ASSERT_EQ(server.receive(10000, got), platform::UdpSocket::Receive::kDatagram);
  EXPECT_EQ(got.bytes, InfoRequest());
  ASSERT_TRUE(server.send_to("127.0.0.1", engine_.LocalPort(), challenge));
  ASSERT_EQ(server.receive(10000, got), platform::UdpSocket::Receive::kDatagram);
  EXPECT_EQ(got.bytes, InfoRequest("\x01\x02\x03\x04"));
  ASSERT_EQ(server.receive(10000, got), platform::UdpSocket::Receive::kDatagram);
  EXPECT_EQ(got.bytes, PlayerRequest("\x01\x02\x03\x04"));

  // The same host from another port is not the server asked.
  platform::UdpSocket other_port;
  ASSERT_TRUE(other_port.open("127.0.0.1", 0));
  ASSERT_TRUE(other_port.send_to("127.0.0.1", engine_.LocalPort(), challenge));
  ASSERT_TRUE(other_port.send_to("127.0.0.1", engine_.LocalPort(), info));
  ASSERT_TRUE(Eventually([&] { return answers_.Infos() == 2; }));
  EXPECT_EQ(other_port.receive(0, got), platform::UdpSocket::Receive::kTimeout);
}

TEST_F(QueryEngineTest, HostNameIsResolvedThroughTheIpv4Column) {
  StartServers({A2sServer{}});
  const std::string port = std::to_string(responders_.Ports()[0]);
  AddRow("localhost:" + port);
  ASSERT_TRUE(engine_.Start());

  engine_.QueryServerInfo("localhost:" + port);
  ASSERT_TRUE(Eventually([&] { return answers_.Infos() == 1; }));
  EXPECT_EQ(Cell(0, cols::kFavIpv4), "127.0.0.1:" + port);
  EXPECT_EQ(Cell(0, cols::kFavName), "Brindle Test Server");
  EXPECT_EQ(Cell(0, cols::kFavAddress), "localhost:" + port);

  // A name that does not resolve, and addresses without a usable port, send nothing and keep
  // the row as it was.
  AddRow("no-such-host.invalid:27015");
  engine_.QueryServerInfo("no-such-host.invalid:27015");
  EXPECT_EQ(Cell(1, cols::kFavIpv4), "");
  EXPECT_FALSE(ResolveQueryTarget("127.0.0.1", nullptr).ok());
  EXPECT_FALSE(ResolveQueryTarget("127.0.0.1:0", nullptr).ok());
  EXPECT_FALSE(ResolveQueryTarget("127.0.0.1:70000", nullptr).ok());
  EXPECT_FALSE(ResolveQueryTarget("127.0.0.1:port", nullptr).ok());
  EXPECT_EQ(ResolveQueryTarget("127.0.0.1:27015:x", nullptr).key, "127.0.0.1:27015");
}

// A host name lookup that blocks until the test opens it, as a slow or dead name server would.
// The engine's resolver may still be inside a lookup when a test ends, so the hook holds its
// state shared rather than pointing into this object.
class BlockingLookup {
 public:
  BlockingLookup() {
    previous_ = SetHostLookup([state = state_](const std::string& host) {
      std::unique_lock lock(state->mutex);
      state->asked.push_back(host);
      state->changed.notify_all();
      // The limit only frees a broken test.
      state->changed.wait_for(lock, std::chrono::seconds(20), [&] { return state->open; });
      return host.ends_with(".slow.example") ? std::string("127.0.0.1") : std::string();
    });
  }
  ~BlockingLookup() {
    Open();
    SetHostLookup(std::move(previous_));
  }
  BlockingLookup(const BlockingLookup&) = delete;
  BlockingLookup& operator=(const BlockingLookup&) = delete;
  void Open() {
    std::lock_guard lock(state_->mutex);
    state_->open = true;
    state_->changed.notify_all();
  }
  std::vector<std::string> Asked() {
    std::lock_guard lock(state_->mutex);
    return state_->asked;
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    std::vector<std::string> asked;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
  HostLookup previous_;
};

TEST_F(QueryEngineTest, AHostNameLookupNeverHoldsUpTheCaller) {
  A2sServer named, dotted;
  named.name = "Named";
  named.players.resize(2);
  dotted.name = "Dotted";
  StartServers({named, dotted});
  const std::string port = std::to_string(responders_.Ports()[0]);
  const std::string address = "ze.slow.example:" + port;
  AddRow(address);
  AddRow(responders_.Address(1));
  ASSERT_TRUE(engine_.Start());
  BlockingLookup lookup;

  // The caller (the UI thread) comes back while the lookup is still blocked…
  engine_.QueryServerInfo(address);
  engine_.QueryPlayers(address);
  ASSERT_TRUE(Eventually([&] { return lookup.Asked().size() == 1; }));
  EXPECT_EQ(test_window_.Statuses().back(),
            gbk("查询玩家情况-> ") + address + gbk("(人多时可能不会反馈)"));
  // …and a dotted address is asked and answered meanwhile.
  engine_.QueryServerInfo(responders_.Address(1));
  ASSERT_TRUE(Eventually([&] { return answers_.Infos() == 1; }));
  EXPECT_EQ(Cell(1, cols::kFavName), "Dotted");
  EXPECT_EQ(Cell(0, cols::kFavName), address);
  EXPECT_EQ(Cell(0, cols::kFavIpv4), "");
  EXPECT_EQ(RequestsTo(responders_.Counts(0)), 0);

  // Once the name resolves the row fills in, and the player query goes out too.
  lookup.Open();
  ASSERT_TRUE(Eventually([&] { return Cell(0, cols::kFavName) == "Named"; }));
  EXPECT_EQ(Cell(0, cols::kFavIpv4), "127.0.0.1:" + port);
  // The rows are filled before the observer hears of them: wait for both.
  ASSERT_TRUE(
      Eventually([&] { return window().players().RowCount() == 2 && answers_.Players() >= 1; }));
  EXPECT_TRUE(answers_.LastPlayers().second);
  EXPECT_EQ(lookup.Asked(), (std::vector<std::string>{"ze.slow.example", "ze.slow.example"}));
}

TEST_F(QueryEngineTest, ALookupThatEndsAfterANewerPlayerQuerySendsNoPlayerRequest) {
  StartServers({A2sServer{}, A2sServer{}});
  ASSERT_TRUE(engine_.Start());
  BlockingLookup lookup;
  engine_.QueryPlayers("ze.slow.example:" + std::to_string(responders_.Ports()[0]));
  ASSERT_TRUE(Eventually([&] { return lookup.Asked().size() == 1; }));
  engine_.QueryPlayers(responders_.Address(1));  // the person asked another server meanwhile
  ASSERT_TRUE(Eventually([&] { return answers_.Players() == 1; }));
  lookup.Open();
  // The information query of the next row is looked up after it, so once that one is answered
  // the stale player lookup has ended. (The other server may answer an information request too:
  // a challenge is answered with both requests.)
  engine_.QueryServerInfo("ze2.slow.example:" + std::to_string(responders_.Ports()[0]));
  ASSERT_TRUE(Eventually([&] { return answers_.InfoFrom(responders_.Address(0)); }));
  EXPECT_EQ(responders_.Counts(0).player_requests, 0);
  EXPECT_EQ(answers_.LastPlayers(), std::make_pair(responders_.Address(1), true));
}

TEST_F(QueryEngineTest, PortAboveSignedRangeMatchesTheRow) {
  // Ephemeral ports are high on most systems; bind explicitly so the case is always covered.
  std::mt19937 random(static_cast<unsigned>(std::random_device{}()));
  std::string error;
  bool started = false;
  for (int attempt = 0; attempt < 50 && !started; ++attempt) {
    A2sServer server;
    server.port = static_cast<std::uint16_t>(40000 + random() % 20000);
    started = responders_.Start({server}, &error);
  }
  ASSERT_TRUE(started) << error;
  ASSERT_GT(responders_.Ports()[0], 32767);
  AddRow(responders_.Address(0));
  ASSERT_TRUE(engine_.Start());

  engine_.QueryServerInfo(responders_.Address(0));
  ASSERT_TRUE(Eventually([&] { return answers_.Infos() == 1; }));
  EXPECT_EQ(answers_.info_keys[0], responders_.Address(0));
  EXPECT_EQ(Cell(0, cols::kFavName), "Brindle Test Server");
}

TEST_F(QueryEngineTest, PlayerRepliesOnlyWithinFiveSecondsOfTheQuery) {
  sim::A2sFleetOptions options;
  options.count = 1;
  options.utf8_names = true;
  auto fleet = sim::MakeA2sFleet(options);
  fleet[0].players[0].name.clear();  // server 0 has one player
  StartServers(fleet);
  const std::string address = responders_.Address(0);
  ASSERT_TRUE(engine_.Start());
  responders_.HoldPlayerReplies(true);
  TestPorts& ports = test_window_.ports();

  // Late: the answer comes 5 whole seconds after the query.
  engine_.QueryPlayers(address);
  EXPECT_EQ(engine_.PlayerQueryStamp(), ports.UnixSeconds());
  EXPECT_EQ(test_window_.Statuses().back(),
            gbk("查询玩家情况-> ") + address + gbk("(人多时可能不会反馈)"));
  ASSERT_TRUE(Eventually([&] { return responders_.Counts(0).player_replies == 1; }));
  ports.Advance(5000);
  EXPECT_EQ(responders_.ReleaseHeld(), 1);
  ASSERT_TRUE(Eventually([&] { return answers_.Players() == 1; }));
  EXPECT_FALSE(answers_.LastPlayers().second);
  EXPECT_FALSE(window().controls().Visible(names::kPlayerPanel));
  EXPECT_EQ(window().players().RowCount(), 0);

  // In time: 4.999 seconds later still counts as 4 whole seconds.
  engine_.QueryPlayers(address);
  ASSERT_TRUE(Eventually([&] { return responders_.Counts(0).player_replies == 2; }));
  ports.Advance(4999);
  EXPECT_EQ(responders_.ReleaseHeld(), 1);
  ASSERT_TRUE(Eventually([&] { return answers_.Players() == 2; }));
  EXPECT_TRUE(answers_.LastPlayers().second);
  EXPECT_TRUE(window().controls().Visible(names::kPlayerPanel));
  ListModel& players = window().players();
  ASSERT_EQ(players.RowCount(), 1);
  EXPECT_EQ(players.Cell(0, cols::kPlayerName), gbk("资源加载过程"));

  // After a refresh of the favourites no player reply is shown.
  engine_.ClearPlayerQueryStamp();
  EXPECT_EQ(engine_.PlayerQueryStamp(), 0);
}

TEST_F(QueryEngineTest, PlayerListShowsNamesScoresAndTimes) {
  sim::A2sFleetOptions options;
  options.count = 3;  // server 2 has three players
  options.utf8_names = true;
  auto fleet = sim::MakeA2sFleet(options);
  fleet[2].players[2].name.clear();
  fleet[2].players[0].seconds = 3725.6f;
  StartServers(fleet);
  ASSERT_TRUE(engine_.Start());

  engine_.QueryPlayers(responders_.Address(2));
  ASSERT_TRUE(Eventually([&] { return answers_.Players() == 1; }));
  ASSERT_TRUE(answers_.LastPlayers().second);
  const std::vector<ListRow> rows = window().players().Rows();
  ASSERT_EQ(rows.size(), 3u);
  // The emoji in the names, which GBK lacks, is kept.
  const std::string player = utf8_to_gbk_keeping_all("玩家\xF0\x9F\x98\x80");
  EXPECT_EQ(rows[0], (ListRow{player + "0", "3", "01:02:06"}));
  EXPECT_EQ(rows[1], (ListRow{player + "1", "6", "00:02:03"}));
  EXPECT_EQ(rows[2][cols::kPlayerName], gbk("资源加载过程"));
  EXPECT_TRUE(window().controls().Visible(names::kPlayerPanel));
}

TEST_F(QueryEngineTest, UnknownSendersUpdateNothing) {
  A2sServer listed, stranger, chatty;
  listed.silent = true;
  stranger.name = "Stranger";
  chatty.challenge_info = true;  // its challenge brings a player reply along
  StartServers({listed, stranger, chatty});
  AddRow(responders_.Address(0));
  ASSERT_TRUE(engine_.Start());

  engine_.QueryServerInfo(responders_.Address(1));
  ASSERT_TRUE(Eventually([&] { return answers_.Infos() == 1; }));
  EXPECT_EQ(window().favourites().Rows(),
            std::vector<ListRow>{FavouriteRow(responders_.Address(0))});

  // Players of another server than the one asked are not shown, even within the 5 seconds.
  engine_.QueryPlayers(responders_.Address(0));
  engine_.QueryServerInfo(responders_.Address(2));
  ASSERT_TRUE(Eventually([&] { return answers_.Players() == 1; }));
  EXPECT_EQ(answers_.LastPlayers(), std::make_pair(responders_.Address(2), false));
  EXPECT_FALSE(window().controls().Visible(names::kPlayerPanel));
  EXPECT_EQ(responders_.Counts(0).player_requests, 1);  // the silent one was asked all the same
}

TEST_F(QueryEngineTest, RefreshFillsEveryAnsweringRow) {
  BRINDLE_NOT_UNDER_WINE(test::kGb18030UnderWine);
  sim::A2sFleetOptions options;
  options.count = 12;
  options.challenge_every = 2;
  options.silent_every = 5;  // servers 4 and 9 never answer
  options.utf8_names = true;
  StartServers(sim::MakeA2sFleet(options));
  for (int i = 0; i < responders_.Size(); ++i) AddRow(responders_.Address(i));
  window().favourites().SetCell(4, cols::kFavName, "stale name");
  ASSERT_TRUE(engine_.Start());

  engine_.RefreshFavourites();
  ASSERT_TRUE(Eventually([&] { return answers_.Infos() == 10; }));
  for (int i = 0; i < responders_.Size(); ++i) {
    SCOPED_TRACE(i);
    if (i == 4 || i == 9) {
      EXPECT_EQ(Cell(i, cols::kFavName), responders_.Address(i));  // the address until it answers
      EXPECT_EQ(Cell(i, cols::kFavPlayers), "");
    } else {
      // The emoji, which GBK lacks, is kept as it came.
      EXPECT_EQ(Cell(i, cols::kFavName),
                utf8_to_gbk_keeping_all("僵尸逃跑 \xF0\x9F\x94\xA5 服务器 #") + std::to_string(i));
      EXPECT_EQ(Cell(i, cols::kFavPlayers), std::to_string(1 + i % 5) + "/64");
    }
  }
  EXPECT_EQ(responders_.TotalCounts().challenges_sent, 5);  // 1, 3, 5, 7, 11; 9 is silent
}

TEST_F(QueryEngineTest, ABurstOfAnswersIsNotDropped) {
  // More answers waiting at once than a socket's default buffer holds (about 256 small
  // datagrams on Linux): the receive thread is held in its first answer until every server has
  // sent its own.
  sim::A2sFleetOptions options;
  options.count = 400;
  StartServers(sim::MakeA2sFleet(options));
  for (int i = 0; i < responders_.Size(); ++i) AddRow(responders_.Address(i));
  std::mutex mutex;
  std::condition_variable opened;
  bool gate_open = false;
  int infos = 0;
  engine_.SetInfoObserver([&](const std::string&, const ServerInfo&) {
    std::unique_lock lock(mutex);
    ++infos;
    opened.wait(lock, [&] { return gate_open; });
  });
  ASSERT_TRUE(engine_.Start());
  engine_.RefreshFavourites();
  const bool all_sent = Eventually([&] { return responders_.TotalCounts().info_replies == 400; });
  {
    std::lock_guard lock(mutex);
    gate_open = true;
  }
  opened.notify_all();
  ASSERT_TRUE(all_sent);
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard lock(mutex);
    return infos == 400;
  })) << infos
      << " answers arrived";
  EXPECT_EQ(window().favourites().FindRow(cols::kFavPlayers, ""), -1);
}

TEST_F(QueryEngineTest, NotStartedSendsNothingButResolves) {
  StartServers({A2sServer{}});
  const std::string port = std::to_string(responders_.Ports()[0]);
  AddRow("localhost:" + port);
  EXPECT_FALSE(engine_.Started());
  engine_.QueryServerInfo("localhost:" + port);
  engine_.QueryPlayers("localhost:" + port);
  ASSERT_TRUE(Eventually([&] { return Cell(0, cols::kFavIpv4) == "127.0.0.1:" + port; }));
  EXPECT_TRUE(test_window_.Statuses().empty());

  // Stop, then start again: the engine works as before.
  ASSERT_TRUE(engine_.Start());
  EXPECT_TRUE(engine_.Start());  // a second start changes nothing
  engine_.Stop();
  EXPECT_FALSE(engine_.Started());
  ASSERT_TRUE(engine_.Start());
  engine_.QueryServerInfo("localhost:" + port);
  ASSERT_TRUE(Eventually([&] { return answers_.Infos() == 1; }));
  EXPECT_EQ(responders_.Counts(0).info_requests, 1);  // nothing was sent while not started
}

TEST(ProcessQueryEngine, StartedByTheStartupClockAndStoppedWithTheCore) {
  A2sResponders responders;
  A2sServer server;
  server.players.resize(1);
  ASSERT_TRUE(responders.Start({server}));
  TestWindow test_window;
  Window& window = test_window.window();
  window.favourites().Append(FavouriteRow(responders.Address(0)));
  {
    AppState state;
    Core core(state, window);
    core.AddFeature(std::make_unique<QueryEngineFeature>());
    EXPECT_FALSE(QueryEngineStarted());
    core.OnStartupTimer();
    ASSERT_TRUE(QueryEngineStarted());
    StartQueryEngine(core);  // does nothing
    EXPECT_TRUE(QueryEngineStarted());

    RefreshFavourites(window);
    ASSERT_TRUE(Eventually(
        [&] { return window.favourites().Cell(0, cols::kFavName) == "Brindle Test Server"; }));
    QueryPlayers(window, responders.Address(0));
    ASSERT_TRUE(Eventually([&] { return window.players().RowCount() == 1; }));
  }
  // The core's workers ended the receive loop.
  EXPECT_FALSE(QueryEngineStarted());
}

// The address test is scanned by hand for plain hosts: it must say what the pattern says.
TEST(QueryTarget, DottedAddressesAreFoundAsTheAddressPatternFindsThem) {
  std::mt19937 random(20);
  const std::string alphabet = "0123456789..a";
  std::vector<std::string> hosts = {"",
                                    "1.2.3.4",
                                    "a1.2.3.4b",
                                    "1.2.3",
                                    "1..2.3.4",
                                    "1.2.3.4.",
                                    ".1.2.3.4",
                                    "12.34.56",
                                    "9.9.9.9.9",
                                    gbk("服务器1.2.3.4"),
                                    "\x81"
                                    "1.2.3.4"};
  for (int i = 0; i < 3000; ++i) {
    std::string host;
    const std::size_t length = random() % 16;
    for (std::size_t k = 0; k < length; ++k) host += alphabet[random() % alphabet.size()];
    hosts.push_back(host);
  }
  for (const std::string& host : hosts) {
    RegexMatcher matcher;
    const bool pattern =
        matcher.execute("(\\d+\\.\\d+\\.\\d+\\.\\d+)", host) && matcher.match_count() > 0;
    const QueryTarget target = ParseQueryTarget(host + ":27015");
    EXPECT_EQ(!target.needs_lookup && !host.empty(), pattern) << host;
  }
}

// ---- The socket under the engine ----------------------------------------------------------------

TEST(UdpSocket, CloseWakesAWaitingReceiver) {
  platform::UdpSocket socket;
  ASSERT_TRUE(socket.open());
  EXPECT_NE(socket.local_port(), 0);
  EXPECT_FALSE(socket.open());  // already open
  platform::UdpSocket::Receive result = platform::UdpSocket::Receive::kDatagram;
  std::thread receiver([&] {
    platform::UdpSocket::Datagram datagram;
    result = socket.receive(600000, datagram);
  });
  socket.close();  // must not wait the ten minutes
  receiver.join();
  EXPECT_EQ(result, platform::UdpSocket::Receive::kClosed);
  EXPECT_FALSE(socket.is_open());
  EXPECT_FALSE(socket.send_to("127.0.0.1", 9, "x"));
}

TEST(UdpSocket, DatagramsComeWithTheirSenderAndAreCutToTheBuffer) {
  platform::UdpSocket a, b;
  ASSERT_TRUE(a.open("127.0.0.1", 0));
  ASSERT_TRUE(b.open("127.0.0.1", 0));
  EXPECT_FALSE(a.send_to("localhost", b.local_port(), "x"));  // dotted addresses only
  EXPECT_FALSE(a.send_to("127.0.0.1", 0, "x"));

  ASSERT_TRUE(a.send_to("127.0.0.1", b.local_port(), std::string(20000, 'z')));
  platform::UdpSocket::Datagram datagram;
  ASSERT_EQ(b.receive(10000, datagram), platform::UdpSocket::Receive::kDatagram);
  EXPECT_EQ(datagram.bytes.size(), platform::UdpSocket::kReceiveBufferBytes);
  EXPECT_EQ(datagram.address, "127.0.0.1");
  EXPECT_EQ(datagram.port, a.local_port());
  EXPECT_EQ(b.receive(0, datagram), platform::UdpSocket::Receive::kTimeout);

  EXPECT_EQ(platform::resolve_ipv4("localhost"), "127.0.0.1");
  EXPECT_EQ(platform::resolve_ipv4("no-such-host.invalid"), "");
  EXPECT_EQ(platform::resolve_ipv4(""), "");
}

TEST(UdpSocket, BatchesKeepTheirOrderAndSkipOnlyWhatIsRefused) {
  platform::UdpSocket a, b;
  ASSERT_TRUE(a.open("127.0.0.1", 0));
  ASSERT_TRUE(b.open("127.0.0.1", 0));
  // More than one system call's worth, with refused ones among them.
  std::vector<platform::UdpSocket::Outgoing> out;
  for (int i = 0; i < 150; ++i) {
    const bool refused = i % 50 == 7;
    out.push_back({refused ? "localhost" : "127.0.0.1", b.local_port(), std::to_string(i)});
  }
  out.push_back({"127.0.0.1", b.local_port(), std::string(20000, 'z')});
  EXPECT_EQ(a.send_batch(out), 148u);

  std::vector<platform::UdpSocket::Datagram> in;
  std::vector<std::string> got;
  std::size_t count = 0;
  while (got.size() < 148 &&
         b.receive_batch(10000, in, count) == platform::UdpSocket::Receive::kDatagram) {
    ASSERT_LE(count, platform::UdpSocket::kReceiveBatch);
    for (std::size_t i = 0; i < count; ++i) {
      EXPECT_EQ(in[i].address, "127.0.0.1");
      EXPECT_EQ(in[i].port, a.local_port());
      got.push_back(in[i].bytes);
    }
  }
  ASSERT_EQ(got.size(), 148u);
  for (int i = 0, k = 0; i < 150; ++i) {
    if (i % 50 == 7) continue;
    EXPECT_EQ(got[static_cast<std::size_t>(k++)], std::to_string(i));
  }
  EXPECT_EQ(got.back().size(), platform::UdpSocket::kReceiveBufferBytes);  // cut, as one at a time
  EXPECT_EQ(b.receive_batch(0, in, count), platform::UdpSocket::Receive::kTimeout);
  EXPECT_EQ(count, 0u);
}

}  // namespace
}  // namespace brindle
