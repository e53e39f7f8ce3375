#include "engine/engine_callbacks.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

#include "net/stream_host.h"

void OnClientStop(void* userData) {
  if (userData == nullptr) return;
  static_cast<StreamHost*>(userData)->closeRequested = true;
}

namespace {

// The engine's texts are 8-bit; take them as UTF-8 when they are, else as
// Latin-1, so no message shows up empty.
wxString MessageText(const char* text) {
  if (text == nullptr) return wxString();
  wxString converted = wxString::FromUTF8(text);
  if (converted.empty() && *text != '\0') converted = wxString::From8BitData(text);
  return converted;
}

void ShowMessage(const wxString& message) {
  wxMessageBox(message, "Mervane help", wxOK | wxCENTRE, nullptr);
}

}  // namespace

void OnEngineLog(int32_t /*first*/, const char* text) {
  try {
    const wxString message = MessageText(text);
    if (wxIsMainThread()) {
      ShowMessage(message);
      return;
    }
    // Windows may only be touched on the GUI thread: show it there, later.
    if (wxTheApp != nullptr) wxTheApp->CallAfter([message] { ShowMessage(message); });
  } catch (...) {
    // Nothing may escape into the engine.
  }
}
