#include "net/stream_callbacks.h"

#include <wx/app.h>
#include <wx/thread.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include <wx/utils.h>

#include "engine/engine_api.h"
#include "net/stream_host.h"
#include "net/stream_request.h"
#include "platform/trace.h"

// The engine's slots take exactly these.
static_assert(std::is_same_v<decltype(&GetStream), GetStreamCallback>);
static_assert(std::is_same_v<decltype(&PostStream), PostStreamCallback>);
static_assert(std::is_same_v<decltype(&QueryStream), QueryStreamCallback>);
static_assert(std::is_same_v<decltype(&ReleaseStream), ReleaseStreamCallback>);
static_assert(std::is_same_v<decltype(&OpenUrlTargetCallback), OpenUrlCallback>);

namespace {

constexpr size_t kNoLimit = static_cast<size_t>(-1);

// Connection callbacks between their first look at activeFrame and their
// return. Counted before that look, so that once the stop sequence has
// cleared activeFrame and seen the count at zero, no callback holds the frame.
std::atomic<int> callbacksInProgress{0};

class CallbackScope {
 public:
  CallbackScope() { callbacksInProgress.fetch_add(1); }
  ~CallbackScope() { callbacksInProgress.fetch_sub(1); }
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;
};

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// The engine's header text is "Content-Type: " + value + "\r\n"; the value,
// further lines inside it included, is sent as it is.
std::string ContentTypeValue(const char* header) {
  const std::string text = OrEmpty(header);
  if (text.size() <= 16) return std::string();
  return text.substr(14, text.size() - 16);
}

bool Register(int32_t key, const char* url, const char* header, std::string body) {
  StreamHost* host = activeFrame.load();
  if (host == nullptr) return false;
  auto request = std::make_unique<StreamRequest>(key, OrEmpty(url), HttpRequestData{ContentTypeValue(header), std::move(body)});
  host->requests.Append(std::move(request));
  return true;
}

}  // namespace

extern "C" bool GetStream(int32_t key, const char* url, const char* header) {
  const CallbackScope scope;
  try {
    if (activeFrame.load() == nullptr) return false;
    platform::Trace("GetStream : ");
    platform::TraceText(OrEmpty(url), kNoLimit);
    platform::Trace("\n");
    platform::TraceText(OrEmpty(header), kNoLimit);
    platform::Trace("\n");
    return Register(key, url, header, std::string());
  } catch (...) {
    return false;
  }
}

extern "C" bool PostStream(int32_t key, const char* url, const void* body, uint32_t bodySize, uint32_t /*ignored*/,
                           const char* header) {
  const CallbackScope scope;
  try {
    if (activeFrame.load() == nullptr) return false;
    const char* bytes = body != nullptr ? static_cast<const char*>(body) : "";
    const size_t size = body != nullptr ? bodySize : 0;
    platform::Trace("PostStream : ");
    platform::TraceText(OrEmpty(url), kNoLimit);
    platform::Trace("\n");
    platform::TraceText(OrEmpty(header), kNoLimit);
    platform::Trace("\n");
    platform::TraceText(bytes, size);
    platform::Trace("\n");
    return Register(key, url, header, std::string(bytes, size));
  } catch (...) {
    return false;
  }
}

extern "C" bool QueryStream(int32_t key, uint32_t* receivedSize, int32_t* contentLength, bool* finished,
                            const uint8_t** body, const char** header) {
  const CallbackScope scope;
  try {
    StreamHost* host = activeFrame.load();
    if (host == nullptr) return false;
    return host->requests.Query(key, receivedSize, contentLength, finished, body, header);
  } catch (...) {
    return false;
  }
}

extern "C" bool ReleaseStream(int32_t key) {
  const CallbackScope scope;
  try {
    StreamHost* host = activeFrame.load();
    if (host == nullptr) return false;
    host->requests.Release(key);
    return true;
  } catch (...) {
    return false;
  }
}

void WaitForStreamCallbacks() {
  while (callbacksInProgress.load() != 0) wxMicroSleep(100);
}

extern "C" void OpenUrlTargetCallback(const char* url) {
  try {
    platform::Trace("OpenUrlTargetCallback : ");
    platform::TraceText(OrEmpty(url), kNoLimit);
    platform::Trace("\n");
    const std::optional<std::string> target = BrowserTarget(OrEmpty(url));
    if (!target) {
      // Only web pages go to the desktop's opener; anything else could run a program.
      platform::Trace("OpenUrlTargetCallback refused : ");
      platform::TraceText(OrEmpty(url), kNoLimit);
      platform::Trace("\n");
      return;
    }
    const wxString page = wxString::FromAscii(target->c_str());
    // The engine may call from a thread of its own; the desktop is reached
    // from the GUI thread only.
    if (!wxIsMainThread() && wxTheApp != nullptr && wxTheApp->IsGUI()) {
      wxTheApp->CallAfter([page] { wxLaunchDefaultBrowser(page, 0); });
      return;
    }
    wxLaunchDefaultBrowser(page, 0);
  } catch (...) {
  }
}
