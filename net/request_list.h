// The engine's pending stream requests, in order of registration, owned here.
//
// Two locks meet here. This list's own short lock guards the entries and the
// record fields the callbacks read; it is never held across network work, so
// a callback never waits for a transfer. requestLock (in StreamHost) keeps its
// role: the worker holds it for a whole pass and the stop sequence takes it
// for good. Only the worker (under requestLock) and DeleteAll remove records.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class StreamRequest;

class RequestList {
 public:
  RequestList();
  ~RequestList();
  RequestList(const RequestList&) = delete;
  RequestList& operator=(const RequestList&) = delete;

  // Engine side, any thread. A null record is not taken.
  void Append(std::unique_ptr<StreamRequest> request);
  // The engine's poll of the first request with key; see QueryStream. Each
  // out-pointer may be null.
  bool Query(int32_t key, uint32_t* receivedSize, int32_t* contentLength, bool* finished,
             const uint8_t** body, const char** header);
  // Marks the first request with key for removal; false when there is none.
  bool Release(int32_t key);

  // Deletes every record; called by the stop sequence under requestLock.
  void DeleteAll();

  size_t Count() const;

  // Worker side: the list lock and what may be done while holding it.
  std::unique_lock<std::mutex> Lock() const { return std::unique_lock<std::mutex>(lock_); }
  size_t CountLocked() const { return entries_.size(); }
  StreamRequest* AtLocked(size_t index) const { return entries_[index].get(); }
  // Takes the record out; the caller destroys it after unlocking.
  std::unique_ptr<StreamRequest> RemoveLocked(size_t index);

 private:
  StreamRequest* FindLocked(int32_t key) const;

  mutable std::mutex lock_;
  std::vector<std::unique_ptr<StreamRequest>> entries_;
};
