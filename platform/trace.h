// The debugger trace: short pieces of text written in call order to a sink
// chosen by MERVANE_TRACE (unset or empty: off; "-": standard error; else a
// file path, appended to unbuffered). Each call writes exactly one piece.
#pragma once

#include <string_view>

namespace platform {

// True when a sink is configured; lets callers skip building costly pieces.
bool TraceEnabled();

// Writes one piece as it is (no line end added).
void Trace(std::string_view piece);

// Writes the first bytes of data as text: up to the first NUL or maxLength
// bytes, whichever comes first.
void TraceText(const char* data, size_t maxLength);

}  // namespace platform
