#include "engine/engine_callbacks.h"

#include <atomic>

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

#include "net/stream_host.h"

namespace {

// Boxes open right now; only the GUI thread changes it.
std::atomic<int> openMessages{0};

void ShowMessage(const wxString& message) {
  ++openMessages;
  wxMessageBox(message, "Mervane help", wxOK | wxCENTRE, nullptr);
  --openMessages;
}

}  // namespace

wxString DisplayText(const char* text) {
  if (text == nullptr) return wxString();
  wxString converted = wxString::FromUTF8(text);
  if (converted.empty() && *text != '\0') converted = wxString::From8BitData(text);
  return converted;
}

bool EngineMessageOpen() { return openMessages > 0; }

extern "C" void OnClientStop(void* userData) noexcept {
  if (userData == nullptr) return;
  static_cast<StreamHost*>(userData)->closeRequested = true;
}

extern "C" void OnEngineLog(int32_t /*first*/, const char* text) noexcept {
  try {
    const wxString message = DisplayText(text);
    if (wxIsMainThread()) {
      ShowMessage(message);
      return;
    }
    // Windows may only be touched on the GUI thread: show it there, unless
    // the player has stopped meanwhile.
    if (wxTheApp == nullptr) return;
    wxTheApp->CallAfter([message] {
      if (activeFrame.load() != nullptr) ShowMessage(message);
    });
  } catch (...) {
    // Nothing may escape into the engine.
  }
}
