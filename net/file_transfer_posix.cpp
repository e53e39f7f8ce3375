// file URLs, read with system calls: the toolkit's file protocol opens
// whatever the path names (a FIFO blocks its open for good, a device never
// ends) and takes the path through a text conversion that loses non-UTF-8
// bytes.
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "net/transfer.h"

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

class FileBody : public BodySource {
 public:
  explicit FileBody(std::unique_ptr<FileDescriptor> file) : file_(std::move(file)) {}

  ReadResult Read(uint8_t* destination, size_t capacity) override {
    if (ended_) return {0, State::End};
    size_t got = 0;
    while (got < capacity) {
      const ssize_t n = ::read(file_->Get(), destination + got, capacity - got);
      if (n > 0) {
        got += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return {got, State::Failed};
      ended_ = true;
      return {got, State::End};
    }
    return {got, State::More};
  }

  bool Eof() const override { return ended_; }

 private:
  std::unique_ptr<FileDescriptor> file_;
  bool ended_ = false;
};

}  // namespace

OpenResult OpenFile(const StreamUrl& url) {
  OpenResult result;
  result.error = wxURL_PROTOERR;
  const std::string path = PercentDecode(url.FullPath());
  if (path.empty() || path.find('\0') != std::string::npos) return result;
  // Non-blocking, so that opening a FIFO without a writer returns at once.
  auto file = std::make_unique<FileDescriptor>(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (file->Get() < 0) return result;
  struct stat status {};
  if (::fstat(file->Get(), &status) != 0 || !S_ISREG(status.st_mode)) return result;
  result.error = wxURL_NOERR;
  result.body = std::make_unique<FileBody>(std::move(file));
  return result;
}
