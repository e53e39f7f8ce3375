// The engine library's entry points, one slot each, bound all or nothing.
// Signatures follow the engine's C interface; slots stay null until bound.
#pragma once

#include <cstdint>

extern "C" {
typedef void (*EngineStopCallback)(void* userData);
typedef void (*EngineLogCallback)(int32_t first, const char* text);
typedef bool (*GetStreamCallback)(int32_t key, const char* url, const char* header);
typedef bool (*PostStreamCallback)(int32_t key, const char* url, const void* body,
                                   uint32_t bodySize, uint32_t ignored, const char* header);
typedef bool (*QueryStreamCallback)(int32_t key, uint32_t* receivedSize, int32_t* contentLength,
                                    bool* finished, const uint8_t** body, const char** header);
typedef bool (*ReleaseStreamCallback)(int32_t key);
typedef void (*OpenUrlCallback)(const char* url);
typedef void (*EngineUnusedEntry)(void);
}

struct EngineApi {
  void* (*ClientEngine_Create)(void) = nullptr;                                    // 1
  bool (*ClientEngine_Init)(void*) = nullptr;                                       // 2
  void (*ClientEngine_Destroy)(void*) = nullptr;                                    // 3
  void* (*ClientEngine_GetConnectionManager)(void*) = nullptr;                      // 4
  void* (*ClientEngine_GetGameManager)(void*) = nullptr;                            // 5
  EngineUnusedEntry ClientEngine_GetCacheManager = nullptr;                         // 6
  void* (*ClientEngine_GetOptionsManager)(void*) = nullptr;                         // 7
  void (*ClientEngine_SetGraphicContainer)(void*, void*, int32_t, int32_t, int32_t, int32_t) = nullptr;  // 8
  void (*ClientEngine_SetInputContainer)(void*, void*, int32_t, int32_t, int32_t, int32_t) = nullptr;    // 9
  void (*ClientEngine_Stop)(void*) = nullptr;                                       // 10
  EngineUnusedEntry ClientEngine_Restart = nullptr;                                 // 11
  bool (*ClientEngine_RunOneFrame)(void*) = nullptr;                                // 12
  void (*ClientEngine_SetWorkPath)(void*, const char*) = nullptr;                   // 13
  EngineUnusedEntry ClientEngine_SetQuitURL = nullptr;                              // 14
  void (*ClientEngine_SetLoadingData)(void*, const char*) = nullptr;                // 15
  void (*ClientEngine_SetStartUpEnv)(void*, const char*) = nullptr;                 // 16
  EngineUnusedEntry ClientEngine_AddLuaCommand = nullptr;                           // 17
  void (*ClientEngine_SetFullScreenState)(void*, int32_t) = nullptr;                // 18
  EngineUnusedEntry ClientEngine_GetFullScreenState = nullptr;                      // 19
  EngineUnusedEntry ClientEngine_ChangeFullScreenState = nullptr;                   // 20
  EngineUnusedEntry ClientEngine_OnRButton = nullptr;                               // 21
  EngineUnusedEntry ClientEngine_OnMenuItem = nullptr;                              // 22
  void (*ClientEngine_SetClientType)(void*, int32_t) = nullptr;                     // 23
  void (*ClientEngine_SetClientStopCallback)(void*, EngineStopCallback, void*) = nullptr;  // 24
  EngineUnusedEntry ConnectionManager_SetRootURL = nullptr;                         // 25 (may be missing)
  void (*ConnectionManager_SetOpenUrlTargetCallback)(void*, OpenUrlCallback) = nullptr;   // 26 (may be missing)
  void (*ConnectionManager_SetConnectionCallbacks)(void*, GetStreamCallback, PostStreamCallback,
                                                   QueryStreamCallback, ReleaseStreamCallback,
                                                   int32_t) = nullptr;              // 27
  void (*OptionsManager_SetOptions)(void*, const void*, uint32_t) = nullptr;        // 28
  void (*OptionsManager_SetLogCallback)(void*, int32_t, EngineLogCallback) = nullptr;  // 29
  EngineUnusedEntry DrawError_Create = nullptr;                                     // 30
  EngineUnusedEntry DrawError_Destroy = nullptr;                                    // 31
  EngineUnusedEntry DrawError_SetError = nullptr;                                   // 32
  EngineUnusedEntry DrawError_Draw = nullptr;                                       // 33
};
