// UDP socket over Winsock 2. The socket signals arrivals through an event (WSAEventSelect), and a
// second event set by close() wakes a receiver waiting on both. The socket itself is released
// only after every call in progress has left, so a closing thread can never pull it away from a
// sender or receiver (nor have its number reused under them).

#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace brindle::platform {
namespace {

// Winsock is started once for the process and left running until it ends.
bool winsock_ready() {
  static const bool ready = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

bool parse_dotted(const std::string& text, in_addr& out) {
  return ::inet_pton(AF_INET, text.c_str(), &out) == 1;
}

}  // namespace

struct UdpSocket::State {
  std::mutex mutex;
  std::condition_variable idle;  // users reached 0 while closing
  SOCKET socket = INVALID_SOCKET;
  WSAEVENT arrived = WSA_INVALID_EVENT;  // data to read (FD_READ)
  WSAEVENT wake = WSA_INVALID_EVENT;     // set by close()
  int users = 0;
  bool closing = false;
  std::uint16_t port = 0;
};

namespace {

// Holds the socket open for one call; socket() is INVALID_SOCKET when closed or closing.
class Use {
 public:
  explicit Use(UdpSocket::State& s) : s_(s) {
    std::lock_guard lock(s_.mutex);
    if (s_.socket == INVALID_SOCKET || s_.closing) return;
    ++s_.users;
    socket_ = s_.socket;
    arrived_ = s_.arrived;
    wake_ = s_.wake;
  }
  ~Use() {
    if (socket_ == INVALID_SOCKET) return;
    std::lock_guard lock(s_.mutex);
    if (--s_.users == 0 && s_.closing) s_.idle.notify_all();
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  SOCKET socket() const { return socket_; }
  WSAEVENT arrived() const { return arrived_; }
  WSAEVENT wake() const { return wake_; }

 private:
  UdpSocket::State& s_;
  SOCKET socket_ = INVALID_SOCKET;
  WSAEVENT arrived_ = WSA_INVALID_EVENT;
  WSAEVENT wake_ = WSA_INVALID_EVENT;
};

}  // namespace

UdpSocket::UdpSocket() : state_(new State) {}

UdpSocket::~UdpSocket() {
  close();
  delete state_;
}

bool UdpSocket::open(const std::string& bind_address, std::uint16_t port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (!winsock_ready() || !parse_dotted(bind_address, local.sin_addr)) return false;

  std::lock_guard lock(state_->mutex);
  if (state_->socket != INVALID_SOCKET || state_->closing) return false;
  SOCKET s = ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return false;
  WSAEVENT arrived = ::WSACreateEvent();
  WSAEVENT wake = ::WSACreateEvent();
  auto fail = [&] {
    ::closesocket(s);
    if (arrived != WSA_INVALID_EVENT) ::WSACloseEvent(arrived);
    if (wake != WSA_INVALID_EVENT) ::WSACloseEvent(wake);
    return false;
  };
  if (arrived == WSA_INVALID_EVENT || wake == WSA_INVALID_EVENT) return fail();
  // One socket takes the answers of every server asked at once (a favourites refresh); the
  // default buffer drops the rest of a burst.
  int buffer_bytes = static_cast<int>(kSocketBufferBytes);
  ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer_bytes),
               sizeof buffer_bytes);
  // Windows reports an ICMP "port unreachable" for an earlier datagram as a failed receive;
  // a silent server is no error of this socket.
  BOOL report = FALSE;
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
  sockaddr_in bound{};
  int bound_len = sizeof bound;
  if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &bound_len) != 0 ||
      ::WSAEventSelect(s, arrived, FD_READ) != 0) {  // also makes the socket non-blocking
    return fail();
  }
  state_->socket = s;
  state_->arrived = arrived;
  state_->wake = wake;
  state_->port = ntohs(bound.sin_port);
  return true;
}

void UdpSocket::close() {
  std::unique_lock lock(state_->mutex);
  if (state_->socket == INVALID_SOCKET || state_->closing) {
    // Another thread is closing: wait until it is done, so "closed" holds on return.
    state_->idle.wait(lock, [&] { return state_->socket == INVALID_SOCKET; });
    return;
  }
  state_->closing = true;
  ::WSASetEvent(state_->wake);
  state_->idle.wait(lock, [&] { return state_->users == 0; });
  ::closesocket(state_->socket);
  ::WSACloseEvent(state_->arrived);
  ::WSACloseEvent(state_->wake);
  state_->socket = INVALID_SOCKET;
  state_->arrived = state_->wake = WSA_INVALID_EVENT;
  state_->port = 0;
  state_->closing = false;
  state_->idle.notify_all();
}

bool UdpSocket::is_open() const {
  std::lock_guard lock(state_->mutex);
  return state_->socket != INVALID_SOCKET && !state_->closing;
}

std::uint16_t UdpSocket::local_port() const {
  std::lock_guard lock(state_->mutex);
  return state_->closing ? 0 : state_->port;
}

bool UdpSocket::send_to(const std::string& host, std::uint16_t port, std::string_view bytes) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (port == 0 || !parse_dotted(host, to.sin_addr)) return false;
  if (bytes.size() > 65507) return false;
  Use use(*state_);
  if (use.socket() == INVALID_SOCKET) return false;
  // The socket is non-blocking; a full send buffer is waited out for up to 5 s, as a blocking
  // sendto would. The limit is time, not tries: while another thread's sends are still queued the
  // socket can report itself writable and refuse the next send at once, many times over (Wine
  // does, when the receive thread answers a challenge amid a burst of queries).
  const std::int64_t deadline = monotonic_ms() + 5000;
  for (;;) {
    const int sent = ::sendto(use.socket(), bytes.data(), static_cast<int>(bytes.size()), 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent >= 0) return sent == static_cast<int>(bytes.size());
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    if (monotonic_ms() >= deadline) return false;
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(use.socket(), &writable);
    timeval wait{0, 100 * 1000};
    if (::select(0, nullptr, &writable, nullptr, &wait) != 0) ::Sleep(1);
  }
}

UdpSocket::Receive UdpSocket::receive(int timeout_ms, Datagram& out) {
  Use use(*state_);
  if (use.socket() == INVALID_SOCKET) return Receive::kClosed;
  const std::int64_t deadline = monotonic_ms() + (timeout_ms > 0 ? timeout_ms : 0);
  for (;;) {
    if (::WaitForSingleObject(use.wake(), 0) == WAIT_OBJECT_0) return Receive::kClosed;
    out.bytes.resize(kReceiveBufferBytes);
    sockaddr_in from{};
    int from_len = sizeof from;
    const int got = ::recvfrom(use.socket(), out.bytes.data(), static_cast<int>(out.bytes.size()),
                               0, reinterpret_cast<sockaddr*>(&from), &from_len);
    const int error = got < 0 ? ::WSAGetLastError() : 0;
    if (got >= 0 || error == WSAEMSGSIZE) {
      // A datagram longer than the buffer arrives cut, as it does on POSIX.
      out.bytes.resize(got >= 0 ? static_cast<std::size_t>(got) : kReceiveBufferBytes);
      char text[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
      out.address = text;
      out.port = ntohs(from.sin_port);
      return Receive::kDatagram;
    }
    out.bytes.clear();
    if (error != WSAEWOULDBLOCK && error != WSAECONNRESET && error != WSAEINTR)
      return Receive::kError;
    if (error == WSAECONNRESET) continue;  // an ICMP note about an earlier send: keep waiting
    const std::int64_t left = deadline - monotonic_ms();
    if (left <= 0) return Receive::kTimeout;
    // The failed receive re-armed FD_READ, so an arrival from now on sets `arrived`.
    WSAEVENT events[2] = {use.wake(), use.arrived()};
    const DWORD woke =
        ::WSAWaitForMultipleEvents(2, events, FALSE, static_cast<DWORD>(left), FALSE);
    if (woke == WSA_WAIT_EVENT_0) return Receive::kClosed;
    if (woke == WSA_WAIT_TIMEOUT) return Receive::kTimeout;
    if (woke != WSA_WAIT_EVENT_0 + 1) return Receive::kError;
    ::WSAResetEvent(use.arrived());  // before the next receive, so no arrival is missed
  }
}

// Windows has no call that sends or takes many datagrams at once: one call each.
std::size_t UdpSocket::send_batch(const std::vector<Outgoing>& datagrams) {
  std::size_t sent = 0;
  for (const Outgoing& d : datagrams) sent += send_to(d.host, d.port, d.bytes) ? 1 : 0;
  return sent;
}

UdpSocket::Receive UdpSocket::receive_batch(int timeout_ms, std::vector<Datagram>& out,
                                            std::size_t& count) {
  if (out.size() < kReceiveBatch) out.resize(kReceiveBatch);
  count = 0;
  const Receive first = receive(timeout_ms, out[0]);
  if (first != Receive::kDatagram) return first;
  count = 1;
  while (count < kReceiveBatch && receive(0, out[count]) == Receive::kDatagram) ++count;
  return Receive::kDatagram;
}

std::string resolve_ipv4(const std::string& host) {
  if (host.empty() || !winsock_ready()) return {};
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  ADDRINFOW* found = nullptr;
  if (::GetAddrInfoW(win::to_wide(host).c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
    return {};
  std::string result;
  for (ADDRINFOW* a = found; a != nullptr && result.empty(); a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addr == nullptr) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) result = text;
  }
  ::FreeAddrInfoW(found);
  return result;
}

}  // namespace brindle::platform
