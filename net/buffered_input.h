// A connection's input with a small read-ahead, so that lines can be taken off
// it and the rest handed to a body. Used by the HTTP and FTP clients on the
// worker thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "net/tcp_connection.h"

class BufferedInput {
 public:
  explicit BufferedInput(TcpConnection connection) : connection_(std::move(connection)) {}

  // A line without its "\n" or "\r\n". Fails (Failed) past maxLength bytes.
  IoStatus ReadLine(std::string& line, size_t maxLength) {
    line.clear();
    for (;;) {
      const auto begin = pending_.begin() + static_cast<std::ptrdiff_t>(offset_);
      const auto newline = std::find(begin, pending_.end(), '\n');
      const size_t available = static_cast<size_t>(newline - begin);
      if (line.size() + available > maxLength + 1) return IoStatus::Failed;
      line.append(begin, newline);
      if (newline != pending_.end()) {
        offset_ += available + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line.size() > maxLength ? IoStatus::Failed : IoStatus::Ok;
      }
      // The piece is in line now; a line that arrives in pieces must not
      // take the earlier ones twice.
      offset_ += available;
      const IoStatus filled = Fill();
      if (filled != IoStatus::Ok) return filled;
    }
  }

  // Waits until want bytes are in destination or the input ended.
  IoStatus ReadFull(uint8_t* destination, size_t want, size_t& got) {
    got = std::min(want, pending_.size() - offset_);
    std::copy_n(pending_.data() + offset_, got, destination);
    offset_ += got;
    while (got < want) {
      size_t n = 0;
      const IoStatus status = connection_.ReadSome(reinterpret_cast<char*>(destination) + got, want - got, n);
      if (status != IoStatus::Ok) return status;
      got += n;
    }
    return IoStatus::Ok;
  }

  IoStatus WriteAll(std::string_view data) { return connection_.WriteAll(data); }

  void Close() { connection_.Close(); }

 private:
  IoStatus Fill() {
    pending_.erase(0, offset_);
    offset_ = 0;
    char chunk[16 * 1024];
    size_t n = 0;
    const IoStatus status = connection_.ReadSome(chunk, sizeof chunk, n);
    pending_.append(chunk, n);
    return status;
  }

  TcpConnection connection_;
  std::string pending_;
  size_t offset_ = 0;
};
