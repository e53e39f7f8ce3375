// The two callbacks through which the engine asks something of the player:
// to stop, and to show a message to the user.
#pragma once

#include <cstdint>

// userData is the frame's StreamHost part (it holds closeRequested). Only sets
// the flag; the pump turns it into the stop sequence.
void OnClientStop(void* userData);

// Shows text (null counts as empty) in a modal box captioned "Mervane help".
// The first argument is not used.
void OnEngineLog(int32_t first, const char* text);
