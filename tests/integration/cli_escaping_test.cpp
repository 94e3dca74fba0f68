// brindle-cli never passes control characters from the network to the terminal: a server list
// name, a game server's name and a player's name carrying a screen-clearing ESC sequence, CR and
// LF come out escaped in plain output, and as JSON escapes (read back unchanged) with --json.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/a2s_responder.h"
#include "support/child_process.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::ChildRun;

const std::string kEvilName = "Evil\x1b[2J\rserver\nfake line \xE5\x83\xB5\xE5\xB0\xB8";
const std::string kEvilShown = "Evil\\x1b[2J\\rserver\\nfake line 僵尸";

// Every byte a terminal would act on, other than the line ends and tabs the output is made of.
bool HasControls(const std::string& out) {
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto c = static_cast<unsigned char>(out[i]);
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < out.size() && static_cast<unsigned char>(out[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(out[i + 1]) <= 0x9F) {
      return true;
    }
  }
  return false;
}

class CliEscapingTest : public test::SharedSimSuite {
 protected:
  void SetUp() override { ASSERT_TRUE(sim_->running()) << sim_->error(); }

  ChildRun Cli(std::vector<std::string> args) {
    std::vector<std::string> argv = {BRINDLE_CLI_PATH, "--program-dir", dir_.path().string(),
                                     "--endpoints", sim_->endpoints_file()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildRun run = test::RunChild(argv);
    EXPECT_TRUE(run.started);
    return run;
  }

  test::TempDir dir_;
};

TEST_F(CliEscapingTest, ServerListNamesAreShownEscaped) {
  nlohmann::json servers = nlohmann::json::array();
  servers.push_back({{"name", kEvilName},
                     {"map_name", "de_dust2\x1b]0;title\x07"},
                     {"comments",
                      "\xC2\x9B"
                      "31m red"},
                     {"players", 3},
                     {"max_players", 64},
                     {"ip", "192.0.2.5"},
                     {"port", 27015}});
  test::spit(fs::path(sim_->data_dir()) / "servers.json", servers.dump());

  ChildRun plain = Cli({"servers"});
  ASSERT_EQ(plain.exit_code, 0) << plain.err;
  EXPECT_FALSE(HasControls(plain.out)) << plain.out;
  EXPECT_EQ(
      plain.out.rfind(kEvilShown + "\tde_dust2\\x1b]0;title\\x07\t3/64\t192.0.2.5:27015\t", 0), 0u)
      << plain.out;
  EXPECT_NE(plain.out.find("31m red\n1 servers\n"), std::string::npos) << plain.out;

  ChildRun json = Cli({"--json", "servers"});
  ASSERT_EQ(json.exit_code, 0) << json.err;
  EXPECT_FALSE(HasControls(json.out)) << json.out;
  const auto rows = nlohmann::json::parse(json.out);
  EXPECT_EQ(rows.at(0).at("name"), kEvilName);
}

TEST_F(CliEscapingTest, GameServerAndPlayerNamesAreShownEscaped) {
  sim::A2sServer evil;
  evil.name = kEvilName;
  evil.map = "ze_\x1b[31mred";
  evil.version = "1.0\r\n";
  evil.players.push_back({"\x1b[H\x1b[2Jplayer\r\n", 5, 61.f});
  sim::A2sResponders servers;
  std::string error;
  ASSERT_TRUE(servers.Start({evil}, &error)) << error;
  const std::string address = servers.Address(0);

  ChildRun query = Cli({"query", address});
  ASSERT_EQ(query.exit_code, 0) << query.err;
  EXPECT_FALSE(HasControls(query.out)) << query.out;
  EXPECT_NE(query.out.find(address + "  " + kEvilShown + "\n"), std::string::npos) << query.out;
  EXPECT_NE(query.out.find("map ze_\\x1b[31mred"), std::string::npos) << query.out;
  EXPECT_NE(query.out.find("version 1.0\\r\\n"), std::string::npos) << query.out;

  ChildRun query_json = Cli({"--json", "query", address});
  ASSERT_EQ(query_json.exit_code, 0) << query_json.err;
  EXPECT_FALSE(HasControls(query_json.out));
  EXPECT_EQ(nlohmann::json::parse(query_json.out).at(0).at("name"), kEvilName);

  ChildRun players = Cli({"players", address});
  ASSERT_EQ(players.exit_code, 0) << players.err;
  EXPECT_FALSE(HasControls(players.out)) << players.out;
  EXPECT_NE(players.out.find("\\x1b[H\\x1b[2Jplayer\\r\\n\n"), std::string::npos) << players.out;

  ASSERT_EQ(Cli({"favourites", "add", address}).exit_code, 0);
  ChildRun refresh = Cli({"favourites", "refresh"});
  ASSERT_EQ(refresh.exit_code, 0) << refresh.err;
  EXPECT_FALSE(HasControls(refresh.out)) << refresh.out;
  EXPECT_NE(refresh.out.find(kEvilShown), std::string::npos) << refresh.out;
}

}  // namespace
}  // namespace brindle
