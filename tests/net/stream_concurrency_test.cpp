// The engine's threads against the worker: body pointers that outlive a
// buffer's growth, and callbacks racing transfers and a stop. Meant to run
// under AddressSanitizer and ThreadSanitizer as well.
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/stream_callbacks.h"
#include "raw_peer.h"
#include "stream_fixture.h"

namespace {

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 131 % 251);
  return s;
}

// The engine reads the body it got from a query while the buffer of a body
// without length grows under it; the block stays until its next query.
TEST(StreamConcurrency, HandedOutBodyOutlivesGrowthUntilTheNextQuery) {
  const std::string body = Pattern(3 * 1024 * 1024);
  RawPeer peer;
  CannedResponse slow{HttpHead("200 OK", {}) + body};
  slow.chunk = 64 * 1024;
  peer.Serve("/grow", slow);
  StreamService service;
  ASSERT_TRUE(GetStream(1, peer.Url("/grow").c_str(), "Content-Type: a\r\n"));
  const uint8_t* previous = nullptr;
  size_t moves = 0;
  bool finished = false;
  while (!finished) {
    uint32_t size = 0;
    const uint8_t* data = nullptr;
    const bool underWay = QueryStream(1, &size, nullptr, &finished, &data, nullptr);
    ASSERT_TRUE(underWay || finished);
    if (previous != nullptr && data != previous) ++moves;
    previous = data;
    // Meanwhile the worker may grow the buffer.
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(data), size), body.substr(0, size));
    if (finished) {
      EXPECT_EQ(size, body.size());
    }
  }
  EXPECT_GE(moves, 2u);  // the buffer did move while handed out
}

// Several engine threads get, post, query and release during transfers; then
// the service stops under them.
TEST(StreamConcurrency, EngineThreadsDuringTransfersAndStop) {
  RawPeer peer;
  peer.Serve("/small", {HttpHead("200 OK", {"Content-Length: 5"}) + "small"});
  CannedResponse big{HttpHead("200 OK", {}) + Pattern(700000)};
  big.chunk = 100000;
  peer.Serve("/big", big);
  peer.Serve("/post", {HttpHead("201 Created", {"Content-Length: 2"}) + "ok"});
  const std::string urls[] = {peer.Url("/small"), peer.Url("/big"), peer.Url("/post"), peer.Url("/missing"),
                              "https://127.0.0.1/x", "noscheme"};
  StreamService service;
  std::atomic<bool> run{true};
  std::atomic<int> completed{0};
  std::vector<std::thread> engine;
  auto stopEngine = [&] {
    run = false;
    for (auto& t : engine)
      if (t.joinable()) t.join();
  };
  struct Guard {
    std::function<void()> end;
    ~Guard() { end(); }
  } guard{stopEngine};
  for (int t = 0; t < 4; ++t) {
    engine.emplace_back([&, t] {
      for (int i = 0; run; ++i) {
        const int32_t key = t * 100000 + i;
        const std::string& url = urls[static_cast<size_t>(i + t) % std::size(urls)];
        if (i % 3 == 2)
          PostStream(key, url.c_str(), "payload", 7, 0, "Content-Type: text/plain\r\n");
        else
          GetStream(key, url.c_str(), "Content-Type: text/plain\r\n");
        const bool releaseEarly = i % 4 == 3;
        for (int q = 0; run; ++q) {
          uint32_t size = 0;
          const uint8_t* data = nullptr;
          const char* header = nullptr;
          bool finished = false;
          if (!QueryStream(key, &size, nullptr, &finished, &data, &header)) {
            if (finished) ++completed;
            break;
          }
          volatile uint8_t sink = 0;
          for (uint32_t b = 0; b < size; b += 4096) sink = sink + data[b];
          QueryStream(key + 1, nullptr, nullptr, nullptr, nullptr, nullptr);  // not there (yet)
          // Released early, or given up on (a URL without scheme never ends).
          if ((releaseEarly && (size > 0 || q > 5)) || q > 500) break;
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ReleaseStream(key);
      }
    });
  }
  ASSERT_TRUE(Eventually([&] { return completed.load() >= 12; }, std::chrono::seconds(120)));
  service.host.closeRequested = true;
  // As the main window does: the service stops while the engine still runs,
  // and the records go only after the engine is gone.
  ASSERT_TRUE(Eventually([&] {
    return service.TryStop([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // callbacks meet a stopped service
      stopEngine();
    });
  }));
  EXPECT_FALSE(GetStream(1, urls[0].c_str(), "Content-Type: a\r\n"));
  service.worker.Join();
}

// The stop sequence waits for callbacks that had read the frame before it was
// cleared: the frame goes right after, while engine threads keep calling.
TEST(StreamConcurrency, StopWaitsForCallbacksStillRunning) {
  auto host = std::make_unique<StreamHost>();
  activeFrame = host.get();
  std::atomic<bool> run{true};
  std::vector<std::thread> engine;
  for (int t = 0; t < 3; ++t) {
    engine.emplace_back([&, t] {
      for (int32_t key = t; run; key += 3) {
        GetStream(key, "noscheme", "Content-Type: a\r\n");
        QueryStream(key, nullptr, nullptr, nullptr, nullptr, nullptr);
        ReleaseStream(key);
      }
    });
  }
  ASSERT_TRUE(Eventually([&] { return host->requests.Count() > 100; }));
  activeFrame = nullptr;
  WaitForStreamCallbacks();
  host->requests.DeleteAll();
  host.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // callbacks meet a stopped service
  run = false;
  for (auto& t : engine) t.join();
}

}  // namespace
