#include "nginx_server.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kBinary[] = "/usr/sbin/nginx";

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

bool NginxServer::Available() { return ::access(kBinary, X_OK) == 0; }

NginxServer::NginxServer() {
  char pattern[] = "/tmp/mervane-nginx-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return;
  dir_ = pattern;
  std::filesystem::create_directory(dir_ + "/www");
  port_ = FreePort();
  const std::string conf = dir_ + "/nginx.conf";
  std::ofstream(conf) << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                      << "pid " << dir_ << "/nginx.pid;\nerror_log " << dir_ << "/error.log;\n"
                      << "events { worker_connections 64; }\n"
                      << "http {\n  access_log off;\n"
                      << "  client_body_temp_path " << dir_ << "/body;\n  proxy_temp_path " << dir_ << "/proxy;\n"
                      << "  fastcgi_temp_path " << dir_ << "/fcgi;\n  uwsgi_temp_path " << dir_ << "/uwsgi;\n"
                      << "  scgi_temp_path " << dir_ << "/scgi;\n"
                      << "  server { listen 127.0.0.1:" << port_ << "; root " << dir_ << "/www; }\n}\n";
  const std::string errorLog = dir_ + "/error.log";
  std::string args[] = {kBinary, "-p", dir_, "-e", errorLog, "-c", conf};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(),
                  args[4].data(), args[5].data(), args[6].data(), nullptr};
  if (::posix_spawn(&pid_, kBinary, nullptr, nullptr, argv, environ) != 0) pid_ = -1;
  for (int i = 0; i < 500 && pid_ > 0; ++i) {
    if (Accepts(port_)) {
      running_ = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

NginxServer::~NginxServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

void NginxServer::WriteFile(const std::string& name, const std::string& content) const {
  std::ofstream(dir_ + "/www/" + name, std::ios::binary) << content;
}

std::string NginxServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}
