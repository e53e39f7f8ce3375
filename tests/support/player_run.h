// Runs the real player in a scratch directory with the stand-in engine, and
// reads back what it left: exit status, standard output and error, the
// engine's journal and the trace.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace test {

class PlayerRun {
 public:
  // Makes the scratch directory: stand-in libraries, a package "Game.mvk",
  // separate program-files and application-data places.
  PlayerRun();
  ~PlayerRun();
  PlayerRun(const PlayerRun&) = delete;
  PlayerRun& operator=(const PlayerRun&) = delete;

  const std::string& dir() const { return dir_; }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void WriteFile(const std::string& name, const std::string& content) const;
  void Script(const std::string& text) const { WriteFile("script.txt", text); }
  void SetEnv(const std::string& name, const std::string& value) { env_[name] = value; }

  // Starts the player with these arguments (the program path comes first by
  // itself) in the scratch directory.
  void Start(const std::vector<std::string>& args);
  // Waits for the exit; false on time-out (the process is then killed).
  bool WaitExit(int timeoutMs = 20000);
  int exitStatus() const { return exitStatus_; }
  bool exited() const { return exited_; }
  pid_t pid() const { return pid_; }

  std::string Stdout() const;
  std::string Stderr() const;
  std::string Trace() const;
  std::vector<std::string> Journal() const;
  // Polls the journal until a line satisfies pred.
  bool WaitForJournal(const std::function<bool(const std::string&)>& pred, int timeoutMs = 10000) const;
  bool WaitForLine(const std::string& prefix, int timeoutMs = 10000) const;

 private:
  std::string dir_;
  std::map<std::string, std::string> env_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int exitStatus_ = -1;
};

// Lines of the journal that start with prefix.
std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix);
// Index of the first line starting with prefix, or -1.
int IndexOf(const std::vector<std::string>& lines, const std::string& prefix);
std::string ReadFile(const std::string& path);
void SleepMs(int ms);

}  // namespace test
