// One stream request of the engine: its URL, what to send, and what has been
// received so far. Created by the connection callbacks, filled by the worker,
// deleted by the worker or the stop sequence (through RequestList).
//
// Threads: the fields marked "list lock" are written under RequestList's lock
// and read by the callbacks under it; the worker, their only writer, may read
// them without it. The fields marked "worker" are touched by the worker only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/stream_url.h"
#include "net/transfer.h"

class StreamRequest {
 public:
  StreamRequest(int32_t engineKey, std::string url, HttpRequestData httpData);
  ~StreamRequest();
  StreamRequest(const StreamRequest&) = delete;
  StreamRequest& operator=(const StreamRequest&) = delete;

  // Drops the connection, the body blocks and the header text; keeps the
  // sizes. Safe to call more than once.
  void Close();

  // Fixed at creation.
  const std::string urlText;  // exactly as the engine gave it
  const StreamUrl url;
  const HttpRequestData httpData;

  // List lock.
  int32_t key;  // -1 after Close
  bool discard = false;
  wxURLError error;  // the URL's error code, then the open's or the read's
  bool streamOpen = false;
  bool endOfData = false;
  uint32_t receivedSize = 0;
  int32_t contentLength = 0;
  uint32_t capacity = 0;
  std::unique_ptr<uint8_t[]> buffer;
  // The block the engine was last handed, kept after the buffer grew until
  // the engine's next query of this key; bufferHandedOut says whether the
  // current buffer was handed out since it was made.
  std::unique_ptr<uint8_t[]> retiredBuffer;
  bool bufferHandedOut = false;
  std::optional<std::string> headerText;

  // Worker.
  std::unique_ptr<BodySource> stream;
};
