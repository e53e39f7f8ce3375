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
// a growth beyond it fails the request as a refused allocation would.
// Process-wide; tests lower it.
void SetBodyAllocationLimit(size_t bytes);
