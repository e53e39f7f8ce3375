// Servers that misbehave, one row per fault: what the engine then sees
// through QueryStream, that the callbacks keep answering while the worker is
// stuck in a transfer, that a close still ends the service, and that no
// connection is left open. Meant to run under the sanitizers as well.
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "net/stream_callbacks.h"
#include "raw_peer.h"
#include "stream_fixture.h"

namespace {

enum class Server {
  Canned,       // answers from the row's canned response
  Refusing,     // a port with nothing listening
  NeverReading  // accepts and never reads
};

struct FaultCase {
  const char* name;
  Server server;
  CannedResponse response;
  size_t postSize;  // 0: GET; else a POST of this many bytes
  // The transfer blocks the worker's pass until the socket time-out or a
  // close; meanwhile the engine sees it under way with these values.
  bool stalls;
  int32_t stalledLength;
  const char* stalledHeader;
  // Outcome: complete with this body, length, header text and buffer
  // capacity; otherwise failed.
  bool completes;
  std::string data;
  int32_t length;
  const char* header;
  uint32_t capacity;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

// Open sockets of this process; a leaked connection shows here.
size_t OpenSockets() {
  size_t count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  while (const dirent* entry = ::readdir(dir)) {
    char target[64] = {};
    const std::string path = std::string("/proc/self/fd/") + entry->d_name;
    if (::readlink(path.c_str(), target, sizeof target - 1) > 0 && std::string(target).rfind("socket:", 0) == 0)
      ++count;
  }
  ::closedir(dir);
  return count;
}

// A bound port without a listener: connecting to it is refused, and nothing
// else can take it meanwhile.
class RefusingPort {
 public:
  RefusingPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~RefusingPort() { ::close(fd_); }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/r"; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// The row's server and its request, registered under key 1.
class FaultScene {
 public:
  explicit FaultScene(const FaultCase& c) : case_(c) {
    if (c.server == Server::Canned) peer_.Serve("/r", c.response);
    if (c.server == Server::NeverReading) peer_.NeverRead();
  }

  bool Register() const {
    const std::string url = case_.server == Server::Refusing ? refusing_.Url() : peer_.Url("/r");
    if (case_.postSize == 0) return GetStream(1, url.c_str(), "Content-Type: text/plain\r\n");
    const std::string body(case_.postSize, 'p');
    return PostStream(1, url.c_str(), body.data(), static_cast<uint32_t>(body.size()), 0,
                      "Content-Type: application/octet-stream\r\n");
  }

  // Until the worker has reached the server.
  bool Reached() { return case_.server == Server::Refusing || peer_.WaitForRequests(1); }

 private:
  const FaultCase& case_;
  RawPeer peer_;
  RefusingPort refusing_;
};

bool LockBusy(StreamHost& host) {
  const wxMutexError locked = host.requestLock.TryLock();
  if (locked == wxMUTEX_NO_ERROR) host.requestLock.Unlock();
  return locked == wxMUTEX_BUSY;
}

// Runs calls on an engine thread of its own and waits for them with a
// generous guard: a hang, not a measurement. On a hang the close is requested
// so that whatever they wait for lets go.
bool AnswersWithoutWaiting(StreamHost& host, const std::function<void()>& calls) {
  std::packaged_task<void()> task(calls);
  std::future<void> done = task.get_future();
  std::thread engine(std::move(task));
  const bool answered = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  if (!answered) host.closeRequested = true;
  engine.join();
  return answered;
}

class Fault : public ::testing::TestWithParam<FaultCase> {};

// With a short socket time-out every fault reaches its final state.
TEST_P(Fault, EngineSeesTheDesignedOutcome) {
  const FaultCase& c = GetParam();
  const size_t socketsBefore = OpenSockets();
  {
    FaultScene scene(c);
    StreamService service(/*runWorker=*/true, /*socketTimeoutMs=*/1000);
    ASSERT_TRUE(scene.Register());
    const Poll p = WaitForOutcome(1);
    EXPECT_FALSE(p.result);
    if (c.completes) {
      ASSERT_TRUE(p.finished);
      EXPECT_EQ(p.Data(), c.data);
      EXPECT_EQ(p.size, c.data.size());
      EXPECT_EQ(p.length, c.length);
      ASSERT_NE(p.header, nullptr);
      EXPECT_STREQ(p.header, c.header);
      service.Inspect(0, [&](const StreamRequest& r) { EXPECT_EQ(r.capacity, c.capacity); });
      // Complete stays complete until released.
      const Poll again = Query(1);
      EXPECT_TRUE(again.finished);
      EXPECT_EQ(again.Data(), c.data);
      EXPECT_TRUE(ReleaseStream(1));
    } else {
      EXPECT_FALSE(p.finished);
      EXPECT_TRUE(p.Untouched());
    }
    // Failed requests go without the engine releasing them.
    EXPECT_TRUE(Eventually([&] { return service.host.requests.Count() == 0; }));
  }
  EXPECT_EQ(OpenSockets(), socketsBefore);
}

// With the full socket time-out the faults that stall hold the worker's pass;
// the engine's calls still answer at once and a close still ends the service.
TEST_P(Fault, CallbacksAnswerAndCloseEndsWhileTheTransferHangs) {
  const FaultCase& c = GetParam();
  const size_t socketsBefore = OpenSockets();
  {
    FaultScene scene(c);
    StreamService service(/*runWorker=*/true, /*socketTimeoutMs=*/600 * 1000);
    ASSERT_TRUE(scene.Register());
    ASSERT_TRUE(scene.Reached());
    // Stuck where the row stalls: the pass holds the lock, and the engine
    // sees the request under way with what had arrived.
    const auto stalledView = [&] {
      const Poll p = Query(1);
      const bool headerAsStalled = c.stalledHeader == nullptr
                                       ? p.header == nullptr
                                       : p.header != nullptr && std::string(p.header) == c.stalledHeader;
      return p.result && !p.finished && p.size == 0 && p.length == c.stalledLength && headerAsStalled;
    };
    if (c.stalls) {
      ASSERT_TRUE(Eventually([&] { return LockBusy(service.host) && stalledView(); }));
    }
    EXPECT_TRUE(AnswersWithoutWaiting(service.host, [&] {
      if (c.stalls) {
        EXPECT_TRUE(stalledView());
      }
      EXPECT_TRUE(GetStream(2, "no/scheme", "Content-Type: a\r\n"));
      EXPECT_TRUE(Query(2).result);
      EXPECT_TRUE(QueryStream(2, nullptr, nullptr, nullptr, nullptr, nullptr));
      EXPECT_TRUE(Query(99).Untouched());
      EXPECT_TRUE(ReleaseStream(2));
      EXPECT_TRUE(ReleaseStream(99));
    }));
    // They answered while the pass was still stuck in the transfer.
    if (c.stalls) {
      EXPECT_TRUE(LockBusy(service.host));
    }
    service.host.closeRequested = true;
    EXPECT_TRUE(Eventually([&] { return service.TryStop(); }));
    EXPECT_FALSE(GetStream(3, "no/scheme", "Content-Type: a\r\n"));
    EXPECT_FALSE(Query(1).result);
    service.worker.Join();
  }
  EXPECT_EQ(OpenSockets(), socketsBefore);
}

CannedResponse Canned(std::string bytes) { return CannedResponse{std::move(bytes)}; }

// Sends the head and the first `sent` bytes of the body, then stalls.
CannedResponse Stalled(const std::string& head, const std::string& body, size_t sent) {
  CannedResponse r{head + body};
  r.stallAt = head.size() + sent;
  return r;
}

CannedResponse Reset(std::string bytes) {
  CannedResponse r{std::move(bytes)};
  r.reset = true;
  return r;
}

// Sent a few bytes at a time, so that lines arrive in pieces.
CannedResponse Trickled(std::string bytes) {
  CannedResponse r{std::move(bytes)};
  r.chunk = 3;
  return r;
}

CannedResponse HeldOpen(std::string bytes) {
  CannedResponse r{std::move(bytes)};
  r.holdOpen = true;
  return r;
}

std::string HeaderLines(size_t count, const char* format) {
  std::vector<std::string> lines;
  char line[64];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, format, i);
    lines.emplace_back(line);
  }
  lines.emplace_back("Content-Length: 2");
  return HttpHead("200 OK", lines) + "ok";
}

const std::string kBody400(400, 'b');
const std::string kUntilClose = "read until the server closed";

FaultCase Fails(const char* name, Server server, CannedResponse response) {
  return FaultCase{name, server, std::move(response), 0, false, 0, nullptr, false, "", 0, nullptr, 0};
}

FaultCase Hangs(const char* name, CannedResponse response, int32_t length, const char* header) {
  return FaultCase{name, Server::Canned, std::move(response), 0, true, length, header, false, "", 0, nullptr, 0};
}

FaultCase Completes(const char* name, CannedResponse response, std::string data, int32_t length, const char* header,
                    uint32_t capacity) {
  return FaultCase{name,  Server::Canned, std::move(response), 0, false, 0, nullptr, true, std::move(data),
                   length, header,        capacity};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Fault,
    ::testing::Values(
        Fails("connectionRefused", Server::Refusing, {}),
        Fails("resetMidHeader", Server::Canned, Reset("HTTP/1.0 200 OK\r\nContent-Le")),
        // A reset is never an end of data, with or without a length.
        Fails("resetMidBodyWithLength", Server::Canned,
              Reset(HttpHead("200 OK", {"Content-Length: 1000"}) + kBody400)),
        Fails("resetMidBodyWithoutLength", Server::Canned, Reset(HttpHead("200 OK", {}) + kBody400)),
        Hangs("stallBeforeStatusLine", Stalled("", HttpHead("200 OK", {}), 0), 0, nullptr),
        Hangs("stallMidBody", Stalled(HttpHead("200 OK", {"Content-Length: 10"}), "0123456789", 5), 10,
              "Content-Length: 10\n"),
        Hangs("stallMidBodyWithoutLength", Stalled(HttpHead("200 OK", {}), "0123456789", 5), 0, ""),
        // A first line without "HTTP/" is the headerless form: the line is
        // lost and the rest is the body, up to the close.
        Completes("garbageStatusLine", Canned(std::string("\x00\xff\x13garbage\r\n", 12) + kUntilClose), kUntilClose,
                  -1, "Content-Length: -1\n", 524288),
        Fails("garbageWithoutLineEnd", Server::Canned, Canned(std::string(1000, '\x01'))),
        Fails("statusLineWithoutHeadersEnd", Server::Canned, Canned("HTTP/1.0 200 OK\r\nContent-Length: 2\r\nok")),
        Hangs("statusLineWithoutHeadersEndHeldOpen", HeldOpen("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n"), 0,
              nullptr),
        // Nothing grows without bound: a line past 64 KiB, a head past 100 KiB.
        Fails("endlessHeaderLine", Server::Canned,
              HeldOpen("HTTP/1.0 200 OK\r\nX-Endless: " + std::string(1 << 20, 'e'))),
        Fails("tenThousandHeaderLines", Server::Canned, Canned(HeaderLines(10000, "X-Header-%05zu: some value"))),
        // The limit is on bytes, not lines: 10,000 short lines are a valid head.
        Completes("tenThousandShortHeaderLines", Canned(HeaderLines(10000, "A: %zu")), "ok", 2,
                  "Content-Length: 2\n", 2),
        // No usable length (negative, or no digits at all): nothing allocated
        // in advance, the body ends at the close. The value is reported as
        // written.
        Completes("lengthMinusFive", Canned(HttpHead("200 OK", {"Content-Length: -5"}) + kUntilClose), kUntilClose,
                  -5, "Content-Length: -5\n", 524288),
        Completes("lengthNotANumber", Canned(HttpHead("200 OK", {"Content-Length: abc"}) + kUntilClose),
                  kUntilClose, 0, "Content-Length: abc\n", 524288),
        // The length is read as atoi reads it: the digits up to the first
        // other character announce it.
        Completes("lengthWithTrailingText", HeldOpen(HttpHead("200 OK", {"Content-Length: 12abc"}) + kUntilClose),
                  kUntilClose.substr(0, 12), 12, "Content-Length: 12abc\n", 12),
        Completes("lengthWithSign", HeldOpen(HttpHead("200 OK", {"Content-Length: +5"}) + "helloEXTRA"), "hello", 5,
                  "Content-Length: +5\n", 5),
        // Too large to hold: the request fails, nothing is allocated.
        Fails("lengthOfElevenDigits", Server::Canned,
              Canned(HttpHead("200 OK", {"Content-Length: 99999999999"}) + "x")),
        Completes("headTrickled",
                  Trickled(HttpHead("200 OK", {"Content-Length: 5", "ETag: \"abc\""}) + "hello"), "hello", 5,
                  "Content-Length: 5\nETag: \"abc\"\n", 5),
        // The body ends at the announced length; what follows is ignored.
        Completes("bodyLongerThanAnnounced", HeldOpen(HttpHead("200 OK", {"Content-Length: 5"}) + "helloEXTRA"),
                  "hello", 5, "Content-Length: 5\n", 5),
        FaultCase{"largePostNeverRead", Server::NeverReading, {}, 8 << 20, true, 0, nullptr, false, "", 0, nullptr,
                  0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
