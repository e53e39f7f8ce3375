// ftp URLs: a passive-mode retrieval of our own on TcpConnection, so that every
// wait (control replies and data alike) gives up at the socket time-out and
// once a close is requested. The toolkit's client waits on its data socket for
// its full time-out, and its destruction waits for the server's last reply.
#include <cctype>
#include <cstdio>
#include <optional>

#include "net/buffered_input.h"
#include "net/transfer.h"

namespace {

struct Reply {
  int code = 0;      // the three digits
  std::string line;  // the last line
};

// One reply, multi-line replies included ("227-..." up to "227 ...").
bool ReadReply(BufferedInput& control, Reply& reply) {
  std::string line;
  if (control.ReadLine(line, kMaxResponseLine) != IoStatus::Ok) return false;
  if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0])) ||
      !std::isdigit(static_cast<unsigned char>(line[1])) || !std::isdigit(static_cast<unsigned char>(line[2])))
    return false;
  reply.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
  if (line.size() > 3 && line[3] == '-') {
    const std::string last = line.substr(0, 3) + " ";
    size_t total = 0;
    do {
      total += line.size() + 2;
      if (total > kMaxResponseHeaders) return false;
      if (control.ReadLine(line, kMaxResponseLine) != IoStatus::Ok) return false;
    } while (line.compare(0, 4, last) != 0);
  }
  reply.line = std::move(line);
  return true;
}

// Skips preliminary (1xx) replies where a final one is due.
bool ReadFinalReply(BufferedInput& control, Reply& reply) {
  for (int i = 0; i < 8; ++i) {
    if (!ReadReply(control, reply)) return false;
    if (reply.code >= 200) return true;
  }
  return false;
}

bool Command(BufferedInput& control, const std::string& command, Reply& reply) {
  return control.WriteAll(command + "\r\n") == IoStatus::Ok && ReadReply(control, reply);
}

// A line break in an argument would start a command of its own.
bool IsPlainArgument(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

// The port of "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)".
std::optional<std::string> PassivePort(const std::string& line) {
  size_t start = line.find('(');
  if (start == std::string::npos) start = line.find_first_of("0123456789", 4);
  else ++start;
  if (start == std::string::npos || start >= line.size()) return std::nullopt;
  int a[6] = {};
  if (std::sscanf(line.c_str() + start, "%d,%d,%d,%d,%d,%d", &a[0], &a[1], &a[2], &a[3], &a[4], &a[5]) != 6)
    return std::nullopt;
  for (int v : a)
    if (v < 0 || v > 255) return std::nullopt;
  const int port = a[4] * 256 + a[5];
  if (port == 0) return std::nullopt;
  return std::to_string(port);
}

class FtpBody : public BodySource {
 public:
  FtpBody(BufferedInput control, BufferedInput data) : control_(std::move(control)), data_(std::move(data)) {}

  ReadResult Read(uint8_t* destination, size_t capacity) override {
    if (ended_) return {0, State::End};
    if (failed_) return {0, State::Failed};
    size_t got = 0;
    const IoStatus status = data_.ReadFull(destination, capacity, got);
    if (status == IoStatus::Ok) return {got, State::More};
    data_.Close();
    // The data connection closing is the end only when the server confirms
    // the transfer; an aborted one is a failure, not a short file.
    Reply reply;
    if (status == IoStatus::Closed && ReadFinalReply(control_, reply) && reply.code < 300) {
      ended_ = true;
      control_.Close();
      return {got, State::End};
    }
    failed_ = true;
    control_.Close();
    return {got, State::Failed};
  }

  bool Eof() const override { return ended_; }

 private:
  BufferedInput control_;
  BufferedInput data_;
  bool ended_ = false;
  bool failed_ = false;
};

OpenResult Failure(wxURLError error) {
  OpenResult result;
  result.error = error;
  return result;
}

}  // namespace

OpenResult OpenFtp(const StreamUrl& url, const TransferContext& context) {
  if (url.host.empty() || !url.HostIsPlain()) return Failure(wxURL_NOHOST);
  const std::optional<std::string> port = url.ConnectPort("21");
  if (!port) return Failure(wxURL_CONNERR);
  std::string user = "anonymous";
  std::string password = "anonymous@";
  if (url.hasUserInfo) {
    const size_t colon = url.userInfo.find(':');
    user = PercentDecode(url.userInfo.substr(0, colon));
    password = colon == std::string::npos ? "" : PercentDecode(url.userInfo.substr(colon + 1));
  }
  const std::string path = PercentDecode(url.path.empty() ? "/" + url.FullPath() : url.FullPath());
  if (!IsPlainArgument(user) || !IsPlainArgument(password) || !IsPlainArgument(path))
    return Failure(wxURL_PROTOERR);

  TcpConnection connection(context.timeoutMs, context.cancel);
  const ConnectStatus connected = connection.Connect(url.host, *port);
  if (connected == ConnectStatus::NoHost) return Failure(wxURL_NOHOST);
  if (connected == ConnectStatus::Refused) return Failure(wxURL_CONNERR);
  if (connected != ConnectStatus::Ok) return Failure(wxURL_PROTOERR);
  BufferedInput control(std::move(connection));

  Reply reply;
  if (!ReadFinalReply(control, reply) || reply.code >= 300) return Failure(wxURL_PROTOERR);
  if (!Command(control, "USER " + user, reply)) return Failure(wxURL_PROTOERR);
  if (reply.code == 331 && !Command(control, "PASS " + password, reply)) return Failure(wxURL_PROTOERR);
  if (reply.code / 100 != 2) return Failure(wxURL_PROTOERR);
  if (!Command(control, "TYPE I", reply) || reply.code / 100 != 2) return Failure(wxURL_PROTOERR);
  if (!Command(control, "PASV", reply) || reply.code != 227) return Failure(wxURL_PROTOERR);
  // The data connection goes to the host we know, not to the address the
  // reply names, so a server cannot point it elsewhere.
  const std::optional<std::string> dataPort = PassivePort(reply.line);
  if (!dataPort) return Failure(wxURL_PROTOERR);
  TcpConnection data(context.timeoutMs, context.cancel);
  if (data.Connect(url.host, *dataPort) != ConnectStatus::Ok) return Failure(wxURL_PROTOERR);
  if (!Command(control, "RETR " + path, reply) || reply.code / 100 != 1) return Failure(wxURL_PROTOERR);

  OpenResult result;
  result.body = std::make_unique<FtpBody>(std::move(control), BufferedInput(std::move(data)));
  return result;
}
