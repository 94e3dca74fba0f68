// Fake game servers answering the UDP query protocol on 127.0.0.1, for brindle-sim, the tests and
// the benchmarks. Each server has its own socket and answers from the port it was asked on.
// Switches per server: a challenge before the information reply, nothing but challenges, no
// answer at all, broken answers, and (through the player list) blank names or UTF-8 names with
// Chinese and emoji. One thread serves them all.
//
// Texts here are UTF-8, as real servers send them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brindle::sim {

struct A2sPlayer {
  std::string name;  // UTF-8, may be empty
  std::int32_t score = 0;
  float seconds = 0;
};

struct A2sServer {
  std::string name = "Brindle Test Server";
  std::string map = "ze_mako_reactor_v5_3";
  std::string folder = "csgo";
  std::string game = "Counter-Strike: Global Offensive";
  std::string version = "1.38.8.1";
  int max_players = 64;
  int bots = 0;
  char server_type = 'd';
  char environment = 'l';
  bool password = false;
  bool vac = true;
  std::vector<A2sPlayer> players;  // the player count of the information reply is their number

  // Answer an information request that carries no (or a wrong) challenge with a challenge.
  bool challenge_info = false;
  // The same for player requests; real servers always want it.
  bool challenge_players = true;
  // Answer every request, with or without the challenge, with a new challenge (a server that
  // never gives an answer, only more work).
  bool always_challenge = false;
  // Never answer anything (the requests are still counted).
  bool silent = false;
  // Answer every request with a broken reply, each kind in turn: the bare information header
  // (FF FF FF FF 49), an information reply cut inside its numbers, one whose version has no
  // terminator, a player reply announcing more players than it holds, the header of a split
  // reply, and random bytes.
  bool garbage = false;
  std::uint16_t port = 0;  // 0: any free port
};

// What a server was asked and what it answered.
struct A2sCounts {
  int info_requests = 0;        // without a valid challenge
  int info_with_challenge = 0;  // carrying this server's challenge
  int player_requests = 0;      // without a valid challenge
  int player_with_challenge = 0;
  int challenges_sent = 0;
  int info_replies = 0;
  int player_replies = 0;
  int garbage_replies = 0;
  int ignored = 0;  // datagrams that are no request
};

// A set of generated servers: server i (from 0) is named "Brindle Test Server #i" (or a Chinese
// name with an emoji), has 1 + i % 5 players, and the k-th switches pick every k-th server
// (servers k-1, 2k-1, …).
struct A2sFleetOptions {
  int count = 0;
  int challenge_every = 0;  // 0: none answers with a challenge first
  int silent_every = 0;     // 0: every server answers
  int garbage_every = 0;    // 0: none answers garbage; a silent server stays silent
  bool utf8_names = false;  // Chinese and emoji in server and player names
  bool blank_player_names = false;
  std::uint16_t first_port = 0;  // 0: any free ports; else first_port + i
};
std::vector<A2sServer> MakeA2sFleet(const A2sFleetOptions& options);

class A2sResponders {
 public:
  A2sResponders();
  ~A2sResponders();  // Stop
  A2sResponders(const A2sResponders&) = delete;
  A2sResponders& operator=(const A2sResponders&) = delete;

  // Binds one socket per server on `bind_address` and starts answering. False (with `error`
  // set, nothing left running) when a socket cannot be bound or the set is already running.
  bool Start(std::vector<A2sServer> servers, std::string* error = nullptr,
             const std::string& bind_address = "127.0.0.1");
  void Stop();

  int Size() const;
  std::vector<std::uint16_t> Ports() const;
  std::string Address(int server) const;  // "127.0.0.1:PORT"
  A2sCounts Counts(int server) const;
  A2sCounts TotalCounts() const;

  // While held, player replies are kept back (still counted) until ReleaseHeld sends them, so a
  // test can move its clock between the request and the answer.
  void HoldPlayerReplies(bool hold);
  int ReleaseHeld();  // how many were sent

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The brindle-sim command line: --a2s N, --a2s-challenge-every K, --a2s-silent-every K,
// --a2s-garbage-every K, --a2s-utf8-names, --a2s-blank-names, --a2s-first-port P, --a2s-file FILE
// (one "host:port" a line, in server order).
struct A2sCommandLine {
  A2sFleetOptions fleet;
  std::string ports_file;
};
extern const char* const kA2sUsage;
// Takes argv[i] (and its value, moving i on) when it is one of the flags above; false when it is
// not ours. `ok` turns false for a bad or missing value, with `error` saying why.
bool ParseA2sFlag(int argc, char** argv, int& i, A2sCommandLine& out, bool& ok, std::string& error);
// The checks that need every flag: the ports from --a2s-first-port must all exist. False with
// `error` set otherwise.
bool CheckA2sCommandLine(const A2sCommandLine& command_line, std::string& error);
// Starts what the command line asks for (nothing when N is 0) and writes the ports file.
bool StartA2sFromCommandLine(const A2sCommandLine& command_line, A2sResponders& responders,
                             std::string& error);

}  // namespace brindle::sim
