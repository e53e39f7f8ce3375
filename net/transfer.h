// Opening one request's URL and reading its body. Runs on the worker thread
// only. HTTP and FTP go through small clients of our own on TcpConnection (the
// request bytes must be exact, and every wait must be bounded and
// interruptible, which the toolkit's protocol classes are not); file URLs are
// read with plain system calls. file and ftp are plain streams without header
// text.
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
// Chooses by the URL's scheme; wxURL_NOPROTO for a scheme without a client.
OpenResult OpenTransfer(const StreamUrl& url, const HttpRequestData& data, const TransferContext& context);
// Regular files only: a FIFO, device or directory could block a read for good
// or never end, and fails as wxURL_PROTOERR. The path is FullPath
// percent-decoded into bytes, as the toolkit's file protocol took it.
OpenResult OpenFile(const StreamUrl& url);
// Passive-mode retrieval: login (anonymous without user information), binary
// type, PASV, RETR of the percent-decoded FullPath ("/" when empty). The data
// connection goes to the URL's host. The body ends when the server closes the
// data connection.
OpenResult OpenFtp(const StreamUrl& url, const TransferContext& context);
