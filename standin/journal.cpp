#include "standin/journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace standin {
namespace {

// Serialises writers inside one library; O_APPEND keeps the libraries apart.
std::mutex journalLock;

const char* JournalPath() {
  const char* path = std::getenv("MERVANE_STANDIN_JOURNAL");
  return path != nullptr && *path != '\0' ? path : nullptr;
}

void AppendEscaped(std::string& out, unsigned char c) {
  switch (c) {
    case '\\': out += "\\\\"; return;
    case '"': out += "\\\""; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
  }
  if (c >= 0x20 && c <= 0x7e) {
    out += static_cast<char>(c);
    return;
  }
  char hex[5];
  std::snprintf(hex, sizeof hex, "\\x%02x", c);
  out += hex;
}

}  // namespace

bool JournalEnabled() { return JournalPath() != nullptr; }

void JournalLine(std::string_view line) noexcept {
  const char* path = JournalPath();
  if (path == nullptr) return;
  try {
    std::string text(line);
    text += '\n';
    std::lock_guard<std::mutex> guard(journalLock);
    // Opened per line: no descriptor outlives the library, whatever order
    // the constructors and destructors of an unloading library run in.
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    ssize_t written = ::write(fd, text.data(), text.size());
    (void)written;
    ::close(fd);
  } catch (...) {
    // Out of memory: the line is lost, the caller goes on.
  }
}

std::string Quoted(std::string_view bytes) {
  std::string out = "\"";
  for (char c : bytes) AppendEscaped(out, static_cast<unsigned char>(c));
  out += '"';
  return out;
}

std::string Quoted(const char* text) {
  if (text == nullptr) return "null";
  return Quoted(std::string_view(text));
}

const char* SetOrNull(const void* pointer) { return pointer != nullptr ? "set" : "null"; }

std::string Fnv1a64Hex(const uint8_t* bytes, size_t size) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001b3ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

}  // namespace standin
