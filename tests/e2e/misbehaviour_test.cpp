// An engine that calls the player's stream callbacks in ways it should not,
// and servers that stop answering, against the real player: it keeps running
// its frames, answers every call, ends cleanly (under the sanitizers too) and
// the journal shows what the engine got.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_server.h"
#include "support/player_run.h"
#include "support/x11_driver.h"

namespace {

using test::IndexOf;
using test::LinesStartingWith;
using test::LoopbackServer;
using test::PlayerRun;
using test::ReadRequest;
using test::Readable;
using test::SendAll;

// Answers every request with its own path as the body and keeps the requests.
class EchoServer {
 public:
  EchoServer()
      : server_([this](int fd, const std::atomic<bool>&) {
          const std::string request = ReadRequest(fd);
          const size_t from = request.find(' ') + 1;
          const std::string path = request.substr(from, request.find(' ', from) - from);
          SendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(path.size()) + "\r\n\r\n" + path);
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(request);
        }) {}

  std::string Url(const std::string& path) const { return server_.Url(path); }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> requests_;
  LoopbackServer server_;  // last: its thread uses the members above
};

// Holds the connection until the server goes away, after reading the request
// (or not) and sending the first bytes of an answer.
LoopbackServer::Handler Hang(bool readRequest, std::string firstBytes) {
  return [readRequest, firstBytes](int fd, const std::atomic<bool>& done) {
    if (readRequest) ReadRequest(fd);
    SendAll(fd, firstBytes);
    while (!done) test::SleepMs(20);
  };
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

const char kHeader[] = "\"Content-Type: text/plain\\r\\n\"";

// The journal line of an answer that wrote nothing (the stand-in's presets).
std::string Untouched(int key) {
  return "query " + std::to_string(key) + " -> 0 finished=untouched size=0 length=0 header=null body=null bodylen=0";
}

// A watch's final line for a complete body of the echo server.
std::string Echoed(int key, const std::string& path) {
  const std::string n = std::to_string(path.size());
  return "query " + std::to_string(key) + " -> 0 finished=1 size=" + n + " length=" + n +
         " header=\"Content-Length: " + n + "\\n\" body=\"" + path + "\" bodylen=" + n + " body-fnv=";
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines)
    if (l == line) return true;
  return false;
}

void ExpectNoAnomalies(const std::vector<std::string>& journal) {
  for (const char* anomaly : {"reentered ", "wrong-thread ", "after-destroy ", "bad-engine ", "second-create ",
                              "unexpected-call ", "script-error ", "no-callback ", "thread-dropped "}) {
    EXPECT_TRUE(LinesStartingWith(journal, anomaly).empty()) << anomaly;
  }
}

class Misbehaviour : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!x11.ok()) GTEST_SKIP() << "no display";
  }
  // Closes the window as a user would and waits (bounded) for a clean exit.
  void CloseAndExpectCleanExit() {
    x11.Close(x11.FindVisibleWindow(run.pid(), 10000));
    ASSERT_TRUE(run.WaitExit(20000)) << run.Stderr();
    EXPECT_EQ(run.exitStatus(), 0) << run.Stderr();
  }
  void StartPlayer() { run.Start({"-f=0", "-w=200", "-h=100", "Game.mvk"}); }

  test::X11Driver x11;
  PlayerRun run;
};

// The earliest the engine can call (inside the registration) the service
// already runs; inside the stop and the destroy it no longer does, and every
// stream callback answers false without doing anything.
TEST_F(Misbehaviour, CallbacksAtTheEdgesOfTheServiceLife) {
  EchoServer echo;
  LoopbackServer stalled(Hang(true, ""));
  std::string script = "in-register get 1 " + Quote(echo.Url("/early")) + " " + kHeader + "\n" +
                       "in-register query 1\n"
                       "at 2 watch 1\n"
                       "at 2 thread-s get 2 " + Quote(stalled.Url("/stall")) + " " + kHeader + "\n" +
                       "at 2 thread-s watch 2\n";
  for (const char* hook : {"in-stop", "in-destroy"}) {
    const std::string h = hook;
    const int key = h == "in-stop" ? 20 : 30;
    script += h + " get " + std::to_string(key) + " " + Quote(echo.Url("/" + h)) + " " + kHeader + "\n";
    script += h + " post " + std::to_string(key + 1) + " " + Quote(echo.Url("/" + h)) + " " + kHeader + " \"b\"\n";
    script += h + " query 1\n" + h + " query-null 1\n" + h + " release 1\n" + h + " stop\n";
  }
  run.Script(script);
  StartPlayer();
  ASSERT_TRUE(run.WaitForLine(Echoed(1, "/early"), 20000)) << run.Stderr();
  ASSERT_TRUE(stalled.WaitForConnections(1));
  CloseAndExpectCleanExit();

  const auto all = run.Journal();
  ExpectNoAnomalies(all);
  // The engine thread's lines (key 2) may come anywhere; look at the rest.
  std::vector<std::string> journal;
  for (const auto& line : all)
    if (line.rfind("query 2 ", 0) != 0 && line.rfind("watch 2 ", 0) != 0) journal.push_back(line);
  const int registration = IndexOf(journal, "ConnectionManager_SetConnectionCallbacks ");
  ASSERT_GE(registration, 0);
  EXPECT_EQ(journal[registration + 1], "GetStream 1 -> 1");
  EXPECT_EQ(journal[registration + 2],
            "query 1 -> 1 finished=0 size=0 length=0 header=null body=null bodylen=0");
  for (const char* call : {"ClientEngine_Stop", "ClientEngine_Destroy"}) {
    const int at = IndexOf(journal, call);
    ASSERT_GE(at, 0) << call;
    const int key = std::string(call) == "ClientEngine_Stop" ? 20 : 30;
    const std::vector<std::string> inside(journal.begin() + at + 1, journal.begin() + at + 7);
    EXPECT_EQ(inside, (std::vector<std::string>{"GetStream " + std::to_string(key) + " -> 0",
                                                "PostStream " + std::to_string(key + 1) + " -> 0", Untouched(1),
                                                "query-null 1 -> 0", "ReleaseStream 1 -> 0", "StopRequested"}))
        << call;
  }
  // The engine thread's watch of the stalled transfer ended with the stop:
  // answered false untouched, or abandoned at the destroy.
  const auto last2 = LinesStartingWith(all, "query 2 -> 0");
  const bool abandoned = Contains(all, "watch 2 abandoned");
  EXPECT_TRUE(abandoned || (last2.size() == 1 && last2[0].rfind(Untouched(2), 0) == 0));
  // Nothing registered while stopped reached the network or the trace.
  EXPECT_EQ(echo.Requests().size(), 1u);
  const std::string trace = run.Trace();
  EXPECT_EQ(trace.find("/in-stop"), std::string::npos);
  EXPECT_EQ(trace.find("/in-destroy"), std::string::npos);
}

// Keys the engine never registered, one key for two live requests, releasing
// twice, queries with no out-pointers, null texts and short header texts.
TEST_F(Misbehaviour, KeysNullTextsAndShortHeaders) {
  EchoServer echo;
  const auto get = [&](int key, const std::string& path, const std::string& header) {
    return "at 2 get " + std::to_string(key) + " " + Quote(echo.Url(path)) + " " + header + "\n";
  };
  run.Script("at 2 query 50\n"
             "at 2 query-null 50\n"
             "at 2 release 50\n"
             "at 2 release 50\n" +
             get(5, "/first", kHeader) + get(5, "/second", kHeader) +
             "at 2 query-null 5\n"
             // Sequenced on one engine thread: the first completes and is
             // released twice; once it is gone the key means the second.
             "at 2 thread-k watch 5\n"
             "at 2 thread-k release 5\n"
             "at 2 thread-k release 5\n"
             "at 2 thread-k sleep 1000\n"
             "at 2 thread-k watch 5\n"
             "at 2 thread-k release 5\n"
             "at 2 get 6 null " + kHeader + "\n" +
             get(7, "/null-header", "null") +
             "at 2 post 8 null null null\n"
             "at 2 post 9 " + Quote(echo.Url("/null-body")) + " " + kHeader + " null\n" +
             get(10, "/two-characters", "\"ab\"") + get(11, "/fifteen", "\"Content-Type:\\r\\n\"") +
             get(12, "/empty", "\"\"") +
             "at 2 watch 7\nat 2 watch 9\nat 2 watch 10\nat 2 watch 11\nat 2 watch 12\n"
             "at 3 query 6\n"
             "at 3 query-null 8\n");
  StartPlayer();
  const auto done = [&](int key, const std::string& path) { return run.WaitForLine(Echoed(key, path), 20000); };
  ASSERT_TRUE(done(7, "/null-header")) << run.Stderr();
  ASSERT_TRUE(done(9, "/null-body"));
  ASSERT_TRUE(done(10, "/two-characters"));
  ASSERT_TRUE(done(11, "/fifteen"));
  ASSERT_TRUE(done(12, "/empty"));
  ASSERT_TRUE(done(5, "/second"));
  ASSERT_TRUE(run.WaitForLine("query-null 8 ", 20000));
  CloseAndExpectCleanExit();

  const auto journal = run.Journal();
  ExpectNoAnomalies(journal);
  // Unknown key: false, nothing written; releasing it still succeeds.
  EXPECT_TRUE(Contains(journal, Untouched(50)));
  EXPECT_TRUE(Contains(journal, "query-null 50 -> 0"));
  EXPECT_EQ(LinesStartingWith(journal, "ReleaseStream 50 -> 1").size(), 2u);
  // Two live requests with key 5: the first one answers, until it is gone.
  EXPECT_TRUE(Contains(journal, "query-null 5 -> 1"));
  const auto finals5 = LinesStartingWith(journal, "query 5 -> 0 finished=1");
  ASSERT_EQ(finals5.size(), 2u);
  EXPECT_EQ(finals5[0].rfind(Echoed(5, "/first"), 0), 0u) << finals5[0];
  EXPECT_EQ(finals5[1].rfind(Echoed(5, "/second"), 0), 0u) << finals5[1];
  EXPECT_EQ(LinesStartingWith(journal, "ReleaseStream 5 -> 1").size(), 3u);
  // A null URL is the empty URL: registered, without scheme, never opened.
  EXPECT_TRUE(Contains(journal, "GetStream 6 -> 1"));
  EXPECT_TRUE(Contains(journal, "query 6 -> 1 finished=0 size=0 length=0 header=null body=null bodylen=0"));
  EXPECT_TRUE(Contains(journal, "PostStream 8 -> 1"));
  EXPECT_TRUE(Contains(journal, "query-null 8 -> 1"));
  EXPECT_NE(run.Trace().find("GetStream : \nContent-Type: text/plain\r\n\n"), std::string::npos);

  // On the wire: a null or short header text is an empty type; a null body
  // makes a GET.
  const auto requests = echo.Requests();
  const auto sent = [&](const std::string& line) {
    for (const auto& r : requests)
      if (r.rfind(line, 0) == 0) return r;
    return std::string("(not sent)");
  };
  const std::string tail = "User-Agent: wxWidgets 2.x\r\nKeep-Alive: 300\r\n\r\n";
  for (const char* path : {"/null-header", "/two-characters", "/fifteen", "/empty"})
    EXPECT_EQ(sent(std::string("GET ") + path), std::string("GET ") + path +
                                                    " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: \r\n" + tail);
  EXPECT_EQ(sent("GET /null-body"), "GET /null-body HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\n" + tail);
  EXPECT_EQ(requests.size(), 7u);
}

// 1,000 requests registered at once from four engine threads, which then
// watch and release their own, while a fifth asks about keys nobody has and
// the GUI thread watches some of the same keys.
TEST_F(Misbehaviour, ThousandLiveRequestsFromFourEngineThreads) {
  EchoServer echo;
  constexpr int kRequests = 1000;
  const std::string threads[] = {"thread-a", "thread-b", "thread-c", "thread-d"};
  std::string script;
  for (const std::string phase : {"register", "watch", "release"}) {
    for (int key = 1; key <= kRequests; ++key) {
      const std::string prefix = "at 2 " + threads[key % 4] + " ";
      const std::string k = std::to_string(key);
      if (phase == "watch") {
        script += prefix + "watch " + k + "\n";
      } else if (phase == "release") {
        script += prefix + "release " + k + "\n";
      } else if (key % 2 == 0) {
        script += prefix + "get " + k + " " + Quote(echo.Url("/k/" + k)) + " " + kHeader + "\n";
      } else {
        script += prefix + "post " + k + " " + Quote(echo.Url("/k/" + k)) + " " + kHeader + " \"body " + k + "\"\n";
      }
    }
  }
  for (int i = 0; i < 200; ++i) {
    script += "at 2 thread-e query-null " + std::to_string(5000 + i) + "\n";
    script += "at 2 thread-e release " + std::to_string(6000 + i) + "\n";
  }
  for (int key = 1; key <= 20; ++key) script += "at 3 watch " + std::to_string(key) + "\n";
  run.Script(script);
  StartPlayer();
  const auto released = [&] {
    return static_cast<int>(LinesStartingWith(run.Journal(), "ReleaseStream ").size());
  };
  for (int i = 0; i < 1200 && released() < kRequests + 200; ++i) test::SleepMs(50);
  ASSERT_EQ(released(), kRequests + 200) << run.Stderr();
  CloseAndExpectCleanExit();

  const auto journal = run.Journal();
  ExpectNoAnomalies(journal);
  const std::set<std::string> lines(journal.begin(), journal.end());
  std::set<std::string> finals;
  for (const auto& line : LinesStartingWith(journal, "query ")) {
    if (line.find(" -> 0 finished=1 ") != std::string::npos) finals.insert(line.substr(0, line.find(" body-fnv=")));
  }
  for (int key = 1; key <= kRequests; ++key) {
    const std::string k = std::to_string(key);
    EXPECT_EQ(lines.count((key % 2 == 0 ? "GetStream " : "PostStream ") + k + " -> 1"), 1u) << k;
    EXPECT_EQ(lines.count("ReleaseStream " + k + " -> 1"), 1u) << k;
    const std::string echoed = Echoed(key, "/k/" + k);
    EXPECT_EQ(finals.count(echoed.substr(0, echoed.size() - 10)), 1u) << k;
  }
  EXPECT_EQ(LinesStartingWith(journal, "query-null 5").size(), 200u);
  for (const auto& line : LinesStartingWith(journal, "query-null 5")) EXPECT_EQ(line.substr(line.size() - 4), "-> 0");
  const auto requests = echo.Requests();
  EXPECT_EQ(requests.size(), static_cast<size_t>(kRequests));
  size_t posts = 0;
  for (const auto& r : requests) posts += r.rfind("POST /k/", 0) == 0 && r.find("\r\n\r\nbody ") != std::string::npos;
  EXPECT_EQ(posts, static_cast<size_t>(kRequests / 2));
}

struct StallCase {
  const char* name;
  bool readRequest;
  std::string firstBytes;
  size_t postSize;  // 0: GET
};

void PrintTo(const StallCase& c, std::ostream* os) { *os << c.name; }

class StalledServer : public Misbehaviour, public ::testing::WithParamInterface<StallCase> {};

int LastFrame(const std::vector<std::string>& journal) {
  const auto frames = LinesStartingWith(journal, "ClientEngine_RunOneFrame ");
  return frames.empty() ? 0 : std::stoi(frames.back().substr(25));
}

// While the worker is stuck in a transfer (with the full socket time-out),
// frames keep running, the engine's every-frame query of the stuck request
// answers, and closing the window still ends the player.
TEST_P(StalledServer, FramesKeepRunningAndCloseEndsThePlayer) {
  const StallCase& c = GetParam();
  LoopbackServer server(Hang(c.readRequest, c.firstBytes));
  std::string script;
  if (c.postSize == 0)
    script = "at 2 get 1 " + Quote(server.Url("/stall")) + " " + kHeader + "\n";
  else
    script = "at 2 post 1 " + Quote(server.Url("/stall")) + " " + kHeader + " \"" + std::string(c.postSize, 'p') +
             "\"\n";
  run.Script(script + "at 2 watch 1\n");
  StartPlayer();
  ASSERT_TRUE(server.WaitForConnections(1)) << run.Stderr();
  const int stalledAt = LastFrame(run.Journal());
  ASSERT_TRUE(run.WaitForLine("ClientEngine_RunOneFrame " + std::to_string(stalledAt + 50), 20000));
  CloseAndExpectCleanExit();

  const auto journal = run.Journal();
  ExpectNoAnomalies(journal);
  // Under way while stalled; after the stop the last frame's query is false.
  EXPECT_TRUE(Contains(journal, "query 1 -> 1 finished=0 size=0 length=0 header=null body=null bodylen=0") ||
              !LinesStartingWith(journal, "query 1 -> 1 finished=0 size=0 length=10").empty());
  const auto finals = LinesStartingWith(journal, "query 1 -> 0");
  ASSERT_EQ(finals.size(), 1u);
  EXPECT_EQ(finals[0].rfind(Untouched(1), 0), 0u) << finals[0];
  EXPECT_GT(IndexOf(journal, "query 1 -> 0"), IndexOf(journal, "ClientEngine_Stop"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StalledServer,
    ::testing::Values(StallCase{"beforeStatusLine", true, "", 0},
                      StallCase{"midBody", true, "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n01234", 0},
                      StallCase{"largePostNeverRead", false, "", 8 << 20}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
