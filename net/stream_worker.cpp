#include "net/stream_worker.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include <wx/log.h>
#include <wx/utils.h>

#include "net/stream_host.h"
#include "net/stream_request.h"
#include "net/worker_pass.h"
#include "platform/trace.h"

StreamWorker::StreamWorker() : wxThread(wxTHREAD_JOINABLE) {}

StreamWorker::~StreamWorker() { Join(); }

void StreamWorker::Join() {
  if (joined_ || GetId() == 0) return;
  joined_ = true;
  if (IsRunning() || IsAlive() || entered_) {
    Wait();
    return;
  }
  // Created but never run: wake it so that it ends at once.
  Delete();
}

wxThread::ExitCode StreamWorker::Entry() {
  entered_ = true;
  // Toolkit log messages from this thread must not become dialogs.
  wxLogNull noLog;
  WorkerSettings settings;
  settings.proxy = ParseProxy(std::getenv("HTTP_PROXY"));
  for (;;) {
    StreamHost* host = activeFrame.load();
    if (host == nullptr || host->closeRequested) break;
    if (host->requests.Count() == 0) {
      wxMicroSleep(10000);
      continue;
    }
    const wxMutexError locked = host->requestLock.TryLock();
    if (locked == wxMUTEX_BUSY) {
      wxMicroSleep(1000);
      continue;
    }
    RunPass(*host, settings);
    if (locked == wxMUTEX_NO_ERROR) host->requestLock.Unlock();
    wxMicroSleep(10000);
  }
  return static_cast<ExitCode>(nullptr);
}
