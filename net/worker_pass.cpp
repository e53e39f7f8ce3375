#include "net/worker_pass.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <new>

#include <wx/utils.h>

#include "net/stream_host.h"
#include "net/stream_request.h"
#include "platform/trace.h"

namespace {

// Every read lands here first; only the worker uses it.
uint8_t scratch[kReadBlock];

std::atomic<size_t> allocationLimit{kDefaultBodyLimit};

std::unique_ptr<uint8_t[]> AllocateBlock(size_t size) {
  if (size > allocationLimit.load()) return nullptr;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

enum class Visit { Done, Removed, Next };

void MarkFailed(RequestList& list, StreamRequest& request) {
  auto lock = list.Lock();
  request.error = wxURL_PROTOERR;
  request.stream.reset();
}

void Open(StreamHost& host, StreamRequest& request, const WorkerSettings& settings) {
  TransferContext context;
  context.timeoutMs = host.socketTimeoutMs;
  context.cancel = [&host] { return host.closeRequested.load(); };
  context.proxy = settings.proxy;
  OpenResult opened = OpenTransfer(request.url, request.httpData, context);
  std::unique_ptr<uint8_t[]> block;
  if (opened.error == wxURL_NOERR && opened.contentLength > 0) {
    block = AllocateBlock(static_cast<size_t>(opened.contentLength));
    if (!block) {
      opened.error = wxURL_PROTOERR;
      opened.body.reset();
    }
  }
  auto lock = host.requests.Lock();
  request.error = opened.error;
  if (opened.error != wxURL_NOERR) return;
  request.headerText = std::move(opened.headerText);
  request.contentLength = opened.contentLength;
  request.buffer = std::move(block);
  request.capacity = request.buffer ? static_cast<uint32_t>(opened.contentLength) : 0;
  request.bufferHandedOut = false;
  request.endOfData = opened.body->Eof();
  request.stream = std::move(opened.body);
  request.streamOpen = true;
}

// Makes room for `more` bytes; false when the block cannot be had.
bool Grow(RequestList& list, StreamRequest& request, size_t more) {
  const size_t held = request.receivedSize;
  if (held + more <= request.capacity) return true;
  // A body without length may fill the limit exactly, but not pass it.
  const size_t limit = std::min<size_t>(allocationLimit.load(), UINT32_MAX);
  if (held + more > limit) return false;
  const size_t capacity = std::min(held + kGrowthStep, limit);
  platform::Trace("realloc stream\n");
  std::unique_ptr<uint8_t[]> block = AllocateBlock(capacity);
  if (!block) return false;
  if (held > 0) std::memcpy(block.get(), request.buffer.get(), held);
  std::unique_ptr<uint8_t[]> old;
  {
    auto lock = list.Lock();
    // A block the engine was handed stays until its next query of this key.
    if (request.bufferHandedOut)
      request.retiredBuffer = std::move(request.buffer);
    else
      old = std::move(request.buffer);
    request.buffer = std::move(block);
    request.bufferHandedOut = false;
    request.capacity = static_cast<uint32_t>(capacity);
  }
  return true;
}

void ReadBlock(StreamHost& host, StreamRequest& request) {
  RequestList& list = host.requests;
  {
    auto lock = list.Lock();
    if (request.discard || !request.stream || request.endOfData || request.error != wxURL_NOERR) return;
  }
  const BodySource::ReadResult read = request.stream->Read(scratch, kReadBlock);
  if (read.state == BodySource::State::Failed) {
    MarkFailed(list, request);
    return;
  }
  if (read.count > 0) {
    if (!Grow(list, request, read.count)) {
      MarkFailed(list, request);
      return;
    }
    platform::Trace("Downloading ");
    platform::Trace(request.urlText);
    platform::Trace("\n");
    // Bytes first, size after: the engine never sees bytes not yet written.
    std::memcpy(request.buffer.get() + request.receivedSize, scratch, read.count);
    const uint32_t held = request.receivedSize + static_cast<uint32_t>(read.count);
    {
      auto lock = list.Lock();
      request.receivedSize = held;
    }
    if (platform::TraceEnabled())
      platform::TraceText(reinterpret_cast<const char*>(request.buffer.get()), held);
    platform::Trace("\n");
  }
  if (read.state == BodySource::State::End) {
    auto lock = list.Lock();
    request.endOfData = true;
  }
}

Visit VisitEntry(StreamHost& host, size_t index, const WorkerSettings& settings) {
  RequestList& list = host.requests;
  StreamRequest* request = nullptr;
  bool open = false;
  {
    auto lock = list.Lock();
    if (index >= list.CountLocked()) return Visit::Done;
    request = list.AtLocked(index);
    if (request->discard) {
      std::unique_ptr<StreamRequest> removed = list.RemoveLocked(index);
      lock.unlock();
      return Visit::Removed;  // removed is destroyed here, outside the lock
    }
    if (request->error >= wxURL_NOPROTO) {
      request->discard = true;
      return Visit::Next;
    }
    open = !request->streamOpen && request->error == wxURL_NOERR;
  }
  // Only the worker removes records, so request stays valid without the lock.
  if (open) Open(host, *request, settings);
  ReadBlock(host, *request);
  return Visit::Next;
}

}  // namespace

void SetBodyAllocationLimit(size_t bytes) { allocationLimit = bytes; }

void RunPass(StreamHost& host, const WorkerSettings& settings) {
  for (size_t index = 0;;) {
    // A close ends the pass at once, so the stop sequence gets the lock.
    if (host.closeRequested) return;
    const Visit visit = VisitEntry(host, index, settings);
    if (visit == Visit::Done) return;
    wxMicroSleep(1000);
    if (visit == Visit::Next) ++index;
  }
}
