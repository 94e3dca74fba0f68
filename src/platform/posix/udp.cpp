// UDP socket over BSD sockets. A self-pipe wakes a receiver blocked in poll() when the socket is
// closed; the descriptor itself is released only after every call in progress has left, so a
// closing thread can never pull it away from a sender or receiver (nor have it reused under them).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/platform.h"

namespace brindle::platform {

struct UdpSocket::State {
  std::mutex mutex;
  std::condition_variable idle;  // users reached 0 while closing
  int fd = -1;
  int wake_read = -1;
  int wake_write = -1;
  int users = 0;
  bool closing = false;
  std::uint16_t port = 0;
};

namespace {

// Holds the socket open for one call; fd() is -1 when the socket is closed or closing.
class Use {
 public:
  explicit Use(UdpSocket::State& s) : s_(s) {
    std::lock_guard lock(s_.mutex);
    if (s_.fd < 0 || s_.closing) return;
    ++s_.users;
    fd_ = s_.fd;
    wake_ = s_.wake_read;
  }
  ~Use() {
    if (fd_ < 0) return;
    std::lock_guard lock(s_.mutex);
    if (--s_.users == 0 && s_.closing) s_.idle.notify_all();
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  int fd() const { return fd_; }
  int wake() const { return wake_; }

 private:
  UdpSocket::State& s_;
  int fd_ = -1;
  int wake_ = -1;
};

bool parse_dotted(const std::string& text, in_addr& out) {
  return inet_pton(AF_INET, text.c_str(), &out) == 1;
}

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
  if (!parse_dotted(bind_address, local.sin_addr)) return false;

  std::lock_guard lock(state_->mutex);
  if (state_->fd >= 0 || state_->closing) return false;
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return false;
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    ::close(fd);
    return false;
  }
  // One socket takes the answers of every server asked at once (a favourites refresh); the
  // default buffer holds only a few hundred small datagrams and drops the rest of a burst.
  int buffer_bytes = static_cast<int>(kSocketBufferBytes);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer_bytes, sizeof buffer_bytes);
  sockaddr_in bound{};
  socklen_t bound_len = sizeof bound;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &bound_len) != 0) {
    ::close(fd);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    return false;
  }
  state_->fd = fd;
  state_->wake_read = pipe_fds[0];
  state_->wake_write = pipe_fds[1];
  state_->port = ntohs(bound.sin_port);
  return true;
}

void UdpSocket::close() {
  std::unique_lock lock(state_->mutex);
  if (state_->fd < 0 || state_->closing) {
    // Another thread is closing: wait until it is done, so "closed" holds on return.
    state_->idle.wait(lock, [&] { return state_->fd < 0; });
    return;
  }
  state_->closing = true;
  const char byte = 1;
  // The pipe is non-blocking and one byte is enough to wake every poller; nothing to do if full.
  [[maybe_unused]] ssize_t ignored = ::write(state_->wake_write, &byte, 1);
  state_->idle.wait(lock, [&] { return state_->users == 0; });
  ::close(state_->fd);
  ::close(state_->wake_read);
  ::close(state_->wake_write);
  state_->fd = state_->wake_read = state_->wake_write = -1;
  state_->port = 0;
  state_->closing = false;
  state_->idle.notify_all();
}

bool UdpSocket::is_open() const {
  std::lock_guard lock(state_->mutex);
  return state_->fd >= 0 && !state_->closing;
}

std::uint16_t UdpSocket::local_port() const {
  std::lock_guard lock(state_->mutex);
  return state_->closing ? 0 : state_->port;
}

namespace {

bool address_of(const std::string& host, std::uint16_t port, sockaddr_in& to) {
  to = sockaddr_in{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  return port != 0 && parse_dotted(host, to.sin_addr);
}

void set_sender(const sockaddr_in& from, UdpSocket::Datagram& out) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
  out.address = text;
  out.port = ntohs(from.sin_port);
}

// Datagrams already queued on the socket, up to `count`, taken in one call without waiting:
// how many (0 when none is, or the socket reports an error, which the wait below then sees).
std::size_t take_queued(int fd, UdpSocket::Datagram* out, std::size_t count) {
  constexpr std::size_t kMax = UdpSocket::kReceiveBatch;
  constexpr std::size_t kBytes = UdpSocket::kReceiveBufferBytes;
  if (count > kMax) count = kMax;
  // The system writes into this thread's buffers and only what arrived is copied out: sizing
  // each datagram's string to the whole buffer would clear 10 KiB for every small answer.
  thread_local std::vector<char> buffers;
  if (buffers.size() < count * kBytes) buffers.resize(count * kBytes);
  mmsghdr headers[kMax] = {};
  iovec parts[kMax];
  sockaddr_in from[kMax];
  for (std::size_t i = 0; i < count; ++i) {
    parts[i] = {buffers.data() + i * kBytes, kBytes};
    from[i] = sockaddr_in{};
    headers[i].msg_hdr.msg_iov = &parts[i];
    headers[i].msg_hdr.msg_iovlen = 1;
    headers[i].msg_hdr.msg_name = &from[i];
    headers[i].msg_hdr.msg_namelen = sizeof from[i];
  }
  int got;
  do {
    got = ::recvmmsg(fd, headers, static_cast<unsigned>(count), MSG_DONTWAIT, nullptr);
  } while (got < 0 && errno == EINTR);
  const std::size_t taken = got > 0 ? static_cast<std::size_t>(got) : 0;
  for (std::size_t i = 0; i < taken; ++i) {
    out[i].bytes.assign(buffers.data() + i * kBytes, headers[i].msg_len);
    set_sender(from[i], out[i]);
  }
  return taken;
}

// Takes what is queued, or waits up to timeout_ms for something to arrive and takes it.
UdpSocket::Receive wait_and_take(UdpSocket::State& state, int timeout_ms, UdpSocket::Datagram* out,
                                 std::size_t count, std::size_t& taken) {
  Use use(state);
  if (use.fd() < 0) return UdpSocket::Receive::kClosed;
  // A burst of answers (a refresh of many servers) is taken without a wait in between: only an
  // empty queue waits. Closing still ends the next call (Use refuses it).
  taken = take_queued(use.fd(), out, count);
  if (taken > 0) return UdpSocket::Receive::kDatagram;
  pollfd fds[2] = {{use.fd(), POLLIN, 0}, {use.wake(), POLLIN, 0}};
  const std::int64_t deadline = monotonic_ms() + (timeout_ms > 0 ? timeout_ms : 0);
  for (;;) {
    const std::int64_t left = deadline - monotonic_ms();
    int ready = ::poll(fds, 2, left > 0 ? static_cast<int>(left) : 0);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return UdpSocket::Receive::kError;
    if (fds[1].revents != 0) return UdpSocket::Receive::kClosed;
    if (ready == 0) return UdpSocket::Receive::kTimeout;
    if (fds[0].revents & (POLLERR | POLLNVAL)) {
      // A pending ICMP error on the socket: take it off and keep waiting.
      int error = 0;
      socklen_t len = sizeof error;
      ::getsockopt(use.fd(), SOL_SOCKET, SO_ERROR, &error, &len);
      if (fds[0].revents & POLLNVAL) return UdpSocket::Receive::kError;
      continue;
    }
    taken = take_queued(use.fd(), out, count);
    if (taken > 0) return UdpSocket::Receive::kDatagram;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNREFUSED) {
      if (deadline - monotonic_ms() <= 0) return UdpSocket::Receive::kTimeout;
      continue;
    }
    out[0].bytes.clear();
    return UdpSocket::Receive::kError;
  }
}

}  // namespace

bool UdpSocket::send_to(const std::string& host, std::uint16_t port, std::string_view bytes) {
  sockaddr_in to;
  if (!address_of(host, port, to)) return false;
  Use use(*state_);
  if (use.fd() < 0) return false;
  ssize_t sent;
  do {
    sent = ::sendto(use.fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&to), sizeof to);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(bytes.size());
}

std::size_t UdpSocket::send_batch(const std::vector<Outgoing>& datagrams) {
  Use use(*state_);
  if (use.fd() < 0) return 0;
  constexpr std::size_t kChunk = 64;
  mmsghdr headers[kChunk];
  iovec parts[kChunk];
  sockaddr_in to[kChunk];
  std::size_t sent = 0;
  std::size_t next = 0;
  while (next < datagrams.size()) {
    std::size_t count = 0;
    while (count < kChunk && next < datagrams.size()) {
      const Outgoing& d = datagrams[next++];
      if (!address_of(d.host, d.port, to[count])) continue;
      parts[count] = {const_cast<char*>(d.bytes.data()), d.bytes.size()};
      headers[count] = mmsghdr{};
      headers[count].msg_hdr.msg_iov = &parts[count];
      headers[count].msg_hdr.msg_iovlen = 1;
      headers[count].msg_hdr.msg_name = &to[count];
      headers[count].msg_hdr.msg_namelen = sizeof to[count];
      ++count;
    }
    // The system stops a call at the first datagram it refuses: that one is skipped.
    for (std::size_t done = 0; done < count;) {
      const int n =
          ::sendmmsg(use.fd(), headers + done, static_cast<unsigned>(count - done), MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ++done;
        continue;
      }
      for (int i = 0; i < n; ++i) {
        const std::size_t k = done + static_cast<std::size_t>(i);
        sent += headers[k].msg_len == parts[k].iov_len ? 1 : 0;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  return sent;
}

UdpSocket::Receive UdpSocket::receive(int timeout_ms, Datagram& out) {
  std::size_t taken = 0;
  return wait_and_take(*state_, timeout_ms, &out, 1, taken);
}

UdpSocket::Receive UdpSocket::receive_batch(int timeout_ms, std::vector<Datagram>& out,
                                            std::size_t& count) {
  if (out.size() < kReceiveBatch) out.resize(kReceiveBatch);
  count = 0;
  return wait_and_take(*state_, timeout_ms, out.data(), kReceiveBatch, count);
}

std::string resolve_ipv4(const std::string& host) {
  if (host.empty()) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return {};
  std::string result;
  for (addrinfo* a = found; a != nullptr && result.empty(); a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addr == nullptr) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) result = text;
  }
  ::freeaddrinfo(found);
  return result;
}

}  // namespace brindle::platform
