// The engine pump: frames per second delivered to a no-op engine over a
// timed run, against the 200 per second that a 5 ms timer allows and against
// a bare toolkit timer measured in the same run; the player's CPU time per
// frame; and the time from process start to the first engine frame.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/player_run.h"
#include "support/x11_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double BareTimerPerSecond(int runMs) {
  const std::string command = std::string(MERVANE_BARE_TIMER) + " " + std::to_string(runMs);
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  long ticks = 0;
  long ms = 0;
  double perSecond = 0;
  if (std::fscanf(pipe, "ticks %ld ms %ld per-second %lf", &ticks, &ms, &perSecond) != 3) perSecond = 0;
  pclose(pipe);
  return perSecond;
}

int Frames(const test::PlayerRun& run) {
  return static_cast<int>(test::LinesStartingWith(run.Journal(), "ClientEngine_RunOneFrame ").size());
}

}  // namespace

int main(int argc, char** argv) {
  const int runMs = argc > 1 ? std::atoi(argv[1]) : 5000;
  test::X11Driver x11;
  if (!x11.ok()) {
    std::fprintf(stderr, "pump_bench needs a display\n");
    return 1;
  }
  const double bare = BareTimerPerSecond(runMs);

  test::PlayerRun run;
  run.SetEnv("MERVANE_TRACE", "");
  const auto started = Clock::now();
  run.Start({"-f=0", "-w=320", "-h=240", "Game.mvk"});
  if (!run.WaitForLine("ClientEngine_RunOneFrame 1", 20000)) {
    std::fprintf(stderr, "no frame: %s\n", run.Stderr().c_str());
    return 1;
  }
  const auto firstFrame = Clock::now();
  const int framesAtFirst = Frames(run);
  test::SleepMs(runMs);
  const int framesAtEnd = Frames(run);
  const auto measured = Clock::now();
  x11.Close(x11.FindVisibleWindow(run.pid(), 5000));
  int status = 0;
  struct rusage usage {};
  wait4(run.pid(), &status, 0, &usage);
  const double cpuMs = usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
                       usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
  const int totalFrames = Frames(run);
  const double perSecond = 1000.0 * (framesAtEnd - framesAtFirst) / Ms(measured - firstFrame);

  std::printf("pump run                 : %d ms\n", runMs);
  std::printf("frames per second        : %.1f (ceiling 200.0, bare toolkit timer %.1f)\n", perSecond, bare);
  std::printf("share of the bare timer  : %.1f %%\n", bare > 0 ? 100.0 * perSecond / bare : 0.0);
  std::printf("start to first frame     : %.1f ms (includes the first journal poll, 10 ms steps)\n",
              Ms(firstFrame - started));
  std::printf("player CPU per frame     : %.3f ms (whole process incl. start-up, %d frames, %.0f ms CPU)\n",
              totalFrames > 0 ? cpuMs / totalFrames : 0.0, totalFrames, cpuMs);
  return 0;
}
