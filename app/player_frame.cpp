#include "app/player_frame.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <gtk/gtk.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "app/startup_environment.h"
#include "app/startup_resolution.h"
#include "engine/engine_callbacks.h"
#include "net/stream_callbacks.h"
#include "platform/trace.h"
#include "settings/settings_file.h"

namespace {

constexpr int kTimerId = 1;
constexpr int kTickMilliseconds = 5;

void PrintLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

wxBEGIN_EVENT_TABLE(PlayerFrame, wxFrame)
  EVT_SIZE(PlayerFrame::OnSize)
  EVT_CLOSE(PlayerFrame::OnClose)
  EVT_TIMER(kTimerId, PlayerFrame::OnTimer)
wxEND_EVENT_TABLE()

PlayerFrame::PlayerFrame(const std::vector<std::string>& args)
    : wxFrame(nullptr, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE, "frame") {
  activeFrame = nullptr;
  Show(false);
  // Start-up paths are settled by plain code (ResolveStartUp): the toolkit's
  // virtual file system names and orders files differently on this platform,
  // so the frame keeps no file-system object and registers no handler.

  {
    // The store lives only while the start is settled; it is never saved.
    SettingsFile settings(true, "");
    StartUpResolution resolved = ResolveStartUp(args, settings, options, PrintLine);
    if (resolved.outcome == StartUpResolution::Outcome::ShowUsage) {
      PrintLine(resolved.usageText);
      wxMessageBox(DisplayText(resolved.usageText.c_str()), "Mervane help", wxOK | wxCENTRE, nullptr);
      std::exit(0);
    }
    fullScreen = resolved.fullScreen;
    programDir = resolved.programDir;
    if (resolved.outcome == StartUpResolution::Outcome::NoPackage) {
      std::error_code error;
      const std::filesystem::path searched =
          std::filesystem::absolute(programDir.empty() ? "." : programDir, error).lexically_normal();
      failure = "no package given and no .mvk file found in " + searched.string() +
                "; name one as the last argument, e.g. mervane-player /path/to/Demo-1.0.mvk";
      return;
    }
    gameData = resolved.gameData;
    workPath = resolved.workPath;
    configData = resolved.configData;
    loadingData = resolved.loadingData;
    BringUpEngine();
  }
}

void PlayerFrame::BringUpEngine() {
  if (!LoadEngineLibraries()) {
    failure = libraries.failure();
    return;
  }
  engine = api.ClientEngine_Create();
  api.ClientEngine_SetWorkPath(engine, workPath.c_str());
  if (!api.ClientEngine_Init(engine)) {
    failure = "the engine failed to initialise (ClientEngine_Init returned false)";
    return;
  }
  connectionManager = api.ClientEngine_GetConnectionManager(engine);
  gameManager = api.ClientEngine_GetGameManager(engine);
  optionsManager = api.ClientEngine_GetOptionsManager(engine);
  engineReady = true;
}

bool PlayerFrame::LoadEngineLibraries() { return libraries.Load(api); }

void PlayerFrame::AbandonStart() {
  if (engine != nullptr && api.ClientEngine_Destroy != nullptr) api.ClientEngine_Destroy(engine);
  engine = connectionManager = gameManager = optionsManager = nullptr;
  libraries.Unload();
}

PlayerFrame::~PlayerFrame() {
  // The worker must have left its loop before its thread object goes: ask it
  // to end, complete the stop (it retries while a pass holds the lock) and
  // join it. Only then may the lock the stop keeps be released.
  closeRequested = true;
  while (!Stop()) wxMilliSleep(1);
  worker.Join();
  if (requestLockHeld) requestLock.Unlock();
}

std::string PlayerFrame::BuildStartUpEnvironment() const {
  return ::BuildStartUpEnvironment(gameData, configData);
}

void PlayerFrame::SendContainers() {
  const wxRect r = GetClientRect();
  const int32_t top = r.y;
  const int32_t left = r.x;
  const int32_t bottom = r.y + r.height - 1;
  const int32_t right = r.x + r.width - 1;
  api.ClientEngine_SetGraphicContainer(engine, windowHandle, top, left, bottom, right);
  api.ClientEngine_SetInputContainer(engine, windowHandle, top, left, bottom, right);
}

bool PlayerFrame::Start() {
  activeFrame = this;
  // A frame that is never shown has no native window yet; realize it so the
  // engine can draw into it in full-screen mode too.
  GtkWidget* widget = GetHandle();
  if (widget != nullptr) gtk_widget_realize(widget);
  windowHandle = widget;
  api.ClientEngine_SetClientType(engine, 1);
  api.ClientEngine_SetClientStopCallback(engine, OnClientStop, static_cast<StreamHost*>(this));
  Move(0, 0);
  if (options.height == 0 || options.width == 0) {
    int displayWidth = 0;
    int displayHeight = 0;
    wxDisplaySize(&displayWidth, &displayHeight);
    options.width = static_cast<uint16_t>(displayWidth);
    options.height = static_cast<uint16_t>(displayHeight);
  }
  SetSize(options.width, options.height);
  CentreOnScreen();
  api.OptionsManager_SetOptions(optionsManager, &options, 0xFFFF);
  SendContainers();
  api.ClientEngine_SetFullScreenState(engine, fullScreen ? 1 : 0);
  api.OptionsManager_SetLogCallback(nullptr, 0, OnEngineLog);
  api.ConnectionManager_SetConnectionCallbacks(connectionManager, GetStream, PostStream, QueryStream,
                                               ReleaseStream, 0);
  if (api.ConnectionManager_SetOpenUrlTargetCallback != nullptr) {
    api.ConnectionManager_SetOpenUrlTargetCallback(connectionManager, OpenUrlTargetCallback);
  }
  api.ClientEngine_SetLoadingData(engine, loadingData.c_str());
  {
    const std::string document = BuildStartUpEnvironment();
    api.ClientEngine_SetStartUpEnv(engine, document.c_str());
  }
  timer.SetOwner(this, kTimerId);
  timer.Start(kTickMilliseconds, wxTIMER_CONTINUOUS);
  worker.Create(0);
  worker.Run();
  Show(!fullScreen);
  return true;
}

void PlayerFrame::OnSize(wxSizeEvent& /*event*/) {
  if (windowHandle == nullptr || closeRequested) return;
  SendContainers();
}

void PlayerFrame::OnClose(wxCloseEvent& /*event*/) { closeRequested = true; }

void PlayerFrame::OnTimer(wxTimerEvent& /*event*/) {
  // A box of the engine's, opened from one of its threads, counts as a busy pump.
  if (pumpBusy || EngineMessageOpen()) {
    wxMicroSleep(1000);
    return;
  }
  if (closeRequested) {
    if (!stopped) {
      pumpBusy = true;
      if (Stop()) {
        platform::Trace("Destroy window\n");
        Destroy();
      }
      pumpBusy = false;
    }
    wxMicroSleep(1000);
    return;
  }
  if (stopped) {
    wxMicroSleep(1000);
    return;
  }
  if (engine == nullptr) return;
  pumpBusy = true;
  api.ClientEngine_RunOneFrame(engine);
  pumpBusy = false;
}

bool PlayerFrame::Stop() {
  if (stopped) return true;
  const wxMutexError locked = requestLock.TryLock();
  if (locked == wxMUTEX_BUSY) return false;
  requestLockHeld = locked == wxMUTEX_NO_ERROR;
  if (timer.IsRunning()) timer.Stop();
  platform::Trace("Stop\n");
  activeFrame = nullptr;
  // A callback on an engine thread that saw the frame before it was cleared
  // finishes first; callbacks never wait on the network, so this is short.
  WaitForStreamCallbacks();
  stopped = true;
  if (engine != nullptr && api.ClientEngine_Stop != nullptr) {
    api.ClientEngine_Stop(engine);
    api.ClientEngine_RunOneFrame(engine);
  }
  if (engine != nullptr && api.ClientEngine_Destroy != nullptr &&
      api.OptionsManager_SetLogCallback != nullptr) {
    api.OptionsManager_SetLogCallback(nullptr, 0, nullptr);
    api.ClientEngine_Destroy(engine);
    engine = connectionManager = gameManager = optionsManager = nullptr;
  }
  requests.DeleteAll();
  libraries.Unload();
  return true;
}
