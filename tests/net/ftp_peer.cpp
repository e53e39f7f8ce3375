#include "ftp_peer.h"

#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

using test::ListenOnLoopback;

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 20) > 0;
}

}  // namespace

FtpPeer::FtpPeer(FtpScript script) : script_(std::move(script)) {
  listener_ = ListenOnLoopback(port_);
  thread_ = std::thread([this] { Run(); });
}

FtpPeer::~FtpPeer() {
  stopping_ = true;
  thread_.join();
  ::close(listener_);
}

std::string FtpPeer::Url(const std::string& path, const std::string& userInfo) const {
  return "ftp://" + userInfo + "127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> FtpPeer::Commands() {
  std::lock_guard<std::mutex> guard(mutex_);
  return commands_;
}

void FtpPeer::Send(int fd, const std::string& text) {
  const char* data = text.data();
  size_t size = text.size();
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return;
    data += n;
    size -= static_cast<size_t>(n);
  }
}

bool FtpPeer::ReadLine(int fd, std::string& line) {
  line.clear();
  while (Waiting()) {
    if (!Readable(fd)) continue;
    char c = 0;
    if (::recv(fd, &c, 1, 0) != 1) return false;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    line += c;
  }
  return false;
}

void FtpPeer::Run() {
  while (Waiting()) {
    if (!Readable(listener_)) continue;
    const int control = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (control < 0) continue;
    Session(control);
    ::close(control);
  }
}

void FtpPeer::Session(int control) {
  Send(control, "220-welcome\r\n220-to the test peer\r\n220 ready\r\n");
  int dataListener = -1;
  std::string line;
  while (ReadLine(control, line)) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      commands_.push_back(line);
    }
    const std::string verb = line.substr(0, line.find(' '));
    if (verb == "USER") {
      Send(control, "331 password please\r\n");
    } else if (verb == "PASS") {
      Send(control, "230 logged in\r\n");
    } else if (verb == "TYPE") {
      Send(control, "200 binary\r\n");
    } else if (verb == "PASV") {
      int port = 0;
      if (dataListener >= 0) ::close(dataListener);
      dataListener = ListenOnLoopback(port);
      Send(control, "227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
                        std::to_string(port % 256) + ")\r\n");
    } else if (verb == "RETR" && dataListener >= 0) {
      Send(control, "150 opening data connection\r\n");
      while (Waiting() && !Readable(dataListener)) {
      }
      const int data = ::accept4(dataListener, nullptr, nullptr, SOCK_CLOEXEC);
      const size_t first = std::min(script_.stallAt, script_.file.size());
      Send(data, script_.file.substr(0, first));
      while (first < script_.file.size() && Waiting() && !released_)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      Send(data, script_.file.substr(first));
      ::close(data);
      Send(control, script_.abort ? "426 transfer aborted\r\n" : "226 transfer complete\r\n");
    } else {
      Send(control, "502 not here\r\n");
    }
  }
  if (dataListener >= 0) ::close(dataListener);
}
