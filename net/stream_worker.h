// The transfer thread: passes over the request list under requestLock, opening
// each new request and reading at most one block per request and pass, until
// the service stops (activeFrame null) or a close is requested.
#pragma once

#include <atomic>

#include <wx/thread.h>

class StreamWorker : public wxThread {
 public:
  StreamWorker();
  // Joins the thread if it still needs it.
  ~StreamWorker() override;

  // Waits for the thread to end and joins it. Safe when it was never created
  // or run, and when called again. The thread ends on its own once
  // activeFrame is null or closeRequested is set; call this only then.
  void Join();

 protected:
  ExitCode Entry() override;

 private:
  std::atomic<bool> entered_{false};  // Entry has begun
  bool joined_ = false;               // GUI thread only
};
