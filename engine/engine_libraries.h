// The engine library and its two companions: loaded from the current
// directory or else the per-user data directory, bound into EngineApi all or
// nothing, and released in a fixed order at stop.
#pragma once

#include <string>

#include "engine/engine_api.h"
#include "platform/shared_library.h"

class EngineLibraries {
 public:
  static constexpr const char* kOpenAL = "OpenAL32.DLL";
  static constexpr const char* kWrapOal = "wrap_oal.DLL";
  static constexpr const char* kEngine = "MRVClient.DLL";

  // Loads the three libraries and binds api. False when a library could not
  // be loaded or a required entry is missing; failure() then says which.
  // Libraries loaded by a failed attempt stay loaded until Unload().
  ~EngineLibraries() { Unload(); }
  EngineLibraries() = default;
  EngineLibraries(const EngineLibraries&) = delete;
  EngineLibraries& operator=(const EngineLibraries&) = delete;

  bool Load(EngineApi& api);

  // Engine library, then OpenAL32.DLL, then wrap_oal.DLL; each only if loaded.
  void Unload();

  // One line for the user: which library failed (with the system's reason)
  // or which entry is missing. Empty after a success.
  const std::string& failure() const { return failure_; }

  bool engineLoaded() const { return static_cast<bool>(engine_); }
  bool openALLoaded() const { return static_cast<bool>(openAL_); }
  bool wrapOalLoaded() const { return static_cast<bool>(wrapOal_); }

 private:
  bool Bind(EngineApi& api);

  platform::SharedLibrary engine_;
  platform::SharedLibrary openAL_;
  platform::SharedLibrary wrapOal_;
  std::string failure_;
};
