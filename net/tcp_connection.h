// A TCP client connection whose every wait is bounded: by a time-out without
// progress, and by a cancel check polled in short slices, so that closing the
// player never waits on a stalled server. Owns its socket; move-only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

enum class IoStatus { Ok, Closed, TimedOut, Failed, Interrupted };
enum class ConnectStatus { Ok, NoHost, Refused, Interrupted };

class TcpConnection {
 public:
  using CancelCheck = std::function<bool()>;

  TcpConnection(int timeoutMs, CancelCheck cancel);
  ~TcpConnection();
  TcpConnection(TcpConnection&& other) noexcept;
  TcpConnection& operator=(TcpConnection&&) = delete;
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  // Name lookup itself is the resolver's and is not interruptible.
  ConnectStatus Connect(const std::string& host, const std::string& port);
  IoStatus WriteAll(std::string_view data);
  // Waits until at least one byte arrived (got > 0, Ok) or the peer closed
  // (Closed, got 0).
  IoStatus ReadSome(char* destination, size_t capacity, size_t& got);
  void Close();

 private:
  IoStatus Wait(short events);

  int fd_ = -1;
  int timeoutMs_;
  CancelCheck cancel_;
};
