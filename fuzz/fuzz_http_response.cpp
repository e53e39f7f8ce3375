// The HTTP response reader over an arbitrary byte stream. The reader has no
// seam below its TCP connection, so the bytes come from a real peer on the
// loopback interface: it takes the request, sends the input in writes of a
// chosen size, half-closes and waits for the reader to hang up. Checked: an
// open either fails as a protocol error or gives a body and the reported
// headers; the body is exactly the bytes after the head, met exactly at an
// announced length or read to the peer's close; the end states stick; and
// the result does not depend on how the peer cut its writes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "net/transfer.h"

namespace {

// How long the peer waits for the reader at any step; far beyond what a
// loopback exchange needs, and short of libFuzzer's per-input time-out.
constexpr int kPeerWaitMs = 5000;
// Enough for a header block past its limit; more only slows the run.
constexpr size_t kMaxReply = 256 * 1024;

class Socket {
 public:
  explicit Socket(int fd = -1) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

bool WaitFor(int fd, short events) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, kPeerWaitMs) > 0;
}

// One listening socket for the whole run, on a port the system picks.
class LoopbackPeer {
 public:
  LoopbackPeer() : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool ready = listener_.Fd() >= 0 &&
                       ::bind(listener_.Fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::listen(listener_.Fd(), 8) == 0 &&
                       ::getsockname(listener_.Fd(), reinterpret_cast<sockaddr*>(&address), &length) == 0;
    FUZZ_CHECK(ready, std::string("cannot listen on the loopback interface"));
    port_ = ntohs(address.sin_port);
  }

  int Port() const { return port_; }

  // Serves one connection: reads requestSize bytes, sends reply in writes
  // of at most piece bytes, half-closes, then reads until the reader closes.
  void ServeOne(size_t requestSize, const std::string& reply, size_t piece) const {
    if (!WaitFor(listener_.Fd(), POLLIN)) return;
    const Socket connection(::accept4(listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
    if (connection.Fd() < 0) return;
    const int on = 1;
    ::setsockopt(connection.Fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    char buffer[4096];
    for (size_t got = 0; got < requestSize;) {
      if (!WaitFor(connection.Fd(), POLLIN)) return;
      const ssize_t n = ::recv(connection.Fd(), buffer, sizeof buffer, 0);
      if (n <= 0) return;
      got += static_cast<size_t>(n);
    }
    for (size_t sent = 0; sent < reply.size();) {
      const size_t want = std::min(piece, reply.size() - sent);
      const ssize_t n = ::send(connection.Fd(), reply.data() + sent, want, MSG_NOSIGNAL);
      if (n <= 0) break;  // the reader gave up and hung up
      sent += static_cast<size_t>(n);
    }
    ::shutdown(connection.Fd(), SHUT_WR);
    // Draining until the reader closes keeps unread bytes from turning the
    // close into a reset that could overtake the reply.
    while (WaitFor(connection.Fd(), POLLIN) && ::recv(connection.Fd(), buffer, sizeof buffer, 0) > 0) {
    }
  }

 private:
  Socket listener_;
  int port_ = 0;
};

// The reader's limits sit at 64 KiB a line and 100 KiB of headers, far past
// the inputs libFuzzer grows by itself: byte 0xFF followed by k > 0 stands
// for k KiB of "a", and followed by 0 for 0xFF itself.
std::string Expanded(const uint8_t* data, size_t size) {
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != 0xFF || i + 1 == size) {
      out += static_cast<char>(data[i]);
      continue;
    }
    const uint8_t kib = data[++i];
    if (kib == 0)
      out += static_cast<char>(0xFF);
    else
      out.append(size_t{kib} * 1024, 'a');
    if (out.size() > kMaxReply) break;
  }
  return out;
}

// Where the body begins in a reply the reader accepted: after the first
// empty line ("\n" or "\r\n" alone) that follows a status line, or right
// after the first line when that is no status line (which is then lost).
size_t BodyStart(const std::string& reply) {
  const size_t firstEnd = reply.find('\n');
  if (firstEnd == std::string::npos) return reply.size();
  if (reply.substr(0, firstEnd).find("HTTP/") == std::string::npos) return firstEnd + 1;
  for (size_t end = firstEnd; end != std::string::npos; end = reply.find('\n', end + 1)) {
    if (reply.compare(end + 1, 1, "\n") == 0) return end + 2;
    if (reply.compare(end + 1, 2, "\r\n") == 0) return end + 3;
  }
  return reply.size();
}

bool HeaderLinesWellFormed(const std::string& text) {
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t end = text.find('\n', begin);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(begin, end - begin);
    bool known = false;
    for (const char* name : {"Content-Length: ", "Set-Cookie: ", "Last-Modified: ", "ETag: "}) {
      const std::string prefix(name);
      known = known || (line.size() > prefix.size() && line.compare(0, prefix.size(), prefix) == 0);
    }
    if (!known) return false;
    begin = end + 1;
  }
  return true;
}

// What the reader made of one exchange.
struct Outcome {
  wxURLError error = wxURL_NOERR;
  int32_t contentLength = 0;
  std::string headerText;
  std::string body;
  BodySource::State state = BodySource::State::More;

  bool operator==(const Outcome& other) const {
    return error == other.error && contentLength == other.contentLength && headerText == other.headerText &&
           body == other.body && state == other.state;
  }
  std::string Describe() const {
    return "error " + std::to_string(static_cast<int>(error)) + ", length " + std::to_string(contentLength) +
           ", headers [" + headerText + "], body " + std::to_string(body.size()) + " bytes, state " +
           std::to_string(static_cast<int>(state));
  }
};

// One request to the peer, which answers with reply in writes of piece
// bytes; the body is read in blocks of block bytes.
Outcome Exchange(const std::string& reply, size_t piece, bool post, size_t block) {
  static const LoopbackPeer peer;
  const std::string address = "http://127.0.0.1:" + std::to_string(peer.Port()) + "/fuzz?x=1";
  const StreamUrl url = ParseStreamUrl(address);
  FUZZ_CHECK(url.error == wxURL_NOERR, address);
  HttpRequestData request;
  request.contentType = "application/x-www-form-urlencoded";
  if (post) request.body = "name=value&other=1";
  TransferContext context;
  context.timeoutMs = kPeerWaitMs;

  Outcome outcome;
  std::thread server([&] { peer.ServeOne(BuildHttpRequest(url, request, false).size(), reply, piece); });
  {
    OpenResult opened = OpenHttp(url, request, context);
    outcome.error = opened.error;
    outcome.contentLength = opened.contentLength;
    FUZZ_CHECK(opened.error == wxURL_NOERR || opened.error == wxURL_PROTOERR,
               "error " + std::to_string(static_cast<int>(opened.error)));
    FUZZ_CHECK((opened.error == wxURL_NOERR) == (opened.body != nullptr), "body and error disagree");
    if (opened.body) {
      FUZZ_CHECK(opened.headerText.has_value(), std::string("no header text"));
      outcome.headerText = *opened.headerText;
      FUZZ_CHECK(HeaderLinesWellFormed(outcome.headerText), outcome.headerText);
      if (opened.contentLength > 0)
        FUZZ_CHECK(outcome.headerText.find("Content-Length: ") != std::string::npos, outcome.headerText);

      std::string& body = outcome.body;
      std::vector<uint8_t> buffer(block);
      BodySource::State& state = outcome.state;
      size_t reads = 0;
      while (state == BodySource::State::More) {
        // Eof may come early only for an empty body of known length.
        const bool eofBefore = opened.body->Eof();
        const BodySource::ReadResult read = opened.body->Read(buffer.data(), buffer.size());
        if (eofBefore)
          FUZZ_CHECK(read.count == 0 && read.state == BodySource::State::End && opened.contentLength == 0,
                     "Eof before the end of the data");
        FUZZ_CHECK(read.count <= buffer.size(), std::to_string(read.count));
        body.append(reinterpret_cast<const char*>(buffer.data()), read.count);
        state = read.state;
        // Each block waits for capacity bytes or the end: the sent bytes
        // bound the number of reads.
        FUZZ_CHECK(++reads <= reply.size() / block + 2, "reads do not progress");
      }
      FUZZ_CHECK(body.size() <= reply.size(), "more body than bytes sent");
      const size_t bodyStart = BodyStart(reply);
      FUZZ_CHECK(reply.compare(bodyStart, body.size(), body) == 0, "the body is not the bytes after the head");
      if (state == BodySource::State::End) {
        FUZZ_CHECK(opened.body->Eof(), "End without Eof");
        if (opened.contentLength > 0)
          FUZZ_CHECK(body.size() == static_cast<size_t>(opened.contentLength),
                     "announced " + std::to_string(opened.contentLength) + ", got " + std::to_string(body.size()));
        else if (opened.contentLength < 0 || !body.empty())  // not an announced empty body
          FUZZ_CHECK(bodyStart + body.size() == reply.size(), "a body read to the close missed its end");
      }
      const BodySource::ReadResult after = opened.body->Read(buffer.data(), buffer.size());
      FUZZ_CHECK(after.count == 0 && after.state == state, "the end state did not stick");
    }
  }  // the reader hangs up here, which ends the peer's drain
  server.join();
  return outcome;
}

}  // namespace

int FuzzHttpResponse(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // Byte 0: bit 0 makes the request a POST; bits 1-7 set the size of the
  // peer's writes (0: one write) and bits 4-7 the reader's block size; both
  // are scaled up for long replies, to keep a run fast. The rest is the reply,
  // expanded as above.
  const uint8_t setup = data[0];
  const std::string reply = Expanded(data + 1, size - 1);
  const bool post = (setup & 1) != 0;
  const size_t block = 1 + static_cast<size_t>(setup >> 4) * 997 + (reply.size() > 4096 ? 4096 : 0);
  const size_t whole = reply.size() + 1;

  const Outcome inOneWrite = Exchange(reply, whole, post, block);
  if ((setup >> 1) == 0) return 0;
  const size_t piece = static_cast<size_t>(setup >> 1) * (reply.size() > 4096 ? 512 : 1);
  // How the peer cuts its writes must not change what the reader makes of
  // the bytes.
  const Outcome inPieces = Exchange(reply, piece, post, block);
  FUZZ_CHECK(inPieces == inOneWrite, "in one write: " + inOneWrite.Describe() + "\n  in writes of " +
                                         std::to_string(piece) + ": " + inPieces.Describe());
  return 0;
}
