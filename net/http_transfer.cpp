#include <algorithm>
#include <cctype>
#include <climits>
#include <map>

#include "net/buffered_input.h"
#include "net/transfer.h"

namespace {

std::string Base64(std::string_view bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += alphabet[v >> 18 & 63];
    out += alphabet[v >> 12 & 63];
    out += alphabet[v >> 6 & 63];
    out += alphabet[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += alphabet[v >> 18 & 63];
    out += alphabet[v >> 12 & 63];
    out += i + 1 < bytes.size() ? alphabet[v >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

class HttpBody : public BodySource {
 public:
  // remaining < 0: the body ends when the server closes.
  HttpBody(BufferedInput input, int64_t remaining) : input_(std::move(input)), remaining_(remaining) {
    if (remaining_ == 0) End();
  }

  ReadResult Read(uint8_t* destination, size_t capacity) override {
    if (ended_) return {0, State::End};
    if (failed_) return {0, State::Failed};
    size_t want = capacity;
    if (remaining_ >= 0) want = static_cast<size_t>(std::min<int64_t>(remaining_, static_cast<int64_t>(capacity)));
    size_t got = 0;
    const IoStatus status = input_.ReadFull(destination, want, got);
    if (remaining_ >= 0) remaining_ -= static_cast<int64_t>(got);
    if (status == IoStatus::Ok) {
      if (remaining_ == 0) End();
      return {got, ended_ ? State::End : State::More};
    }
    // A close before the announced length is a failure, not an end.
    if (status == IoStatus::Closed && remaining_ < 0) {
      End();
      return {got, State::End};
    }
    failed_ = true;
    input_.Close();
    return {got, State::Failed};
  }

  bool Eof() const override { return ended_; }

 private:
  void End() {
    ended_ = true;
    input_.Close();
  }

  BufferedInput input_;
  int64_t remaining_;
  bool ended_ = false;
  bool failed_ = false;
};

// "Content-Length" read as atoi reads it: leading white space, an optional
// sign, then the digits up to the first other character ("12abc" is 12).
// nullopt when no digit follows: such a header announces no length. A value
// beyond 32 bits is kept large enough for the caller to refuse it.
std::optional<int64_t> ParseLength(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    value = value * 10 + (c - '0');
    if (value > int64_t{1} << 40) value = int64_t{1} << 40;  // far beyond any allowed length
  }
  return negative ? -value : value;
}

OpenResult Failure(wxURLError error) {
  OpenResult result;
  result.error = error;
  return result;
}

}  // namespace

std::string BuildHttpRequest(const StreamUrl& url, const HttpRequestData& data, bool throughProxy) {
  std::string request = data.body.empty() ? "GET " : "POST ";
  request += throughProxy ? url.ProxyTarget() : url.RequestTarget();
  request += " HTTP/1.0\r\n";
  request += "Host: " + url.host + "\r\n";
  request += "Content-Type: " + data.contentType + "\r\n";
  request += "User-Agent: wxWidgets 2.x\r\n";
  request += "Keep-Alive: 300\r\n";
  if (url.hasUserInfo) {
    const size_t colon = url.userInfo.find(':');
    const std::string user = PercentDecode(url.userInfo.substr(0, colon));
    const std::string password = colon == std::string::npos ? "" : PercentDecode(url.userInfo.substr(colon + 1));
    if (!user.empty() || !password.empty()) request += "Authorization: Basic " + Base64(user + ":" + password) + "\r\n";
  }
  request += "\r\n";
  request += data.body;
  return request;
}

OpenResult OpenHttp(const StreamUrl& url, const HttpRequestData& data, const TransferContext& context) {
  // A control byte in the host would reach the Host line as it is.
  if (url.host.empty() || !url.HostIsPlain()) return Failure(wxURL_NOHOST);
  // A port out of range must not reach another one (the resolver would take
  // it modulo 65536, or a service name).
  const std::optional<std::string> port = url.ConnectPort("80");
  if (!port) return Failure(wxURL_CONNERR);
  TcpConnection connection(context.timeoutMs, context.cancel);
  const ConnectStatus connected = context.proxy ? connection.Connect(context.proxy->host, context.proxy->port)
                                                : connection.Connect(url.host, *port);
  if (connected == ConnectStatus::NoHost) return Failure(wxURL_NOHOST);
  if (connected == ConnectStatus::Refused) return Failure(wxURL_CONNERR);
  if (connected != ConnectStatus::Ok) return Failure(wxURL_PROTOERR);
  if (connection.WriteAll(BuildHttpRequest(url, data, context.proxy.has_value())) != IoStatus::Ok)
    return Failure(wxURL_PROTOERR);

  BufferedInput input(std::move(connection));
  std::string line;
  if (input.ReadLine(line, kMaxResponseLine) != IoStatus::Ok) return Failure(wxURL_PROTOERR);

  // Lower-cased name to value; the last of a repeated name counts.
  std::map<std::string, std::string> headers;
  if (line.find("HTTP/") == std::string::npos) {
    // No status line: taken as a response of unknown length; the line is lost.
    headers["content-length"] = "-1";
    headers["content-type"] = "none/none";
  } else {
    const size_t blank = line.find(' ');
    const char digit = blank == std::string::npos || blank + 1 >= line.size() ? '\0' : line[blank + 1];
    if (digit < '1' || digit > '3') return Failure(wxURL_PROTOERR);
    size_t headerBytes = 0;
    for (;;) {
      if (input.ReadLine(line, kMaxResponseLine) != IoStatus::Ok) return Failure(wxURL_PROTOERR);
      if (line.empty()) break;
      headerBytes += line.size() + 2;
      if (headerBytes > kMaxResponseHeaders) return Failure(wxURL_PROTOERR);
      const size_t colon = line.find(':');
      const std::string_view text(line);
      headers[Lower(Trim(text.substr(0, colon)))] =
          colon == std::string::npos ? std::string() : std::string(Trim(text.substr(colon + 1)));
    }
  }

  OpenResult result;
  std::string headerText;
  for (const char* name : {"Content-Length", "Set-Cookie", "Last-Modified", "ETag"}) {
    const auto found = headers.find(Lower(name));
    if (found == headers.end() || found->second.empty()) continue;
    headerText += std::string(name) + ": " + found->second + "\n";
  }
  int64_t remaining = -1;
  const auto length = headers.find("content-length");
  if (length != headers.end() && !length->second.empty()) {
    const std::optional<int64_t> value = ParseLength(length->second);
    if (value && *value > INT32_MAX) return Failure(wxURL_PROTOERR);
    if (value && *value < INT32_MIN) return Failure(wxURL_PROTOERR);
    if (value) {
      result.contentLength = static_cast<int32_t>(*value);
      remaining = *value;
    }
  }
  result.headerText = std::move(headerText);
  result.body = std::make_unique<HttpBody>(std::move(input), remaining < 0 ? -1 : remaining);
  return result;
}

OpenResult OpenTransfer(const StreamUrl& url, const HttpRequestData& data, const TransferContext& context) {
  switch (url.Kind()) {
    case UrlKind::Http:
      return OpenHttp(url, data, context);
    case UrlKind::File:
      return OpenFile(url);
    case UrlKind::Ftp:
      return OpenFtp(url, context);
    case UrlKind::Other:
      break;
  }
  return Failure(wxURL_NOPROTO);
}
