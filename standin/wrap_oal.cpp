// Stand-in for wrap_oal.DLL: the player only loads and unloads it, so it
// exports one dummy function and journals its own loading and unloading.
#include "standin/journal.h"

__attribute__((constructor)) static void OnLibraryLoad() {
  standin::JournalLine("lib-load wrap_oal.DLL");
}
__attribute__((destructor)) static void OnLibraryUnload() {
  standin::JournalLine("lib-unload wrap_oal.DLL");
}

extern "C" __attribute__((visibility("default"))) int wrap_oal_StandIn(void) { return 0; }
