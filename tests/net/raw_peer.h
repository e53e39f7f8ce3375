// A raw HTTP peer on 127.0.0.1 for the stream tests and the benchmark: it
// records each request's exact bytes and answers from canned responses chosen
// by the request's path.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct CannedResponse {
  std::string bytes;
  // Send only this many bytes, then stall until ReleaseStalls or the client
  // closes; the rest follows a release.
  size_t stallAt = std::string::npos;
  // Keep the connection open after sending, until the client closes.
  bool holdOpen = false;
  // Send in pieces of this size with a short pause between them (0: at once).
  size_t chunk = 0;
  // After sending (up to stallAt), abort the connection with a reset instead
  // of closing it.
  bool reset = false;
};

class RawPeer {
 public:
  RawPeer();
  ~RawPeer();
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path) const;
  // path is the request target without scheme and host ("/a?b").
  void Serve(const std::string& path, CannedResponse response);
  // The exact bytes of the requests received so far, in arrival order.
  std::vector<std::string> Requests();
  // Waits (bounded) until count requests arrived.
  bool WaitForRequests(size_t count);
  // Waits (bounded) until count connections were closed by the client.
  bool WaitForClientCloses(size_t count);
  void ReleaseStalls();
  // From now on connections are accepted and never read from, until the peer
  // goes away; each counts as a request with no bytes.
  void NeverRead();

 private:
  void AcceptLoop();
  void Handle(int fd);
  bool StallOver(int fd);

  int listener_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, CannedResponse> routes_;
  std::vector<std::string> requests_;
  size_t clientCloses_ = 0;
  bool released_ = false;
  bool neverRead_ = false;
  bool stopping_ = false;
  std::vector<std::thread> handlers_;
  std::thread acceptor_;
};

// Tiny helpers to write canned responses.
std::string HttpHead(const std::string& status, const std::vector<std::string>& headers);
