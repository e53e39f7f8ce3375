#include <algorithm>
#include <cctype>
#include <climits>
#include <map>

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

// The connection's input with a small read-ahead, so that lines can be taken
// off it and the rest handed to the body.
class BufferedInput {
 public:
  explicit BufferedInput(TcpConnection connection) : connection_(std::move(connection)) {}

  // A line without its "\n" or "\r\n". Fails (Failed) past maxLength bytes.
  IoStatus ReadLine(std::string& line, size_t maxLength) {
    line.clear();
    for (;;) {
      const auto begin = pending_.begin() + static_cast<std::ptrdiff_t>(offset_);
      const auto newline = std::find(begin, pending_.end(), '\n');
      const size_t available = static_cast<size_t>(newline - begin);
      if (line.size() + available > maxLength + 1) return IoStatus::Failed;
      line.append(begin, newline);
      if (newline != pending_.end()) {
        offset_ += available + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line.size() > maxLength ? IoStatus::Failed : IoStatus::Ok;
      }
      // The piece is in line now; a line that arrives in pieces must not
      // take the earlier ones twice.
      offset_ += available;
      const IoStatus filled = Fill();
      if (filled != IoStatus::Ok) return filled;
    }
  }

  // Waits until want bytes are in destination or the input ended.
  IoStatus ReadFull(uint8_t* destination, size_t want, size_t& got) {
    got = std::min(want, pending_.size() - offset_);
    std::copy_n(pending_.data() + offset_, got, destination);
    offset_ += got;
    while (got < want) {
      size_t n = 0;
      const IoStatus status = connection_.ReadSome(reinterpret_cast<char*>(destination) + got, want - got, n);
      if (status != IoStatus::Ok) return status;
      got += n;
    }
    return IoStatus::Ok;
  }

  void Close() { connection_.Close(); }

 private:
  IoStatus Fill() {
    pending_.erase(0, offset_);
    offset_ = 0;
    char chunk[16 * 1024];
    size_t n = 0;
    const IoStatus status = connection_.ReadSome(chunk, sizeof chunk, n);
    pending_.append(chunk, n);
    return status;
  }

  TcpConnection connection_;
  std::string pending_;
  size_t offset_ = 0;
};

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

// "Content-Length" as a number; nullopt when it is not one.
std::optional<int64_t> ParseLength(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
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
  if (url.host.empty()) return Failure(wxURL_NOHOST);
  TcpConnection connection(context.timeoutMs, context.cancel);
  const ConnectStatus connected = context.proxy ? connection.Connect(context.proxy->host, context.proxy->port)
                                                : connection.Connect(url.host, url.port.empty() ? "80" : url.port);
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
