// The stand-in for the closed engine library MRVClient.DLL: exports the
// engine's 33 entry points, journals every call with its arguments, acts out
// a test script at given frames, and paints a demo view into the window.
// Nothing here throws across the C boundary: every entry point catches all.
#include <cstdint>
#include <cstdio>
#include <string>

#include "standin/engine_state.h"
#include "standin/journal.h"

using standin::Engine;
using standin::EngineCall;
using standin::JournalLine;
using standin::Quoted;
using standin::SetOrNull;

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string Rectangle(void* window, int32_t top, int32_t left, int32_t bottom, int32_t right) {
  return std::string(SetOrNull(window)) + " " + std::to_string(top) + " " + std::to_string(left) +
         " " + std::to_string(bottom) + " " + std::to_string(right);
}

}  // namespace

__attribute__((constructor)) static void OnLibraryLoad() { JournalLine("lib-load MRVClient.DLL"); }
__attribute__((destructor)) static void OnLibraryUnload() {
  JournalLine("lib-unload MRVClient.DLL");
}

STANDIN_EXPORT void* ClientEngine_Create(void) {
  try {
    return standin::CreateEngine();
  } catch (...) {
    return nullptr;
  }
}

STANDIN_EXPORT bool ClientEngine_Init(void* engine) {
  bool result = false;
  EngineCall("ClientEngine_Init", engine, [&](Engine& e) { result = e.Init(); });
  return result;
}

STANDIN_EXPORT void ClientEngine_Destroy(void* engine) {
  try {
    standin::DestroyEngine(engine);
  } catch (...) {
  }
}

STANDIN_EXPORT void* ClientEngine_GetConnectionManager(void* engine) {
  void* manager = nullptr;
  EngineCall("ClientEngine_GetConnectionManager", engine, [&](Engine& e) {
    JournalLine("ClientEngine_GetConnectionManager");
    manager = e.ConnectionManager();
  });
  return manager;
}

STANDIN_EXPORT void* ClientEngine_GetGameManager(void* engine) {
  void* manager = nullptr;
  EngineCall("ClientEngine_GetGameManager", engine, [&](Engine& e) {
    JournalLine("ClientEngine_GetGameManager");
    manager = e.GameManager();
  });
  return manager;
}

STANDIN_EXPORT void* ClientEngine_GetOptionsManager(void* engine) {
  void* manager = nullptr;
  EngineCall("ClientEngine_GetOptionsManager", engine, [&](Engine& e) {
    JournalLine("ClientEngine_GetOptionsManager");
    manager = e.OptionsManager();
  });
  return manager;
}

STANDIN_EXPORT void ClientEngine_SetGraphicContainer(void* engine, void* window, int32_t top,
                                                     int32_t left, int32_t bottom, int32_t right) {
  EngineCall("ClientEngine_SetGraphicContainer", engine, [&](Engine& e) {
    JournalLine("ClientEngine_SetGraphicContainer " + Rectangle(window, top, left, bottom, right));
    e.SetGraphicContainer(window);
  });
}

STANDIN_EXPORT void ClientEngine_SetInputContainer(void* engine, void* window, int32_t top,
                                                   int32_t left, int32_t bottom, int32_t right) {
  EngineCall("ClientEngine_SetInputContainer", engine, [&](Engine&) {
    JournalLine("ClientEngine_SetInputContainer " + Rectangle(window, top, left, bottom, right));
  });
}

STANDIN_EXPORT void ClientEngine_Stop(void* engine) {
  EngineCall("ClientEngine_Stop", engine, [&](Engine& e) {
    JournalLine("ClientEngine_Stop");
    e.RunStopHook();
  });
}

STANDIN_EXPORT bool ClientEngine_RunOneFrame(void* engine) {
  standin::RunFrame(engine);
  return true;
}

STANDIN_EXPORT void ClientEngine_SetWorkPath(void* engine, const char* path) {
  EngineCall("ClientEngine_SetWorkPath", engine,
             [&](Engine&) { JournalLine("ClientEngine_SetWorkPath " + Quoted(path)); });
}

STANDIN_EXPORT void ClientEngine_SetLoadingData(void* engine, const char* url) {
  EngineCall("ClientEngine_SetLoadingData", engine, [&](Engine& e) {
    JournalLine("ClientEngine_SetLoadingData " + Quoted(url));
    e.SetLoadingData(url);
  });
}

STANDIN_EXPORT void ClientEngine_SetStartUpEnv(void* engine, const char* document) {
  EngineCall("ClientEngine_SetStartUpEnv", engine, [&](Engine& e) {
    JournalLine("ClientEngine_SetStartUpEnv " + Quoted(document));
    e.SetStartUpEnv(document);
  });
}

STANDIN_EXPORT void ClientEngine_SetFullScreenState(void* engine, int32_t fullScreen) {
  EngineCall("ClientEngine_SetFullScreenState", engine, [&](Engine& e) {
    JournalLine("ClientEngine_SetFullScreenState " + std::to_string(fullScreen));
    e.SetFullScreenState(fullScreen);
  });
}

STANDIN_EXPORT void ClientEngine_SetClientType(void* engine, int32_t type) {
  EngineCall("ClientEngine_SetClientType", engine,
             [&](Engine&) { JournalLine("ClientEngine_SetClientType " + std::to_string(type)); });
}

STANDIN_EXPORT void ClientEngine_SetClientStopCallback(void* engine, void (*onStop)(void*),
                                                       void* userData) {
  EngineCall("ClientEngine_SetClientStopCallback", engine, [&](Engine& e) {
    JournalLine(std::string("ClientEngine_SetClientStopCallback ") + SetOrNull(
        reinterpret_cast<const void*>(onStop)) + " " + SetOrNull(userData));
    e.SetStopCallback(onStop, userData);
  });
}

STANDIN_EXPORT void OptionsManager_SetOptions(void* optionsManager, const void* options,
                                              uint32_t mask) {
  standin::ManagerCall("OptionsManager_SetOptions", [&](Engine* e) {
    std::string line = "OptionsManager_SetOptions ";
    line += e != nullptr && optionsManager == e->OptionsManager() ? "manager-ok" : "manager-bad";
    if (options == nullptr) {
      JournalLine(line + " null " + std::to_string(mask));
      return;
    }
    // The player hands over a zeroed 256-byte block whose first 20 bytes are
    // the record; the rest is checked to be untouched.
    const auto* bytes = static_cast<const uint8_t*>(options);
    char hex[41];
    for (int i = 0; i < 20; ++i) std::snprintf(hex + 2 * i, 3, "%02x", bytes[i]);
    bool tailZero = true;
    for (int i = 20; i < 256; ++i) tailZero = tailZero && bytes[i] == 0;
    JournalLine(line + " " + hex + " " + std::to_string(mask) +
                (tailZero ? " tail-zero" : " tail-nonzero"));
  });
}

STANDIN_EXPORT void OptionsManager_SetLogCallback(void* zero, int32_t zeroToo,
                                                  void (*onLog)(int32_t, const char*)) {
  standin::ManagerCall("OptionsManager_SetLogCallback", [&](Engine*) {
    JournalLine(std::string("OptionsManager_SetLogCallback ") + (zero != nullptr ? "set" : "0") +
                " " + std::to_string(zeroToo) + " " +
                SetOrNull(reinterpret_cast<const void*>(onLog)));
    standin::SetLogCallback(onLog);
  });
}

STANDIN_EXPORT void ConnectionManager_SetConnectionCallbacks(
    void* connectionManager, standin::GetStreamFn getStream, standin::PostStreamFn postStream,
    standin::QueryStreamFn queryStream, standin::ReleaseStreamFn releaseStream, int32_t zero) {
  standin::ManagerCall("ConnectionManager_SetConnectionCallbacks", [&](Engine* e) {
    auto set = [](auto fn) { return SetOrNull(reinterpret_cast<const void*>(fn)); };
    JournalLine(std::string("ConnectionManager_SetConnectionCallbacks ") +
                (e != nullptr && connectionManager == e->ConnectionManager() ? "manager-ok"
                                                                             : "manager-bad") +
                " " + set(getStream) + " " + set(postStream) + " " + set(queryStream) + " " +
                set(releaseStream) + " " + std::to_string(zero));
    if (e != nullptr) e->SetConnectionCallbacks(getStream, postStream, queryStream, releaseStream);
  });
}

#ifndef STANDIN_OMIT_ConnectionManager_SetOpenUrlTargetCallback
STANDIN_EXPORT void ConnectionManager_SetOpenUrlTargetCallback(void* connectionManager,
                                                               standin::OpenUrlFn openUrl) {
  standin::ManagerCall("ConnectionManager_SetOpenUrlTargetCallback", [&](Engine* e) {
    JournalLine(std::string("ConnectionManager_SetOpenUrlTargetCallback ") +
                (e != nullptr && connectionManager == e->ConnectionManager() ? "manager-ok"
                                                                             : "manager-bad") +
                " " + SetOrNull(reinterpret_cast<const void*>(openUrl)));
    if (e != nullptr) e->SetOpenUrlCallback(openUrl);
  });
}
#endif

// Bound by the player but never called: a call is journaled as an anomaly.
#define STANDIN_UNCALLED(name) \
  STANDIN_EXPORT void name(void) { JournalLine("unexpected-call " #name); }

STANDIN_UNCALLED(ClientEngine_GetCacheManager)
STANDIN_UNCALLED(ClientEngine_Restart)
STANDIN_UNCALLED(ClientEngine_SetQuitURL)
STANDIN_UNCALLED(ClientEngine_AddLuaCommand)
STANDIN_UNCALLED(ClientEngine_GetFullScreenState)
STANDIN_UNCALLED(ClientEngine_ChangeFullScreenState)
STANDIN_UNCALLED(ClientEngine_OnRButton)
STANDIN_UNCALLED(ClientEngine_OnMenuItem)
#ifndef STANDIN_OMIT_ConnectionManager_SetRootURL
STANDIN_UNCALLED(ConnectionManager_SetRootURL)
#endif
STANDIN_UNCALLED(DrawError_Create)
STANDIN_UNCALLED(DrawError_Destroy)
STANDIN_UNCALLED(DrawError_SetError)
#ifndef STANDIN_OMIT_DrawError_Draw
STANDIN_UNCALLED(DrawError_Draw)
#endif
