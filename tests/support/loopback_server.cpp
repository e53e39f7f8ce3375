#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/player_run.h"

namespace test {

bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}

void SendAll(int fd, const std::string& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return;
    at += static_cast<size_t>(n);
  }
}

std::string ReadRequest(int fd) {
  std::string request;
  char chunk[4096];
  size_t end = std::string::npos;
  while ((end = request.find("\r\n\r\n")) == std::string::npos && Readable(fd, 5000)) {
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    request.append(chunk, static_cast<size_t>(n));
  }
  if (end == std::string::npos || request.rfind("POST", 0) != 0) return request;
  for (int wait = request.size() > end + 4 ? 0 : 1000; Readable(fd, wait); wait = 0) {
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    request.append(chunk, static_cast<size_t>(n));
  }
  return request;
}

int ListenOnLoopback(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(fd, 128);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
  fd_ = ListenOnLoopback(port_);
  thread_ = std::thread([this] { Loop(); });
}

LoopbackServer::~LoopbackServer() {
  done_ = true;
  thread_.join();
  close(fd_);
}

bool LoopbackServer::WaitForConnections(int count) const {
  for (int i = 0; i < 2000 && connections_ < count; ++i) SleepMs(10);
  return connections_ >= count;
}

void LoopbackServer::Loop() {
  while (!done_) {
    if (!Readable(fd_, 20)) continue;
    const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++connections_;
    handler_(client, done_);
    close(client);
  }
}

}  // namespace test
