// The stand-in engine's state behind the exported entry points. One engine
// instance per process; every entry point goes through EngineCall or
// ManagerCall, which journal the anomalies (wrong thread, call after
// destroy, foreign engine handle) and hold the state lock for the call.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "standin/demo_drawing.h"
#include "standin/script.h"

namespace standin {

// The player's callbacks as the stand-in calls them (the engine's ABI;
// bool is 8-bit).
extern "C" {
typedef void (*StopFn)(void* userData);
typedef void (*LogFn)(int32_t first, const char* text);
typedef bool (*GetStreamFn)(int32_t key, const char* url, const char* header);
typedef bool (*PostStreamFn)(int32_t key, const char* url, const void* body, uint32_t bodySize,
                             uint32_t ignored, const char* header);
typedef bool (*QueryStreamFn)(int32_t key, uint32_t* receivedSize, int32_t* contentLength,
                              bool* finished, const uint8_t** body, const char** header);
typedef bool (*ReleaseStreamFn)(int32_t key);
typedef void (*OpenUrlFn)(const char* url);
}

struct Callbacks {
  StopFn stop = nullptr;
  void* stopUserData = nullptr;
  LogFn log = nullptr;
  GetStreamFn getStream = nullptr;
  PostStreamFn postStream = nullptr;
  QueryStreamFn queryStream = nullptr;
  ReleaseStreamFn releaseStream = nullptr;
  OpenUrlFn openUrl = nullptr;
};

class EngineThread;

class Engine {
 public:
  explicit Engine(Script script);
  ~Engine();  // joins the engine's threads, stops painting
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  bool Init();
  void* ConnectionManager() { return &connectionManager_; }
  void* GameManager() { return &gameManager_; }
  void* OptionsManager() { return &optionsManager_; }
  void SetGraphicContainer(void* window);
  void SetFullScreenState(int32_t state);
  void SetLoadingData(const char* text);
  void SetStartUpEnv(const char* document);
  void SetStopCallback(StopFn stop, void* userData);
  void SetConnectionCallbacks(GetStreamFn get, PostStreamFn post, QueryStreamFn query,
                              ReleaseStreamFn release);
  void SetOpenUrlCallback(OpenUrlFn openUrl);
  void RunFrame();
  // The script's in-stop and in-destroy commands, run inside those calls.
  void RunStopHook();
  void RunDestroyHook();

 private:
  struct Watch {
    int32_t key;
    bool firstJournaled;
  };
  Callbacks CurrentCallbacks() const;
  void RunHook(const std::vector<Command>& commands);
  void Poll(Watch& watch, bool& done);
  void MaybeShowFullScreen();
  DemoScene Scene() const;

  Script script_;
  Callbacks callbacks_;  // the log callback lives outside, see SetLogCallback
  char connectionManager_ = 'c';
  char gameManager_ = 'g';
  char optionsManager_ = 'o';
  int64_t frame_ = 0;
  size_t nextAction_ = 0;  // index into the frame-ordered actions
  std::vector<Action> actions_;
  std::vector<Watch> watches_;
  void* window_ = nullptr;
  int32_t fullScreen_ = 0;
  bool fullScreenShown_ = false;
  std::string loadingData_;
  std::string packUri_;
  std::string configUri_;
  std::atomic<bool> quitting_{false};
  std::map<std::string, std::unique_ptr<EngineThread>> threads_;
  std::unique_ptr<DemoDrawing> drawing_;  // last: detached before anything else goes
};

// Runs one command on the calling thread with the given callbacks. Watches
// poll every 5 ms until answered false or `quitting` is set.
void RunCommand(const Command& command, const Callbacks& callbacks,
                const std::atomic<bool>& quitting);

// Entry points that take the engine handle. `body` runs under the state
// lock only for the live engine that Create returned.
void EngineCallImpl(const char* name, void* handle, void (*body)(void*, Engine&), void* context);
template <typename Body>
void EngineCall(const char* name, void* handle, Body&& body) noexcept {
  try {
    EngineCallImpl(name, handle,
                   [](void* context, Engine& e) {
                     (*static_cast<std::remove_reference_t<Body>*>(context))(e);
                   },
                   &body);
  } catch (...) {
  }
}

// Entry points that take a manager handle or none: `body` gets the live
// engine or null (no engine yet).
void ManagerCallImpl(const char* name, void (*body)(void*, Engine*), void* context);
template <typename Body>
void ManagerCall(const char* name, Body&& body) noexcept {
  try {
    ManagerCallImpl(
        name,
        [](void* context, Engine* e) {
          (*static_cast<std::remove_reference_t<Body>*>(context))(e);
        },
        &body);
  } catch (...) {
  }
}

void* CreateEngine();
void DestroyEngine(void* handle);
void RunFrame(void* handle);
void SetLogCallback(LogFn log);

}  // namespace standin
