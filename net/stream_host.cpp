#include "net/stream_host.h"

std::atomic<StreamHost*> activeFrame{nullptr};
