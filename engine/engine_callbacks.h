// The two callbacks through which the engine asks something of the player:
// to stop, and to show a message to the user.
#pragma once

#include <cstdint>

#include <wx/string.h>

extern "C" {

// userData is the frame's StreamHost part (it holds closeRequested). Only sets
// the flag; the pump turns it into the stop sequence.
void OnClientStop(void* userData) noexcept;

// Shows text (null counts as empty) in a modal box captioned "Mervane help".
// The first argument is not used.
void OnEngineLog(int32_t first, const char* text) noexcept;
}

// True while a message box of the engine's is open: the pump runs no frame then.
bool EngineMessageOpen();

// An 8-bit text for display: taken as UTF-8 when it is, else as Latin-1, so
// that nothing shows up empty.
wxString DisplayText(const char* text);
