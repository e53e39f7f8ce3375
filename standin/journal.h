// The stand-in libraries' journal: one line per event, appended to the file
// named by MERVANE_STANDIN_JOURNAL so a test can read it while the player runs.
// Each line is written with a single write() on a descriptor opened O_APPEND,
// so lines from several libraries and threads never interleave.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace standin {

// True when MERVANE_STANDIN_JOURNAL names a file.
bool JournalEnabled();

// Appends `line` and a line feed. Never throws; a failed write is dropped.
void JournalLine(std::string_view line) noexcept;

// `text` in double quotes with C escapes (\\ \" \n \r \t, \xHH for any other
// byte outside 0x20..0x7e); a null pointer gives null without quotes.
std::string Quoted(const char* text);
std::string Quoted(std::string_view bytes);

// "set" or "null".
const char* SetOrNull(const void* pointer);

// 64-bit FNV-1a of `size` bytes, as 16 lowercase hex digits.
std::string Fnv1a64Hex(const uint8_t* bytes, size_t size);

}  // namespace standin
