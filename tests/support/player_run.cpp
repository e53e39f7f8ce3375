#include "support/player_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace test {
namespace {

void CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) throw std::runtime_error("missing " + from);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
}

void RemoveTree(const std::string& path) {
  const std::string command = "rm -rf '" + path + "'";
  if (std::system(command.c_str()) != 0) {
    // Leaving a scratch directory behind is harmless.
  }
}

}  // namespace

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

PlayerRun::PlayerRun() {
  char pattern[] = "/tmp/mervane-e2e-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = made;
  const std::string run = MERVANE_RUN_DIR;
  CopyFile(run + "/MRVClient.DLL", Path("MRVClient.DLL"));
  CopyFile(run + "/wrap_oal.DLL", Path("wrap_oal.DLL"));
  CopyFile(std::string(MERVANE_STANDIN_BUILD_DIR) + "/journaling/OpenAL32.DLL", Path("OpenAL32.DLL"));
  WriteFile("Game.mvk", "package");
  WriteFile("script.txt", "");
  mkdir(Path("home").c_str(), 0755);
  env_["HOME"] = Path("home");
  env_["ProgramFiles"] = Path("programfiles");
  env_["APPDATA"] = Path("appdata");
  env_["MERVANE_STANDIN_JOURNAL"] = Path("journal.txt");
  env_["MERVANE_STANDIN_SCRIPT"] = Path("script.txt");
  env_["MERVANE_STANDIN_NODRAW"] = "1";
  env_["MERVANE_TRACE"] = Path("trace.txt");
  env_["NO_AT_BRIDGE"] = "1";
}

PlayerRun::~PlayerRun() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (std::getenv("MERVANE_KEEP_E2E") == nullptr) RemoveTree(dir_);
}

void PlayerRun::WriteFile(const std::string& name, const std::string& content) const {
  std::ofstream out(Path(name), std::ios::binary);
  out << content;
}

void PlayerRun::Start(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {MERVANE_PLAYER};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (chdir(dir_.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : env_) setenv(name.c_str(), value.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    int out = open(Path("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(Path("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    dup2(out, 1);
    dup2(err, 2);
    dup2(in, 0);
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    execv(raw[0], raw.data());
    _exit(127);
  }
}

bool PlayerRun::WaitExit(int timeoutMs) {
  if (exited_) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      exited_ = true;
      exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return true;
    }
    SleepMs(10);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  exited_ = true;
  exitStatus_ = -1;
  return false;
}

std::string PlayerRun::Stdout() const { return ReadFile(Path("stdout.txt")); }
std::string PlayerRun::Stderr() const { return ReadFile(Path("stderr.txt")); }
std::string PlayerRun::Trace() const { return ReadFile(Path("trace.txt")); }

std::vector<std::string> PlayerRun::Journal() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(Path("journal.txt")));
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

bool PlayerRun::WaitForJournal(const std::function<bool(const std::string&)>& pred, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    for (const auto& line : Journal()) {
      if (pred(line)) return true;
    }
    SleepMs(10);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

bool PlayerRun::WaitForLine(const std::string& prefix, int timeoutMs) const {
  return WaitForJournal([&](const std::string& l) { return l.rfind(prefix, 0) == 0; }, timeoutMs);
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    if (l.rfind(prefix, 0) == 0) out.push_back(l);
  }
  return out;
}

int IndexOf(const std::vector<std::string>& lines, const std::string& prefix) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace test
