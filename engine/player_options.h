// The options record handed to the engine: 20 bytes, little-endian, no gaps.
#pragma once

#include <cstddef>
#include <cstdint>

struct PlayerOptions {
  uint16_t firstWord = 0;
  uint16_t secondWord = 0;
  uint16_t width = 0;   // outer window size in pixels; 0 asks for the display's
  uint16_t height = 0;
  uint8_t fixedFlag = 1;
  uint8_t forceFailsafe = 0;
  uint16_t appAALevel = 0;
  uint16_t appShadowLevel = 0;
  uint16_t appPostRELevel = 0;
  uint16_t appReflectLevel = 0;
  uint16_t smartCache = 1;
};

static_assert(sizeof(PlayerOptions) == 20, "the engine reads exactly 20 bytes");
static_assert(offsetof(PlayerOptions, firstWord) == 0);
static_assert(offsetof(PlayerOptions, secondWord) == 2);
static_assert(offsetof(PlayerOptions, width) == 4);
static_assert(offsetof(PlayerOptions, height) == 6);
static_assert(offsetof(PlayerOptions, fixedFlag) == 8);
static_assert(offsetof(PlayerOptions, forceFailsafe) == 9);
static_assert(offsetof(PlayerOptions, appAALevel) == 10);
static_assert(offsetof(PlayerOptions, appShadowLevel) == 12);
static_assert(offsetof(PlayerOptions, appPostRELevel) == 14);
static_assert(offsetof(PlayerOptions, appReflectLevel) == 16);
static_assert(offsetof(PlayerOptions, smartCache) == 18);
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the record is little-endian");

// The frame keeps the record at the start of a zeroed 256-byte block: an
// engine that reads past the 20 bytes reads zeros, never other memory.
struct PlayerOptionsBlock {
  PlayerOptions options;
  uint8_t reserved[236] = {};
};
static_assert(sizeof(PlayerOptionsBlock) == 256);
