#include "net/request_list.h"

#include "net/stream_request.h"

RequestList::RequestList() = default;
RequestList::~RequestList() = default;

void RequestList::Append(std::unique_ptr<StreamRequest> request) {
  if (!request) return;
  std::lock_guard<std::mutex> guard(lock_);
  entries_.push_back(std::move(request));
}

StreamRequest* RequestList::FindLocked(int32_t key) const {
  for (const auto& entry : entries_)
    if (entry && entry->key == key) return entry.get();
  return nullptr;
}

bool RequestList::Query(int32_t key, uint32_t* receivedSize, int32_t* contentLength, bool* finished,
                        const uint8_t** body, const char** header) {
  std::unique_ptr<uint8_t[]> released;  // freed after unlocking
  std::lock_guard<std::mutex> guard(lock_);
  StreamRequest* request = FindLocked(key);
  if (request == nullptr) return false;
  // The engine's previous body pointer is no longer in use once it asks again.
  released = std::move(request->retiredBuffer);
  if (request->discard) return false;
  if (request->error >= wxURL_NOPROTO) {
    request->discard = true;
    return false;
  }
  if (receivedSize != nullptr) *receivedSize = request->receivedSize;
  if (contentLength != nullptr) *contentLength = request->contentLength;
  if (finished != nullptr) *finished = false;
  if (header != nullptr) *header = request->headerText ? request->headerText->c_str() : nullptr;
  if (body != nullptr) {
    *body = request->buffer.get();
    if (request->buffer) request->bufferHandedOut = true;
  }
  if (!request->streamOpen) return true;
  if (finished != nullptr) *finished = request->endOfData;
  return !request->endOfData;
}

bool RequestList::Release(int32_t key) {
  std::lock_guard<std::mutex> guard(lock_);
  StreamRequest* request = FindLocked(key);
  if (request == nullptr) return false;
  request->discard = true;
  return true;
}

void RequestList::DeleteAll() {
  std::vector<std::unique_ptr<StreamRequest>> doomed;
  {
    std::lock_guard<std::mutex> guard(lock_);
    doomed.swap(entries_);
  }
  // Records (and their connections) go outside the lock.
}

size_t RequestList::Count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return entries_.size();
}

std::unique_ptr<StreamRequest> RequestList::RemoveLocked(size_t index) {
  std::unique_ptr<StreamRequest> request = std::move(entries_[index]);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  return request;
}
