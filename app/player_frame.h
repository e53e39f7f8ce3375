// The main window: owner of everything the player holds at run time. Its
// constructor settles what to run and brings the engine up; Start hands the
// engine the window and callbacks; a 5 ms timer pumps one engine frame per
// tick; a close (or the engine's stop request) becomes the stop sequence on
// the next tick, which then destroys the window.
//
// Threads: everything here runs on the GUI thread, except that the stream
// worker and the engine's callbacks reach the StreamHost part (request list,
// requestLock, closeRequested) through activeFrame.
#pragma once

#include <string>
#include <vector>

#include <wx/frame.h>
#include <wx/timer.h>

#include "engine/engine_api.h"
#include "engine/engine_libraries.h"
#include "engine/player_options.h"
#include "net/stream_host.h"
#include "net/stream_worker.h"

class PlayerFrame : public wxFrame, public StreamHost {
 public:
  // args are the process's arguments as bytes; the first is the program's path.
  explicit PlayerFrame(const std::vector<std::string>& args);
  ~PlayerFrame() override;

  bool Start();
  // False when the worker holds requestLock and nothing was done.
  bool Stop();
  std::string BuildStartUpEnvironment() const;

  bool engineReady = false;
  // Why the frame is not ready, for the user; empty when it is.
  std::string failure;

  // For a frame that never started: destroys an engine whose initialisation
  // failed and releases the libraries.
  void AbandonStart();

 private:
  bool LoadEngineLibraries();
  void BringUpEngine();
  void SendContainers();

  void OnSize(wxSizeEvent& event);
  void OnClose(wxCloseEvent& event);
  void OnTimer(wxTimerEvent& event);

  // closeRequested and requestLock live in StreamHost.
  bool fullScreen = true;
  bool stopped = false;
  void* windowHandle = nullptr;
  void* engine = nullptr;
  void* connectionManager = nullptr;
  void* gameManager = nullptr;
  void* optionsManager = nullptr;
  EngineLibraries libraries;
  bool pumpBusy = false;
  // Stop takes requestLock for good; released only after the worker ended.
  bool requestLockHeld = false;
  wxTimer timer;
  StreamWorker worker;
  PlayerOptionsBlock optionsBlock;
  PlayerOptions& options = optionsBlock.options;
  std::string loadingData;
  std::string configData;
  std::string gameData;
  std::string workPath;
  std::string programDir;
  EngineApi api;

  wxDECLARE_EVENT_TABLE();
};
