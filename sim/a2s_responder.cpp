#include "a2s_responder.h"

#ifdef _WIN32
// The tests also run as Windows programs (under Wine); the responders then run inside them.
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#ifdef __linux__
#include <sys/epoll.h>
#endif
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

namespace brindle::sim {

namespace {

using namespace std::string_view_literals;

#ifdef _WIN32
using Socket = SOCKET;
using SockLen = int;
using PollFd = WSAPOLLFD;
constexpr Socket kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
constexpr int kReceiveFlags = 0;  // the sockets are made non-blocking instead
void close_socket(Socket s) { ::closesocket(s); }
int poll_sockets(PollFd* fds, std::size_t n) { return ::WSAPoll(fds, static_cast<ULONG>(n), -1); }
bool interrupted() { return false; }
std::string socket_error() { return "error " + std::to_string(::WSAGetLastError()); }
#else
using Socket = int;
using SockLen = socklen_t;
using PollFd = pollfd;
constexpr Socket kNoSocket = -1;
constexpr int kSendFlags = MSG_NOSIGNAL;
constexpr int kReceiveFlags = MSG_DONTWAIT;
void close_socket(Socket s) { ::close(s); }
#ifndef __linux__
int poll_sockets(PollFd* fds, std::size_t n) { return ::poll(fds, n, -1); }
#endif
bool interrupted() { return errno == EINTR; }
std::string socket_error() { return std::strerror(errno); }
#endif

// Wakes the serving thread for Stop: a pipe here; on Windows, where poll takes only sockets, a
// loopback datagram socket that Stop sends one byte to.
struct Waker {
#ifdef _WIN32
  Socket socket = kNoSocket;
  sockaddr_in address{};

  bool Open() {
    socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket == kNoSocket) return false;
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    SockLen length = sizeof address;
    return ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
           ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  }
  Socket Watched() const { return socket; }
  void Wake() {
    const char byte = 1;
    ::sendto(socket, &byte, 1, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }
  void Close() {
    if (socket != kNoSocket) close_socket(socket);
    socket = kNoSocket;
  }
#else
  int fds[2] = {-1, -1};

  bool Open() { return ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0; }
  Socket Watched() const { return fds[0]; }
  void Wake() {
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(fds[1], &byte, 1);
  }
  void Close() {
    for (int& fd : fds) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
  }
#endif
};

constexpr std::string_view kHeader = "\xFF\xFF\xFF\xFF"sv;
constexpr std::string_view kInfoQuery = "TSource Engine Query\0"sv;  // after the header

void AppendText(std::string& out, const std::string& text) {
  out.append(text);
  out.push_back('\0');
}

void AppendLe(std::string& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string InfoReply(const A2sServer& s, std::uint16_t port) {
  std::string r(kHeader);
  r.push_back('I');
  r.push_back(17);  // protocol
  AppendText(r, s.name);
  AppendText(r, s.map);
  AppendText(r, s.folder);
  AppendText(r, s.game);
  AppendLe(r, 730, 2);
  r.push_back(static_cast<char>(s.players.size() & 0xFF));
  r.push_back(static_cast<char>(s.max_players & 0xFF));
  r.push_back(static_cast<char>(s.bots & 0xFF));
  r.push_back(s.server_type);
  r.push_back(s.environment);
  r.push_back(s.password ? 1 : 0);
  r.push_back(s.vac ? 1 : 0);
  AppendText(r, s.version);
  // Extra data: the game port and keywords, as real servers add them.
  r.push_back(static_cast<char>(0x80 | 0x20));
  AppendLe(r, port, 2);
  AppendText(r, "empty,secure");
  return r;
}

std::string PlayerReply(const A2sServer& s) {
  std::string r(kHeader);
  r.push_back('D');
  const std::size_t count = s.players.size() > 255 ? 255 : s.players.size();
  r.push_back(static_cast<char>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const A2sPlayer& p = s.players[i];
    r.push_back(0);  // index
    AppendText(r, p.name);
    AppendLe(r, static_cast<std::uint32_t>(p.score), 4);
    std::uint32_t bits;
    std::memcpy(&bits, &p.seconds, 4);
    AppendLe(r, bits, 4);
  }
  return r;
}

std::string ChallengeReply(const std::string& challenge) {
  std::string r(kHeader);
  r.push_back('A');
  r.append(challenge);
  return r;
}

// The broken replies of a garbage server, made once: each would be taken for an answer by a
// reader that trusts the header and reads past the end of the datagram as zeros.
std::vector<std::string> GarbageReplies(const std::string& info_reply, std::size_t index) {
  std::vector<std::string> replies;
  replies.push_back(std::string(kHeader) + "I");
  // Cut inside the numbers after the game text.
  const std::size_t game_end = info_reply.find('\0', info_reply.find("Counter-Strike"));
  replies.push_back(info_reply.substr(0, game_end == std::string::npos ? 10 : game_end + 4));
  // Whole up to the version, whose terminator and what follows are missing.
  const std::size_t version_end = info_reply.find('\0', game_end + 10);
  replies.push_back(info_reply.substr(0, version_end == std::string::npos ? 12 : version_end));
  // Five players announced, one and a half sent.
  std::string players(kHeader);
  players += "D\x05";
  players += std::string("\0cut\0", 5) + "\x01\x00\x00\x00" + "\x00\x00\x80\x3f";
  players += std::string("\0half", 5);
  replies.push_back(std::move(players));
  replies.push_back("\xFE\xFF\xFF\xFF\x01\x00\x00\x00\x02\x00");  // split reply, part 1 of 2
  std::uint32_t x = 0x9E3779B9u ^ static_cast<std::uint32_t>(index * 2654435761u);
  std::string noise;
  for (int i = 0; i < 48; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    noise.push_back(static_cast<char>(x & 0xFF));
  }
  replies.push_back(std::move(noise));
  return replies;
}

// A per-server challenge that never looks like the "no challenge" value.
std::string ChallengeFor(std::size_t index, std::uint16_t port) {
  std::string c;
  AppendLe(c, 0x5A000000u ^ (static_cast<std::uint32_t>(index) * 2654435761u) ^ port, 4);
  if (c == kHeader) c[0] = 0x11;
  return c;
}

}  // namespace

struct A2sResponders::Impl {
  struct Server {
    A2sServer config;
    Socket fd = kNoSocket;
    std::uint16_t port = 0;
    std::string challenge;
    std::uint32_t challenges_made = 0;
    std::string info_reply;
    std::string player_reply;
    std::vector<std::string> garbage;  // the broken replies of a garbage server, sent in turn
    std::size_t next_garbage = 0;
    A2sCounts counts;
  };
  struct Held {
    Socket fd;
    sockaddr_in to;
    std::string bytes;
  };

  mutable std::mutex mutex;  // counts, held replies, hold flag
  std::vector<Server> servers;
  std::thread thread;
  Waker wake;
  bool running = false;
  bool hold = false;
  std::vector<Held> held;

  void CloseAll() {
    for (auto& s : servers) {
      if (s.fd != kNoSocket) close_socket(s.fd);
      s.fd = kNoSocket;
    }
    wake.Close();
  }

  void Reply(Socket fd, const sockaddr_in& to, const std::string& bytes) {
    ::sendto(fd, bytes.data(), static_cast<int>(bytes.size()), kSendFlags,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }

  // The always-challenging server's next challenge: never the one before.
  static std::string NextChallenge(Server& s) {
    ++s.challenges_made;
    std::string c = s.challenge;
    for (int i = 0; i < 4; ++i) {
      c[static_cast<std::size_t>(i)] ^= static_cast<char>((s.challenges_made >> (8 * i)) & 0xFF);
    }
    if (c == kHeader) c[0] = 0x12;
    s.challenge = c;
    return c;
  }

  static std::string NextGarbage(Server& s) {
    ++s.counts.garbage_replies;
    const std::string& reply = s.garbage[s.next_garbage];
    s.next_garbage = (s.next_garbage + 1) % s.garbage.size();
    return reply;
  }

  // Works out the answer to one request; called with `mutex` held. Empty: no answer.
  std::string Answer(Server& s, std::string_view q, bool& is_player_reply) {
    is_player_reply = false;
    A2sCounts& n = s.counts;
    if (q.size() >= 4 + kInfoQuery.size() && q.substr(0, 4) == kHeader &&
        q.substr(4, kInfoQuery.size()) == kInfoQuery) {
      const bool valid = q.size() >= 29 && q.substr(25, 4) == s.challenge;
      ++(valid ? n.info_with_challenge : n.info_requests);
      if (s.config.silent) return {};
      if (s.config.garbage) return NextGarbage(s);
      if (s.config.always_challenge) {
        ++n.challenges_sent;
        return ChallengeReply(NextChallenge(s));
      }
      if (s.config.challenge_info && !valid) {
        ++n.challenges_sent;
        return ChallengeReply(s.challenge);
      }
      ++n.info_replies;
      return s.info_reply;
    }
    if (q.size() >= 9 && q.substr(0, 4) == kHeader && q[4] == 'U') {
      const bool valid = q.substr(5, 4) == s.challenge;
      ++(valid ? n.player_with_challenge : n.player_requests);
      if (s.config.silent) return {};
      if (s.config.garbage) return NextGarbage(s);
      if (s.config.always_challenge) {
        ++n.challenges_sent;
        return ChallengeReply(NextChallenge(s));
      }
      if (s.config.challenge_players && !valid) {
        ++n.challenges_sent;
        return ChallengeReply(s.challenge);
      }
      ++n.player_replies;
      is_player_reply = true;
      return s.player_reply;
    }
    ++n.ignored;
    return {};
  }

  // Answers every request waiting on one server's socket: a burst of requests must not wait for
  // one readiness round each.
  void Drain(Server& s) {
    char buffer[2048];
    for (;;) {
      sockaddr_in from{};
      SockLen from_len = sizeof from;
      const auto got = ::recvfrom(s.fd, buffer, sizeof buffer, kReceiveFlags,
                                  reinterpret_cast<sockaddr*>(&from), &from_len);
      if (got < 0) return;
      std::string answer;
      bool player_reply = false;
      {
        std::lock_guard lock(mutex);
        answer = Answer(s, std::string_view(buffer, static_cast<std::size_t>(got)), player_reply);
        if (!answer.empty() && player_reply && hold) {
          held.push_back({s.fd, from, std::move(answer)});
          answer.clear();
        }
      }
      if (!answer.empty()) Reply(s.fd, from, answer);
    }
  }

#ifdef __linux__
  // epoll: a round costs what is ready, not every socket (a 5,000-server list is 5,000 sockets).
  void Serve() {
    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0) return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = 0;  // the stop signal; servers are 1-based
    bool ok = ::epoll_ctl(ep, EPOLL_CTL_ADD, wake.Watched(), &event) == 0;
    for (std::size_t k = 0; ok && k < servers.size(); ++k) {
      event.data.u64 = k + 1;
      ok = ::epoll_ctl(ep, EPOLL_CTL_ADD, servers[k].fd, &event) == 0;
    }
    std::vector<epoll_event> ready(256);
    while (ok) {
      const int n = ::epoll_wait(ep, ready.data(), static_cast<int>(ready.size()), -1);
      if (n < 0 && interrupted()) continue;
      if (n < 0) break;
      bool stop = false;
      for (int i = 0; i < n; ++i) {
        const std::uint64_t k = ready[static_cast<std::size_t>(i)].data.u64;
        if (k == 0) {
          stop = true;
        } else {
          Drain(servers[k - 1]);
        }
      }
      if (stop) break;
    }
    ::close(ep);
  }
#else
  void Serve() {
    std::vector<PollFd> fds;
    fds.push_back({wake.Watched(), POLLIN, 0});
    for (const auto& s : servers) fds.push_back({s.fd, POLLIN, 0});
    for (;;) {
      int ready = poll_sockets(fds.data(), fds.size());
      if (ready < 0 && interrupted()) continue;
      if (ready < 0 || fds[0].revents != 0) return;
      for (std::size_t k = 1; k < fds.size(); ++k) {
        if (fds[k].revents != 0) Drain(servers[k - 1]);
      }
    }
  }
#endif
};

A2sResponders::A2sResponders() : impl_(std::make_unique<Impl>()) {}

A2sResponders::~A2sResponders() { Stop(); }

bool A2sResponders::Start(std::vector<A2sServer> servers, std::string* error,
                          const std::string& bind_address) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    impl_->CloseAll();
    impl_->servers.clear();
    return false;
  };
  if (impl_->running) return fail("the responders are already running");
#ifdef _WIN32
  WSADATA winsock{};
  if (::WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return fail("WSAStartup failed");
#endif
  in_addr bind_in{};
  if (inet_pton(AF_INET, bind_address.c_str(), &bind_in) != 1) return fail("bad bind address");
  if (!impl_->wake.Open()) return fail("cannot make the stop signal: " + socket_error());
  impl_->servers.clear();
  impl_->servers.reserve(servers.size());
  for (std::size_t i = 0; i < servers.size(); ++i) {
    Impl::Server& s = impl_->servers.emplace_back();
    s.config = std::move(servers[i]);
#ifdef _WIN32
    s.fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    u_long non_blocking = 1;
    if (s.fd != kNoSocket) ::ioctlsocket(s.fd, FIONBIO, &non_blocking);
#else
    s.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
#endif
    if (s.fd == kNoSocket) return fail("socket: " + socket_error());
    // Room for a whole refresh's burst of requests before the thread drains them.
    int buffer_bytes = 1 << 20;
    ::setsockopt(s.fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer_bytes),
                 sizeof buffer_bytes);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = bind_in;
    local.sin_port = htons(s.config.port);
    sockaddr_in bound{};
    SockLen bound_len = sizeof bound;
    if (::bind(s.fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(s.fd, reinterpret_cast<sockaddr*>(&bound), &bound_len) != 0) {
      return fail("cannot bind " + bind_address + ":" + std::to_string(s.config.port) + ": " +
                  socket_error());
    }
    s.port = ntohs(bound.sin_port);
    s.challenge = ChallengeFor(i, s.port);
    s.info_reply = InfoReply(s.config, s.port);
    s.player_reply = PlayerReply(s.config);
    if (s.config.garbage) s.garbage = GarbageReplies(s.info_reply, i);
  }
  impl_->running = true;
  impl_->thread = std::thread([impl = impl_.get()] { impl->Serve(); });
  return true;
}

void A2sResponders::Stop() {
  if (!impl_->running) return;
  impl_->wake.Wake();
  impl_->thread.join();
  impl_->running = false;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->held.clear();
  }
  impl_->CloseAll();
}

int A2sResponders::Size() const { return static_cast<int>(impl_->servers.size()); }

std::vector<std::uint16_t> A2sResponders::Ports() const {
  std::vector<std::uint16_t> ports;
  for (const auto& s : impl_->servers) ports.push_back(s.port);
  return ports;
}

std::string A2sResponders::Address(int server) const {
  if (server < 0 || server >= Size()) return {};
  return "127.0.0.1:" + std::to_string(impl_->servers[static_cast<std::size_t>(server)].port);
}

A2sCounts A2sResponders::Counts(int server) const {
  if (server < 0 || server >= Size()) return {};
  std::lock_guard lock(impl_->mutex);
  return impl_->servers[static_cast<std::size_t>(server)].counts;
}

A2sCounts A2sResponders::TotalCounts() const {
  A2sCounts total;
  std::lock_guard lock(impl_->mutex);
  for (const auto& s : impl_->servers) {
    const A2sCounts& n = s.counts;
    total.info_requests += n.info_requests;
    total.info_with_challenge += n.info_with_challenge;
    total.player_requests += n.player_requests;
    total.player_with_challenge += n.player_with_challenge;
    total.challenges_sent += n.challenges_sent;
    total.info_replies += n.info_replies;
    total.player_replies += n.player_replies;
    total.garbage_replies += n.garbage_replies;
    total.ignored += n.ignored;
  }
  return total;
}

void A2sResponders::HoldPlayerReplies(bool hold) {
  std::lock_guard lock(impl_->mutex);
  impl_->hold = hold;
}

int A2sResponders::ReleaseHeld() {
  std::vector<Impl::Held> held;
  {
    std::lock_guard lock(impl_->mutex);
    held.swap(impl_->held);
  }
  // Stop() clears what is held before closing the sockets, and this runs on the owner's thread.
  for (const auto& h : held) impl_->Reply(h.fd, h.to, h.bytes);
  return static_cast<int>(held.size());
}

std::vector<A2sServer> MakeA2sFleet(const A2sFleetOptions& options) {
  static const char* const kMaps[] = {"ze_mako_reactor_v5_3", "ze_dark_souls_ptd_v0_4",
                                      "ze_ffvii_cosmo_canyon_v5_1", "de_dust2",
                                      "ze_lotr_minas_tirith_v3_3"};
  std::vector<A2sServer> fleet;
  fleet.reserve(static_cast<std::size_t>(options.count > 0 ? options.count : 0));
  for (int i = 0; i < options.count; ++i) {
    A2sServer s;
    const std::string number = std::to_string(i);
    s.name = options.utf8_names ? "僵尸逃跑 \xF0\x9F\x94\xA5 服务器 #" + number
                                : "Brindle Test Server #" + number;
    s.map = kMaps[i % 5];
    s.max_players = 64;
    s.bots = i % 3;
    s.version = "1.38.8." + std::to_string(1 + i % 4);
    const int player_count = 1 + i % 5;
    for (int p = 0; p < player_count; ++p) {
      A2sPlayer player;
      if (!options.blank_player_names) {
        player.name = options.utf8_names ? "玩家\xF0\x9F\x98\x80" + std::to_string(p)
                                         : "player" + std::to_string(p);
      }
      player.score = (i + 1) * (p + 1);
      player.seconds = 60.5f * static_cast<float>(p + 1) + static_cast<float>(i);
      s.players.push_back(std::move(player));
    }
    s.challenge_info = options.challenge_every > 0 && (i + 1) % options.challenge_every == 0;
    s.silent = options.silent_every > 0 && (i + 1) % options.silent_every == 0;
    s.garbage = !s.silent && options.garbage_every > 0 && (i + 1) % options.garbage_every == 0;
    if (options.first_port != 0) s.port = static_cast<std::uint16_t>(options.first_port + i);
    fleet.push_back(std::move(s));
  }
  return fleet;
}

const char* const kA2sUsage =
    "                   [--a2s N] [--a2s-challenge-every K] [--a2s-silent-every K]\n"
    "                   [--a2s-garbage-every K] [--a2s-utf8-names] [--a2s-blank-names]\n"
    "                   [--a2s-first-port P] [--a2s-file FILE]\n";

bool ParseA2sFlag(int argc, char** argv, int& i, A2sCommandLine& out, bool& ok,
                  std::string& error) {
  const std::string arg = argv[i];
  auto number = [&](int& value, int low, int high) {
    if (i + 1 >= argc) {
      error = arg + " needs a value";
      return false;
    }
    std::string_view text = argv[++i];
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc() && end == text.data() + text.size() && value >= low && value <= high) {
      return true;
    }
    error = arg + " takes a whole number from " + std::to_string(low) + " to " +
            std::to_string(high) + ", not '" + std::string(text) + "'";
    return false;
  };
  if (arg == "--a2s") {
    ok = number(out.fleet.count, 0, 20000);
  } else if (arg == "--a2s-challenge-every") {
    ok = number(out.fleet.challenge_every, 0, 1 << 20);
  } else if (arg == "--a2s-silent-every") {
    ok = number(out.fleet.silent_every, 0, 1 << 20);
  } else if (arg == "--a2s-garbage-every") {
    ok = number(out.fleet.garbage_every, 0, 1 << 20);
  } else if (arg == "--a2s-first-port") {
    int port = 0;
    ok = number(port, 0, 65535);
    out.fleet.first_port = static_cast<std::uint16_t>(port);
  } else if (arg == "--a2s-utf8-names") {
    out.fleet.utf8_names = true;
  } else if (arg == "--a2s-blank-names") {
    out.fleet.blank_player_names = true;
  } else if (arg == "--a2s-file") {
    ok = i + 1 < argc;
    if (ok) {
      out.ports_file = argv[++i];
    } else {
      error = arg + " needs a value";
    }
  } else {
    return false;
  }
  return true;
}

bool CheckA2sCommandLine(const A2sCommandLine& command_line, std::string& error) {
  const A2sFleetOptions& fleet = command_line.fleet;
  if (fleet.count > 0 && fleet.first_port != 0 && fleet.first_port + fleet.count - 1 > 65535) {
    error = "--a2s-first-port " + std::to_string(fleet.first_port) + " leaves no room for " +
            std::to_string(fleet.count) + " servers (the last port would be " +
            std::to_string(fleet.first_port + fleet.count - 1) + ")";
    return false;
  }
  return true;
}

bool StartA2sFromCommandLine(const A2sCommandLine& command_line, A2sResponders& responders,
                             std::string& error) {
  if (command_line.fleet.count <= 0) return true;
  if (!CheckA2sCommandLine(command_line, error)) return false;
  if (!responders.Start(MakeA2sFleet(command_line.fleet), &error)) return false;
  if (command_line.ports_file.empty()) return true;
  std::string text;
  for (int i = 0; i < responders.Size(); ++i) text += responders.Address(i) + "\n";
  // Written beside the target and renamed, so a reader never sees half a list.
  const std::string temp = command_line.ports_file + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  bool written = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f) written = std::fclose(f) == 0 && written;
  if (!written || std::rename(temp.c_str(), command_line.ports_file.c_str()) != 0) {
    std::remove(temp.c_str());
    error = "cannot write " + command_line.ports_file;
    responders.Stop();
    return false;
  }
  return true;
}

}  // namespace brindle::sim
