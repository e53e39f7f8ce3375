#include "stream_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <wx/init.h>
#include <wx/socket.h>

#include "net/stream_callbacks.h"

namespace {

std::string TracePath() { return "/tmp/mervane_net_tests_trace_" + std::to_string(::getpid()) + ".log"; }

// The trace sink is chosen once, at its first use; point it at a file of ours
// before any test runs.
const bool traceConfigured = [] {
  std::remove(TracePath().c_str());
  ::setenv("MERVANE_TRACE", TracePath().c_str(), 1);
  ::unsetenv("HTTP_PROXY");
  return true;
}();

class ToolkitEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    initializer_ = std::make_unique<wxInitializer>();
    wxSocketBase::Initialize();
  }
  void TearDown() override {
    wxSocketBase::Shutdown();
    initializer_.reset();
    std::remove(TracePath().c_str());
  }

 private:
  std::unique_ptr<wxInitializer> initializer_;
};

// gtest owns registered environments.
::testing::Environment* const toolkit = ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);

const uint8_t bodySentinel = 0;
const char headerSentinel = 0;

}  // namespace

const uint8_t* const Poll::kBody = &bodySentinel;
const char* const Poll::kHeader = &headerSentinel;

bool Eventually(const std::function<bool()>& pred, std::chrono::milliseconds guard) {
  const auto end = std::chrono::steady_clock::now() + guard;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

Poll Query(int32_t key, bool finishedBefore) {
  Poll p;
  p.finished = finishedBefore;
  p.result = QueryStream(key, &p.size, &p.length, &p.finished, &p.body, &p.header);
  return p;
}

Poll WaitForOutcome(int32_t key) {
  Poll p;
  Eventually([&] {
    p = Query(key);
    return !p.result;
  });
  return p;
}

StreamService::StreamService(bool runWorker, int socketTimeoutMs) {
  (void)traceConfigured;
  (void)toolkit;
  host.socketTimeoutMs = socketTimeoutMs;
  activeFrame = &host;
  if (runWorker) StartWorker();
}

void StreamService::StartWorker() {
  worker.Create(0);
  worker.Run();
}

StreamService::~StreamService() {
  host.closeRequested = true;
  while (!TryStop()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  worker.Join();
  if (lockHeld_) host.requestLock.Unlock();
}

bool StreamService::TryStop(const std::function<void()>& destroyEngine) {
  if (stopped_) return true;
  const wxMutexError locked = host.requestLock.TryLock();
  if (locked == wxMUTEX_BUSY) return false;
  lockHeld_ = locked == wxMUTEX_NO_ERROR;
  activeFrame = nullptr;
  WaitForStreamCallbacks();
  stopped_ = true;
  if (destroyEngine) destroyEngine();
  host.requests.DeleteAll();
  return true;
}

void StreamService::Inspect(size_t index, const std::function<void(const StreamRequest&)>& look) {
  auto lock = host.requests.Lock();
  ASSERT_LT(index, host.requests.CountLocked());
  look(*host.requests.AtLocked(index));
}

TraceCapture::TraceCapture() {
  std::ifstream file(TracePath(), std::ios::binary | std::ios::ate);
  start_ = file ? static_cast<long>(file.tellg()) : 0;
}

std::string TraceCapture::Text() const {
  std::ifstream file(TracePath(), std::ios::binary);
  if (!file) return std::string();
  file.seekg(start_);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}
