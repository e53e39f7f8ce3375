#include "app/player_app.h"

#include <cstdio>
#include <string>
#include <vector>

#include <wx/image.h>
#include <wx/log.h>
#include <wx/socket.h>

#include "app/player_frame.h"
#include "app/process_arguments.h"

namespace {

int exitStatus = 0;

// Failed assertions go to standard error: a dialog would block the GUI thread.
void ReportAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
  std::fprintf(stderr, "mervane-player: toolkit assertion %s failed in %s (%s:%d) %s\n",
               cond.utf8_str().data(), func.utf8_str().data(), file.utf8_str().data(), line,
               msg.utf8_str().data());
}

}  // namespace

int PlayerApp::ExitStatus() { return exitStatus; }

bool PlayerApp::OnInit() {
  // The toolkit's own messages would otherwise open modal dialogs, even for
  // messages logged on the worker thread.
  delete wxLog::SetActiveTarget(new wxLogStderr);
  wxSetAssertHandler(ReportAssert);
  // Sockets must be set up on the main thread before the worker or an engine
  // thread builds a URL object.
  wxSocketBase::Initialize();
  wxInitAllImageHandlers();

  auto* frame = new PlayerFrame(ProcessArguments());
  if (frame->engineReady) frame->Start();
  SetTopWindow(frame);
  if (!frame->engineReady) {
    // Nothing else would end the loop: say why, release what was loaded and
    // let the destruction of the hidden frame end it.
    std::fprintf(stderr, "mervane-player: %s\n", frame->failure.c_str());
    frame->AbandonStart();
    frame->Destroy();
    exitStatus = 1;
  }
  return true;
}
