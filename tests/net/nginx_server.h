// Debian's nginx on a free loopback port, serving files from a temporary
// directory; for tests against a real HTTP server.
#pragma once

#include <string>

#include <sys/types.h>

class NginxServer {
 public:
  static bool Available();
  NginxServer();
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  bool Running() const { return running_; }
  void WriteFile(const std::string& name, const std::string& content) const;
  std::string Url(const std::string& path) const;

 private:
  std::string dir_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool running_ = false;
};
