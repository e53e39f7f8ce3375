#include "platform/trace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

// -1: off. Opened once; the descriptor lives for the whole process so that a
// piece written during static destruction still lands.
int OpenSink() {
  const char* target = std::getenv("MERVANE_TRACE");
  if (target == nullptr || *target == '\0') return -1;
  if (std::strcmp(target, "-") == 0) return STDERR_FILENO;
  return ::open(target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

int Sink() {
  static const int fd = OpenSink();
  return fd;
}

void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace

bool TraceEnabled() { return Sink() >= 0; }

void Trace(std::string_view piece) {
  const int fd = Sink();
  if (fd < 0) return;
  WriteAll(fd, piece.data(), piece.size());
}

void TraceText(const char* data, size_t maxLength) {
  const int fd = Sink();
  if (fd < 0 || data == nullptr) return;
  WriteAll(fd, data, strnlen(data, maxLength));
}

}  // namespace platform
