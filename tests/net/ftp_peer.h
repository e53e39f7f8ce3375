// A minimal passive-mode FTP server on 127.0.0.1 for the stream tests: it
// records the commands it receives and serves one file for any RETR, one
// control connection at a time.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct FtpScript {
  std::string file;
  // Send only this many bytes of the file, then stall until ReleaseStalls or
  // the peer goes away.
  size_t stallAt = std::string::npos;
  // After the data, report the transfer as aborted (426) instead of done.
  bool abort = false;
};

class FtpPeer {
 public:
  explicit FtpPeer(FtpScript script);
  ~FtpPeer();
  FtpPeer(const FtpPeer&) = delete;
  FtpPeer& operator=(const FtpPeer&) = delete;

  // "ftp://" + userInfo + "127.0.0.1:port" + path
  std::string Url(const std::string& path, const std::string& userInfo = "") const;
  // The commands received so far, without their line ends.
  std::vector<std::string> Commands();
  void ReleaseStalls() { released_ = true; }

 private:
  void Run();
  void Session(int control);
  bool ReadLine(int fd, std::string& line);
  void Send(int fd, const std::string& text);
  bool Waiting() const { return !stopping_; }

  const FtpScript script_;
  int listener_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::atomic<bool> released_{false};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};
