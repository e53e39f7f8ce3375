// Transfers against real peers on 127.0.0.1: the request bytes on the wire,
// how responses are taken, the body buffer, and a real HTTP server.
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "net/stream_callbacks.h"
#include "net/worker_pass.h"
#include "nginx_server.h"
#include "raw_peer.h"
#include "stream_fixture.h"

namespace {

// True when a worker pass holds requestLock (a free lock is given back).
bool LockBusy(StreamHost& host) {
  const wxMutexError locked = host.requestLock.TryLock();
  if (locked == wxMUTEX_NO_ERROR) host.requestLock.Unlock();
  return locked == wxMUTEX_BUSY;
}

const std::string kOk = HttpHead("200 OK", {"Content-Length: 2"}) + "ok";

struct WireCase {
  const char* name;
  const char* path;     // on the peer
  const char* header;   // the engine's header text
  std::string body;     // posted when non-empty or when post is set
  bool post;
  const char* userInfo; // inserted before the host
  std::string expected; // PORT stands for the peer's port
};

class RequestOnTheWire : public ::testing::TestWithParam<WireCase> {};

TEST_P(RequestOnTheWire, HasTheExactBytes) {
  const WireCase& c = GetParam();
  RawPeer peer;
  peer.Serve(c.path, {kOk});
  StreamService service;
  const std::string url = "http://" + std::string(c.userInfo) + "127.0.0.1:" + std::to_string(peer.Port()) + c.path;
  if (c.post)
    ASSERT_TRUE(PostStream(1, url.c_str(), c.body.data(), static_cast<uint32_t>(c.body.size()), 0, c.header));
  else
    ASSERT_TRUE(GetStream(1, url.c_str(), c.header));
  ASSERT_TRUE(peer.WaitForRequests(1));
  EXPECT_EQ(peer.Requests()[0], c.expected);
}

const char kTail[] = "User-Agent: wxWidgets 2.x\r\nKeep-Alive: 300\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestOnTheWire,
    ::testing::Values(
        WireCase{"get", "/a%20b?q=1&r=2#frag", "Content-Type: text/plain\r\n", "", false, "",
                 "GET /a%20b?q=1&r=2#frag HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\n" +
                     std::string(kTail) + "\r\n"},
        WireCase{"headerLinesPassThrough", "/h", "Content-Type: a/b\r\nX-Extra: \xe9t\xe9\r\n", "", false, "",
                 "GET /h HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: a/b\r\nX-Extra: \xe9t\xe9\r\n" +
                     std::string(kTail) + "\r\n"},
        WireCase{"shortHeaderGivesEmptyType", "/s", "Content-Type: \r\n", "", false, "",
                 "GET /s HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: \r\n" + std::string(kTail) + "\r\n"},
        WireCase{"nonAsciiPath", "/caf\xe9", "Content-Type: a\r\n", "", false, "",
                 "GET /caf\xe9 HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: a\r\n" + std::string(kTail) + "\r\n"},
        WireCase{"postRawBody", "/p", "Content-Type: application/octet-stream\r\n", std::string("a\0\xff\r\nz", 6),
                 true, "",
                 "POST /p HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: application/octet-stream\r\n" +
                     std::string(kTail) + "\r\n" + std::string("a\0\xff\r\nz", 6)},
        WireCase{"emptyPostIsGet", "/e", "Content-Type: a\r\n", "", true, "",
                 "GET /e HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: a\r\n" + std::string(kTail) + "\r\n"},
        // Blanks and control bytes in the target can neither end the request
        // line nor start a header; other bytes stay raw.
        WireCase{"controlBytesEncoded", "/a b\r\nX: y\x7f\xe9?q r#f\tg", "Content-Type: a\r\n", "", false, "",
                 "GET /a%20b%0D%0AX:%20y%7F\xe9?q%20r#f%09g HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: a\r\n" +
                     std::string(kTail) + "\r\n"},
        WireCase{"userInfo", "/u", "Content-Type: a\r\n", "", false, "u:p@",
                 "GET /u HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: a\r\n" + std::string(kTail) +
                     "Authorization: Basic dTpw\r\n\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

class ThroughProxy : public ::testing::TestWithParam<const char*> {};

TEST_P(ThroughProxy, SendsTheWholeUrlInTheRequestLine) {
  RawPeer proxy;
  proxy.Serve("/p?q=1", {kOk});
  ::setenv("HTTP_PROXY", (GetParam() + std::to_string(proxy.Port())).c_str(), 1);
  {
    StreamService service;
    ASSERT_TRUE(GetStream(1, "http://origin.invalid:8080/p?q=1", "Content-Type: a\r\n"));
    EXPECT_EQ(WaitForOutcome(1).Data(), "ok");
  }
  ::unsetenv("HTTP_PROXY");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0], "GET http://origin.invalid:8080/p?q=1 HTTP/1.0\r\nHost: origin.invalid\r\n"
                                 "Content-Type: a\r\n" + std::string(kTail) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Forms, ThroughProxy, ::testing::Values("127.0.0.1:", "http://127.0.0.1:"));

struct ResponseCase {
  const char* name;
  CannedResponse response;
  bool completes;          // else fails
  std::string data;
  int32_t contentLength;
  const char* headerText;
  uint32_t capacity;
  size_t reallocs;
};

class Response : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(Response, IsTakenAsTheEngineExpects) {
  const ResponseCase& c = GetParam();
  RawPeer peer;
  peer.Serve("/r", c.response);
  StreamService service;
  const TraceCapture trace;
  ASSERT_TRUE(GetStream(1, peer.Url("/r").c_str(), "Content-Type: a\r\n"));
  const Poll p = WaitForOutcome(1);
  if (!c.completes) {
    EXPECT_TRUE(p.Untouched());
    EXPECT_FALSE(p.finished);
    return;
  }
  ASSERT_TRUE(p.finished);
  EXPECT_EQ(p.Data(), c.data);
  EXPECT_EQ(p.length, c.contentLength);
  ASSERT_NE(p.header, nullptr);
  EXPECT_STREQ(p.header, c.headerText);
  service.Inspect(0, [&](const StreamRequest& r) { EXPECT_EQ(r.capacity, c.capacity); });
  size_t reallocs = 0;
  const std::string text = trace.Text();
  for (size_t at = text.find("realloc stream\n"); at != std::string::npos; at = text.find("realloc stream\n", at + 1))
    ++reallocs;
  EXPECT_EQ(reallocs, c.reallocs);
  // A complete request keeps answering the same until released.
  const Poll again = Query(1);
  EXPECT_FALSE(again.result);
  EXPECT_TRUE(again.finished);
  EXPECT_EQ(again.Data(), c.data);
}

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i * 7 % 26);
  return s;
}

CannedResponse Held(std::string bytes) {
  CannedResponse r{std::move(bytes)};
  r.holdOpen = true;
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Response,
    ::testing::Values(
        // The body ends at the announced length; the server keeps the connection.
        ResponseCase{"withLength", Held(HttpHead("200 OK", {"Content-Length: 1000", "ETag: \"e\""}) + Bytes(1000)),
                     true, Bytes(1000), 1000, "Content-Length: 1000\nETag: \"e\"\n", 1000, 0},
        ResponseCase{"withoutLengthGrows", {HttpHead("200 OK", {}) + Bytes(600000)}, true, Bytes(600000), 0, "",
                     1048576, 2},
        ResponseCase{"redirectBodyIsData",
                     {HttpHead("302 Found", {"Location: /elsewhere", "Content-Length: 12"}) + "redirectbody"}, true,
                     "redirectbody", 12, "Content-Length: 12\n", 12, 0},
        ResponseCase{"headerless", {"no status here\r\nsecond line\r\n"}, true, "second line\r\n", -1,
                     "Content-Length: -1\n", 524288, 1},
        ResponseCase{"lastOfRepeatedHeaders",
                     {HttpHead("200 OK", {"Set-Cookie: a=1", "ETag: \"x\"", "Last-Modified: Mon, 01 Jan 2024 00:00:00 GMT",
                                          "set-cookie: b=2", "Content-Length: 1"}) +
                      "z"},
                     true, "z", 1,
                     "Content-Length: 1\nSet-Cookie: b=2\nLast-Modified: Mon, 01 Jan 2024 00:00:00 GMT\nETag: \"x\"\n", 1,
                     0},
        // An announced length of 0 is a complete, empty body.
        ResponseCase{"emptyWithLength", Held(HttpHead("200 OK", {"Content-Length: 0"})), true, "", 0,
                     "Content-Length: 0\n", 0, 0},
        ResponseCase{"status404", {HttpHead("404 Not Found", {"Content-Length: 3"}) + "no!"}, false, "", 0, "", 0, 0},
        ResponseCase{"status500", {HttpHead("500 Oops", {}) + "x"}, false, "", 0, "", 0, 0},
        // A close before the announced length is a failure, not a short success.
        ResponseCase{"prematureClose", {HttpHead("200 OK", {"Content-Length: 1000"}) + Bytes(400)}, false, "", 0, "",
                     0, 0},
        ResponseCase{"closedBeforeStatus", {""}, false, "", 0, "", 0, 0},
        // Lengths that cannot be held fail the request.
        ResponseCase{"lengthAboveInt32", {HttpHead("200 OK", {"Content-Length: 3000000000"}) + "x"}, false, "", 0, "",
                     0, 0},
        ResponseCase{"lengthHuge", {HttpHead("200 OK", {"Content-Length: 99999999999999999999999"}) + "x"}, false, "",
                     0, "", 0, 0},
        // Nothing grows without bound while the head is read.
        ResponseCase{"longHeaderLine", {HttpHead("200 OK", {"X-Long: " + std::string(70000, 'x')})}, false, "", 0, "",
                     0, 0},
        ResponseCase{"longStatusLine", {"HTTP/1.0 200 " + std::string(70000, 'x') + "\r\n\r\n"}, false, "", 0, "", 0,
                     0},
        ResponseCase{"tooManyHeaderBytes",
                     {HttpHead("200 OK", std::vector<std::string>(120, "X-Filler: " + std::string(1000, 'f')))}, false,
                     "", 0, "", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StreamTransfer, RefusedAllocationFailsTheRequest) {
  RawPeer peer;
  peer.Serve("/big", {HttpHead("200 OK", {"Content-Length: 5000"}) + Bytes(5000)});
  peer.Serve("/grow", {HttpHead("200 OK", {}) + Bytes(5000)});
  SetBodyAllocationLimit(4096);
  {
    StreamService service;
    const TraceCapture trace;
    ASSERT_TRUE(GetStream(1, peer.Url("/big").c_str(), "Content-Type: a\r\n"));
    ASSERT_TRUE(GetStream(2, peer.Url("/grow").c_str(), "Content-Type: a\r\n"));
    for (int key : {1, 2}) {
      const Poll p = WaitForOutcome(key);
      EXPECT_TRUE(p.Untouched()) << key;
      EXPECT_FALSE(p.finished) << key;
    }
    // A growth that the limit refuses is not announced.
    EXPECT_EQ(trace.Text().find("realloc stream"), std::string::npos);
  }
  SetBodyAllocationLimit(kDefaultBodyLimit);
}

// A body without length may fill the allocation limit exactly (the last
// growth stops at it), and fails one byte beyond.
TEST(StreamTransfer, BodyWithoutLengthEndsAtTheLimit) {
  constexpr size_t kLimit = 600000;
  RawPeer peer;
  peer.Serve("/fits", {HttpHead("200 OK", {}) + Bytes(kLimit)});
  peer.Serve("/over", {HttpHead("200 OK", {}) + Bytes(kLimit + 1)});
  SetBodyAllocationLimit(kLimit);
  {
    StreamService service;
    ASSERT_TRUE(GetStream(1, peer.Url("/fits").c_str(), "Content-Type: a\r\n"));
    ASSERT_TRUE(GetStream(2, peer.Url("/over").c_str(), "Content-Type: a\r\n"));
    const Poll fits = WaitForOutcome(1);
    EXPECT_TRUE(fits.finished);
    EXPECT_EQ(fits.Data(), Bytes(kLimit));
    service.Inspect(0, [&](const StreamRequest& r) { EXPECT_EQ(r.capacity, kLimit); });
    const Poll over = WaitForOutcome(2);
    EXPECT_FALSE(over.finished);
    EXPECT_TRUE(over.Untouched());
  }
  SetBodyAllocationLimit(kDefaultBodyLimit);
}

TEST(StreamTransfer, TransferringShowsTheBytesHeldSoFar) {
  RawPeer peer;
  const std::string body = Bytes(300000);
  CannedResponse stalled{HttpHead("200 OK", {"Content-Length: 300000"}) + body};
  stalled.stallAt = stalled.bytes.size() - 1000;
  peer.Serve("/s", stalled);
  StreamService service;
  ASSERT_TRUE(GetStream(1, peer.Url("/s").c_str(), "Content-Type: a\r\n"));
  Poll p;
  ASSERT_TRUE(Eventually([&] {
    p = Query(1);
    return p.size > 0;
  }));
  EXPECT_TRUE(p.result);
  EXPECT_FALSE(p.finished);
  EXPECT_EQ(p.size, 262144u);
  EXPECT_EQ(p.length, 300000);
  EXPECT_EQ(p.Data(), body.substr(0, 262144));
  EXPECT_STREQ(p.header, "Content-Length: 300000\n");
  peer.ReleaseStalls();
  EXPECT_EQ(WaitForOutcome(1).Data(), body);
}

TEST(StreamTransfer, ReleaseDuringTransferClosesTheConnection) {
  RawPeer peer;
  CannedResponse stalled{HttpHead("200 OK", {"Content-Length: 300000"}) + Bytes(300000)};
  stalled.stallAt = 300000;
  peer.Serve("/s", stalled);
  StreamService service;
  ASSERT_TRUE(GetStream(1, peer.Url("/s").c_str(), "Content-Type: a\r\n"));
  ASSERT_TRUE(Eventually([&] { return Query(1).size > 0; }));
  EXPECT_TRUE(ReleaseStream(1));
  EXPECT_FALSE(Query(1).result);
  // The worker is stuck in its read until the rest comes; then it deletes.
  peer.ReleaseStalls();
  EXPECT_TRUE(Eventually([&] { return service.host.requests.Count() == 0; }));
  EXPECT_TRUE(peer.WaitForClientCloses(1));
}

TEST(StreamTransfer, PassHoldsRequestLockWhileBlocked) {
  RawPeer peer;
  CannedResponse stalled{HttpHead("200 OK", {"Content-Length: 10"}) + "0123456789"};
  stalled.stallAt = stalled.bytes.size() - 5;
  peer.Serve("/s", stalled);
  StreamService service;
  ASSERT_TRUE(GetStream(1, peer.Url("/s").c_str(), "Content-Type: a\r\n"));
  ASSERT_TRUE(peer.WaitForRequests(1));
  // The worker waits for the rest of the body inside its pass. The callbacks
  // still answer at once meanwhile.
  ASSERT_TRUE(Eventually([&] { return LockBusy(service.host); }));
  EXPECT_TRUE(Query(1).result);
  EXPECT_FALSE(service.TryStop());
  peer.ReleaseStalls();
  EXPECT_EQ(WaitForOutcome(1).Data(), "0123456789");
  ASSERT_TRUE(Eventually([&] { return service.TryStop(); }));
}

// Closing never waits on a stalled server: the blocked read gives up once a
// close is requested, even with the full socket time-out.
TEST(StreamTransfer, CloseInterruptsAStalledServer) {
  RawPeer peer;
  CannedResponse stalled{HttpHead("200 OK", {"Content-Length: 10"}) + "0123456789"};
  stalled.stallAt = stalled.bytes.size() - 5;
  peer.Serve("/body", stalled);
  CannedResponse noHead{HttpHead("200 OK", {})};
  noHead.stallAt = 4;
  peer.Serve("/head", noHead);
  for (const char* path : {"/body", "/head"}) {
    StreamService service(/*runWorker=*/true, /*socketTimeoutMs=*/600 * 1000);
    ASSERT_TRUE(GetStream(1, peer.Url(path).c_str(), "Content-Type: a\r\n"));
    ASSERT_TRUE(Eventually([&] { return LockBusy(service.host); }));
    service.host.closeRequested = true;
    EXPECT_TRUE(Eventually([&] { return service.TryStop(); }, std::chrono::seconds(30))) << path;
    service.worker.Join();
  }
}

TEST(StreamTransfer, StalledReadEndsAtTheSocketTimeout) {
  RawPeer peer;
  CannedResponse stalled{HttpHead("200 OK", {"Content-Length: 10"}) + "0123456789"};
  stalled.stallAt = stalled.bytes.size() - 5;
  peer.Serve("/s", stalled);
  StreamService service(/*runWorker=*/true, /*socketTimeoutMs=*/200);
  ASSERT_TRUE(GetStream(1, peer.Url("/s").c_str(), "Content-Type: a\r\n"));
  const Poll p = WaitForOutcome(1);
  EXPECT_TRUE(p.Untouched());
  EXPECT_FALSE(p.finished);
}

TEST(StreamTransfer, RealServerServesFiles) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
  NginxServer nginx;
  ASSERT_TRUE(nginx.Running());
  const std::string big = Bytes(700000);
  nginx.WriteFile("big.bin", big);
  nginx.WriteFile("small.txt", "hello");
  StreamService service;
  ASSERT_TRUE(GetStream(1, nginx.Url("/big.bin").c_str(), "Content-Type: a\r\n"));
  ASSERT_TRUE(GetStream(2, nginx.Url("/small.txt?x=1").c_str(), "Content-Type: a\r\n"));
  ASSERT_TRUE(GetStream(3, nginx.Url("/missing").c_str(), "Content-Type: a\r\n"));
  const Poll first = WaitForOutcome(1);
  ASSERT_TRUE(first.finished);
  EXPECT_EQ(first.Data(), big);
  EXPECT_EQ(first.length, 700000);
  const std::string header = first.header;
  EXPECT_EQ(header.rfind("Content-Length: 700000\nLast-Modified: ", 0), 0u) << header;
  EXPECT_NE(header.find("\nETag: \""), std::string::npos) << header;
  EXPECT_EQ(WaitForOutcome(2).Data(), "hello");
  const Poll missing = WaitForOutcome(3);
  EXPECT_FALSE(missing.finished);
  EXPECT_TRUE(missing.Untouched());
}

}  // namespace
