// The fuzz targets' logic, one function per input kind. Each takes arbitrary
// bytes, drives the player's code with them and aborts (after printing what
// went wrong) when a property the code promises does not hold. libFuzzer
// calls them through libfuzzer_entry.cpp; the regression test feeds them the
// kept inputs in the normal build.
#pragma once

#include <cstddef>
#include <cstdint>

// The settings file reader: the bytes are the file's contents.
int FuzzSettingsFile(const uint8_t* data, size_t size);
// The start-up resolution: byte 0 picks the program path, the rest is split
// at NUL bytes into the settings file text and the arguments after it.
int FuzzCommandLine(const uint8_t* data, size_t size);
// The path-to-URL conversion, the location part of a path and the URL
// normalisation (reached through a "-c=" option).
int FuzzUrlConversion(const uint8_t* data, size_t size);
// The HTTP response reader: byte 0 picks the request kind and how the peer
// cuts its writes, the rest is what a loopback peer sends back (with 0xFF k
// standing for k KiB of filler, so that the size limits are within reach).
int FuzzHttpResponse(const uint8_t* data, size_t size);
