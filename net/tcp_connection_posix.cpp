#include "net/tcp_connection.h"

#include <cerrno>
#include <chrono>
#include <utility>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How often a wait looks at the cancel check.
constexpr int kSliceMs = 50;

struct AddressList {
  addrinfo* head = nullptr;
  ~AddressList() {
    if (head != nullptr) freeaddrinfo(head);
  }
};

}  // namespace

TcpConnection::TcpConnection(int timeoutMs, CancelCheck cancel)
    : timeoutMs_(timeoutMs), cancel_(std::move(cancel)) {}

TcpConnection::~TcpConnection() { Close(); }

TcpConnection::TcpConnection(TcpConnection&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), timeoutMs_(other.timeoutMs_), cancel_(std::move(other.cancel_)) {}

void TcpConnection::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

IoStatus TcpConnection::Wait(short events) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
  for (;;) {
    if (cancel_ && cancel_()) return IoStatus::Interrupted;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return IoStatus::TimedOut;
    pollfd p{fd_, events, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left < kSliceMs ? left : kSliceMs));
    if (ready > 0) return IoStatus::Ok;
    if (ready < 0 && errno != EINTR) return IoStatus::Failed;
  }
}

ConnectStatus TcpConnection::Connect(const std::string& host, const std::string& port) {
  Close();
  std::string name = host;
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;  // a port number only, never a service name
  AddressList addresses;
  const int found = ::getaddrinfo(name.c_str(), port.c_str(), &hints, &addresses.head);
  if (found == EAI_SERVICE) return ConnectStatus::Refused;
  if (found != 0) return ConnectStatus::NoHost;

  for (addrinfo* a = addresses.head; a != nullptr; a = a->ai_next) {
    fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd_ < 0) continue;
    if (::connect(fd_, a->ai_addr, a->ai_addrlen) == 0) return ConnectStatus::Ok;
    if (errno == EINPROGRESS) {
      const IoStatus waited = Wait(POLLOUT);
      if (waited == IoStatus::Interrupted) {
        Close();
        return ConnectStatus::Interrupted;
      }
      int error = 0;
      socklen_t length = sizeof error;
      if (waited == IoStatus::Ok && ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
        return ConnectStatus::Ok;
    }
    Close();
  }
  return ConnectStatus::Refused;
}

IoStatus TcpConnection::WriteAll(std::string_view data) {
  while (!data.empty()) {
    if (fd_ < 0) return IoStatus::Failed;
    const ssize_t sent = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      data.remove_prefix(static_cast<size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const IoStatus waited = Wait(POLLOUT);
      if (waited != IoStatus::Ok) return waited;
      continue;
    }
    return IoStatus::Failed;
  }
  return IoStatus::Ok;
}

IoStatus TcpConnection::ReadSome(char* destination, size_t capacity, size_t& got) {
  got = 0;
  for (;;) {
    if (fd_ < 0) return IoStatus::Failed;
    const ssize_t n = ::recv(fd_, destination, capacity, 0);
    if (n > 0) {
      got = static_cast<size_t>(n);
      return IoStatus::Ok;
    }
    if (n == 0) return IoStatus::Closed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return IoStatus::Failed;
    const IoStatus waited = Wait(POLLIN);
    if (waited != IoStatus::Ok) return waited;
  }
}
