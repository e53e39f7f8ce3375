// Stream transfers on loopback: throughput of one large body against the
// worker's own pacing (one 262,144-byte block per pass, 1 ms per visit and
// 10 ms per pass), CPU time per MiB, many small requests at once, and peak
// memory against body size.
//
// Every scenario runs in a process of its own, so that CPU time and peak
// memory are the player side's alone; the peer serves from another process.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/init.h>
#include <wx/socket.h>

#include "net/stream_callbacks.h"
#include "net/stream_host.h"
#include "net/stream_worker.h"
#include "raw_peer.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;

std::string Body(size_t n) { return std::string(n, 'b'); }

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct Outcome {
  double wall = 0;
  double cpu = 0;
  long peakKiB = 0;
  bool ok = true;
};

// Fetches the given paths at once, polling like an engine each millisecond.
Outcome Fetch(int port, const std::vector<std::string>& paths, const std::vector<size_t>& sizes) {
  wxInitializer toolkit;
  wxSocketBase::Initialize();
  StreamHost host;
  activeFrame = &host;
  StreamWorker worker;
  worker.Create(0);
  worker.Run();
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + paths[i];
    GetStream(static_cast<int32_t>(i), url.c_str(), "Content-Type: application/octet-stream\r\n");
  }
  Outcome outcome;
  std::vector<bool> done(paths.size(), false);
  for (size_t left = paths.size(); left > 0;) {
    for (size_t i = 0; i < paths.size(); ++i) {
      if (done[i]) continue;
      uint32_t size = 0;
      bool finished = false;
      const uint8_t* body = nullptr;
      if (QueryStream(static_cast<int32_t>(i), &size, nullptr, &finished, &body, nullptr)) continue;
      done[i] = true;
      --left;
      if (!finished || size != sizes[i]) outcome.ok = false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  outcome.wall = Seconds(std::chrono::steady_clock::now() - t0);
  outcome.cpu = CpuSeconds() - cpu0;
  host.closeRequested = true;
  while (host.requestLock.TryLock() == wxMUTEX_BUSY) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  activeFrame = nullptr;
  host.requests.DeleteAll();
  worker.Join();
  host.requestLock.Unlock();
  outcome.peakKiB = PeakKiB();
  return outcome;
}

// Runs body in a child process and returns what it wrote to the pipe.
template <typename F>
Outcome InChild(F body) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const Outcome outcome = body();
    if (write(fds[1], &outcome, sizeof outcome) != sizeof outcome) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Outcome outcome;
  if (read(fds[0], &outcome, sizeof outcome) != sizeof outcome) outcome.ok = false;
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return outcome;
}

}  // namespace

int main() {
  unsetenv("MERVANE_TRACE");  // tracing each block's text would dominate
  unsetenv("HTTP_PROXY");
  const std::vector<size_t> sizes = {1 * kMiB, 16 * kMiB, 64 * kMiB};

  // The peer, in a process of its own.
  int portPipe[2];
  if (pipe(portPipe) != 0) return 1;
  const pid_t peerPid = fork();
  if (peerPid == 0) {
    RawPeer peer;
    for (size_t size : sizes) {
      const std::string body = Body(size);
      peer.Serve("/len/" + std::to_string(size), {HttpHead("200 OK", {"Content-Length: " + std::to_string(size)}) + body});
      peer.Serve("/close/" + std::to_string(size), {HttpHead("200 OK", {}) + body});
    }
    peer.Serve("/small", {HttpHead("200 OK", {"Content-Length: 1024"}) + Body(1024)});
    const int port = peer.Port();
    if (write(portPipe[1], &port, sizeof port) != sizeof port) _exit(1);
    pause();
    _exit(0);
  }
  int port = 0;
  if (read(portPipe[0], &port, sizeof port) != sizeof port) return 1;

  // One 262,144-byte block per pass: a 1 ms visit sleep and a 10 ms pass
  // sleep (measured here as about 1.1 and 10.1 ms).
  const double ceiling = 0.25 / (0.0011 + 0.0101);
  std::printf("pacing ceiling, one request: %.1f MiB/s\n\n", ceiling);
  std::printf("%-10s %-16s %9s %10s %10s %12s %12s\n", "body", "framing", "wall s", "MiB/s", "of ceiling",
              "CPU ms/MiB", "peak RSS MiB");
  for (size_t size : sizes) {
    for (const char* framing : {"len", "close"}) {
      const std::string path = std::string("/") + framing + "/" + std::to_string(size);
      const Outcome o = InChild([&] { return Fetch(port, {path}, {size}); });
      const double mib = static_cast<double>(size) / kMiB;
      std::printf("%-10s %-16s %9.2f %10.1f %9.0f%% %12.2f %12.1f%s\n", (std::to_string(size / kMiB) + " MiB").c_str(),
                  framing[0] == 'l' ? "Content-Length" : "close", o.wall, mib / o.wall, 100 * mib / o.wall / ceiling,
                  1000 * o.cpu / mib, o.peakKiB / 1024.0, o.ok ? "" : "  FAILED");
    }
  }

  std::vector<std::string> paths(50, "/small");
  std::vector<size_t> smallSizes(50, 1024);
  const Outcome many = InChild([&] { return Fetch(port, paths, smallSizes); });
  std::printf("\n50 concurrent 1 KiB requests: all complete after %.3f s (CPU %.3f s)%s\n", many.wall, many.cpu,
              many.ok ? "" : "  FAILED");

  kill(peerPid, SIGTERM);
  waitpid(peerPid, nullptr, 0);
  return 0;
}
