// What the stream service shares with the main window: the request list, its
// locks and the close flag. The main window derives from it; tests build one
// on its own. activeFrame is the started window as the service sees it.
#pragma once

#include <atomic>

#include <wx/thread.h>

#include "net/request_list.h"

struct StreamHost {
  // Window closed or engine asked to stop; written by the GUI thread (and the
  // engine's stop callback), read by the worker. Never cleared once set. Once
  // set, the worker's network waits give up and its pass ends.
  std::atomic<bool> closeRequested{false};
  // Held by the worker for each whole pass and taken for good by the stop
  // sequence; never waited on.
  wxMutex requestLock;
  // Pending stream requests, owned here. Has its own short lock for the
  // callbacks, separate from requestLock.
  RequestList requests;
  // Longest wait for any network progress (connect, send, a line, a block).
  // Set before the worker starts; tests shorten it.
  int socketTimeoutMs = 600 * 1000;
};

// Null before start and after stop; the only way callbacks and the worker
// reach the list.
extern std::atomic<StreamHost*> activeFrame;
