// A started stream service for the tests: a StreamHost published in
// activeFrame, optionally with its worker running, and the stop sequence's
// share of the main window's stop.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "net/stream_host.h"
#include "net/stream_request.h"
#include "net/stream_worker.h"

// Polls pred until it holds; false after a generous guard (a hang, not a
// measurement).
bool Eventually(const std::function<bool()>& pred, std::chrono::milliseconds guard = std::chrono::seconds(20));

// What QueryStream answered, with sentinels in every out-parameter so that an
// untouched one can be told apart.
struct Poll {
  static constexpr uint32_t kSize = 0xDEADBEEF;
  static constexpr int32_t kLength = -777;
  static const uint8_t* const kBody;
  static const char* const kHeader;

  bool result = false;
  uint32_t size = kSize;
  int32_t length = kLength;
  bool finished = false;
  const uint8_t* body = kBody;
  const char* header = kHeader;

  bool Untouched() const { return size == kSize && length == kLength && body == kBody && header == kHeader; }
  std::string Data() const {
    if (Untouched() || body == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(body), size);
  }
};

Poll Query(int32_t key, bool finishedBefore = false);

// Queries until the request is no longer under way.
Poll WaitForOutcome(int32_t key);

class StreamService {
 public:
  explicit StreamService(bool runWorker = true, int socketTimeoutMs = 10000);
  ~StreamService();

  void StartWorker();
  // The stop sequence's share: false while the worker is in a pass.
  // destroyEngine runs where the main window stops and destroys the engine:
  // after activeFrame was cleared, before the records are deleted.
  bool TryStop(const std::function<void()>& destroyEngine = {});
  // Looks at a request's fields under the list lock.
  void Inspect(size_t index, const std::function<void(const StreamRequest&)>& look);

  StreamHost host;
  StreamWorker worker;

 private:
  bool stopped_ = false;
  bool lockHeld_ = false;
};

// Text the debugger trace received since construction.
class TraceCapture {
 public:
  TraceCapture();
  std::string Text() const;

 private:
  long start_;
};
