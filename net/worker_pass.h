// One pass of the transfer worker over the request list; the caller holds
// requestLock. Separate from the thread so that it can be driven directly.
#pragma once

#include <cstddef>
#include <optional>

#include "net/stream_url.h"

struct StreamHost;

struct WorkerSettings {
  std::optional<ProxyAddress> proxy;
};

// Size of the scratch block, the most one visit reads.
constexpr size_t kReadBlock = 262144;
// What a body without announced length grows by.
constexpr size_t kGrowthStep = 524288;

void RunPass(StreamHost& host, const WorkerSettings& settings);

// Largest single body block the worker will allocate; an announced length or
// a body without length growing beyond it fails the request as a refused
// allocation would (the last growth stops at the limit). The default is the
// largest length the engine's signed 32-bit fields can describe.
// Process-wide; tests lower it.
constexpr size_t kDefaultBodyLimit = 2147483647;
void SetBodyAllocationLimit(size_t bytes);
