// The engine's connection callbacks and its browser callback: plain C
// functions with the engine's signatures (engine/engine_api.h). They may be
// called from any thread, never wait for network work, and never throw.
#pragma once

#include <cstdint>

extern "C" {
bool GetStream(int32_t key, const char* url, const char* header);
bool PostStream(int32_t key, const char* url, const void* body, uint32_t bodySize, uint32_t ignored,
                const char* header);
bool QueryStream(int32_t key, uint32_t* receivedSize, int32_t* contentLength, bool* finished,
                 const uint8_t** body, const char** header);
bool ReleaseStream(int32_t key);
void OpenUrlTargetCallback(const char* url);
}

// Waits until no connection callback is still running on an engine thread.
// The stop sequence calls it right after clearing activeFrame: a callback that
// had read the frame before then may still be using it. The callbacks never
// wait for network work, so this wait is short.
void WaitForStreamCallbacks();
