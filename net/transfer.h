// Opening one request's URL and reading its body. HTTP goes through our own
// client (the request bytes must be exact, and every wait must be bounded and
// interruptible); file and ftp URLs through the toolkit's protocols as plain
// streams. Runs on the worker thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/stream_url.h"
#include "net/tcp_connection.h"

// An open transfer's data.
class BodySource {
 public:
  enum class State { More, End, Failed };
  struct ReadResult {
    size_t count = 0;
    State state = State::More;
  };

  virtual ~BodySource() = default;
  // Waits until capacity bytes arrived or the data ended. count bytes are
  // valid unless state is Failed.
  virtual ReadResult Read(uint8_t* destination, size_t capacity) = 0;
  // True once the end of the data was seen (also before any read of an empty
  // body with a known length).
  virtual bool Eof() const = 0;
};

struct OpenResult {
  wxURLError error = wxURL_NOERR;
  std::unique_ptr<BodySource> body;  // set exactly when error is wxURL_NOERR
  // The reported response headers; only for HTTP.
  std::optional<std::string> headerText;
  // The announced "Content-Length" (-1 for a headerless response), else 0.
  int32_t contentLength = 0;
};

struct HttpRequestData {
  std::string contentType;  // the value of the "Content-Type" line
  std::string body;         // non-empty makes a POST
};

struct TransferContext {
  int timeoutMs = 600 * 1000;
  TcpConnection::CancelCheck cancel;
  std::optional<ProxyAddress> proxy;
};

// The request exactly as it goes on the wire.
std::string BuildHttpRequest(const StreamUrl& url, const HttpRequestData& data, bool throughProxy);

// Longest status or header line, and most header bytes, that a response may
// have before the open fails as a protocol error.
constexpr size_t kMaxResponseLine = 64 * 1024;
constexpr size_t kMaxResponseHeaders = 100 * 1024;

OpenResult OpenHttp(const StreamUrl& url, const HttpRequestData& data, const TransferContext& context);
OpenResult OpenToolkitStream(const StreamUrl& url, const TransferContext& context);
