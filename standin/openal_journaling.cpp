// A journaling OpenAL32.DLL for tests of the loading and unloading order:
// it depends on the system's OpenAL Soft (so loading it loads the real
// library) and journals its own loading and unloading.
#include <AL/al.h>

#include "standin/journal.h"

__attribute__((constructor)) static void OnLibraryLoad() {
  standin::JournalLine("lib-load OpenAL32.DLL");
}
__attribute__((destructor)) static void OnLibraryUnload() {
  standin::JournalLine("lib-unload OpenAL32.DLL");
}

// Keeps a reference into libopenal, so the dependency is real.
extern "C" __attribute__((visibility("default"))) void* OpenAL32_StandInEntry(void) {
  return reinterpret_cast<void*>(&alGetError);
}
