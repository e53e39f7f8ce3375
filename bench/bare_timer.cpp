// A bare toolkit timer of 5 ms in a hidden frame: the ceiling the toolkit
// itself reaches on this machine, for comparison with the player's pump.
#include <cstdio>
#include <cstdlib>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/stopwatch.h>
#include <wx/timer.h>

namespace {

class TimerFrame : public wxFrame {
 public:
  explicit TimerFrame(long runMs) : wxFrame(nullptr, wxID_ANY, ""), runMs_(runMs) {
    timer_.SetOwner(this);
    Bind(wxEVT_TIMER, &TimerFrame::OnTick, this);
    timer_.Start(5, wxTIMER_CONTINUOUS);
    clock_.Start();
  }

 private:
  void OnTick(wxTimerEvent&) {
    ++ticks_;
    if (clock_.Time() < runMs_) return;
    timer_.Stop();
    std::printf("ticks %ld ms %ld per-second %.1f\n", ticks_, clock_.Time(),
                1000.0 * static_cast<double>(ticks_) / static_cast<double>(clock_.Time()));
    std::fflush(stdout);
    Destroy();
  }

  wxTimer timer_;
  wxStopWatch clock_;
  long runMs_;
  long ticks_ = 0;
};

class TimerApp : public wxApp {
 public:
  bool OnInit() override {
    const long runMs = argc > 1 ? std::atol(argv[1].utf8_str()) : 5000;
    new TimerFrame(runMs);
    return true;
  }
};

}  // namespace

wxIMPLEMENT_APP(TimerApp);
