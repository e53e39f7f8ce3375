// Loopback servers for the end-to-end tests: a peer on 127.0.0.1 that hands
// each connection to a handler, and the small socket helpers handlers use.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace test {

// A listening TCP socket on 127.0.0.1 with a free port, written to port.
int ListenOnLoopback(int& port);

// True when fd has input within ms milliseconds.
bool Readable(int fd, int ms);
void SendAll(int fd, const std::string& bytes);
// The request's head, and for a POST (which carries no length) the body
// bytes that follow it: the first ones waited for, then what is there.
std::string ReadRequest(int fd);

// A server on 127.0.0.1 that hands each connection, one after another, to a
// handler; `done` is set when the server goes away.
class LoopbackServer {
 public:
  using Handler = std::function<void(int fd, const std::atomic<bool>& done)>;

  explicit LoopbackServer(Handler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  int Connections() const { return connections_; }
  // Waits (at most 20 s) until count connections were accepted.
  bool WaitForConnections(int count) const;

 private:
  void Loop();

  Handler handler_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> done_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

}  // namespace test
