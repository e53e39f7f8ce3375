#include "net/stream_request.h"

#include <utility>

StreamRequest::StreamRequest(int32_t engineKey, std::string urlBytes, HttpRequestData data)
    : urlText(std::move(urlBytes)),
      url(ParseStreamUrl(urlText)),
      httpData(std::move(data)),
      key(engineKey),
      error(url.error) {}

StreamRequest::~StreamRequest() { Close(); }

void StreamRequest::Close() {
  key = -1;
  stream.reset();
  buffer.reset();
  retiredBuffer.reset();
  bufferHandedOut = false;
  headerText.reset();
}
