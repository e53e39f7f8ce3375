#include "engine/engine_libraries.h"

#include <filesystem>
#include <system_error>

#include "platform/file_system.h"
#include "settings/user_directories.h"

namespace {

struct Attempt {
  platform::SharedLibrary* library;
  const char* name;
  std::string reasonHere;
  std::string reasonUser;
  std::string userPath;
};

// For messages: where a relative path really points.
std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(ToSystemPath(path), error);
  return error ? path : absolute.lexically_normal().string();
}

template <typename Slot>
bool Lookup(const platform::SharedLibrary& library, Slot& slot, const char* name, bool required,
            std::string& failure) {
  slot = reinterpret_cast<Slot>(library.Symbol(name));
  if (slot != nullptr || !required) return true;
  failure = std::string("the engine library MRVClient.DLL has no entry point ") + name;
  return false;
}

}  // namespace

bool EngineLibraries::Load(EngineApi& api) {
  failure_.clear();
  Attempt attempts[] = {{&openAL_, kOpenAL, {}, {}, {}},
                        {&wrapOal_, kWrapOal, {}, {}, {}},
                        {&engine_, kEngine, {}, {}, {}}};
  // First from the current directory, all three whatever the others gave.
  for (Attempt& a : attempts) {
    *a.library = platform::SharedLibrary::Load(std::string("./") + a.name, &a.reasonHere);
  }
  // Then the per-user data directory, decided afresh for each missing one.
  for (Attempt& a : attempts) {
    if (*a.library) continue;
    a.userPath = UserDataDirectory() + a.name;
    *a.library = platform::SharedLibrary::Load(ToSystemPath(a.userPath), &a.reasonUser);
  }
  for (const Attempt& a : attempts) {
    if (*a.library) continue;
    const std::string here = Absolute(std::string("./") + a.name);
    const std::string user = Absolute(a.userPath);
    failure_ = std::string("cannot load ") + a.name + ": not loadable from " + here +
               " (" + a.reasonHere + ") nor from " + user + " (" + a.reasonUser + "). Put " + kEngine +
               ", " + kOpenAL + " and " + kWrapOal + " in the current directory or in " +
               user.substr(0, user.size() - std::string(a.name).size());
    return false;
  }
  return Bind(api);
}


bool EngineLibraries::Bind(EngineApi& api) {
  const platform::SharedLibrary& l = engine_;
  std::string& f = failure_;
  // Slot order, except that the quit-URL entry comes just before the work path.
#define MERVANE_BIND(entry, required) \
  if (!Lookup(l, api.entry, #entry, required, f)) return false
  MERVANE_BIND(ClientEngine_Create, true);
  MERVANE_BIND(ClientEngine_Init, true);
  MERVANE_BIND(ClientEngine_Destroy, true);
  MERVANE_BIND(ClientEngine_GetConnectionManager, true);
  MERVANE_BIND(ClientEngine_GetGameManager, true);
  MERVANE_BIND(ClientEngine_GetCacheManager, true);
  MERVANE_BIND(ClientEngine_GetOptionsManager, true);
  MERVANE_BIND(ClientEngine_SetGraphicContainer, true);
  MERVANE_BIND(ClientEngine_SetInputContainer, true);
  MERVANE_BIND(ClientEngine_Stop, true);
  MERVANE_BIND(ClientEngine_Restart, true);
  MERVANE_BIND(ClientEngine_RunOneFrame, true);
  MERVANE_BIND(ClientEngine_SetQuitURL, true);
  MERVANE_BIND(ClientEngine_SetWorkPath, true);
  MERVANE_BIND(ClientEngine_SetLoadingData, true);
  MERVANE_BIND(ClientEngine_SetStartUpEnv, true);
  MERVANE_BIND(ClientEngine_AddLuaCommand, true);
  MERVANE_BIND(ClientEngine_SetFullScreenState, true);
  MERVANE_BIND(ClientEngine_GetFullScreenState, true);
  MERVANE_BIND(ClientEngine_ChangeFullScreenState, true);
  MERVANE_BIND(ClientEngine_OnRButton, true);
  MERVANE_BIND(ClientEngine_OnMenuItem, true);
  MERVANE_BIND(ClientEngine_SetClientType, true);
  MERVANE_BIND(ClientEngine_SetClientStopCallback, true);
  MERVANE_BIND(ConnectionManager_SetRootURL, false);
  MERVANE_BIND(ConnectionManager_SetOpenUrlTargetCallback, false);
  MERVANE_BIND(ConnectionManager_SetConnectionCallbacks, true);
  MERVANE_BIND(OptionsManager_SetOptions, true);
  MERVANE_BIND(OptionsManager_SetLogCallback, true);
  MERVANE_BIND(DrawError_Create, true);
  MERVANE_BIND(DrawError_Destroy, true);
  MERVANE_BIND(DrawError_SetError, true);
  MERVANE_BIND(DrawError_Draw, true);
#undef MERVANE_BIND
  return true;
}

void EngineLibraries::Unload() {
  engine_.Unload();
  openAL_.Unload();
  wrapOal_.Unload();
}
