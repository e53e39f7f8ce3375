#include "raw_peer.h"

#include "support/loopback_server.h"

#include <chrono>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr auto kGuard = std::chrono::seconds(20);

bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}

void SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return;
    data += n;
    size -= static_cast<size_t>(n);
  }
}

std::string TargetPath(const std::string& request) {
  const size_t first = request.find(' ');
  const size_t second = request.find(' ', first + 1);
  std::string target = request.substr(first + 1, second - first - 1);
  if (target.rfind("http://", 0) == 0) {
    const size_t slash = target.find('/', 7);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  return target;
}

}  // namespace

std::string HttpHead(const std::string& status, const std::vector<std::string>& headers) {
  std::string head = "HTTP/1.0 " + status + "\r\n";
  for (const auto& h : headers) head += h + "\r\n";
  return head + "\r\n";
}

RawPeer::RawPeer() {
  listener_ = test::ListenOnLoopback(port_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

RawPeer::~RawPeer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  acceptor_.join();
  for (auto& t : handlers_) t.join();
  ::close(listener_);
}

std::string RawPeer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RawPeer::Serve(const std::string& path, CannedResponse response) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(response);
}

std::vector<std::string> RawPeer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool RawPeer::WaitForRequests(size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kGuard, [&] { return requests_.size() >= count; });
}

bool RawPeer::WaitForClientCloses(size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kGuard, [&] { return clientCloses_ >= count; });
}

void RawPeer::ReleaseStalls() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
  }
  changed_.notify_all();
}

void RawPeer::NeverRead() {
  std::lock_guard<std::mutex> lock(mutex_);
  neverRead_ = true;
}

void RawPeer::AcceptLoop() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
    }
    if (!Readable(listener_, 20)) continue;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_.emplace_back([this, fd] { Handle(fd); });
  }
}

// True when the wait ended because the client closed (or the peer stops).
bool RawPeer::StallOver(int fd) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_ || released_) return false;
    }
    if (Readable(fd, 20)) {
      char c;
      if (::recv(fd, &c, 1, 0) <= 0) return true;
    }
  }
}

void RawPeer::Handle(int fd) {
  bool neverRead = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    neverRead = neverRead_;
    if (neverRead) requests_.emplace_back();
  }
  if (neverRead) {
    changed_.notify_all();
    // The client's close cannot be seen without reading: its end of stream
    // waits behind the unread bytes. Hold the connection until the peer goes.
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stopping_; });
    lock.unlock();
    ::close(fd);
    return;
  }
  std::string request;
  char chunk[4096];
  // The head, then (for a POST, which carries no length) whatever follows
  // until the client pauses.
  while (request.find("\r\n\r\n") == std::string::npos) {
    if (!Readable(fd, 5000)) break;
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    request.append(chunk, static_cast<size_t>(n));
  }
  if (request.rfind("POST", 0) == 0) {
    while (Readable(fd, 150)) {
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      request.append(chunk, static_cast<size_t>(n));
    }
  }
  CannedResponse response;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    const auto route = routes_.find(TargetPath(request));
    if (route != routes_.end())
      response = route->second;
    else
      response.bytes = HttpHead("404 Not Found", {"Content-Length: 0"});
  }
  changed_.notify_all();

  const size_t first = std::min(response.stallAt, response.bytes.size());
  bool clientClosed = false;
  if (response.chunk == 0) {
    SendAll(fd, response.bytes.data(), first);
  } else {
    for (size_t at = 0; at < first; at += response.chunk) {
      SendAll(fd, response.bytes.data() + at, std::min(response.chunk, first - at));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  if (response.reset) {
    const linger hardClose{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hardClose, sizeof hardClose);
    ::close(fd);
    return;
  }
  if (first < response.bytes.size()) {
    clientClosed = StallOver(fd);
    if (!clientClosed) SendAll(fd, response.bytes.data() + first, response.bytes.size() - first);
  }
  if (response.holdOpen && !clientClosed) clientClosed = StallOver(fd);
  if (!clientClosed) {
    // Wait briefly for the client's close so that it can be counted.
    ::shutdown(fd, SHUT_WR);
    for (int i = 0; i < 250 && !clientClosed; ++i) {
      if (!Readable(fd, 20)) continue;
      char c;
      clientClosed = ::recv(fd, &c, 1, 0) <= 0;
    }
  }
  ::close(fd);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (clientClosed) ++clientCloses_;
  }
  changed_.notify_all();
}
